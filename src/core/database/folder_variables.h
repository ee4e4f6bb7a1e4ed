// Folder variables of signature paths ("%WinDir%", ...) and their replacement by the folders of
// this machine, found once at start-up.
#pragma once

#include <string>

#include "core/app/app_state.h"

namespace pellora {

// Replaces every variable in `object`, any letter case, in the fixed order %AppData%,
// %StartMenu%, %ProgramsDir%, %Desktop%, %TempDir%, %WinDir%, %SystemDir%. Other names between
// percent signs stay.
void ReplaceVariableFolders(std::string& object, const SpecialFolders& folders);

}  // namespace pellora
