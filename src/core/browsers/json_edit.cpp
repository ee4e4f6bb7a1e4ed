#include "core/browsers/json_edit.h"

#include <charconv>

#include "core/browsers/bounded_json.h"
#include "core/browsers/firefox_files.h"

namespace pellora::browsers {

namespace {

std::optional<size_t> IndexOf(const std::string& name) {
    size_t index = 0;
    auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), index);
    if (name.empty() || error != std::errc() || end != name.data() + name.size())
        return std::nullopt;
    return index;
}

// The member `name` of `node`, or nullptr; arrays are entered by index only.
template <typename Node>
Node* Child(Node& node, const std::string& name) {
    if (node.is_object()) {
        auto it = node.find(name);
        return it == node.end() ? nullptr : &*it;
    }
    if (node.is_array()) {
        std::optional<size_t> index = IndexOf(name);
        return index && *index < node.size() ? &node[*index] : nullptr;
    }
    return nullptr;
}

}  // namespace

OrderedRead ReadOrderedJson(std::string_view bytes) {
    OrderedRead result;
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
        result.byteOrderMark = true;
    }
    if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
        result.problem = "not UTF-8 (UTF-16 byte-order mark)";
        return result;
    }
    if (JsonNestingDepth(bytes, kMaxJsonDepth) > kMaxJsonDepth) {
        result.problem = "nested deeper than " + std::to_string(kMaxJsonDepth) + " levels";
        return result;
    }
    try {
        OrderedJson value = OrderedJson::parse(bytes.begin(), bytes.end(), nullptr, /*allow_exceptions=*/false);
        if (value.is_discarded())
            result.problem = "not valid JSON";
        else
            result.value = std::move(value);
    } catch (const std::exception& error) {
        result.problem = std::string("not read: ") + error.what();
    }
    return result;
}

std::string WriteOrderedJson(const OrderedJson& value, bool byteOrderMark) {
    std::string text = value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    return byteOrderMark ? "\xEF\xBB\xBF" + text : text;
}

const OrderedJson* MemberAt(const OrderedJson& root, const MemberPath& path) {
    const OrderedJson* node = &root;
    for (const std::string& name : path) {
        node = Child(*node, name);
        if (!node)
            return nullptr;
    }
    return node;
}

std::optional<OrderedJson> TakeMember(OrderedJson& root, const MemberPath& path) {
    if (path.empty())
        return std::nullopt;
    OrderedJson* parent = &root;
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        parent = Child(*parent, path[i]);
        if (!parent)
            return std::nullopt;
    }
    const std::string& last = path.back();
    if (parent->is_object()) {
        auto it = parent->find(last);
        if (it == parent->end())
            return std::nullopt;
        OrderedJson value = std::move(*it);
        parent->erase(it);
        return value;
    }
    if (parent->is_array()) {
        std::optional<size_t> index = IndexOf(last);
        if (!index || *index >= parent->size())
            return std::nullopt;
        OrderedJson value = std::move((*parent)[*index]);
        parent->erase(parent->begin() + static_cast<std::ptrdiff_t>(*index));
        return value;
    }
    return std::nullopt;
}

bool PutMember(OrderedJson& root, const MemberPath& path, OrderedJson value) {
    if (path.empty())
        return false;
    OrderedJson* node = &root;
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        if (node->is_null())
            *node = OrderedJson::object();
        OrderedJson* next = Child(*node, path[i]);
        if (!next) {
            if (!node->is_object())
                return false;
            next = &(*node)[path[i]];
        }
        node = next;
    }
    if (node->is_null())
        *node = OrderedJson::object();
    if (node->is_object()) {
        (*node)[path.back()] = std::move(value);
        return true;
    }
    if (node->is_array()) {
        std::optional<size_t> index = IndexOf(path.back());
        if (!index)
            return false;
        const size_t at = std::min(*index, node->size());
        node->insert(node->begin() + static_cast<std::ptrdiff_t>(at), std::move(value));
        return true;
    }
    return false;
}

MemberPath TrackedPreference(const MemberPath& member) {
    // The tracked preferences that hold what the readers report (Chromium's tracked list).
    static const std::vector<MemberPath> kAtomic = {
        {"homepage"},
        {"session", "startup_urls"},
        {"session", "restore_on_startup"},
        {"newtab_page_location"},
        {"default_search_provider_data", "template_url_data"},
    };
    if (member.size() >= 3 && member[0] == "extensions" && member[1] == "settings")
        return {member[0], member[1], member[2]};
    for (const MemberPath& pref : kAtomic) {
        if (member.size() >= pref.size() && std::equal(pref.begin(), pref.end(), member.begin()))
            return pref;
    }
    return member;
}

std::vector<MemberPath> MacPaths(const MemberPath& preference) {
    if (preference.empty())
        return {};
    std::vector<MemberPath> paths;
    MemberPath mac = {"protection", "macs"};
    // A split preference keeps one MAC per entry below the preference's own path.
    const bool split = preference.size() == 3 && preference[0] == "extensions" && preference[1] == "settings";
    const size_t named = split ? 2 : preference.size();
    for (size_t i = 0; i < preference.size(); ++i)
        mac.push_back(preference[i]);
    paths.push_back(mac);
    MemberPath encrypted = {"protection", "macs"};
    for (size_t i = 0; i < named; ++i)
        encrypted.push_back(preference[i] + (i + 1 == named ? "_encrypted_hash" : ""));
    if (split)
        encrypted.push_back(preference[2]);
    paths.push_back(encrypted);
    return paths;
}

namespace {

template <typename Line>
void ForEachLine(std::string_view text, Line&& line) {
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        end = end == std::string_view::npos ? text.size() : end + 1;
        line(text.substr(pos, end - pos));
        pos = end;
    }
}

bool LineSets(std::string_view line, std::string_view pref, std::string_view value) {
    for (const UserPref& set : ParseUserPrefs(line)) {
        if (set.name == pref && set.value == value)
            return true;
    }
    return false;
}

}  // namespace

std::string WithoutPref(std::string_view text,
                        std::string_view pref,
                        std::string_view value,
                        std::vector<std::string>& removed,
                        std::vector<LinePlace>& places) {
    std::string kept;
    kept.reserve(text.size());
    size_t index = 0;
    std::string_view previous;
    // A line taken out waits for the next line that stays, its `next`.
    size_t waiting = places.size();
    ForEachLine(text, [&](std::string_view line) {
        if (LineSets(line, pref, value)) {
            removed.emplace_back(line);
            places.push_back(LinePlace{index, std::string(previous), ""});
        } else {
            for (; waiting < places.size(); ++waiting)
                places[waiting].next = std::string(line);
            kept.append(line);
        }
        previous = line;
        ++index;
    });
    return kept;
}

namespace {

std::vector<std::string_view> LinesOf(std::string_view text) {
    std::vector<std::string_view> lines;
    ForEachLine(text, [&lines](std::string_view line) { lines.push_back(line); });
    return lines;
}

size_t PrefCount(std::string_view text) {
    return ParseUserPrefs(text).size();
}

// `text` with `line` inserted before line `at` (or at the end).
std::string Inserted(const std::vector<std::string_view>& lines, size_t at, std::string_view line) {
    std::string out;
    for (size_t i = 0; i <= lines.size(); ++i) {
        if (i == at)
            out.append(line);
        if (i < lines.size())
            out.append(lines[i]);
    }
    return out;
}

// The places tried when a line cannot go back where it stood: before each of the first lines that
// set a pref (one inside a comment that another line opened fails the check below), then the
// file's start, where no comment can be open.
constexpr size_t kPrefLinesTried = 8;

}  // namespace

std::optional<std::string> WithPrefLinesBack(std::string_view original,
                                             const std::vector<std::string>& lines,
                                             const std::vector<LinePlace>& places,
                                             bool& moved) {
    std::string text(original);
    for (size_t n = 0; n < lines.size(); ++n) {
        const std::string& line = lines[n];
        if (line.empty() || text.find(line) != std::string::npos)
            continue;
        const std::vector<std::string_view> current = LinesOf(text);
        if (n < places.size()) {
            const LinePlace& place = places[n];
            const size_t at = place.index;
            if (at <= current.size() && (at == 0 ? place.previous.empty() : current[at - 1] == place.previous) &&
                (at == current.size() ? place.next.empty() : current[at] == place.next)) {
                text = Inserted(current, at, line);
                continue;
            }
        }
        // Elsewhere, the line ends with its own line end so that it does not run into the next.
        const std::string own = line.back() == '\n' ? line : line + "\n";
        const size_t wanted = PrefCount(text) + PrefCount(own);
        std::vector<size_t> candidates;
        for (size_t i = 0; i < current.size() && candidates.size() < kPrefLinesTried; ++i) {
            if (!ParseUserPrefs(current[i]).empty())
                candidates.push_back(i);
        }
        candidates.push_back(0);
        bool placed = false;
        for (size_t at : candidates) {
            std::string back = Inserted(current, at, own);
            if (PrefCount(back) >= wanted) {
                text = std::move(back);
                placed = true;
                break;
            }
        }
        if (!placed)
            return std::nullopt;
        moved = true;
    }
    return text;
}

}  // namespace pellora::browsers
