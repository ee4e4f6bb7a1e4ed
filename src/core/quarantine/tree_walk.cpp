#include "core/quarantine/tree_walk.h"

#include <algorithm>

#include "core/util/sha256.h"
#include "core/util/text.h"

namespace pellora {

namespace {

std::string ParentOf(const std::string& path) {
    size_t slash = path.rfind('\\');
    if (slash == std::string::npos)
        return std::string();
    // "C:" alone names the drive's current folder, not its root.
    return slash == 2 && path[1] == ':' ? path.substr(0, 3) : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    return path.substr(path.rfind('\\') + 1);
}

bool IsFolderAttribute(uint32_t attributes) {
    return attributes & file_attr::kDirectory;
}

}  // namespace

bool SamePath(const std::string& a, const std::string& b) {
    return EqualsIgnoreCase(a, b);
}

bool IsLinkEntry(FileSystemPort& files, const std::string& parentFinal, const std::string& path, uint32_t attributes) {
    if (attributes & file_attr::kReparsePoint)
        return true;
    std::optional<std::string> final = files.FinalPath(path);
    // What cannot be resolved cannot be shown to stay inside: it is treated as a link.
    std::string expected = EndsWith(parentFinal, "\\") ? parentFinal : parentFinal + "\\";
    return !final || !SamePath(*final, expected + NameOf(path));
}

bool IsLink(FileSystemPort& files, const std::string& path) {
    std::optional<uint32_t> attributes = files.GetAttributes(path);
    if (!attributes)
        return false;
    std::optional<std::string> parentFinal = files.FinalPath(ParentOf(path));
    return !parentFinal || IsLinkEntry(files, *parentFinal, path, *attributes);
}

bool ListTreeWithoutLinks(FileSystemPort& files,
                          UiPort& ui,
                          const std::string& folder,
                          std::vector<TreeEntry>& out,
                          const LinkHandler& onLink) {
    bool complete = true;
    // Folders still to list, each with its place below `folder`.
    std::vector<std::pair<std::string, std::string>> pending{{folder, ""}};
    std::vector<FindEntry> entries;
    while (!pending.empty()) {
        auto [current, relative] = std::move(pending.back());
        pending.pop_back();
        std::optional<std::string> currentFinal = files.FinalPath(current);
        entries.clear();
        if (!currentFinal || !files.FindEntries(current + "\\*", entries)) {
            complete = false;
            continue;
        }
        // Pushed in reverse, so the first subfolder is listed first and the order stays the
        // listing's own: a folder's entries, then each subfolder's in turn.
        size_t firstChild = pending.size();
        for (const FindEntry& entry : entries) {
            std::string path = current + "\\" + entry.name;
            if (IsLinkEntry(files, *currentFinal, path, entry.attributes)) {
                if (onLink)
                    onLink(path);
                continue;
            }
            std::string below = relative.empty() ? entry.name : relative + "\\" + entry.name;
            bool isFolder = IsFolderAttribute(entry.attributes);
            out.push_back(TreeEntry{path, below, isFolder, isFolder ? 0 : entry.size});
            if (isFolder)
                pending.emplace_back(path, below);
        }
        std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(firstChild), pending.end());
        ui.Yield();
    }
    return complete;
}

bool CopyTreeWithoutLinks(FileSystemPort& files,
                          UiPort& ui,
                          const std::string& source,
                          const std::string& destination,
                          const LinkHandler& onLink) {
    std::vector<TreeEntry> entries;
    bool complete = ListTreeWithoutLinks(files, ui, source, entries, onLink);
    if (!files.CreateDirectory(destination) && !files.GetAttributes(destination))
        return false;
    for (const TreeEntry& entry : entries) {
        std::string target = destination + "\\" + entry.relative;
        bool copied = entry.folder ? files.CreateDirectory(target) : files.CopyOneFile(entry.path, target);
        complete = complete && copied;
        ui.Yield();
    }
    return complete;
}

std::optional<std::string> TreeDigest(FileSystemPort& files, UiPort& ui, const std::string& folder) {
    std::vector<TreeEntry> entries;
    bool linked = false;
    if (!ListTreeWithoutLinks(files, ui, folder, entries, [&](const std::string&) { linked = true; }) || linked)
        return std::nullopt;
    std::vector<std::string> lines;
    for (const TreeEntry& entry : entries) {
        std::string line = ToLowerAscii(entry.relative);
        if (entry.folder) {
            line += "\\";
        } else {
            std::optional<std::string> hash = files.FileSha256(entry.path);
            if (!hash)
                return std::nullopt;
            line.append("|").append(std::to_string(entry.size)).append("|").append(*hash);
        }
        lines.push_back(std::move(line));
    }
    // The listing's order is the platform's; the fingerprint must not depend on it.
    std::sort(lines.begin(), lines.end());
    Sha256 digest;
    for (const std::string& line : lines) {
        digest.Update(line);
        digest.Update("\n");
    }
    return digest.FinishHex();
}

bool TreeHoldsCopy(FileSystemPort& files, UiPort& ui, const std::string& copy, const std::string& restored) {
    if (IsLink(files, restored))
        return false;
    std::optional<uint32_t> top = files.GetAttributes(restored);
    if (!top || !IsFolderAttribute(*top))
        return false;
    std::vector<TreeEntry> entries;
    bool linked = false;
    if (!ListTreeWithoutLinks(files, ui, copy, entries, [&](const std::string&) { linked = true; }) || linked)
        return false;
    for (const TreeEntry& entry : entries) {
        std::string there = restored + "\\" + entry.relative;
        std::optional<uint32_t> attributes = files.GetAttributes(there);
        if (!attributes || IsFolderAttribute(*attributes) != entry.folder || (*attributes & file_attr::kReparsePoint))
            return false;
        if (!entry.folder && !SameFileContent(files, entry.path, there))
            return false;
        ui.Yield();
    }
    return true;
}

std::optional<uint64_t> FileSize(FileSystemPort& files, const std::string& path) {
    std::vector<FindEntry> entries;
    if (!files.FindEntries(path, entries))
        return std::nullopt;
    std::string name = NameOf(path);
    for (const FindEntry& entry : entries) {
        if (!IsFolderAttribute(entry.attributes) && EqualsIgnoreCase(entry.name, name))
            return entry.size;
    }
    return std::nullopt;
}

bool SameFileContent(FileSystemPort& files, const std::string& a, const std::string& b) {
    std::optional<uint64_t> sizeA = FileSize(files, a);
    std::optional<uint64_t> sizeB = FileSize(files, b);
    if (!sizeA || !sizeB || *sizeA != *sizeB)
        return false;
    std::optional<std::string> hashA = files.FileSha256(a);
    std::optional<std::string> hashB = files.FileSha256(b);
    return hashA && hashB && *hashA == *hashB;
}

}  // namespace pellora
