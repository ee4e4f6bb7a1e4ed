#include "core/backup/registry_backup.h"

#include <cstdio>

#include "core/backup/backup_pruning.h"
#include "core/protection/folder_access.h"
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
    // Without the Windows folder there is no editor to run.
    if (windowsDir.size() < 3)
        return;
    // The export holds the whole machine's settings: it is written where only administrators
    // may read or create anything, never where another user could read it or put something of
    // that name first.
    std::optional<std::string> folder = RegistryExportsFolder(ports_.files, state_.appFolder);
    if (!folder) {
        state_.lstLog.push_back("Registry not backed up (no folder that only administrators may read for the export)");
        ports_.ui.Changed(View::Log);
        return;
    }
    std::string fileName = stamp + ".reg";
    std::string exported = *folder + "\\" + fileName;
    std::string command = RegeditExportCommand(windowsDir, exported, "HKEY_LOCAL_MACHINE");
    // A file left there by an earlier run must not pass for this run's export.
    (void)ports_.files.SetAttributes(exported, file_attr::kNormal);
    (void)ports_.files.DeleteFile(exported);
    ShellRun run = ShellRun::NotStarted;
    for (int attempt = 0; attempt < kExportAttempts && run == ShellRun::NotStarted; ++attempt) {
        if (attempt > 0)
            ports_.ui.Yield();
        run = ShellAndWait(ports_.processes, command, kHiddenWindow, kRegeditBackupWaitMs);
    }
    if (run == ShellRun::Ended) {
        // Half an export is no backup, and it would fill the folder run after run.
        (void)ports_.files.DeleteFile(exported);
        state_.lstLog.push_back("Registry not backed up (the registry editor did not end in time and was ended)");
        ports_.ui.Changed(View::Log);
        return;
    }

    // The log says "backed up" only when there is a backup: an editor that did not start or
    // wrote nothing leaves no line claiming otherwise.
    if (run != ShellRun::Finished || !ports_.files.GetAttributes(exported))
        return;
    LocalTime now = ports_.clock.Now();
    state_.lstLog.push_back("");
    state_.lstLog.push_back("Registry backed up on " + ports_.clock.ShortDate(now) + "  " + ClockTime(now));
    ports_.ui.Changed(View::Log);

    // A plain rename rather than the shell's move: the shell would show its own progress and
    // error windows, which must not stop an unattended (automatic) scan. The rename keeps the
    // export's own list; the backups folder gets the administrators-only list as well, so that
    // handing the application folder's list down again (a new installation) does not open the
    // backups to every user.
    const std::string backups = state_.appFolder + kRegistryBackupsFolder;
    (void)ports_.files.SetAccessList(backups.substr(0, backups.size() - 1), kAdministratorsOnlyAccess);
    (void)ports_.files.MoveFile(exported, backups + fileName);
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
