#include "gui/wiring.h"

#include "gui/main_window.h"

namespace pellora::gui {

void WireCommands(App& app, GuiCommands& commands) {
    ScanWizard& wizard = app.scanWizard();
    commands.optScanMode_Click = [&wizard](int index) { wizard.optScanMode_Click(index); };
    commands.cmdNextScan_Click = [&wizard] { wizard.cmdNextScan_Click(); };
    commands.cmdAbortNextResults_Click = [&wizard] { wizard.cmdAbortNextResults_Click(); };
    commands.tmrScrollingBar_Timer = [&wizard] { wizard.tmrScrollingBar_Timer(); };

    RemovalRun& removal = app.removalRun();
    commands.cmdNextDelete_Click = [&removal] { removal.cmdNextDelete_Click(); };

    IgnoreList& ignore = app.ignoreList();
    commands.cmdIgnoreSelected_Click = [&ignore] { ignore.cmdIgnoreSelected(); };
    commands.cmdIgnoreIremovable_Click = [&ignore] { ignore.cmdIgnoreIremovable(); };
    commands.cmdDeleteSelected_Click = [&ignore] { ignore.cmdDeleteSelected(); };
    commands.select = [&ignore](CheckedList list, Selection selection) {
        using Handler = void (IgnoreList::*)();
        static constexpr Handler kHandlers[3][3] = {
            {&IgnoreList::mnuResultListAll_Click, &IgnoreList::mnuResultListNone_Click,
             &IgnoreList::mnuResultListInverse_Click},
            {&IgnoreList::mnuIgnoreListAll_Click, &IgnoreList::mnuIgnoreListNone_Click,
             &IgnoreList::mnuIgnoreListInverse_Click},
            {&IgnoreList::mnuQuarantineListAll_Click, &IgnoreList::mnuQuarantineListNone_Click,
             &IgnoreList::mnuQuarantineListInverse_Click},
        };
        (ignore.*kHandlers[static_cast<int>(list)][static_cast<int>(selection)])();
    };

    Quarantine& quarantine = app.quarantine();
    commands.cmdQuarantineSelected_Click = [&quarantine] { quarantine.cmdQuarantineSelected(); };
    commands.cmdViewData_Click = [&quarantine] { quarantine.cmdViewData(); };
    commands.cmdRestoreQuarantined_Click = [&quarantine] { quarantine.cmdRestoreQuarantined(); };
    commands.cmdDeleteQuarantined_Click = [&quarantine] { quarantine.cmdDeleteQuarantined(); };

    SettingsFiles& settings = app.settingsFiles();
    commands.SaveData = [&settings] { settings.SaveData(); };

    SettingsApplier& applier = app.settingsApplier();
    AppState& state = app.state();
    commands.chkSettings_Click = [&state, &applier](int index, bool checked) {
        SetLine(state.lstSettingsFile, static_cast<size_t>(index), checked ? "1" : "0");
        applier.ApplySettings();
    };
    commands.chkStartWithWindows_Click = [&applier](bool checked) { applier.SetStartWithWindows(checked); };

    AutoScanCountdown& countdown = app.autoScanCountdown();
    commands.tmrTimer_Timer = [&countdown] { countdown.tmrTimer_Timer(); };
    HomePageProtector& protector = app.homePageProtector();
    commands.tmrHomePageCheck_Timer = [&protector] { protector.tmrHomePageCheck_Timer(); };

    Lifecycle& lifecycle = app.lifecycle();
    commands.Form_Unload = [&lifecycle](bool byUser) { return lifecycle.Form_Unload(byUser); };
}

bool StartUp(App& app, MainWindow& window, bool otherInstance) {
    Lifecycle& lifecycle = app.lifecycle();
    lifecycle.AddToSystemTray = [&window, otherInstance] { window.AddToSystemTray(otherInstance); };
    StartupResult result = lifecycle.Form_Load();
    app.databaseUpdate().LoadAddress();
    window.FlushChanges();
    return result == StartupResult::ShowMainWindow;
}

}  // namespace pellora::gui
