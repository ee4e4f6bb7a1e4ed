// The removal of what starts a found file: a reference row goes with the file row it starts
// (checking the file checks its references), and one element of a list value (Winlogon Shell
// and Userinit, AppInit_DLLs) is taken out of the value, which is written back with every other
// byte as it was. Those values are critical: they are repaired, never deleted, and Shell and
// Userinit are never left empty (Windows would start no session). Under automatic erase the
// whole value is quarantined first, so restore puts the list back as it was.
#include <unordered_set>

#include "core/autostart/autostart.h"
#include "core/autostart/hosts_file.h"
#include "core/autostart/scheduled_task.h"
#include "core/removal/removal_run.h"
#include "core/removal/restart_deletes.h"
#include "core/scan/persistence_matches.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

void RemovalRun::CheckStartReferences() {
    std::unordered_set<std::string> files;
    for (const ResultRow& row : state_.lstScanResult) {
        if (row.checked && IsFileRowType(row.type))
            files.insert(row.object);
    }
    bool changed = false;
    for (size_t i = 0; i < state_.lstScanResult.size(); ++i) {
        ResultRow& row = state_.lstScanResult[i];
        if (!row.checked && !row.startsFile.empty() && files.count(row.startsFile)) {
            row.checked = true;
            changed = true;
        }
    }
    if (changed)
        ports_.ui.Changed(View::ScanResults);
}

void RemovalRun::RemoveListPart(const ResultRow& row) {
    const std::string notRepaired = "Registry value not repaired=" + row.object;
    const std::optional<ListPart> part = ParseListPart(row.object);
    if (!part) {
        Log(notRepaired + " (not a list value)");
        return;
    }
    if (!row.foundKey.empty() && guard_.identity().KeyIdentity(part->keyPath).value_or("") != row.foundKey) {
        Log(notRepaired + " (not the key that was found)");
        return;
    }
    const std::string valueObject = part->keyPath + "," + part->name;
    const std::optional<RegValue> value = services_.registry.ReadValue(part->keyPath, part->name);
    if (!value || (value->type != kRegSz && value->type != kRegExpandSz)) {
        Log("Registry value not found=" + valueObject);
        return;
    }
    const std::optional<std::string> repaired = WithoutListPart(value->data, part->part, ListSeparators(part->name));
    if (!repaired) {
        Log("Registry value part not found=" + row.object);
        return;
    }
    if (!EqualsOrdinalIgnoreCase(part->name, "AppInit_DLLs") &&
        repaired->find_first_not_of(", \t") == std::string::npos) {
        Log("Protected object skipped=" + row.object + " (Windows starts no session with an empty " + part->name + ")");
        return;
    }
    if (!QuarantineFirst(row)) {
        Log(notRepaired);
        return;
    }
    const bool written = services_.registry.WriteValue(part->keyPath, part->name, RegValue{value->type, *repaired});
    const std::optional<RegValue> after = services_.registry.ReadValue(part->keyPath, part->name);
    if (!written || !after || after->data != *repaired) {
        Log(notRepaired);
        return;
    }
    AddToRemoved(1);
    Log("Registry value repaired=" + valueObject + " (" + part->part + " taken out)");
}

void RemovalRun::RemoveTask(const ResultRow& row) {
    const std::string& path = row.object;
    if (!IsTaskPath(path)) {
        Log("Task not found=" + path + " (not a task path)");
        return;
    }
    if (IsWindowsTask(path)) {
        Log("Protected object skipped=" + path + " (a task of Windows)");
        return;
    }
    if (!ports_.tasks) {
        Log("Task not removed=" + path + " (no task scheduler)");
        return;
    }
    ScheduledTasks tasks(*ports_.tasks, ports_.files, ports_.system.SystemDirectory());
    if (tasks.TaskPresence(path) == Presence::Absent) {
        Log("Task not found=" + path);
        return;
    }
    if (!QuarantineFirst(row)) {
        Log("Task not removed=" + path);
        return;
    }
    if (!ports_.tasks->DeleteTask(path) || tasks.TaskPresence(path) != Presence::Absent) {
        Log("Task not removed=" + path);
        return;
    }
    AddToRemoved(1);
    Log("Task deleted=" + path);
}

void RemovalRun::RemoveHostsLines(const ResultRow& row) {
    const std::string& host = row.object;
    const std::string path = HostsFilePath(ports_.registry, ports_.system);
    const std::optional<std::string> text = ports_.files.ReadFileUpTo(path, autostart::kMaxHostsLength);
    const std::vector<HostsLine> lines = text ? LinesMapping(*text, host) : std::vector<HostsLine>{};
    if (lines.empty()) {
        Log("Hosts lines not found=" + host);
        return;
    }
    if (!QuarantineFirst(row)) {
        Log("Hosts lines not removed=" + host);
        return;
    }
    const std::string kept = WithoutLines(*text, lines);
    if (!ports_.files.WriteFileAtomic(path, kept) ||
        ports_.files.ReadFileUpTo(path, autostart::kMaxHostsLength) != kept) {
        Log("Hosts lines not removed=" + host);
        return;
    }
    AddToRemoved(lines.size());
    Log("Hosts lines removed=" + host + " (" + std::to_string(lines.size()) + " of " + path + ")");
}

bool RemovalRun::DeleteAtRestart(const std::string& path,
                                 const std::string& object,
                                 const char* what,
                                 const std::optional<FileIdentity>& checked) {
    FileSystemPort& files = ports_.files;
    if (files.Probe(path) == Presence::Absent)
        return false;
    if (checked) {
        // The system deletes by name at restart: only while the name still leads to the object
        // checked is it asked to.
        const std::optional<FileIdentity> now = files.Identify(path);
        if (!now || now->volumeSerial != checked->volumeSerial || now->fileIdHigh != checked->fileIdHigh ||
            now->fileIdLow != checked->fileIdLow)
            return false;
    }
    if (!files.DeleteAtRestart(path))
        return false;
    if (!RecordPendingDelete(files, state_.appFolder, path))
        Log(std::string(what) + " removed at restart, not noted for the next start=" + object);
    Log(std::string(what) + " removed at restart=" + object);
    return true;
}

}  // namespace pellora
