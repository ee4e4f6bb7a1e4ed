#include "core/browsers/bounded_json.h"

#include <new>

namespace pellora::browsers {

size_t JsonNestingDepth(std::string_view text, size_t limit) {
    size_t depth = 0;
    size_t deepest = 0;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;  // whatever is escaped, it neither closes the string nor opens a level
            else if (c == '"')
                inString = false;
            continue;
        }
        switch (c) {
            case '"':
                inString = true;
                break;
            case '[':
            case '{':
                if (++depth > deepest) {
                    deepest = depth;
                    if (deepest > limit)
                        return deepest;
                }
                break;
            case ']':
            case '}':
                if (depth > 0)
                    --depth;
                break;
            default:
                break;
        }
    }
    return deepest;
}

JsonReadResult ReadJson(std::string_view bytes, size_t maxDepth) {
    JsonReadResult result;
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF")
        bytes.remove_prefix(3);
    if (bytes.size() >= 2 && (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF")) {
        result.problem = "not UTF-8 (UTF-16 byte-order mark)";
        return result;
    }
    if (JsonNestingDepth(bytes, maxDepth) > maxDepth) {
        result.problem = "nested deeper than " + std::to_string(maxDepth) + " levels";
        return result;
    }
    try {
        Json value = Json::parse(bytes.begin(), bytes.end(), nullptr, /*allow_exceptions=*/false);
        if (value.is_discarded()) {
            result.problem = "not valid JSON";
            return result;
        }
        result.value = std::move(value);
    } catch (const std::bad_alloc&) {
        result.problem = "too large to read";
    } catch (const std::exception&) {
        result.problem = "not valid JSON";
    }
    return result;
}

const Json* JsonAt(const Json& root, std::initializer_list<std::string_view> path) {
    const Json* at = &root;
    for (std::string_view name : path) {
        if (!at->is_object())
            return nullptr;
        auto it = at->find(name);
        if (it == at->end())
            return nullptr;
        at = &*it;
    }
    return at;
}

std::optional<std::string> JsonText(const Json* value) {
    if (!value || !value->is_string())
        return std::nullopt;
    return value->get_ref<const std::string&>();
}

std::optional<int64_t> JsonInteger(const Json* value) {
    if (!value)
        return std::nullopt;
    if (value->is_number_integer() && !value->is_number_unsigned())
        return value->get<int64_t>();
    if (value->is_number_unsigned() && value->get<uint64_t>() <= static_cast<uint64_t>(INT64_MAX))
        return static_cast<int64_t>(value->get<uint64_t>());
    return std::nullopt;
}

}  // namespace pellora::browsers
