// The lines of a small cache file kept beside the program (the inventory's verdicts, the content
// scan's verdicts): a header line naming its format, then one entry a line.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellora {

// The lines after the header of `bytes`, without their line ends; nothing when `bytes` holds no
// file or does not begin with `header` (another format, or damaged: the cache starts empty).
inline std::vector<std::string> CacheLines(const std::optional<std::string>& bytes, std::string_view header) {
    std::vector<std::string> lines;
    if (!bytes || !bytes->starts_with(header))
        return lines;
    size_t pos = bytes->find('\n');
    while (pos != std::string::npos && pos + 1 < bytes->size()) {
        const size_t end = bytes->find('\n', pos + 1);
        lines.push_back(bytes->substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1));
        pos = end;
    }
    return lines;
}

}  // namespace pellora
