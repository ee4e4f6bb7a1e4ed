#include "core/scan/file_finder.h"

#include <optional>

#include "core/identity/object_identity.h"

namespace pellora {

namespace {
bool IsAllPattern(const std::string& pattern) {
    return pattern == "*.*" || pattern == "*";
}
}  // namespace

template <typename Add>
bool FileFinder::ListOne(const std::string& base,
                         const std::vector<FindEntry>& all,
                         const std::string& pattern,
                         bool stopWhenIdle,
                         std::vector<std::string>& subfolderNames,
                         Add&& add) {
    // One read of the folder gives both the subfolders and, for "*.*", the entries to list.
    for (const FindEntry& entry : all) {
        if ((entry.attributes & file_attr::kDirectory) && !(entry.attributes & file_attr::kReparsePoint))
            subfolderNames.push_back(entry.name);
        if (stopWhenIdle) {
            if (!state_.busy)
                return false;
            ui_.Yield();
        }
    }

    std::vector<FindEntry> matching;
    if (!IsAllPattern(pattern)) {
        files_.FindEntries(base + pattern, matching);
    }
    const std::vector<FindEntry>& listed = IsAllPattern(pattern) ? all : matching;
    for (const FindEntry& entry : listed) {
        if (entry.name != "desktop.ini")
            add(base, entry);
        if (stopWhenIdle) {
            if (!state_.busy)
                return false;
            ui_.Yield();
        }
    }
    return true;
}

bool FileFinder::IsWhereListed(const FoldedPath& parent, const std::string& childPath, const FoldedPath& child) {
    // A parent whose final path this program cannot read gives no yardstick.
    if (!parent)
        return true;
    auto listed = SplitFoldedPath(childPath);
    if (!child || !listed)
        return false;
    const std::vector<std::string>& parts = *child;
    if (parts.size() == parent->size() + 1 && IsStrictlyBelow(parts, *parent) && parts.back() == listed->back())
        return true;
    // Wine names a drive's root folder by the Unix folder behind it but its entries by the drive
    // letter; an entry that resolves to exactly the path it was listed under is no link.
    return *listed == parts;
}

template <typename Add>
bool FileFinder::Walk(const std::string& folder,
                      const std::string& pattern,
                      bool subfolders,
                      bool stopWhenIdle,
                      Add&& add,
                      int maxDepth) {
    // Depth first without recursion: a planted tree thousands of levels deep costs a frame of
    // this list per level, not a stack frame. A folder's own entries come before those of its
    // subfolders, and subfolders are entered in find order.
    struct Frame {
        std::string base;
        FoldedPath finalPath;  // folded once, for every subfolder's test
        std::vector<std::string> subfolders;
        size_t next = 0;
        int level = 0;
    };
    std::optional<std::string> finalPath;
    auto folded = [&finalPath]() -> FoldedPath { return finalPath ? SplitFoldedPath(*finalPath) : std::nullopt; };
    std::vector<Frame> stack;
    std::vector<FindEntry> entries;
    Frame first;
    first.base = folder;
    if (first.base.empty() || first.base.back() != '\\')
        first.base += '\\';
    files_.ListFolder(first.base, entries, finalPath);
    first.finalPath = folded();
    if (!ListOne(first.base, entries, pattern, stopWhenIdle, first.subfolders, add))
        return false;
    if (!subfolders)
        return true;
    stack.push_back(std::move(first));
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next >= top.subfolders.size() || (maxDepth >= 0 && top.level >= maxDepth)) {
            stack.pop_back();
            if (!stack.empty())
                ui_.Yield();
            continue;
        }
        Frame child;
        child.level = top.level + 1;
        const std::string childPath = top.base + top.subfolders[top.next++];
        child.base = childPath + "\\";
        entries.clear();
        bool read = files_.ListFolder(child.base, entries, finalPath);
        child.finalPath = folded();
        // The subfolder is read through its own handle, and entered only when that handle's
        // final path is directly below its parent's: a link that does not say it is one
        // (Wine's Unix symbolic links) is listed as an entry of its parent, never entered.
        if (!read || !IsWhereListed(top.finalPath, childPath, child.finalPath))
            continue;
        if (!ListOne(child.base, entries, pattern, stopWhenIdle, child.subfolders, add))
            return false;
        stack.push_back(std::move(child));
    }
    return true;
}

void FileFinder::CollectFileNames(const std::string& folder,
                                  const std::string& pattern,
                                  std::vector<std::string>& target,
                                  bool subfolders) {
    listedLength_ = 0;
    Walk(folder, pattern, subfolders, false, [&](const std::string&, const FindEntry& entry) {
        target.push_back(entry.name);
        if (!(entry.attributes & file_attr::kDirectory))
            listedLength_ += entry.size;
    });
    ui_.Yield();
}

void FileFinder::VisitFiles(const std::string& folder,
                            int depth,
                            const std::function<void(const std::string& base, const FindEntry& entry)>& visit) {
    Walk(
        folder, "*.*", depth > 0, true,
        [&](const std::string& base, const FindEntry& entry) {
            if (!(entry.attributes & file_attr::kDirectory))
                visit(base, entry);
        },
        depth);
}

void FileFinder::CollectFilePaths(const std::string& folder,
                                  const std::string& pattern,
                                  StringTable& target,
                                  bool subfolders) {
    std::string row;
    if (Walk(folder, pattern, subfolders, true, [&](const std::string& base, const FindEntry& entry) {
            row.assign(base);
            row.append(entry.name);
            target.Add(row);
        })) {
        ui_.Yield();
    }
}

}  // namespace pellora
