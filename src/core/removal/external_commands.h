// Running the system's own programs: ShellAndWait starts a command line and waits for it, and
// the functions below build the command lines of the registry editor (export and import of
// keys). Arguments that contain a blank are quoted, because
// unquoted a path or key name with a blank would name another object; all other arguments are
// passed exactly as they are.
#pragma once

#include <string>

#include "core/ports/processes.h"

namespace pellora {

// Show-window value of a hidden window (SW_HIDE), what every caller passes.
inline constexpr int kHiddenWindow = 0;

// How a program run by ShellAndWait went.
enum class ShellRun {
    NotStarted,
    Finished,
    Ended,  // still running at the bound: this program ended it, its work may be half done
};

// Waits for the registry editor: one key (quarantine, restore) and the whole of
// HKEY_LOCAL_MACHINE (the registry backup, which takes minutes on a large registry). A
// damaged or hostile .reg file, or an editor that stops on a question nobody sees, must not
// hold Pellora, an automatic scan or a console run for ever.
inline constexpr uint32_t kRegeditKeyWaitMs = 120'000;
inline constexpr uint32_t kRegeditBackupWaitMs = 900'000;

// Starts `sCmd` with the show-window value `WindowStyle` (narrowed to 16 bits, as the start-up
// record holds it) and waits until the program has ended, at most `timeoutMs`, keeping the
// window painted; past the bound the program is ended.
[[nodiscard]] ShellRun ShellAndWait(ProcessPort& processes,
                                    const std::string& sCmd,
                                    int WindowStyle,
                                    uint32_t timeoutMs);

// `argument` as one command-line argument: unchanged without blanks, otherwise in double quotes
// with the backslash and quote escapes the C runtime's argument parser expects.
std::string QuoteArgument(const std::string& argument);

// windowsDir\regedit.exe /e <file> <key>: exports `keyPath` (root name first) and everything
// below it into `file`; no file is written when the key does not exist.
std::string RegeditExportCommand(const std::string& windowsDir, const std::string& file, const std::string& keyPath);
// windowsDir\regedit.exe /c /s <file>: imports `file` without asking anything.
std::string RegeditImportCommand(const std::string& windowsDir, const std::string& file);

}  // namespace pellora
