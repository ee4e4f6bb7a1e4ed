// Pruning of the registry backups: the "*.reg" files directly in the Registry Backups folder are
// listed into lstRegistryBackups, and all but the newest `keep` of them are deleted (Settings.stg
// line 10). A backup is named by the local time it was made, day-month-year-hour-minute-second
// without leading zeros, so text order is not age order: age is read from the name, and from
// the file's last write time for a name that does not carry a stamp. Runs at start-up and
// before every scan.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/state/app_state.h"
#include "core/ports/file_system.h"

namespace pellora {

inline constexpr const char* kRegistryBackupsFolder = "\\Registry Backups\\";
inline constexpr int64_t kDefaultBackupsToKeep = 10;

// The time in a backup's name ("7-12-2026-9-5-7.reg") on the file-time scale (100-ns intervals
// since 1601), or nothing when the name is not a stamp of a real date and time.
std::optional<uint64_t> BackupNameTime(std::string_view name);

// Settings.stg line 10 as a count of backups to keep: a whole number of 0 or more, else 10.
int64_t BackupsToKeep(const AppState& state);

// Fills lstRegistryBackups (ascending by name, letter case ignored) and deletes the oldest
// backups beyond the number to keep, each after its attributes are reset. A backup that cannot
// be deleted stays, and no newer one is deleted in its place. Deleted names leave the list.
void PruneRegistryBackups(AppState& state, FileSystemPort& files);

}  // namespace pellora
