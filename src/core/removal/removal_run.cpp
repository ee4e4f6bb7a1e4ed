#include "core/removal/removal_run.h"

#include <cstdio>
#include <limits>
#include <unordered_map>
#include <unordered_set>

#include "core/browsers/browser_rows.h"
#include "core/removal/external_commands.h"
#include "core/removal/object_presence.h"
#include "core/removal/removal_events.h"
#include "core/scan/process_listing.h"
#include "core/settings/line_text.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

namespace {

constexpr size_t kFolderPasses = 30;

std::string LastThreeLower(const std::string& text) {
    return ToLowerAscii(text.size() < 3 ? text : text.substr(text.size() - 3));
}

// The registry layer answers a malformed key path with a message box; a database line must
// not be able to stop an unattended run with one, so such paths are caught first.
bool IsWellFormedKeyPath(const std::string& keyPath) {
    return StartsWith(keyPath, "HKEY_") && !EndsWith(keyPath, "\\");
}

std::string SkippedLine(const std::string& object, const std::string& reason) {
    return "Protected object skipped=" + object + " (" + reason + ")";
}

}  // namespace

std::optional<std::string> NotAsFound(const ResultRow& row, const std::optional<ResolvedObject>& now, bool folderRow) {
    if (now && !folderRow && (now->attributes & file_attr::kDirectory))
        return "a folder, not the file that was found";
    if (!row.foundAs || !now)
        return std::nullopt;
    const FileIdentity& found = *row.foundAs;
    if (found.volumeSerial != now->volumeSerial || found.fileIdHigh != now->fileIdHigh ||
        found.fileIdLow != now->fileIdLow)
        return "not the object that was found";
    if (FoldOrdinal(found.finalPath) != FoldOrdinal(now->finalPath))
        return "reached through a link that was not there when it was found";
    return std::nullopt;
}

std::string FixedDateTime(const LocalTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d-%02d-%04d  %02d:%02d:%02d", t.month % 100, t.day % 100, t.year % 10000,
                  t.hour % 100, t.minute % 100, t.second % 100);
    return text;
}

bool RemovalRun::AutomaticErase() const {
    return Line(state_.lstSettingsFile, 9) == "1" && Line(state_.lstCustomScanSettings, 4) == "1";
}

void RemovalRun::SetButtons(bool enabled) {
    state_.buttons.cmdNextDelete = enabled;
    state_.buttons.cmdQuarantineSelected = enabled;
    state_.buttons.cmdIgnoreSelected = enabled;
    ports_.ui.Changed(View::Buttons);
}

void RemovalRun::Log(std::string line) {
    ReportRemovalLine(ports_.events, line);
    state_.lstLog.push_back(std::move(line));
    ports_.ui.Changed(View::Log);
}

void RemovalRun::AddToRemoved(size_t count) {
    if (count == 0)
        return;
    int64_t total = LeadingInteger(Line(state_.lstScanInfoFile, 2));
    // A damaged line may hold a figure near the largest one; the sum stops there.
    const int64_t most = std::numeric_limits<int64_t>::max();
    const int64_t added = static_cast<int64_t>(count);
    total = total > most - added ? most : total + added;
    SetLine(state_.lstScanInfoFile, 2, std::to_string(total));
}

void RemovalRun::RemoveEmptyPackageFolder() {
    // Without a scan stamp the path would be the Quarantine folder itself.
    if (state_.scanStamp.empty())
        return;
    std::string folder = state_.appFolder + "\\Quarantine\\" + state_.scanStamp;
    auto attributes = ports_.files.GetAttributes(folder);
    if (!attributes || !(*attributes & file_attr::kDirectory))
        return;
    std::vector<FindEntry> entries;
    if (ports_.files.FindEntries(folder + "\\*", entries) && entries.empty())
        ports_.files.RemoveDirectory(folder);
}

void RemovalRun::cmdNextDelete_Click() {
    // Events run inside the yields; a second run from one of them (a click that got through,
    // the automatic path of a scan) would remove and count the same rows twice.
    if (running_)
        return;
    running_ = true;
    Run();
    running_ = false;
}

void RemovalRun::Run() {
    SetButtons(false);
    ports_.ui.Yield();
    RemoveEmptyPackageFolder();

    size_t checked = 0;
    if (!state_.lstScanResult.empty()) {
        if (AutomaticErase()) {
            for (size_t i = 0; i < state_.lstScanResult.size(); ++i) {
                state_.lstScanResult[i].checked = true;
                ports_.ui.Yield();
            }
            ports_.ui.Changed(View::ScanResults);
        }
        CheckStartReferences();
        if (AutomaticErase() || state_.automaticScan)
            LeaveManualOnlyRows();
        for (const ResultRow& row : state_.lstScanResult)
            checked += row.checked ? 1 : 0;
    }

    if (checked > 0) {
        if (!AutomaticErase() && !state_.automaticScan) {
            MsgAnswer answer =
                ports_.ui.Message("Are you sure you want to delete " + std::to_string(checked) + " items?", "Delete?",
                                  MsgButtons::YesNo, MsgIcon::Question);
            if (answer != MsgAnswer::Yes) {
                SetButtons(true);
                return;
            }
        }
        // Held for the whole run: the folder and key listings stop when it is clear (after an
        // aborted scan they would list nothing), and the auto-scan and shutdown wait for it.
        state_.busy = true;
        // The special folders are found at start-up and may have been found again since.
        guard_.Refresh();
        registrations_.Forget();
        closer_.Forget();
        removedFolders_.clear();
        StopCheckedServices();

        size_t rowCount = state_.lstScanResult.size();
        for (size_t i = 0; i < rowCount; ++i) {
            if (i >= state_.lstScanResult.size())
                break;
            if (state_.lstScanResult[i].checked) {
                ResultRow row = state_.lstScanResult[i];
                RemoveRow(row);
            }
            ports_.ui.Yield();
        }
        OfferHomePageReset();
    }
    Finish();
}

void RemovalRun::LeavePresentIrremovable() {
    // The notice names what is still to be removed by hand: an object that went with another
    // row of this run (a file of a removed folder, a key below a removed key) is not among them.
    const PersistencePorts persistence{&ports_.system, ports_.tasks, ports_.services};
    const size_t before = state_.lstIremovable.size();
    std::erase_if(state_.lstIremovable, [&](const ResultRow& row) {
        return ObjectPresence(row, state_.folders.cookies, ports_.files, ports_.registry, persistence) ==
               Presence::Absent;
    });
    if (state_.lstIremovable.size() != before)
        ports_.ui.Changed(View::Irremovable);
}

void RemovalRun::LeaveManualOnlyRows() {
    // Nobody watches an automatic run: what a damaged or careless database item matched is
    // shown, not removed.
    bool changed = false;
    for (size_t i = 0; i < state_.lstScanResult.size(); ++i) {
        ResultRow& row = state_.lstScanResult[i];
        auto reason = state_.manualOnlyRows.find(ManualOnlyKey(row));
        if (reason == state_.manualOnlyRows.end())
            continue;
        if (row.checked) {
            row.checked = false;
            changed = true;
        }
        Log("Not removed automatically=" + row.object + " (" + reason->second + ")");
    }
    if (changed)
        ports_.ui.Changed(View::ScanResults);
}

bool RemovalRun::QuarantineFirst(const ResultRow& row) {
    if (!AutomaticErase())
        return true;
    if (services_.quarantine.QuarantineResultRow(row))
        return true;
    // Automatic erase promises a copy before every cookie and file it deletes: without one the
    // object stays, so nothing the user may want back is lost.
    Log("Not quarantined=" + row.object);
    return false;
}

void RemovalRun::RemoveRow(const ResultRow& row) {
    std::string kind = ToLowerAscii(row.type);
    if (kind == "cookie") {
        RemoveCookie(row);
    } else if (kind == "path" || kind == "file") {
        RemoveFile(row);
    } else if (kind == "folder") {
        RemoveFolder(row);
    } else if (kind == "regval" || kind == "regkey") {
        // A link put on the way since the scan would lead the deletion to another key.
        const std::string keyPath = kind == "regval" ? row.object.substr(0, row.object.find(',')) : row.object;
        if (!row.foundKey.empty() && guard_.identity().KeyIdentity(keyPath).value_or("") != row.foundKey) {
            Log(std::string(kind == "regval" ? "Registry value" : "Registry key") + " not removed=" + row.object +
                " (not the key that was found)");
            return;
        }
        // What starts a found file is stored before it goes, as the file is.
        if (!row.startsFile.empty() && !QuarantineFirst(row)) {
            Log("Registry value not removed=" + row.object);
            return;
        }
        if (kind == "regval")
            RemoveValue(row.object);
        else
            RemoveKey(row.object);
    } else if (browsers::IsBrowserRowType(kind)) {
        RemoveBrowserRow(row);
    } else if (kind == "regpart") {
        RemoveListPart(row);
    } else if (kind == "task") {
        RemoveTask(row);
    } else if (kind == "service") {
        RemoveService(row);
    } else if (kind == "hosts") {
        RemoveHostsLines(row);
    } else if (kind == "shortcut") {
        RemoveShortcut(row);
    }
}

void RemovalRun::RemoveCookie(const ResultRow& row) {
    std::string path = state_.folders.cookies + "\\" + row.object;
    std::optional<ResolvedObject> checked;
    if (auto reason = guard_.FileRefusal(path, &checked)) {
        Log(SkippedLine(path, *reason));
        return;
    }
    if (auto reason = NotAsFound(row, checked, false)) {
        Log("Cookie not removed=" + row.object + " (" + *reason + ")");
        return;
    }
    if (!QuarantineFirst(row)) {
        Log("Cookie not removed=" + row.object);
        return;
    }
    DeleteOneFile(path, row.object, "Cookie", false, checked ? checked->Identity() : row.foundAs);
}

void RemovalRun::RemoveFile(const ResultRow& row) {
    const std::string& object = row.object;
    const bool patternFind = ToLowerAscii(row.type) == "file";
    std::optional<ResolvedObject> checked;
    if (auto reason =
            patternFind ? guard_.PatternFindRefusal(object, &checked) : guard_.FileRefusal(object, &checked)) {
        Log(SkippedLine(object, *reason));
        return;
    }
    if (auto reason = NotAsFound(row, checked, false)) {
        Log("File not removed=" + object + " (" + *reason + ")");
        return;
    }
    // The copy comes first: a program ended or a registration removed for an object that then
    // stays (because it could not be stored) would be harm without a removal.
    if (!QuarantineFirst(row)) {
        Log("File not removed=" + object);
        return;
    }
    bool ended = false;
    if (LastThreeLower(object) == "exe")
        ended = EndProcessOf(object);
    RemoveRegistrationsOf(object, checked);
    ports_.ui.Yield();
    DeleteOneFile(object, object, "File", ended, checked ? checked->Identity() : row.foundAs);
}

void RemovalRun::RemoveRegistrationsOf(const std::string& object, const std::optional<ResolvedObject>& checked) {
    // Unregistering through the file (regsvr32 /u, DllUnregisterServer) would load it and run
    // its code with this program's rights; what registered it is removed from the registry.
    for (const ComRegistration& entry : registrations_.Of(object, checked)) {
        auto reason = entry.isKey ? guard_.KeyRefusal(entry.object) : guard_.ValueRefusal(entry.object);
        if (reason) {
            Log(SkippedLine(entry.object, *reason));
            continue;
        }
        ResultRow row;
        row.type = entry.isKey ? "RegKey" : "RegVal";
        row.object = entry.object;
        if (!QuarantineFirst(row)) {
            Log(std::string(entry.isKey ? "Registry key" : "Registry value") + " not removed=" + entry.object);
            continue;
        }
        Log("Registration of " + object + "=" + entry.object);
        if (entry.isKey)
            RemoveKey(entry.object);
        else
            RemoveValue(entry.object);
    }
}

bool RemovalRun::SameProcessAsListed(const ProcessRow& row) {
    // A row without an identity (the snapshot could not tell) is taken by its id alone.
    if (row.imagePath.empty() && row.creationTime == 0)
        return true;
    auto now = ports_.processes.Describe(row.pid);
    return now && now->creationTime == row.creationTime && EqualsOrdinalIgnoreCase(now->imagePath, row.imagePath);
}

bool RemovalRun::EndProcessOf(const std::string& object) {
    size_t slash = object.rfind('\\');
    std::string exeName = slash == std::string::npos ? object : object.substr(slash + 1);
    for (size_t i = 0; i < state_.lstProcesses.size(); ++i) {
        const ProcessRow& listed = state_.lstProcesses[i];
        // The image's full path says which program runs; without one, only the name can.
        bool matches =
            listed.imagePath.empty() ? listed.name == exeName : EqualsOrdinalIgnoreCase(listed.imagePath, object);
        if (!matches) {
            ports_.ui.Yield();
            continue;
        }
        // Only the name ties the row to the process: a program that borrows a system name must
        // not bring the real system process down with it.
        if (auto reason = guard_.ProcessRefusal(exeName)) {
            Log("Process not ended=" + object + " (" + *reason + ")");
            return false;
        }
        ProcessRow process = listed;
        bool ended = false;
        for (int attempt = 0; attempt < kEndProcessAttempts && !ended; ++attempt) {
            // The id may have been given to another program since the listing: checked before
            // every request.
            if (!SameProcessAsListed(process)) {
                Log("Process not ended=" + object + " (its process id now belongs to another program)");
                return false;
            }
            ended = services_.ender.EndProcess(process.pid, 0);
        }
        Log((ended ? "Process Killed=" : "Process not ended=") + object);
        ListActiveProcesses(state_, ports_.processes);
        ports_.ui.Yield();
        return ended;
    }
    return false;
}

void RemovalRun::DeleteOneFile(const std::string& path,
                               const std::string& object,
                               const char* what,
                               bool waitForRelease,
                               const std::optional<FileIdentity>& checked) {
    FileSystemPort& files = ports_.files;
    auto attributes = files.GetAttributes(path);
    if (!attributes) {
        // A file of a folder this run has removed went with it: the log says so.
        for (const std::string& folder : removedFolders_) {
            if (path.size() > folder.size() + 1 && path[folder.size()] == '\\' &&
                EqualsOrdinalIgnoreCase(std::string_view(path).substr(0, folder.size()), folder)) {
                Log(std::string(what) + " deleted with its folder=" + object + " (" + folder + ")");
                return;
            }
        }
        Log(std::string(what) + " not found=" + object);
        return;
    }
    bool replaced = false;
    auto deleteOnce = [&] {
        if (checked) {
            auto outcome = files.DeleteFileIfSame(path, *checked);
            replaced = outcome == FileSystemPort::CheckedDelete::NotTheChecked;
            return outcome == FileSystemPort::CheckedDelete::Deleted && files.Probe(path) == Presence::Absent;
        }
        // Not opened at the check (the plain spelling was taken at its word): by its path.
        files.SetAttributes(path, file_attr::kNormal);
        if (files.DeleteFile(path) && files.Probe(path) == Presence::Absent)
            return true;
        if (!(*attributes & file_attr::kDirectory))
            files.SetAttributes(path, *attributes);
        return false;
    };
    bool removed = deleteOnce();
    // A program that has just ended may hold its file a moment longer; wait for it instead of
    // counting yields, but not for ever.
    if (!removed && !replaced && waitForRelease) {
        uint64_t start = ports_.clock.MonotonicMs();
        while (!removed && !replaced && ports_.clock.MonotonicMs() - start < kFileReleaseWaitMs) {
            ports_.ui.Yield();
            removed = deleteOnce();
        }
    }
    if (removed) {
        AddToRemoved(1);
        Log(std::string(what) + " deleted=" + object);
        return;
    }
    if (replaced) {
        // Something else stands at the path since the check (a swap, a link put in its place):
        // it was not checked, so it is not touched.
        Log(std::string(what) + " not removed=" + object + " (replaced since it was checked)");
        return;
    }
    if (DeleteAtRestart(path, object, what, checked))
        return;
    Log(std::string(what) + " not removed=" + object);
}

void RemovalRun::RemoveFolder(const ResultRow& row) {
    const std::string& object = row.object;
    if (auto reason = guard_.FolderRefusal(object)) {
        Log(SkippedLine(object, *reason));
        return;
    }
    if (row.foundAs) {
        if (auto reason = NotAsFound(row, guard_.identity().Resolve(object), true)) {
            Log("Folder not removed=" + object + " (" + *reason + ")");
            return;
        }
    }
    FileSystemPort& files = ports_.files;
    auto attributes = files.GetAttributes(object);
    if (!attributes || !(*attributes & file_attr::kDirectory)) {
        Log("Folder not found=" + object);
        return;
    }
    // A folder row that is itself a link: listing it would walk the link's target, so only
    // the link goes. Wine does not mark its Unix links as reparse points; their final path
    // gives them away.
    if (!(*attributes & file_attr::kReparsePoint) && !guard_.identity().IsLink(object)) {
        std::unordered_map<std::string, FileIdentity> checkedEntries;
        std::unordered_set<std::string> leftLogged;
        for (size_t pass = 0; pass < kFolderPasses; ++pass) {
            state_.lstCustomDelete.Clear();
            services_.finder.CollectFilePaths(object, "*.*", state_.lstCustomDelete, true);
            if (state_.lstCustomDelete.Empty())
                break;
            // A folder that holds something protected is not removed at all (its protected
            // entry would stay, and the rest of the folder with it is what the system uses).
            // What each entry was checked as is kept for every pass, so that a file is deleted
            // only while it is still that file (a folder on the way swapped for a link meanwhile
            // would lead elsewhere), and a file that was not there at the check not at all.
            if (pass == 0) {
                for (size_t n = 0; n < state_.lstCustomDelete.Count(); ++n) {
                    std::string entry(state_.lstCustomDelete[n]);
                    std::optional<ResolvedObject> resolved;
                    if (auto reason = guard_.ListedEntryRefusal(entry, &resolved)) {
                        state_.lstCustomDelete.Clear();
                        Log(SkippedLine(object, "holds " + entry + ", " + *reason));
                        return;
                    }
                    if (resolved)
                        checkedEntries.emplace(entry, resolved->Identity());
                    if (n % 64 == 0)
                        ports_.ui.Yield();
                }
            }
            // Deepest first: the listing names each folder before what it holds, and a folder
            // goes only once it is empty, so in listing order a tree deeper than the passes
            // would never go.
            StringTable deepestFirst;
            for (size_t n = state_.lstCustomDelete.Count(); n-- > 0;)
                deepestFirst.Add(state_.lstCustomDelete[n]);
            state_.lstCustomDelete = std::move(deepestFirst);
            FileOperations::CheckedRows checked;
            for (size_t n = 0; n < state_.lstCustomDelete.Count(); ++n) {
                auto known = checkedEntries.find(std::string(state_.lstCustomDelete[n]));
                checked.byRow.push_back(known == checkedEntries.end() ? std::nullopt
                                                                      : std::optional<FileIdentity>(known->second));
            }
            size_t removed = services_.fileOps.DeleteListedItems(&checked);
            for (const std::string& path : checked.notDeleted) {
                if (leftLogged.insert(path).second)
                    Log("File not removed=" + path + " (not the file that was checked)");
            }
            AddToRemoved(removed);
            // A pass that removed nothing would only list the same paths again.
            if (removed == 0)
                break;
            ports_.ui.Yield();
        }
        state_.lstCustomDelete.Clear();
    }
    files.RemoveDirectory(object);
    if (files.Probe(object) != Presence::Absent) {
        Log("Folder not removed=" + object);
        return;
    }
    // Not counted (its files were), but said: the log tells what went.
    Log("Folder deleted=" + object);
    removedFolders_.push_back(object);
}

void RemovalRun::RemoveValue(const std::string& object) {
    size_t comma = object.find(',');
    std::string keyPath = comma == std::string::npos ? object : object.substr(0, comma);
    if (comma == std::string::npos || !IsWellFormedKeyPath(keyPath)) {
        Log("Registry value not found=" + object);
        return;
    }
    if (auto reason = guard_.ValueRefusal(object)) {
        Log(SkippedLine(object, *reason));
        return;
    }
    std::string name = object.substr(comma + 1);
    if (!services_.registry.ReadValue(keyPath, name)) {
        Log("Registry value not found=" + object);
        return;
    }
    services_.registry.DeleteValue(keyPath, name);
    if (ValuePresence(ports_.registry, keyPath, name) != Presence::Absent) {
        Log("Registry value not removed=" + object);
        return;
    }
    AddToRemoved(1);
    Log("Registry value deleted=" + object);
}

void RemovalRun::RemoveKey(const std::string& object) {
    if (auto reason = guard_.KeyRefusal(object)) {
        Log(SkippedLine(object, *reason));
        return;
    }
    RegistryPort& port = services_.registry.port();
    // Gone only when the platform says there is no such key; a key we may not open may be there.
    auto exists = [&port](const std::string& keyPath) { return KeyPresence(port, keyPath) != Presence::Absent; };

    state_.lstRegScan.Clear();
    size_t slash = object.find('\\');
    if (slash != std::string::npos) {
        std::string rootName = object.substr(0, slash);
        services_.regScan.ListRegistryKeys(RootHandleFromName(rootName), object.substr(slash + 1), rootName);
    }
    ports_.ui.Yield();
    if (state_.lstRegScan.Empty()) {
        // Nothing listed: the key is missing, or it does not open for writing.
        Log((exists(object) ? "Registry key not removed=" : "Registry key not found=") + object);
        return;
    }
    // Each key is listed before the keys below it, so from the last row up every key goes
    // after everything below it.
    for (size_t i = state_.lstRegScan.Count(); i-- > 0;) {
        if (i >= state_.lstRegScan.Count())
            continue;
        std::string keyPath(state_.lstRegScan[i]);
        bool removed = services_.registry.DeleteKey(keyPath) == kRegOk && !exists(keyPath);
        if (removed) {
            AddToRemoved(1);
            Log("Registry key deleted=" + keyPath);
        } else {
            Log("Registry key not removed=" + keyPath);
        }
        ports_.ui.Yield();
    }
    state_.lstRegScan.Clear();
    ports_.ui.Yield();
}

void RemovalRun::OfferHomePageReset() {
    if (Line(state_.lstSettingsFile, 2) != "0")
        return;
    MsgAnswer answer =
        ports_.ui.Message("Do you want to reset your browser homepage settings in case it was changed by a spyware?",
                          kResetHomePageTitle, MsgButtons::YesNo, MsgIcon::Question);
    if (answer != MsgAnswer::Yes)
        return;
    const std::string& homePage = Line(state_.lstSettingsFile, 6);
    const std::string& title = Line(state_.lstSettingsFile, 7);
    bool written = services_.registry.WriteValue(kHomePageKeyPath, "Start Page", RegValue{kRegSz, homePage});
    written = services_.registry.WriteValue(kHomePageKeyPath, "Window Title", RegValue{kRegSz, title}) && written;
    if (!written) {
        Log("IE Homepage settings could not be reset");
        return;
    }
    Log("IE Homepage settings reseted to:  Homepage=" + homePage);
    // "Window Title=" sits under "Homepage=".
    Log(std::string(34, ' ') + "Window Title=" + title);
}

void RemovalRun::Finish() {
    std::string now = FixedDateTime(ports_.clock.Now());
    SetLine(state_.lstScanInfoFile, 0, now);
    AddOneToLine(state_.lstScanInfoFile, 1);
    state_.busy = false;
    services_.settings.SaveData();
    Log("");
    Log("Scanning completed on " + now);
    ports_.ui.Yield();

    if (LoggingEnabled(state_))
        AppendLogEntry(ports_.files, ports_.system, ports_.ui, state_.appFolder, state_.lstLog);
    state_.lstLog.clear();
    ports_.ui.Changed(View::Log);

    LeavePresentIrremovable();
    bool showIremovable = !state_.lstIremovable.empty() && !state_.automaticScan;
    if (showIremovable) {
        if (hooks.showIrremovable)
            hooks.showIrremovable();
        ports_.ui.Message(
            "The following objects could not be removed. Please check their respective URLs \r\nfor information on "
            "how to manually remove them.",
            "Not removed", MsgButtons::Ok, MsgIcon::Information);
    } else {
        state_.busy = false;
        if (hooks.showStatus)
            hooks.showStatus();
    }
    ports_.ui.Yield();

    // The irremovable panel reads its rows (notice, URLs, ignore command) until the user
    // leaves it with Finish, which empties them; the reset must not take them away before.
    std::vector<ResultRow> iremovable;
    if (showIremovable)
        iremovable = state_.lstIremovable;
    services_.scanner.ResetUsedValues();
    if (showIremovable && state_.panel == Panel::Iremovable) {
        state_.lstIremovable = std::move(iremovable);
        ports_.ui.Changed(View::Irremovable);
    }
    ports_.ui.Yield();
    SetButtons(true);
    ports_.ui.Yield();
}

}  // namespace pellora
