#include "core/backup/registry_backup.h"

#include <cstdio>

#include "core/backup/backup_pruning.h"
#include "core/removal/external_commands.h"
#include "core/scan/process_listing.h"

namespace pellora {

namespace {
std::string ClockTime(const LocalTime& time) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", time.hour, time.minute, time.second);
    return text;
}
}  // namespace

std::string BackupStamp(const LocalTime& time) {
    return std::to_string(time.day) + "-" + std::to_string(time.month) + "-" + std::to_string(time.year) + "-" +
           std::to_string(time.hour) + "-" + std::to_string(time.minute) + "-" + std::to_string(time.second);
}

void RegistryBackup::ExportLocalMachine(const std::string& stamp) {
    state_.currentOperation = "Backing up Registry...";
    ports_.ui.Changed(View::ScanProgress);

    const std::string& windowsDir = state_.folders.windowsDir;
    // Without the Windows folder there is neither an editor to run nor a drive root to write to.
    if (windowsDir.size() < 3)
        return;
    std::string fileName = stamp + ".reg";
    std::string exported = SystemDriveRoot(windowsDir) + fileName;
    std::string command = RegeditExportCommand(windowsDir, exported, "HKEY_LOCAL_MACHINE");
    // A file left there by an earlier run must not pass for this run's export.
    (void)ports_.files.SetAttributes(exported, file_attr::kNormal);
    (void)ports_.files.DeleteFile(exported);
    bool ran = false;
    for (int attempt = 0; attempt < kExportAttempts && !ran; ++attempt) {
        if (attempt > 0)
            ports_.ui.Yield();
        ran = ShellAndWait(ports_.processes, command, kHiddenWindow);
    }

    // The log says "backed up" only when there is a backup: an editor that did not start or
    // wrote nothing leaves no line claiming otherwise.
    if (!ran || !ports_.files.GetAttributes(exported))
        return;
    LocalTime now = ports_.clock.Now();
    state_.lstLog.push_back("");
    state_.lstLog.push_back("Registry backed up on " + ports_.clock.ShortDate(now) + "  " + ClockTime(now));
    ports_.ui.Changed(View::Log);

    // A plain rename rather than the shell's move: the shell would show its own progress and
    // error windows, which must not stop an unattended (automatic) scan.
    (void)ports_.files.MoveFile(exported, state_.appFolder + kRegistryBackupsFolder + fileName);
    ports_.ui.Yield();
}

void RegistryBackup::ListRegBackups() {
    std::string stamp = BackupStamp(ports_.clock.Now());
    if (Line(state_.lstSettingsFile, kBackupSettingLine) == "1")
        ExportLocalMachine(stamp);

    PruneRegistryBackups(state_, ports_.files);

    ListActiveProcesses(state_, ports_.processes);
    state_.counters.runningProcesses = static_cast<int64_t>(state_.lstProcesses.size());
    ports_.ui.Changed(View::ScanProgress);
}

}  // namespace pellora
