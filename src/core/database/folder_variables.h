// Folder variables of signature paths ("%WinDir%", ...): the special folders of this machine,
// found once at start-up, and their replacement in a signature's object field. The values that
// come from the registry keep the layer's sentinels ("Error", ""), so an item that uses a
// missing folder names a path that does not exist and is simply never found.
#pragma once

#include <string>

#include "core/state/app_state.h"
#include "core/ports/system.h"
#include "core/settings/registry_access.h"

namespace pellora {

inline constexpr const char* kShellFoldersKey =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
inline constexpr const char* kCurrentVersionKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// Fills every folder, in this order: system folder, Windows folder, temporary folder (without
// its trailing backslash), AppData, Start Menu, ProgramFilesDir, Desktop, Cookies. A failed
// system call gives "C:\WINDOWS\SYSTEM32", "C:\WINDOWS" or "C:\WINDOWS\TEMP".
void DiscoverSpecialFolders(SpecialFolders& folders, SystemPort& system, RegistryAccess& registry);

// Replaces every variable in `object`, any letter case, in the fixed order %AppData%,
// %StartMenu%, %ProgramsDir%, %Desktop%, %TempDir%, %WinDir%, %SystemDir%; each replacement
// works on the text the one before produced. Other names between percent signs stay.
void ReplaceVariableFolders(std::string& object, const SpecialFolders& folders);

}  // namespace pellora
