// Hash maps keyed by text that can be searched with a std::string_view, so that the scan's
// indexes look up pieces of listing rows without copying them.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace pellora {

struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

template <typename Value>
using TextMap = std::unordered_map<std::string, Value, TextHash, std::equal_to<>>;

// The value for `key`, or nullptr.
template <typename Value>
const Value* FindIn(const TextMap<Value>& map, std::string_view key) {
    auto it = map.find(key);
    return it == map.end() ? nullptr : &it->second;
}

}  // namespace pellora
