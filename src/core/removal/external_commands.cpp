#include "core/removal/external_commands.h"

#include <cstdint>

namespace pellora {

ShellRun ShellAndWait(ProcessPort& processes, const std::string& sCmd, int WindowStyle, uint32_t timeoutMs) {
    ProcessPort::BoundedRun run = processes.RunAndWaitBounded(sCmd, static_cast<uint16_t>(WindowStyle), timeoutMs);
    if (!run.ran)
        return ShellRun::NotStarted;
    return run.finished ? ShellRun::Finished : ShellRun::Ended;
}

std::string QuoteArgument(const std::string& argument) {
    if (argument.find_first_of(" \t") == std::string::npos)
        return argument;
    // Backslashes are literal except in front of a quote, where each must be doubled; the
    // closing quote counts, so a trailing backslash is doubled too.
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        if (c == '"') {
            quoted.append(backslashes * 2 + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}

namespace {
std::string Regedit(const std::string& windowsDir) {
    return QuoteArgument(windowsDir + "\\regedit.exe");
}
}  // namespace

std::string RegeditExportCommand(const std::string& windowsDir, const std::string& file, const std::string& keyPath) {
    return Regedit(windowsDir) + " /e " + QuoteArgument(file) + " " + QuoteArgument(keyPath);
}

std::string RegeditImportCommand(const std::string& windowsDir, const std::string& file) {
    return Regedit(windowsDir) + " /c /s " + QuoteArgument(file);
}

}  // namespace pellora
