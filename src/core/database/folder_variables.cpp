#include "core/database/folder_variables.h"

#include <utility>

#include "core/util/text.h"

namespace pellora {

void DiscoverSpecialFolders(SpecialFolders& folders, SystemPort& system, RegistryAccess& registry) {
    std::string systemDir = system.SystemDirectory();
    folders.systemDir = systemDir.empty() ? "C:\\WINDOWS\\SYSTEM32" : systemDir;

    std::string windowsDir = system.WindowsDirectory();
    folders.windowsDir = windowsDir.empty() ? "C:\\WINDOWS" : windowsDir;

    std::string tempPath = system.TempPath();
    if (tempPath.empty()) {
        folders.tempDir = "C:\\WINDOWS\\TEMP";
    } else {
        // Only a trailing backslash goes: cutting the last character blindly would damage a
        // path that a system (or a TMP setting) hands over without one.
        if (tempPath.back() == '\\')
            tempPath.pop_back();
        folders.tempDir = tempPath;
    }

    folders.appData = registry.GetStringValue(kShellFoldersKey, "AppData");
    folders.startMenu = registry.GetStringValue(kShellFoldersKey, "Start Menu");
    folders.programsDir = registry.GetStringValue(kCurrentVersionKey, "ProgramFilesDir");
    folders.desktop = registry.GetStringValue(kShellFoldersKey, "Desktop");
    folders.cookies = registry.GetStringValue(kShellFoldersKey, "Cookies");
}

void ReplaceVariableFolders(std::string& object, const SpecialFolders& folders) {
    const std::pair<const char*, const std::string*> variables[] = {
        {"%AppData%", &folders.appData},         {"%StartMenu%", &folders.startMenu},
        {"%ProgramsDir%", &folders.programsDir}, {"%Desktop%", &folders.desktop},
        {"%TempDir%", &folders.tempDir},         {"%WinDir%", &folders.windowsDir},
        {"%SystemDir%", &folders.systemDir},
    };
    for (const auto& [name, value] : variables) {
        if (FindIgnoreCase(object, name) != std::string::npos)
            object = ReplaceAllIgnoreCase(object, name, *value);
    }
}

}  // namespace pellora
