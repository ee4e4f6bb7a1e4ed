#include "cli/elevation.h"

#include <windows.h>

#include "win32/encoding_win.h"
#include "win32/handle_win.h"

namespace pellora::cli {

bool FolderRefusesWrites(const std::string& folder) {
    // A name of this process's own, removed by the system when the handle closes, so that the
    // probe never leaves a file behind nor meets one of another run.
    std::wstring probe = win32::Widen(folder) + L"\\~pellora-cli-" + std::to_wstring(GetCurrentProcessId()) + L".tmp";
    HANDLE file = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    DWORD error = GetLastError();
    return error == ERROR_ACCESS_DENIED || error == ERROR_PRIVILEGE_NOT_HELD;
}

std::string FolderRefusedText(const std::string& folder) {
    return "pellora-cli: no rights to write Pellora's files in " + folder + "; " + kElevatedPromptText;
}

bool ProcessIsElevated() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw))
        return false;
    win32::UniqueKernelHandle token(raw);
    TOKEN_ELEVATION elevation{};
    DWORD length = 0;
    return GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &length) &&
           elevation.TokenIsElevated != 0;
}

bool ChangesTheMachine(const Options& options) {
    switch (options.command) {
        case Command::Scan:
            return options.quarantine;
        case Command::QuarantineList:
        case Command::QuarantineShow:
        case Command::IgnoreList:
        case Command::Settings:
        case Command::FoldersList:
        case Command::RulesMatch:
        case Command::RulesList:
            return false;
        default:
            return true;
    }
}

std::optional<std::string> ElevationHint(Command command, int exitCode, bool elevated) {
    if (elevated || exitCode == kExitClean)
        return std::nullopt;
    switch (command) {
        case Command::Remove:
        case Command::QuarantineRestore:
        case Command::QuarantineDelete:
            return std::string("pellora-cli: some objects could not be changed without administrator rights; ") +
                   kElevatedPromptText;
        default:
            return std::nullopt;
    }
}

}  // namespace pellora::cli
