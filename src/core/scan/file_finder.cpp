#include "core/scan/file_finder.h"

namespace pellora {

namespace {
bool IsAllPattern(const std::string& pattern) {
    return pattern == "*.*" || pattern == "*";
}
}  // namespace

template <typename Add>
bool FileFinder::Walk(const std::string& folder, const std::string& pattern, bool subfolders, bool stopWhenIdle,
                      Add&& add) {
    std::string base = folder;
    if (base.empty() || base.back() != '\\') base += '\\';

    // One find gives both the subfolders and, for "*.*", the entries to list.
    std::vector<FindEntry> all;
    files_.FindEntries(base + "*", all);
    std::vector<std::string> subfolderNames;
    for (const FindEntry& entry : all) {
        if ((entry.attributes & file_attr::kDirectory) && !(entry.attributes & file_attr::kReparsePoint)) {
            subfolderNames.push_back(entry.name);
        }
        if (stopWhenIdle) {
            if (!state_.busy) return false;
            ui_.Yield();
        }
    }

    std::vector<FindEntry> matching;
    if (!IsAllPattern(pattern)) {
        files_.FindEntries(base + pattern, matching);
    }
    const std::vector<FindEntry>& listed = IsAllPattern(pattern) ? all : matching;
    for (const FindEntry& entry : listed) {
        if (entry.name != "desktop.ini") add(base, entry);
        if (stopWhenIdle) {
            if (!state_.busy) return false;
            ui_.Yield();
        }
    }

    if (subfolders) {
        for (const std::string& name : subfolderNames) {
            if (!Walk(base + name + "\\", pattern, true, stopWhenIdle, add)) return false;
            ui_.Yield();
        }
    }
    return true;
}

void FileFinder::CollectFileNames(const std::string& folder, const std::string& pattern,
                                  std::vector<std::string>& target, bool subfolders) {
    listedLength_ = 0;
    Walk(folder, pattern, subfolders, false, [&](const std::string&, const FindEntry& entry) {
        target.push_back(entry.name);
        if (!(entry.attributes & file_attr::kDirectory)) listedLength_ += entry.size;
    });
    ui_.Yield();
}

void FileFinder::CollectFilePaths(const std::string& folder, const std::string& pattern, StringTable& target,
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
