// The activity log file (DavEre.roz in the application folder): the removal run and the restore
// append their entries to it while logging is switched on (Settings.stg line 3).
#pragma once

#include <string>
#include <vector>

#include "core/ports/file_system.h"
#include "core/ports/system.h"
#include "core/ports/ui.h"
#include "core/state/app_state.h"

namespace pellora {

inline constexpr const char* kLogFileName = "DavEre.roz";

// True when the user has logging switched on.
bool LoggingEnabled(const AppState& state);

// Appends `lines` (UTF-8) as one entry: each line in the ANSI code page with a line break of its
// own turned into a blank, CR LF after each, two empty lines after the entry. One append: a
// failure leaves the earlier entries as they were.
void AppendLogEntry(FileSystemPort& files,
                    SystemPort& system,
                    UiPort& ui,
                    const std::string& appFolder,
                    const std::vector<std::string>& lines);

}  // namespace pellora
