// The registry backup before a scan (ListRegBackups). When Settings.stg line 5 is "1", the
// local-machine hive is exported with the system's registry editor into a stamped ".reg" file in
// the application folder's "Registry Exports" (which only administrators may read), then moved
// into "Registry Backups". Whether or not it exported,
// the backup folder is pruned to the configured count and the running processes are listed for
// the scan.
#pragma once

#include <string>

#include "core/state/app_state.h"
#include "core/ports/ports.h"

namespace pellora {

// Tries to start the registry editor at most this often: a missing editor must not hang a scan.
inline constexpr int kExportAttempts = 3;
inline constexpr size_t kBackupSettingLine = 5;

// day-month-year-hour-minute-second, each in plain decimal without leading zeros.
std::string BackupStamp(const LocalTime& time);

class RegistryBackup {
  public:
    RegistryBackup(AppState& state, Ports& ports) : state_(state), ports_(ports) {}

    void ListRegBackups();

  private:
    void ExportLocalMachine(const std::string& stamp);

    AppState& state_;
    Ports& ports_;
};

}  // namespace pellora
