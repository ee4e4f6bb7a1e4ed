#include "core/scan/scanner.h"

#include "core/database/folder_variables.h"
#include "core/scan/content_scan.h"
#include "core/scan/process_listing.h"
#include "core/scan/scan_events.h"
#include "core/scan/scan_report.h"

namespace pellora {

namespace {

// Lines of CustomScan.stg.
constexpr size_t kFullDiskLine = 0;
constexpr size_t kProcessesLine = 1;
constexpr size_t kRegistryLine = 2;
constexpr size_t kFullRegistryLine = 5;
constexpr size_t kCookiesLine = 6;

// The window repaints what it reads from the state; telling it more often than this is waste.
constexpr uint64_t kProgressIntervalMs = 50;

// Clears a flag when the scope ends, however it ends.
class FlagScope {
  public:
    explicit FlagScope(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagScope() { flag_ = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

  private:
    bool& flag_;
};

}  // namespace

ScanPlan ScanPlan::Smart() {
    ScanPlan plan;
    plan.mode = Mode::Smart;
    plan.path = plan.folder = plan.regVal = plan.regKey = plan.cookie = true;
    plan.processCheck = true;
    return plan;
}

ScanPlan ScanPlan::Custom(bool fullDisk, bool processes, bool registry, bool fullRegistry, bool cookies) {
    ScanPlan plan;
    plan.mode = Mode::Custom;
    plan.path = fullDisk || processes;
    plan.processCheck = processes;
    plan.folder = fullDisk;
    plan.regVal = plan.regKey = registry;
    plan.cookie = cookies;
    plan.file = fullDisk;
    plan.regSearch = fullRegistry;
    return plan;
}

ScanPlan ScanPlan::FileFolder() {
    ScanPlan plan;
    plan.mode = Mode::FileFolder;
    plan.path = plan.folder = plan.file = true;
    plan.processCheck = true;
    return plan;
}

bool ScanPlan::Tests(ItemKind kind) const {
    switch (kind) {
        case ItemKind::Path:
            return path;
        case ItemKind::Folder:
            return folder;
        case ItemKind::RegVal:
            return regVal;
        case ItemKind::RegKey:
            return regKey;
        case ItemKind::Cookie:
            return cookie;
        case ItemKind::File:
            return file;
        case ItemKind::RegSearch:
            return regSearch;
        case ItemKind::Unknown:
            return false;
    }
    return false;
}

std::optional<ListingTest> ScanPlan::ListingTestOf(ItemKind kind) const {
    if (!Tests(kind))
        return std::nullopt;
    switch (kind) {
        case ItemKind::Cookie:
            return ListingTest::Cookie;
        case ItemKind::File:
            return ListingTest::File;
        case ItemKind::RegSearch:
            return ListingTest::RegSearch;
        case ItemKind::Path:
            if (mode == Mode::FileFolder)
                return ListingTest::ExactPath;
            return std::nullopt;
        case ItemKind::Folder:
            if (mode == Mode::FileFolder)
                return ListingTest::FolderPrefix;
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

bool Scanner::RefusedWithoutDatabase() {
    if (state_.databaseProblemText.empty())
        return false;
    state_.lstLog.push_back("Scan not started: " + state_.databaseProblemText);
    ui_.Changed(View::Log);
    // Where nobody answers (an automatic scan; the console reports it itself) the log says it.
    if (!ui_.Unattended() && !state_.automaticScan)
        ui_.Message(state_.databaseProblemText, kAppTitle, MsgButtons::Ok, MsgIcon::Exclamation);
    return true;
}

void Scanner::StartScan() {
    if (running_ || RefusedWithoutDatabase())
        return;
    FlagScope running(running_);

    state_.scrollTimerEnabled = true;
    ResetUsedValues();
    ui_.Yield();
    state_.busy = true;
    state_.lstLog.emplace_back();
    state_.lstLog.push_back("Scan process started on " + LogDateTime(ports_.clock, ports_.clock.Now()));
    ListProcesses();

    const std::string mode = Line(state_.lstSettingsFile, kScanModeLine);
    if (mode == "0") {
        SmartScan();
    } else if (mode == "1") {
        CustomScan();
    } else if (mode == "2") {
        FileFolderScan();
    }
    EndScan();
}

void Scanner::ResetUsedValues() {
    state_.counters = ScanCounters{};
    state_.quarantineCounter = kFirstQuarantineNumber;
    state_.abortNextCaption = "Abort";
    state_.lstHDDItems.Clear();
    state_.lstRegScan.Clear();
    state_.lstScanResult.clear();
    state_.manualOnlyRows.clear();
    state_.lstIremovable.clear();
    state_.lstLog.clear();
    state_.lstProcesses.clear();
    state_.lstCustomDelete.Clear();
    state_.lstCache.clear();
    ShowProgress(true);
    ui_.Changed(View::ScanResults);
    ui_.Changed(View::Irremovable);
    ui_.Changed(View::Log);
}

void Scanner::AddListedToLog() {
    pellora::AddListedToLog(state_, ports_.clock, ui_);
}

void Scanner::ListProcesses() {
    if (hooks.listRegBackups) {
        hooks.listRegBackups();
        return;
    }
    ListActiveProcesses(state_, ports_.processes);
    state_.counters.runningProcesses = static_cast<int64_t>(state_.lstProcesses.size());
    ShowProgress(true);
}

void Scanner::LogLines(const std::string& text) {
    state_.lstLog.emplace_back();
    state_.lstLog.push_back(text);
}

void Scanner::ListCookies() {
    SetCaption("Listing IE Cookies...", true);
    state_.lstCache.clear();
    // Without a cookie folder ("" when unknown) the listing would read the root of the current
    // drive, and cookie items would find (and removal delete) files there.
    if (!state_.folders.cookies.empty()) {
        finder_.CollectFileNames(state_.folders.cookies, "*.txt", state_.lstCache, false);
    }
    ui_.Yield();
}

void Scanner::ListFolder(const std::string& folder) {
    finder_.CollectFilePaths(folder, "*.*", state_.lstHDDItems, true);
    ui_.Yield();
}

void Scanner::ListRegistry() {
    SetCaption("Enumerating Registry Items...", true);
    state_.lstRegScan.Clear();
    const std::pair<const char*, const char*> trees[] = {
        {"HKEY_CURRENT_USER", "Software"},
        {"HKEY_LOCAL_MACHINE", "System"},
        {"HKEY_CURRENT_CONFIG", "Software"},
        {"HKEY_CURRENT_CONFIG", "System"},
    };
    for (const auto& [rootName, keyPath] : trees) {
        regScan_.ListRegistryKeys(RootHandleFromName(rootName), keyPath, rootName);
        ui_.Yield();
    }
    state_.lstRegScan.ShrinkToFit();
}

void Scanner::SmartScan() {
    LogLines("Scan mode: Smart Scan");
    ListCookies();
    ScanDatabase(ScanPlan::Smart());
    ScanBrowsers();
    if (state_.busy)
        ScanContents(true, false);
}

void Scanner::CustomScan() {
    LogLines("Scan mode: Custom Scan");
    auto on = [&](size_t line) { return Line(state_.lstCustomScanSettings, line) == "1"; };
    ScanPlan plan = ScanPlan::Custom(on(kFullDiskLine), on(kProcessesLine), on(kRegistryLine), on(kFullRegistryLine),
                                     on(kCookiesLine));
    if (plan.cookie)
        ListCookies();
    if (on(kFullDiskLine)) {
        SetCaption("Listing Hard Disk Files...", true);
        state_.lstHDDItems.Clear();
        // Only the system drive: the root folder of the Windows folder's path.
        ListFolder(state_.folders.windowsDir.substr(0, 3));
        state_.lstHDDItems.ShrinkToFit();
    }
    if (plan.regSearch)
        ListRegistry();
    ScanDatabase(plan);
    ScanBrowsers();
    if (state_.busy && ContentScanOn(state_))
        ScanContents(true, on(kFullDiskLine));
}

void Scanner::FileFolderScan() {
    LogLines("Scan mode: File/Folder Scan");
    SetCaption("Listing Hard Disk Files...", true);
    state_.lstHDDItems.Clear();
    for (size_t i = 0; i < state_.lstSelectedFolders.size(); ++i) {
        // A blank line names no folder; listed as one it would be the root of the current drive.
        std::string folder = state_.lstSelectedFolders[i];
        if (!folder.empty())
            ListFolder(folder);
    }
    state_.lstHDDItems.ShrinkToFit();
    ScanDatabase(ScanPlan::FileFolder());
    if (state_.busy && ContentScanOn(state_))
        ScanContents(false, true);
}

void Scanner::EndScan() {
    ui_.Yield();
    if (state_.busy)
        RecordStartReferences();
    AddListedToLog();
    state_.scrollTimerEnabled = false;
    state_.scrollBlockLeft = kScrollParkedLeft;
    state_.currentOperation = "Finished.";
    state_.abortNextCaption = "Next";
    ShowProgress(true);
    ui_.Changed(View::ScanResults);
    ui_.Changed(View::Irremovable);
    ReportScanFinished(ports_.events, state_);
    if (!state_.automaticScan)
        return;
    for (size_t i = 0; i < state_.lstScanResult.size(); ++i) {
        state_.lstScanResult[i].checked = true;
        ui_.Yield();
    }
    ui_.Changed(View::ScanResults);
    // The removal run belongs to no scan: a scan it lets start again is a new one.
    running_ = false;
    if (hooks.removalRun)
        hooks.removalRun();
}

void Scanner::ScanDatabase(const ScanPlan& plan) {
    matches_.reset();
    ignoreIndex_.reset();
    subkeys_.clear();
    hostsRead_ = false;
    hostsText_.reset();
    shortcuts_.reset();
    taskPresence_.reset();
    servicePresence_.reset();
    // Aborted while the listings were read into the indexes: the walk has nothing to go on.
    if (indexed_ && !PrepareMatches(plan))
        return;
    // Entry 1, the version line, is never an item. Rows are read by number and copied: the
    // events inside the yields may change the table.
    for (size_t i = 1; i < state_.lstDBaseFile.size(); ++i) {
        const std::string row = state_.lstDBaseFile[i];
        if (row.empty() || (row[0] != '#' && row[0] != '@'))
            ++state_.counters.scannedObjects;
        ItemKind kind = KindOfLine(row);
        if (plan.Tests(kind))
            TestItem(kind, row, plan);
        else if (kind == ItemKind::Unknown)
            TestPersistenceItem(row, plan);
        if (!state_.busy)
            break;
        ShowProgress(false);
        ui_.Yield();
    }
    // The indexes are only good for this walk; their memory goes back now.
    shortcuts_.reset();
    taskPresence_.reset();
    servicePresence_.reset();
    matches_.reset();
    ignoreIndex_.reset();
    subkeys_.clear();
}

void Scanner::SetCaption(std::string text, bool refresh) {
    state_.currentOperation = std::move(text);
    ShowProgress(refresh);
}

void Scanner::ShowProgress(bool now) {
    uint64_t time = ports_.clock.MonotonicMs();
    if (!now && time - progressShownAt_ < kProgressIntervalMs)
        return;
    progressShownAt_ = time;
    ui_.Changed(View::ScanProgress);
}

}  // namespace pellora
