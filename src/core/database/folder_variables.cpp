#include "core/database/folder_variables.h"

#include "core/util/text.h"

namespace pellora {

void ReplaceVariableFolders(std::string& object, const SpecialFolders& folders) {
    const std::pair<const char*, const std::string*> variables[] = {
        {"%AppData%", &folders.appData},   {"%StartMenu%", &folders.startMenu}, {"%ProgramsDir%", &folders.programsDir},
        {"%Desktop%", &folders.desktop},   {"%TempDir%", &folders.tempDir},     {"%WinDir%", &folders.windowsDir},
        {"%SystemDir%", &folders.systemDir},
    };
    for (const auto& [name, value] : variables) {
        if (FindIgnoreCase(object, name) != std::string::npos) object = ReplaceAllIgnoreCase(object, name, *value);
    }
}

}  // namespace pellora
