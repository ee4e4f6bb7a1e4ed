// The files a folder argument names for content rules, read by the scan's own walker
// (scan/file_finder.h): every folder below it is entered, links to folders never.
#pragma once

#include <string>
#include <vector>

#include "core/ports/file_system.h"
#include "core/ports/ui.h"

namespace pellora {

// The full paths of the files (not folders) below `folder`, the folder's own entries before
// those of its subfolders. With `ruleFilesOnly`, only the rule files (IsRuleFileName), sorted.
std::vector<std::string> FilesBelow(FileSystemPort& files, UiPort& ui, const std::string& folder, bool ruleFilesOnly);

}  // namespace pellora
