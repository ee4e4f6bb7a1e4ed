// Files deleted when the system next starts: a file in use cannot be deleted now, so after its
// quarantine copy the removal asks the system to delete it at restart (MoveFileExW with
// MOVEFILE_DELAY_UNTIL_REBOOT) and notes it in Settings\PendingDeletes.stg. It is counted as
// removed only when the next start of the program finds it gone; that start logs the outcome of
// each either way and empties the list.
#pragma once

#include <string>
#include <vector>

#include "core/ports/file_system.h"
#include "core/state/app_state.h"

namespace pellora {

inline constexpr const char* kPendingDeletesFile = "\\Settings\\PendingDeletes.stg";

// Adds `path` to the list; false when the list could not be written.
[[nodiscard]] bool RecordPendingDelete(FileSystemPort& files, const std::string& appFolder, const std::string& path);

// The start's check: each listed file that is gone is added to the removed-objects figure
// (ScanInfo.stg line 3); returns the log line of every listed file ("Removed at restart=" or
// "Not removed at restart="). The list is deleted once read.
std::vector<std::string> ConfirmPendingDeletes(AppState& state, FileSystemPort& files);

}  // namespace pellora
