#include "core/update/file_source.h"

namespace pellora {

OfferedFile ReadOfferedFile(FileSystemPort& files, const std::string& path, uint64_t limit) {
    OfferedFile offered;
    std::optional<uint32_t> attributes = files.GetAttributes(path);
    if (!attributes) {
        offered.detail = "cannot open " + path;
        return offered;
    }
    if (*attributes & file_attr::kDirectory) {
        offered.detail = path + " is a folder";
        return offered;
    }
    offered.bytes = files.ReadFileUpTo(path, limit);
    if (offered.bytes)
        return offered;
    // The adapter stops at the limit; whether that was the reason, the listing's size tells.
    std::vector<FindEntry> entries;
    if (files.FindEntries(path, entries) && entries.size() == 1 && entries[0].size > limit) {
        offered.tooLarge = true;
        offered.detail = path + " has " + std::to_string(entries[0].size) + " bytes";
    } else {
        offered.detail = "cannot read " + path;
    }
    return offered;
}

}  // namespace pellora
