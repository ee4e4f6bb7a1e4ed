#include "core/update/file_source.h"

namespace pellora {

std::string OfferedFileProblem(FileSystemPort& files, const std::string& path) {
    std::optional<uint32_t> attributes = files.GetAttributes(path);
    if (!attributes)
        return "cannot open " + path + " (no such file, or no access)";
    if (*attributes & file_attr::kDirectory)
        return path + " is a folder";
    return "";
}

OfferedFile ReadOfferedFile(FileSystemPort& files, const std::string& path, uint64_t limit) {
    OfferedFile offered;
    offered.detail = OfferedFileProblem(files, path);
    if (!offered.detail.empty())
        return offered;
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
