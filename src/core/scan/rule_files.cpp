#include "core/scan/rule_files.h"

#include <algorithm>

#include "core/database/database_rules.h"
#include "core/scan/file_finder.h"

namespace pellora {

std::vector<std::string> FilesBelow(FileSystemPort& files, UiPort& ui, const std::string& folder, bool ruleFilesOnly) {
    AppState state;
    state.busy = true;  // the walk stops only when this is cleared
    StringTable listed;
    FileFinder(state, files, ui).CollectFilePaths(folder, "*", listed, true);
    std::vector<std::string> paths;
    for (size_t i = 0; i < listed.Count(); ++i) {
        const std::string path(listed[i]);
        if (ruleFilesOnly && !IsRuleFileName(path.substr(path.rfind('\\') + 1)))
            continue;
        const std::optional<uint32_t> attributes = files.GetAttributes(path);
        if (attributes && !(*attributes & file_attr::kDirectory))
            paths.push_back(path);
    }
    if (ruleFilesOnly)
        std::sort(paths.begin(), paths.end());
    return paths;
}

}  // namespace pellora
