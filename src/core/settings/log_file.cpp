#include "core/settings/log_file.h"

#include "core/settings/line_text.h"

namespace pellora {

bool LoggingEnabled(const AppState& state) {
    return Line(state.lstSettingsFile, 3) == "1";
}

void AppendLogEntry(FileSystemPort& files,
                    SystemPort& system,
                    UiPort& ui,
                    const std::string& appFolder,
                    const std::vector<std::string>& lines) {
    std::string bytes;
    for (const std::string& line : lines) {
        // A logged object name may hold a line break; in the file it would start a false entry.
        bytes += system.Utf8ToAnsi(FlattenLine(line));
        bytes += "\r\n";
        ui.Yield();
    }
    bytes += "\r\n\r\n";
    (void)files.AppendFile(appFolder + "\\" + kLogFileName, bytes);
}

}  // namespace pellora
