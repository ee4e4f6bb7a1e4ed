#include "cli/cli_runner.h"

#include <set>

#include "cli/machine_name.h"
#include "core/removal/object_presence.h"
#include "core/scan/scan_report.h"
#include "core/settings/log_file.h"
#include "core/settings/settings_editor.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora::cli {

namespace {

constexpr const char* kProgram = "pellora-cli";
// CustomScan.stg line of "Automatically Erase all detected objects".
constexpr size_t kAutomaticEraseLine = 4;

}  // namespace

std::string WindowProgramSystem::ExecutablePath() {
    return system_.ApplicationFolder() + "\\" + kWindowProgramName;
}

CliRunner::CliRunner(Ports& ports, ConsoleUi& ui, TextOutput& out, TextOutput& err)
    : system_(ports.system), ports_(ports.With(system_, ui)), ui_(ui), out_(out), err_(err), app_(ports_) {
    // The scan at program start is the window's; each command here runs its own.
    app_.lifecycle().StartScan = nullptr;
    ui_.progressText = [this] { return ProgressText(); };
    ui_.onChanged = [this](View) {
        if (capturingLog_)
            TakeNewLogLines();
    };
}

int CliRunner::Run(const Options& options) {
    switch (options.command) {
        case Command::Scan:
            return Scan(options);
        case Command::Remove:
            return Remove(options);
        case Command::QuarantineList:
            return QuarantineList();
        case Command::QuarantineShow:
            return options.packages.empty() ? kExitError : QuarantineShow(options.packages.front());
        case Command::QuarantineRestore:
        case Command::QuarantineDelete:
            return QuarantineRestoreOrDelete(options);
        case Command::IgnoreList:
            return IgnoreList();
        case Command::Update:
            return Update(options);
        case Command::UpdateRollback:
            return UpdateRollback();
        case Command::Settings:
            return Settings();
        case Command::SettingsSet:
            return SettingsSet(options);
        case Command::FoldersList:
        case Command::FoldersAdd:
        case Command::FoldersRemove:
            return Folders(options);
        case Command::Inventory:
            return Inventory(options);
        case Command::SecureFolder:  // the entry point's, before any of this is built
            break;
    }
    return kExitError;
}

void CliRunner::StopOnInterrupt(const std::atomic<bool>* flag) {
    ui_.WatchInterrupt(flag, [this] {
        interrupted_ = true;
        Fail("interrupted: stopping where it is safe (Ctrl+C again ends the program at once)");
        if (app_.scanner().Running())
            app_.scanWizard().cmdAbortNextResults_Click();
        app_.databaseUpdate().cmdCancelUpdate_Click();
    });
}

bool CliRunner::StartUp(bool needDatabase) {
    if (!needDatabase)
        ui_.AnswerText(kMissingDatabaseText, {MsgAnswer::Yes, true});
    if (app_.lifecycle().Form_Load() == StartupResult::Exit) {
        Fail(std::string("no reference database ") + kDatabaseFileName + " in " + app_.state().appFolder);
        return false;
    }
    if (needDatabase) {
        // A scan without signatures would report a clean machine: that is never the answer.
        if (std::string problem = app_.database().Problem(); !problem.empty()) {
            Fail(std::string("the reference database ") + kDatabaseFileName + " in " + app_.state().appFolder +
                 " cannot be used: " + problem);
            return false;
        }
    }
    return true;
}

// ---- scanning ----------------------------------------------------------------------------------

void CliRunner::SetModeForRun(const Options& options) {
    if (!options.folders.empty()) {
        savedFolders_ = app_.state().lstSelectedFolders;
        app_.state().lstSelectedFolders = options.folders;
    }
    if (!options.scanModeLine)
        return;
    std::vector<std::string>& settings = app_.state().lstSettingsFile;
    savedMode_ = std::make_pair(Line(settings, kScanModeLine), settings.size());
    SetLine(settings, kScanModeLine, *options.scanModeLine);
}

void CliRunner::RestoreMode() {
    if (savedFolders_) {
        app_.state().lstSelectedFolders = std::move(*savedFolders_);
        savedFolders_.reset();
    }
    if (!savedMode_)
        return;
    std::vector<std::string>& settings = app_.state().lstSettingsFile;
    const auto& [line, count] = *savedMode_;
    if (count > kScanModeLine) {
        SetLine(settings, kScanModeLine, line);
    } else {
        // The line did not exist: the list gets back its own length, not a filled-in line.
        settings.resize(count);
    }
    savedMode_.reset();
}

ScanSnapshot CliRunner::RunScan(const Options& options) {
    SetModeForRun(options);
    if (!interrupted_)
        app_.scanWizard().cmdNextScan_Click();
    ui_.ClearProgress();
    ScanSnapshot scan = TakeSnapshot(app_.state());
    scan.machine = MachineName();
    return scan;
}

std::string CliRunner::ProgressText() {
    if (!inventoryProgress_.empty())
        return inventoryProgress_;
    if (!app_.scanner().Running())
        return "";
    const AppState& state = app_.state();
    std::string text = "Scanned " + std::to_string(state.counters.scannedObjects) + ", new " +
                       std::to_string(state.counters.newObjects);
    size_t listed = state.lstHDDItems.Count() + state.lstRegScan.Count() + state.lstCache.size();
    if (listed > 0)
        text += ", listed " + std::to_string(listed);
    return text + " - " + state.currentOperation;
}

bool CliRunner::FoldersExist(const Options& options) {
    for (const std::string& folder : options.folders) {
        std::optional<uint32_t> attributes = ports_.files.GetAttributes(folder);
        if (folder.empty() || !attributes || !(*attributes & file_attr::kDirectory)) {
            Fail("no folder " + folder);
            return false;
        }
    }
    // A folders scan of no folder would look at nothing and report a clean machine.
    const std::string mode = options.scanModeLine.value_or(Line(app_.state().lstSettingsFile, kScanModeLine));
    if (mode == "2" && options.folders.empty() && app_.state().lstSelectedFolders.empty()) {
        Fail(std::string("the folders scan has no folder to scan: choose some with \"") + kProgram +
             " folders add PATH\" or --folder PATH");
        return false;
    }
    return true;
}

int CliRunner::Scan(const Options& options) {
    if (!StartUp(true) || !FoldersExist(options))
        return kExitError;
    ScanSnapshot scan = RunScan(options);
    int code = scan.results.empty() && scan.irremovable.empty() ? kExitClean : kExitFound;
    if (interrupted_) {
        Fail("the scan was interrupted: the report covers what it found until then");
        code = kExitError;
    }

    std::vector<std::string> quarantineLines;
    if (options.quarantine && !scan.results.empty() && !interrupted_) {
        AppState& state = app_.state();
        size_t logBefore = state.lstLog.size();
        app_.ignoreList().mnuResultListAll_Click();
        app_.quarantine().cmdQuarantineSelected();
        ui_.ClearProgress();
        if (state.lstLog.size() > logBefore)
            quarantineLines.assign(state.lstLog.begin() + static_cast<std::ptrdiff_t>(logBefore), state.lstLog.end());
        scan.log = state.lstLog;
        // The command logs an empty line and its heading, then one line per row it stored.
        size_t stored = quarantineLines.size() > 2 ? quarantineLines.size() - 2 : 0;
        if (stored < scan.results.size()) {
            Fail(std::to_string(scan.results.size() - stored) + " of " + std::to_string(scan.results.size()) +
                 " results could not be quarantined");
            code = kExitError;
        }
    }
    RestoreMode();
    // Recorded as the window records its scans (there, with the removal run that follows).
    if (LoggingEnabled(app_.state()))
        AppendLogEntry(ports_.files, ports_.system, ui_, app_.state().appFolder, scan.log);

    PrintLines(CounterLines(scan.counters));
    PrintLines(RowLines(scan));
    PrintLines(quarantineLines);
    if (!options.jsonPath.empty() && !WriteJson(options.jsonPath, ReportJson(scan, nullptr)))
        code = kExitError;
    return code;
}

// ---- removal -----------------------------------------------------------------------------------

void CliRunner::QuarantineBeforeRemoval() {
    AppState& state = app_.state();
    // Under automatic erase the removal run stores these rows itself, just before each goes.
    if (Line(state.lstSettingsFile, kScanModeLine) == "1" &&
        Line(state.lstCustomScanSettings, kAutomaticEraseLine) == "1")
        return;
    for (size_t i = 0; i < state.lstScanResult.size(); ++i) {
        ResultRow row = state.lstScanResult[i];
        std::string kind = ToLowerAscii(row.type);
        // Every kind the quarantine can store: folders, keys and values as well as files.
        const bool storable = kind == "cookie" || kind == "path" || kind == "file" || kind == "folder" ||
                              kind == "regkey" || kind == "regval";
        if (row.checked && storable) {
            // The user asked for a copy first: an object that could not be stored stays where
            // it is (and is reported as remaining) rather than going without one.
            if (!app_.quarantine().QuarantineResultRow(row)) {
                if (i < state.lstScanResult.size())
                    state.lstScanResult[i].checked = false;
                state.lstLog.push_back("Not quarantined=" + row.object);
                ui_.Changed(View::Log);
            }
        }
        ui_.Yield();
    }
}

void CliRunner::TakeNewLogLines() {
    const std::vector<std::string>& log = app_.state().lstLog;
    // The run empties the log once it has written it out; lines after that start afresh.
    if (log.size() < logSeen_)
        logSeen_ = 0;
    for (size_t i = logSeen_; i < log.size(); ++i)
        capturedLog_.push_back(log[i]);
    logSeen_ = log.size();
}

bool CliRunner::StillPresent(const ResultRow& row) {
    // Gone only when the platform confirms it: an object we may not look at may still be there.
    return ObjectPresence(row, app_.state().folders.cookies, ports_.files, ports_.registry,
                          PersistencePorts{&ports_.system, ports_.tasks, ports_.services}) != Presence::Absent;
}

int CliRunner::Remove(const Options& options) {
    if (!StartUp(true) || !FoldersExist(options))
        return kExitError;
    if (options.resetHomePage)
        ui_.AnswerTitle(kResetHomePageTitle, {MsgAnswer::Yes, false});
    ScanSnapshot scan = RunScan(options);
    if (interrupted_) {
        RestoreMode();
        PrintLines(CounterLines(scan.counters));
        PrintLines(RowLines(scan));
        Fail("the scan was interrupted: nothing was removed");
        if (!options.jsonPath.empty())
            (void)WriteJson(options.jsonPath, ReportJson(scan, &scan.results));
        return kExitError;
    }

    AppState& state = app_.state();
    capturedLog_.clear();
    logSeen_ = state.lstLog.size();
    capturingLog_ = true;
    if (!state.lstScanResult.empty())
        app_.ignoreList().mnuResultListAll_Click();
    if (options.quarantine)
        QuarantineBeforeRemoval();
    // As the automatic scan starts it: no confirmation, no irremovable notice.
    state.automaticScan = true;
    app_.removalRun().cmdNextDelete_Click();
    state.automaticScan = false;
    TakeNewLogLines();
    capturingLog_ = false;
    ui_.ClearProgress();

    // What is still there, each object once: results the run did not remove and irremovable
    // objects (never removed, unless they went with another row).
    std::vector<ResultRow> remaining;
    std::vector<ResultRow> irremovable;
    std::set<std::pair<std::string, std::string>> listed;
    for (const std::vector<ResultRow>* rows : {&scan.results, &scan.irremovable}) {
        for (const ResultRow& row : *rows) {
            if (!StillPresent(row))
                continue;
            if (rows == &scan.irremovable)
                irremovable.push_back(row);
            if (listed.emplace(ToLowerAscii(row.type), FoldOrdinal(row.object)).second)
                remaining.push_back(row);
        }
    }
    scan.irremovable = std::move(irremovable);
    // The run saved the settings with this run's mode and folders in them; the saved ones come
    // back.
    if (savedMode_ || savedFolders_) {
        RestoreMode();
        app_.settingsFiles().SaveData();
    }
    scan.log.insert(scan.log.end(), capturedLog_.begin(), capturedLog_.end());

    PrintLines(CounterLines(scan.counters));
    PrintLines(RowLines(scan));
    PrintLines(capturedLog_);
    int code = remaining.empty() ? kExitClean : kExitFound;
    if (!options.jsonPath.empty() && !WriteJson(options.jsonPath, ReportJson(scan, &remaining)))
        code = kExitError;
    return code;
}

// ---- quarantine and ignore list ----------------------------------------------------------------

std::optional<std::vector<size_t>> CliRunner::PackageRows(const std::vector<std::string>& names) {
    const std::vector<QuarantinePackageRow>& list = app_.state().lstQuarantinedList;
    std::vector<size_t> rows;
    for (const std::string& name : names) {
        size_t found = list.size();
        for (size_t i = 0; i < list.size() && found == list.size(); ++i) {
            if (list[i].name == name)
                found = i;
        }
        // Folder names are not case-sensitive on Windows.
        for (size_t i = 0; i < list.size() && found == list.size(); ++i) {
            if (EqualsIgnoreCase(list[i].name, name))
                found = i;
        }
        if (found == list.size() || name.empty()) {
            Fail("no quarantine package named \"" + name + "\" (see " + kProgram + " quarantine list)");
            return std::nullopt;
        }
        rows.push_back(found);
    }
    return rows;
}

int CliRunner::QuarantineList() {
    // Showing the store changes nothing: no start-up (which creates files and prunes backups).
    app_.quarantine().LoadToQuarantineList();
    for (const QuarantinePackageRow& row : app_.state().lstQuarantinedList)
        Print(row.name + "\t" + row.sizeText + "\t" + row.itemCount);
    return kExitClean;
}

int CliRunner::QuarantineShow(const std::string& name) {
    app_.quarantine().LoadToQuarantineList();
    std::optional<std::vector<size_t>> rows = PackageRows({name});
    if (!rows)
        return kExitError;
    AppState& state = app_.state();
    state.highlightedPackage = static_cast<int>(rows->front());
    app_.quarantine().cmdViewData();
    for (const QuarantinedItemRow& item : state.lstQuarantinedItems)
        Print(item.type + "\t" + item.storedItem + "\t" + item.source);
    return kExitClean;
}

int CliRunner::QuarantineRestoreOrDelete(const Options& options) {
    const bool restore = options.command == Command::QuarantineRestore;
    if (!StartUp(false))
        return kExitError;
    app_.quarantine().LoadToQuarantineList();
    std::optional<std::vector<size_t>> rows = PackageRows(options.packages);
    if (!rows)
        return kExitError;

    AppState& state = app_.state();
    std::vector<std::string> names;
    std::set<std::string> seen;
    for (size_t row : *rows) {
        state.lstQuarantinedList[row].checked = true;
        if (seen.insert(state.lstQuarantinedList[row].name).second)
            names.push_back(state.lstQuarantinedList[row].name);
    }
    if (restore) {
        app_.quarantine().cmdRestoreQuarantined();
    } else {
        app_.quarantine().cmdDeleteQuarantined();
    }

    // Both commands list the packages afresh at their end: what is still listed stayed.
    int code = kExitClean;
    for (const std::string& name : names) {
        const QuarantinePackageRow* left = nullptr;
        for (const QuarantinePackageRow& row : state.lstQuarantinedList) {
            if (row.name == name)
                left = &row;
        }
        if (!left) {
            Print("Package " + name + (restore ? " restored." : " deleted."));
            continue;
        }
        code = kExitFound;
        Print("Package " + name + (restore ? " not fully restored: " : " not fully deleted: ") + left->itemCount +
              " items (" + left->sizeText + ") left.");
    }
    return code;
}

int CliRunner::IgnoreList() {
    AppState& state = app_.state();
    app_.settingsFiles().ReadLines(kSettingsFolder, kIgnoreListFileName, state.lstIgnoreListFile);
    app_.ignoreList().LoadIgnoredToList();
    for (const ResultRow& row : app_.state().lstIgnoreList)
        Print(ReportLine(row, !row.comment.empty()));
    return kExitClean;
}

// ---- settings and folders ----------------------------------------------------------------------

int CliRunner::Settings() {
    if (!StartUp(false))
        return kExitError;
    SettingsEditor editor(app_.state(), app_.settingsApplier());
    for (const SettingDef& setting : SettingDefs())
        Print(std::string(setting.name) + "=" + editor.Value(setting));
    return kExitClean;
}

int CliRunner::SettingsSet(const Options& options) {
    const SettingDef* setting = FindSetting(options.settingName);
    if (!setting) {
        Fail("no setting named \"" + options.settingName + "\" (see " + kProgram + " settings)");
        return kExitError;
    }
    if (!StartUp(false))
        return kExitError;
    SettingsEditor editor(app_.state(), app_.settingsApplier());
    std::string refusal = editor.Set(*setting, options.settingValue);
    if (!refusal.empty()) {
        Fail(refusal);
        return kExitError;
    }
    // A value that did not reach the file is not set: the message says which file failed.
    if (!app_.settingsFiles().SaveDataAsked())
        return kExitError;
    Print(std::string(setting->name) + "=" + editor.Value(*setting));
    return kExitClean;
}

int CliRunner::Folders(const Options& options) {
    if (!StartUp(false))
        return kExitError;
    std::vector<std::string>& folders = app_.state().lstSelectedFolders;
    if (options.command == Command::FoldersList) {
        PrintLines(folders);
        return kExitClean;
    }
    std::string path = options.folderPath;
    // "C:\Data\" and "C:\Data" are one folder; "C:\" keeps its backslash.
    while (path.size() > 3 && path.back() == '\\')
        path.pop_back();
    std::vector<std::string> chosen;
    for (const std::string& folder : folders)
        InsertSorted(chosen, folder);
    if (options.command == Command::FoldersAdd) {
        std::optional<uint32_t> attributes = ports_.files.GetAttributes(path);
        if (path.empty() || !attributes || !(*attributes & file_attr::kDirectory)) {
            Fail("no folder " + path);
            return kExitError;
        }
        // The folder dialog's list: one copy of a folder however often it is added.
        bool listed = false;
        for (const std::string& folder : chosen)
            listed = listed || EqualsOrdinalIgnoreCase(folder, path);
        if (!listed)
            InsertSorted(chosen, path);
    } else {
        size_t before = chosen.size();
        std::erase_if(chosen, [&](const std::string& folder) {
            std::string trimmed = folder;
            while (trimmed.size() > 3 && trimmed.back() == '\\')
                trimmed.pop_back();
            // Letter case as Windows compares names, for every script ("ÉMILE" is "Émile").
            return EqualsOrdinalIgnoreCase(trimmed, path);
        });
        if (chosen.size() == before) {
            Fail("the folder " + path + " is not in the list (see " + kProgram + " folders list)");
            return kExitError;
        }
    }
    SettingsEditor editor(app_.state(), app_.settingsApplier());
    editor.StoreSelectedFolders(std::move(chosen));
    if (!app_.settingsFiles().SaveDataAsked())
        return kExitError;
    PrintLines(folders);
    return kExitClean;
}

// ---- output ------------------------------------------------------------------------------------

void CliRunner::Print(const std::string& line) {
    out_.Write(line + "\n");
}

void CliRunner::PrintLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        Print(line);
}

void CliRunner::Fail(const std::string& message) {
    ui_.ClearProgress();
    err_.Write(std::string(kProgram) + ": " + message + "\n");
}

bool CliRunner::WriteJson(const std::string& path, const std::string& text) {
    if (ports_.files.WriteFileAtomic(path, text))
        return true;
    Fail("could not write the report to " + path);
    return false;
}

}  // namespace pellora::cli
