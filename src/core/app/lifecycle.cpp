#include "core/app/lifecycle.h"

#include "core/backup/backup_pruning.h"
#include "core/protection/folder_access.h"
#include "core/removal/removal_run.h"
#include "core/removal/restart_deletes.h"
#include "core/settings/line_text.h"

namespace pellora {

void Lifecycle::SetSplash(const char* text) {
    state_.splashText = text;
    ports_.ui.Changed(View::Splash);
}

void Lifecycle::Step() {
    ports_.ui.Yield();
}

void Lifecycle::ShowPanel(const std::function<void()>& hook, Panel panel) {
    if (hook) {
        hook();
        return;
    }
    state_.panel = panel;
    ports_.ui.Changed(View::Panel);
}

void Lifecycle::CheckSettings() {
    for (const char* folder : {"\\Settings", "\\Quarantine", "\\Registry Backups"}) {
        const std::string path = AppFilePath(state_.appFolder, folder, "");
        std::optional<uint32_t> attributes = ports_.files.GetAttributes(path);
        if (!attributes || !(*attributes & file_attr::kDirectory))
            (void)ports_.files.CreateDirectory(path);
    }
    settings_.CreateDefaultFile(kSettingsFolder, kScanInfoFileName, DefaultScanInfoLines());

    std::string homePage = registry_.GetStringValue(kHomePageKeyPath, kHomePageValueName);
    if (homePage.empty() || homePage == kRegError)
        homePage = kBlankHomePage;
    if (HoldsLineBreak(homePage)) {
        // It would become more than one line of Settings.stg and move every later setting (the
        // number of backups to keep among them). No real home page holds one: it is refused.
        state_.lstLog.push_back(" Start Page holds a line break: " + std::string(kBlankHomePage) + " is used instead");
        ports_.ui.Changed(View::Log);
        homePage = kBlankHomePage;
    }
    state_.homePageBuffer = homePage;

    settings_.CreateDefaultFile(kSettingsFolder, kSettingsFileName, DefaultSettingsLines(state_.homePageBuffer));
    settings_.CreateDefaultFile(kSettingsFolder, kCustomScanFileName, DefaultCustomScanLines());
    settings_.CreateBlankFile("\\", "\\Settings\\IgnoreList.stg");
    settings_.CreateBlankFile("\\", "\\Settings\\SelectedFolders.stg");
    settings_.CreateBlankFile("\\", "\\DavEre.roz");
}

StartupResult Lifecycle::Form_Load() {
    state_.busy = false;
    SetSplash("Initializing...");
    Step();

    CheckSettings();
    // Where the system folder's owner is not one of the system's usual SIDs (under Wine, the one
    // user), the log says once that its grants are taken as the system's.
    auto log = [this](const std::string& line) { state_.lstLog.push_back(line); };
    if (std::optional<UnsafeObject> unsafe =
            FindUnsafeApplicationObject(ports_.files, state_.appFolder, ports_.system.SystemDirectory(), log)) {
        state_.unsafeFolderText = UnsafeFolderText(*unsafe, state_.appFolder);
        state_.lstLog.push_back(state_.unsafeFolderText);
        ReportEvent(ports_.events, event_id::kFolderWritable, EventLevel::Error, {state_.unsafeFolderText});
        ports_.ui.Changed(View::StatusFigures);
    }
    Step();

    settings_.LoadFiles(kSettingsFolder, kSettingsFileName, state_.lstSettingsFile);
    settings_.LoadFiles(kSettingsFolder, kScanInfoFileName, state_.lstScanInfoFile);
    settings_.LoadFiles(kSettingsFolder, kIgnoreListFileName, state_.lstIgnoreListFile);
    settings_.LoadFiles(kSettingsFolder, kSelectedFoldersFileName, state_.lstSelectedFolders);
    settings_.LoadFiles(kSettingsFolder, kCustomScanFileName, state_.lstCustomScanSettings);
    ConfirmRestartDeletes();
    Step();

    PruneRegistryBackups(state_, ports_.files);
    Step();

    bool updateChosen = false;
    if (!database_.DatabaseFileExists()) {
        MsgAnswer answer = ports_.ui.Message(kMissingDatabaseText, "Error", MsgButtons::YesNo, MsgIcon::Error);
        if (answer != MsgAnswer::Yes)
            return StartupResult::Exit;
        updateChosen = true;
        ShowPanel(ShowUpdate, Panel::Update);
    }
    Step();

    SetSplash("Unlocking Data Base...");
    Step();
    database_.LoadAndUnlock();
    Step();

    applier_.ApplySettings();
    Step();

    state_.windowMinimized = Line(state_.lstSettingsFile, 0) == "1";
    ports_.ui.Changed(View::Window);
    Step();

    if (AddToSystemTray)
        AddToSystemTray();
    if (!updateChosen)
        ShowPanel(ShowStatus, Panel::Status);
    Step();

    if (DiscoverSpecialFolders)
        DiscoverSpecialFolders();
    Step();

    SetSplash("Finished.");
    Step();

    if (Line(state_.lstSettingsFile, 1) == "1" && state_.unsafeFolderText.empty()) {
        ShowPanel(ShowScanProc, Panel::ScanProc);
        state_.automaticScan = false;
        if (StartScan)
            StartScan();
    }
    return StartupResult::ShowMainWindow;
}

bool Lifecycle::Form_Unload(bool byUser) {
    if (state_.busy) {
        (void)ports_.ui.Message(kBusyExitText, kAppTitle, MsgButtons::Ok, MsgIcon::Information);
        return false;
    }
    // A save that fails is logged and on the status panel; the user who closes the window is
    // also told before the changes go. Nobody may be there to answer another program's close.
    if (byUser)
        (void)settings_.SaveDataAsked();
    else
        (void)settings_.SaveData();
    return true;
}

void Lifecycle::ConfirmRestartDeletes() {
    const std::vector<std::string> lines = ConfirmPendingDeletes(state_, ports_.files);
    if (lines.empty())
        return;
    settings_.SaveData();
    if (Line(state_.lstSettingsFile, 3) != "1")
        return;
    std::string bytes;
    for (const std::string& line : lines)
        bytes += ports_.system.Utf8ToAnsi(FlattenLine(line)) + "\r\n";
    (void)ports_.files.AppendFile(state_.appFolder + "\\" + kLogFileName, bytes + "\r\n");
}

}  // namespace pellora
