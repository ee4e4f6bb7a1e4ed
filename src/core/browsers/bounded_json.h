// JSON of browser profiles read with bounds: a byte-order mark is skipped, nesting deeper than a
// limit is refused before the parser sees it (nlohmann-json has no depth limit of its own and
// some of its operations recurse per level), and a parse error gives nothing instead of an
// exception. Nothing here throws.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace pellora::browsers {

using Json = nlohmann::json;

// Deepest nesting of objects and arrays accepted. Real profile files stay below 20.
inline constexpr size_t kMaxJsonDepth = 128;

// The deepest nesting of `text` (brackets inside strings do not count), stopping early once
// it passes `limit`, so a file of a million "[" costs one pass and no memory.
size_t JsonNestingDepth(std::string_view text, size_t limit);

struct JsonReadResult {
    std::optional<Json> value;
    std::string problem;  // "" when the value was read
};

// Parses `bytes` (UTF-8, an optional UTF-8 byte-order mark) when it nests no deeper than
// `maxDepth`; otherwise, or when it is not valid JSON, says why.
[[nodiscard]] JsonReadResult ReadJson(std::string_view bytes, size_t maxDepth = kMaxJsonDepth);

// The member at `path` (object member names; array elements by decimal index), or nullptr.
const Json* JsonAt(const Json& root, std::initializer_list<std::string_view> path);
// The text of a string value, or nothing for another type or nullptr.
std::optional<std::string> JsonText(const Json* value);
// A whole number value (an integer of either sign), or nothing.
std::optional<int64_t> JsonInteger(const Json* value);

}  // namespace pellora::browsers
