#include "gui_fixture.h"
// (after the fixture, whose fakes must come before <windows.h>)
#include <windowsx.h>

#include "core/app/navigation.h"
#include "gui/single_instance.h"

namespace pellora::gui::testing {
namespace {

const Panel kAllPanels[] = {Panel::Status,     Panel::Settings,   Panel::ScanPrep, Panel::ScanProc,
                            Panel::ScanResult, Panel::Iremovable, Panel::Ignored,  Panel::Quarantined,
                            Panel::QItems,     Panel::Update};

TEST_F(MainWindowTest, AllTenPanelsExistAndExactlyOneIsVisibleWithItsTitle) {
    EXPECT_EQ(GetText(window.hwnd()), L"Dozevur Ezavuri");
    for (Panel panel : kAllPanels) {
        ASSERT_NE(window.panel(panel), nullptr);
        app.navigation().Show(panel);
        Settle();
        EXPECT_EQ(VisiblePanelCount(), 1);
        EXPECT_TRUE(IsShown(panel));
        EXPECT_EQ(GetText(window.titleLabel()), W(PanelTitle(panel)));
    }
}

TEST_F(MainWindowTest, BusyFlagIgnoresStatusScanAndSettingsButNotUpdate) {
    app.navigation().ShowScanProc();
    state.busy = true;
    Settle();
    for (int i = 0; i < 3; ++i) Click(window.navBar().button(i));
    EXPECT_TRUE(IsShown(Panel::ScanProc));

    app.navigation().ShowStatus();
    Settle();
    ClickInPanel(Panel::Status, kIdCmdDBaseUpdate);
    EXPECT_TRUE(IsShown(Panel::Update));
    EXPECT_EQ(GetText(window.titleLabel()), L"Pellora - DBase Update");

    state.busy = false;
    Click(window.navBar().button(1));
    EXPECT_TRUE(IsShown(Panel::ScanPrep));
    Click(window.navBar().button(2));
    EXPECT_TRUE(IsShown(Panel::Settings));
    Click(window.navBar().button(0));
    EXPECT_TRUE(IsShown(Panel::Status));
}

TEST_F(MainWindowTest, BackEmptiesThePackageContentsAndFinishTheIrremovableList) {
    state.lstQuarantinedItems = {{"cookie", kImageCookie, "10000.qit", "C:\\Cookies\\a@x.txt"},
                                 {"regval", kImageRegVal, "10001.qit", "HKEY_CURRENT_USER\\Software\\X,Run"}};
    app.navigation().ShowQItems();
    ui.Changed(View::QuarantineItems);
    Settle();
    EXPECT_EQ(ListCount(Panel::QItems), 2u);
    ClickInPanel(Panel::QItems, kIdCmdBack);
    EXPECT_TRUE(IsShown(Panel::Quarantined));
    EXPECT_TRUE(state.lstQuarantinedItems.empty());
    EXPECT_EQ(ListCount(Panel::QItems), 0u);

    state.lstIremovable = {{"path", kImageProgram, "Adware", "C:\\Bad\\bad.exe", "http://remove.example/bad", false}};
    app.navigation().ShowIremovable();
    ui.Changed(View::Irremovable);
    Settle();
    EXPECT_EQ(ListCount(Panel::Iremovable), 1u);
    ClickInPanel(Panel::Iremovable, kIdCmdFinish);
    EXPECT_TRUE(IsShown(Panel::Status));
    EXPECT_TRUE(state.lstIremovable.empty());
    EXPECT_EQ(ListCount(Panel::Iremovable), 0u);
}

TEST_F(MainWindowTest, HelpWithoutItsPageShowsOnlyTheMessage) {
    Panel before = state.panel;
    Click(window.navBar().button(3));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Help file help.htm could not be found.");
    EXPECT_EQ(messages[0].icon, MsgIcon::Error);
    EXPECT_TRUE(fake.shell.opened.empty());
    EXPECT_EQ(state.panel, before);
}

TEST_F(MainWindowTest, StatusPanelShowsFreshInstallationFiguresAndCountsTheQuarantineFolder) {
    state.lstScanInfoFile = {"{never}", "0", "0"};
    fake.files.AddFolder("C:\\Pellora\\Quarantine");
    Click(window.navBar().button(0));
    auto* status = static_cast<StatusView*>(window.panel(Panel::Status));
    EXPECT_EQ(TextOf(status->value(2)), L"10.0.0.5");
    EXPECT_EQ(TextOf(status->value(3)), L"{never}");
    EXPECT_EQ(TextOf(status->value(4)), L" 0");
    EXPECT_EQ(TextOf(status->value(5)), L" 0");
    EXPECT_EQ(TextOf(status->value(6)), L"0");
    EXPECT_EQ(TextOf(status->value(7)), L"0");
    EXPECT_EQ(TextOf(status->value(0)), L"Database unavailable");

    for (const char* package : {"1-12-2026-9-0-0", "2-12-2026-9-0-0", "3-12-2026-9-0-0"}) {
        fake.files.AddFile(std::string("C:\\Pellora\\Quarantine\\") + package + "\\10000.qnf", "path|10000.qit|C:\\x");
    }
    fake.files.AddFile("C:\\Pellora\\Quarantine\\loose.txt", "x");
    fake.files.AddFile("C:\\Pellora\\Quarantine\\desktop.ini", "[.ShellClassInfo]");
    Click(window.navBar().button(0));
    EXPECT_EQ(TextOf(status->value(7)), L"4");
}

TEST_F(MainWindowTest, TrayNumbersRestoreOrOpenTheMenuAndOthersAreIgnored) {
    ShowWindow(window.hwnd(), SW_MINIMIZE);
    Settle();
    ASSERT_FALSE(IsWindowVisible(window.hwnd()));

    for (int number : {512, 513, 515, 516, 518}) SendMessageW(window.hwnd(), WM_MOUSEMOVE, 1, MAKELPARAM(number, 0));
    EXPECT_FALSE(IsWindowVisible(window.hwnd()));
    EXPECT_EQ(window.trayMenuCount(), 0);

    SendMessageW(window.hwnd(), WM_MOUSEMOVE, 1, MAKELPARAM(514, 0));
    Settle();
    EXPECT_TRUE(IsWindowVisible(window.hwnd()));
    EXPECT_FALSE(IsIconic(window.hwnd()));
    RECT rect;
    GetWindowRect(window.hwnd(), &rect);
    EXPECT_EQ(rect.left, window.handling().rememberedLeft());
    EXPECT_EQ(rect.top, window.handling().rememberedTop());

    // Maximised, minimised to the tray and opened again: maximised as it was, not shifted, and
    // the normal place it keeps is the one it had before.
    ShowWindow(window.hwnd(), SW_MAXIMIZE);
    Settle();
    RECT maximised;
    GetWindowRect(window.hwnd(), &maximised);
    ShowWindow(window.hwnd(), SW_MINIMIZE);
    Settle();
    ASSERT_FALSE(IsWindowVisible(window.hwnd()));
    SendMessageW(window.hwnd(), WM_MOUSEMOVE, 1, MAKELPARAM(514, 0));
    Settle();
    EXPECT_TRUE(IsZoomed(window.hwnd()));
    RECT back;
    GetWindowRect(window.hwnd(), &back);
    EXPECT_TRUE(EqualRect(&back, &maximised));
    ShowWindow(window.hwnd(), SW_RESTORE);
    Settle();
    GetWindowRect(window.hwnd(), &back);
    EXPECT_EQ(back.left, rect.left);
    EXPECT_EQ(back.top, rect.top);

    // The menu is modal: a timer closes it from inside its loop.
    SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR id, DWORD) {
        KillTimer(nullptr, id);
        EndMenu();
    });
    SendMessageW(window.hwnd(), WM_MOUSEMOVE, 1, MAKELPARAM(517, 0));
    EXPECT_EQ(window.trayMenuCount(), 1);
}

TEST_F(MainWindowTest, MinimiseHidesAndWritesTheSettings) {
    fake.files.AddFolder("C:\\Pellora\\Settings");
    state.lstSettingsFile = {"1", "0", "0", "1", "0", "0", "about:blank", "Microsoft Internet Explorer", "30", "2", "10"};
    state.lstScanInfoFile = {"{never}", "0", "0"};
    ShowWindow(window.hwnd(), SW_MINIMIZE);
    Settle();
    EXPECT_FALSE(IsWindowVisible(window.hwnd()));
    EXPECT_EQ(fake.files.Content("C:\\Pellora\\Settings\\ScanInfo.stg"), "{never}\r\n0\r\n0");
    EXPECT_NE(fake.files.Content("C:\\Pellora\\Settings\\Settings.stg").find("Microsoft Internet Explorer\r\n30"),
              std::string::npos);
    EXPECT_GE(window.handling().rememberedLeft(), 0);
    EXPECT_GE(window.handling().rememberedTop(), 0);

    int saves = 0;
    commands.SaveData = [&] { ++saves; };
    window.handling().RestoreWindow();
    Settle();
    EXPECT_TRUE(IsWindowVisible(window.hwnd()));
    EXPECT_FALSE(IsIconic(window.hwnd()));
    EXPECT_EQ(saves, 0);

    // Logging off ends the process without an unload: the settings are written first.
    SendMessageW(window.hwnd(), WM_ENDSESSION, FALSE, 0);
    EXPECT_EQ(saves, 0);
    SendMessageW(window.hwnd(), WM_ENDSESSION, TRUE, 0);
    EXPECT_EQ(saves, 1);
}

TEST_F(MainWindowTest, ExitIsRefusedWhileTheUnloadSaysSo) {
    bool allow = false;
    commands.Form_Unload = [&](bool) { return allow; };
    SendMessageW(window.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(window.hwnd()));
    window.AddToSystemTray(false);
    EXPECT_TRUE(window.trayIconAdded());
    allow = true;
    SendMessageW(window.hwnd(), WM_COMMAND, kIdMnuPopUpExit, 0);
    EXPECT_EQ(window.hwnd(), nullptr);
    EXPECT_FALSE(window.trayIconAdded());
}

std::wstring TestLockPath() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    return std::wstring(temp) + L"pellora-lock-" + std::to_wstring(GetCurrentProcessId()) + L".lock";
}

// Any process may create a mutex of a given name first: holding the names the guard once had
// stops nothing. The lock file is what a second copy finds taken.
TEST(SingleInstanceTest, TheLockFileIsTheGuardAndTheOldMutexNamesStopNothing) {
    HANDLE global = CreateMutexW(nullptr, TRUE, L"Global\\Pellora.DozevurEzavuri.Instance");
    HANDLE local = CreateMutexW(nullptr, TRUE, L"Local\\Pellora.DozevurEzavuri.Instance");
    ASSERT_NE(global, nullptr);
    ASSERT_NE(local, nullptr);
    const std::wstring path = TestLockPath();
    {
        SingleInstance first(path);
        EXPECT_FALSE(first.anotherRunning());
        SingleInstance second(path);
        EXPECT_TRUE(second.anotherRunning());
        EXPECT_EQ(second.error(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    }
    CloseHandle(global);
    CloseHandle(local);
    // Nothing is left behind, and the next copy takes the lock.
    EXPECT_EQ(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES);
    SingleInstance again(path);
    EXPECT_FALSE(again.anotherRunning());
}

TEST_F(MainWindowTest, SecondInstanceIsDetectedAndAddsNoIcon) {
    SingleInstance first(TestLockPath());
    SingleInstance second(TestLockPath());
    EXPECT_FALSE(first.anotherRunning());
    EXPECT_TRUE(second.anotherRunning());
    window.AddToSystemTray(second.anotherRunning());
    EXPECT_FALSE(window.trayIconAdded());
    window.AddToSystemTray(first.anotherRunning());
    EXPECT_TRUE(window.trayIconAdded());
    // Re-created taskbar: the icon is added again, never twice in our books.
    SendMessageW(window.hwnd(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(window.trayIconAdded());
}

TEST_F(MainWindowTest, CheckBoxClicksToggleTheModelOnce) {
    state.lstScanResult = {{"path", kImageProgram, "Adware", "C:\\A\\x.exe", "", false},
                           {"regval", kImageRegVal, "Spyware", "HKEY_CURRENT_USER\\Software\\X,Run", "", false}};
    app.navigation().ShowScanResult();
    ui.Changed(View::ScanResults);
    Settle();
    HWND list = static_cast<ListPanelView*>(window.panel(Panel::ScanResult))->list().hwnd();
    ASSERT_EQ(ListView_GetItemCount(list), 2);
    RECT item;
    ListView_GetItemRect(list, 1, &item, LVIR_BOUNDS);
    LPARAM at = MAKELPARAM(item.left + window.fonts().dpi() * 8 / 96, (item.top + item.bottom) / 2);
    SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(list, WM_LBUTTONUP, 0, at);
    Settle();
    EXPECT_FALSE(state.lstScanResult[0].checked);
    EXPECT_TRUE(state.lstScanResult[1].checked);

    // The control shows the model's mark.
    EXPECT_EQ(ListView_GetCheckState(list, 1), TRUE);
    EXPECT_EQ(ListView_GetCheckState(list, 0), FALSE);
}

TEST_F(MainWindowTest, ProgressPanelFollowsTheScanState) {
    int ticks = 0;
    commands.tmrScrollingBar_Timer = [&] { ++ticks; };
    app.navigation().ShowScanProc();
    state.counters.scannedObjects = 1234;
    state.counters.runningProcesses = 42;
    state.currentOperation = "Listing Hard Disk Files...";
    state.abortNextCaption = "Next";
    state.scrollTimerEnabled = true;
    state.scrollBlockLeft = 1500;
    ui.Changed(View::ScanProgress);
    Settle(100);
    auto* progress = static_cast<ScanProcView*>(window.panel(Panel::ScanProc));
    EXPECT_EQ(TextOf(progress->counter(0)), L"1234");
    EXPECT_EQ(TextOf(progress->counter(9)), L"42");
    EXPECT_EQ(TextOf(progress->currentOperation()), L"Listing Hard Disk Files...");
    EXPECT_EQ(TextOf(progress->Control(kIdCmdAbortNextResults)), L"Next");
    EXPECT_TRUE(window.timerRunning(kTmrScrollingBar));
    EXPECT_EQ(progress->BlockLeftPixels(), MulDiv(1500, window.fonts().dpi(), 1440));

    Settle(300);
    EXPECT_GT(ticks, 0);
    state.scrollTimerEnabled = false;
    ui.Changed(View::ScanProgress);
    Settle();
    EXPECT_FALSE(window.timerRunning(kTmrScrollingBar));
}

TEST_F(MainWindowTest, OnlyTheCountdownRunsAgainInsideItsOwnTimerEvent) {
    // The automatic scan runs inside the countdown's event, and the countdown counts on in it.
    int countdown = 0;
    int homePage = 0;
    commands.tmrTimer_Timer = [&] {
        if (++countdown == 1) SendMessageW(window.hwnd(), WM_TIMER, kTmrTimer, 0);
    };
    commands.tmrHomePageCheck_Timer = [&] {
        if (++homePage == 1) SendMessageW(window.hwnd(), WM_TIMER, kTmrHomePageCheck, 0);
    };
    SendMessageW(window.hwnd(), WM_TIMER, kTmrTimer, 0);
    SendMessageW(window.hwnd(), WM_TIMER, kTmrHomePageCheck, 0);
    EXPECT_EQ(countdown, 2);
    EXPECT_EQ(homePage, 1);
}

TEST_F(MainWindowTest, ButtonsFollowTheirStateAndEnterPressesTheDefault) {
    app.navigation().ShowScanResult();
    state.buttons.cmdNextDelete = false;
    ui.Changed(View::Buttons);
    Settle();
    EXPECT_FALSE(IsWindowEnabled(window.panel(Panel::ScanResult)->Control(kIdCmdNextDelete)));
    EXPECT_TRUE(IsWindowEnabled(window.panel(Panel::ScanResult)->Control(kIdCmdIgnoreSelected)));

    int scans = 0;
    commands.cmdNextScan_Click = [&] { ++scans; };
    app.navigation().ShowScanPrep();
    Settle();
    SendMessageW(window.hwnd(), WM_COMMAND, IDOK, 0);
    EXPECT_EQ(scans, 1);
    app.navigation().ShowQItems();
    Settle();
    SendMessageW(window.hwnd(), WM_COMMAND, IDCANCEL, 0);
    Settle();
    EXPECT_TRUE(IsShown(Panel::Quarantined));
}

TEST_F(MainWindowTest, YieldStaysCheapAndStillServesTheWindow) {
    const uint64_t pumpsBefore = ui.pumpCount();
    const DWORD start = GetTickCount();
    for (int i = 0; i < 1000000; ++i) ui.Yield();
    const DWORD elapsed = GetTickCount() - start;
    const uint64_t pumps = ui.pumpCount() - pumpsBefore;
    // One pump per 20 ms at most (and one more for the first call).
    EXPECT_LE(pumps, elapsed / 20 + 2);

    // Slow work between yields still gets served at least every few calls.
    const uint64_t slowBefore = ui.pumpCount();
    for (int i = 0; i < 40; ++i) {
        Sleep(10);
        ui.Yield();
    }
    EXPECT_GE(ui.pumpCount() - slowBefore, 3u);
}

}  // namespace
}  // namespace pellora::gui::testing

namespace pellora::gui::testing {
namespace {

TEST_F(MainWindowTest, WizardButtonsRunTheScanAndShowItsResults) {
    state.lstDBaseFile = {"2026.12.01", "path|C:\\Bad\\bad.exe|Adware|", "path|C:\\Good\\none.exe|Adware|"};
    state.lstSettingsFile = {"0", "0", "0", "0", "0", "0", "about:blank", "Microsoft Internet Explorer", "30", "0", "10"};
    fake.files.AddFile("C:\\Bad\\bad.exe", "MZ");
    Click(window.navBar().button(1));
    ASSERT_TRUE(IsShown(Panel::ScanPrep));
    ClickInPanel(Panel::ScanPrep, kIdCmdNextScan);
    EXPECT_TRUE(IsShown(Panel::ScanProc));
    HWND abortNext = window.panel(Panel::ScanProc)->Control(kIdCmdAbortNextResults);
    EXPECT_EQ(TextOf(abortNext), L"Next");
    // A scan keeps the program busy until its results are dealt with.
    Click(window.navBar().button(0));
    EXPECT_TRUE(IsShown(Panel::ScanProc));

    Click(abortNext);
    EXPECT_TRUE(IsShown(Panel::ScanResult));
    EXPECT_EQ(ListCount(Panel::ScanResult), 1u);
    EXPECT_EQ(TextOf(abortNext), L"Abort");
}

}  // namespace
}  // namespace pellora::gui::testing

namespace pellora::gui::testing {
namespace {

TEST_F(MainWindowTest, KeyboardReachesTheControls) {
    app.navigation().ShowStatus();
    Settle();
    HWND update = window.panel(Panel::Status)->Control(kIdCmdDBaseUpdate);
    SetFocus(update);
    MSG tab = KeyMessage(update, WM_KEYDOWN, VK_TAB);
    ui.Dispatch(tab);
    EXPECT_EQ(GetFocus(), window.panel(Panel::Status)->Control(kIdCmdOpenIgnoreList));

    // Alt+I: "Open &Ignore List".
    int loads = 0;
    app.navigation().hooks.loadIgnoredToList = [&] { ++loads; };
    MSG alt = KeyMessage(window.hwnd(), WM_SYSCHAR, 'i');
    ui.Dispatch(alt);
    Settle();
    EXPECT_EQ(loads, 1);
    EXPECT_TRUE(IsShown(Panel::Ignored));

    // Enter on a focused button presses it.
    app.navigation().ShowStatus();
    Settle();
    SetFocus(update);
    MSG enter = KeyMessage(update, WM_KEYDOWN, VK_RETURN);
    ui.Dispatch(enter);
    Settle();
    EXPECT_TRUE(IsShown(Panel::Update));

    // Arrow keys move through the scan modes and choose them.
    state.lstSettingsFile = {"0", "0", "0", "1", "0", "0", "about:blank", "Microsoft Internet Explorer", "30", "0", "10"};
    app.navigation().ShowScanPrep();
    Settle();
    HWND smart = window.panel(Panel::ScanPrep)->Control(kIdOptScanMode0);
    SetFocus(smart);
    MSG down = KeyMessage(smart, WM_KEYDOWN, VK_DOWN);
    ui.Dispatch(down);
    Settle();
    EXPECT_EQ(GetFocus(), window.panel(Panel::ScanPrep)->Control(kIdOptScanMode1));
    EXPECT_EQ(state.lstSettingsFile[9], "1");
    EXPECT_EQ(SendMessageW(window.panel(Panel::ScanPrep)->Control(kIdOptScanMode1), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(SendMessageW(smart, BM_GETCHECK, 0, 0), BST_UNCHECKED);

    // A panel switch takes the keyboard along to the panel now in view.
    app.navigation().ShowIgnored();
    Settle();
    EXPECT_TRUE(IsChild(window.panel(Panel::Ignored)->hwnd(), GetFocus()));
}

}  // namespace
}  // namespace pellora::gui::testing

namespace pellora::gui::testing {
namespace {

TEST_F(MainWindowTest, SettingsBoxesSetTheirLinesAndStartWithWindowsTheRunValue) {
    state.lstSettingsFile = {"0", "0", "0", "1", "0", "0", "about:blank", "Microsoft Internet Explorer", "30", "0", "10"};
    fake.registry.AddKey("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
    Click(window.navBar().button(2));
    ClickInPanel(Panel::Settings, kIdChkSettings0);
    EXPECT_EQ(state.lstSettingsFile[0], "1");
    ClickInPanel(Panel::Settings, kIdChkSettings0 + 3);
    EXPECT_EQ(state.lstSettingsFile[3], "0");
    EXPECT_EQ(SendMessageW(window.panel(Panel::Settings)->Control(kIdChkSettings0), BM_GETCHECK, 0, 0), BST_CHECKED);

    ClickInPanel(Panel::Settings, kIdChkStartWithWindows);
    auto run = fake.registry.Value("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Pellora");
    ASSERT_TRUE(run.has_value());
    EXPECT_EQ(run->data, "\"C:\\Pellora\\Pellora.exe\"");
    ClickInPanel(Panel::Settings, kIdChkStartWithWindows);
    EXPECT_FALSE(fake.registry.Value("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Pellora"));
}

TEST_F(MainWindowTest, ExitDuringAScanShowsTheWaitMessageAndTheProgramStays) {
    fake.files.AddFolder("C:\\Pellora\\Settings");
    state.lstScanInfoFile = {"{never}", "3", "0"};
    window.AddToSystemTray(false);
    state.busy = true;
    SendMessageW(window.hwnd(), WM_COMMAND, kIdMnuPopUpExit, 0);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text, "Please wait for the scan to finish before exiting Pellora.");
    EXPECT_EQ(messages[0].icon, MsgIcon::Information);
    EXPECT_TRUE(IsWindow(window.hwnd()));
    EXPECT_FALSE(fake.files.Exists("C:\\Pellora\\Settings\\ScanInfo.stg"));

    state.busy = false;
    SendMessageW(window.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(window.hwnd(), nullptr);
    EXPECT_FALSE(window.trayIconAdded());
    EXPECT_EQ(fake.files.Content("C:\\Pellora\\Settings\\ScanInfo.stg"), "{never}\r\n3\r\n0");
}

TEST_F(MainWindowTest, StartUpWithoutADatabaseAsksAndEndsOnNo) {
    fake.files.AddFolder("C:\\Pellora");
    EXPECT_FALSE(StartUp(app, window, false));
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().title, "Error");
    EXPECT_EQ(messages.back().buttons, MsgButtons::YesNo);
    // Start-up created the application folders before it asked.
    EXPECT_TRUE(fake.files.IsFolder("C:\\Pellora\\Quarantine"));
}

TEST_F(MainWindowTest, StartUpWithTheDatabaseShowsTheStatusPanelAndAddsTheIcon) {
    fake.files.AddFile("C:\\Pellora\\DataBase.ref", "");
    EXPECT_TRUE(StartUp(app, window, false));
    EXPECT_TRUE(IsShown(Panel::Status));
    EXPECT_TRUE(window.trayIconAdded());
    auto* status = static_cast<StatusView*>(window.panel(Panel::Status));
    EXPECT_EQ(TextOf(status->value(3)), L"{never}");
    EXPECT_EQ(TextOf(status->value(4)), L" 0");
    EXPECT_EQ(TextOf(status->value(1)), L"1.0.0");
    // An empty database is said on the status panel, and a scan is refused with the reason.
    EXPECT_EQ(TextOf(status->folderWarning()).rfind(L"The reference database DataBase.ref cannot be used: it is empty.", 0),
              0u);
    app.scanWizard().cmdNextScan_Click();
    Settle();
    EXPECT_TRUE(IsShown(Panel::Status));
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages.back().text.rfind("The reference database DataBase.ref cannot be used: it is empty.", 0), 0u);
}

TEST_F(MainWindowTest, AnApplicationFolderOthersMayChangeIsShownOnTheStatusPanelAndStartsNoScan) {
    fake.files.AddFile("C:\\Pellora\\DataBase.ref", "");
    fake.files.AddFile("C:\\Pellora\\Settings\\Settings.stg",
                       "0\r\n1\r\n0\r\n1\r\n0\r\n0\r\nabout:blank\r\nx\r\n30\r\n0\r\n10");
    fake.files.accessEntries["C:\\Pellora"] = {{true, "S-1-5-11", 0x1301bf, false}};
    EXPECT_TRUE(StartUp(app, window, false));
    Settle();
    EXPECT_TRUE(IsShown(Panel::Status));
    auto* status = static_cast<StatusView*>(window.panel(Panel::Status));
    const std::wstring shown = TextOf(status->folderWarning());
    EXPECT_NE(shown.find(L"Authenticated Users may change C:\\Pellora, so anyone could replace"), std::wstring::npos)
        << shown.size();
    RECT box{};
    GetWindowRect(status->folderWarning(), &box);
    EXPECT_GT(box.bottom - box.top, 0);
    Screenshot("status-unsafe-folder");
}

}  // namespace
}  // namespace pellora::gui::testing

#include "gui/splash_window.h"

namespace pellora::gui::testing {
namespace {

TEST_F(MainWindowTest, SplashFollowsStartUpAndGoesWhenTheMainWindowIsActivated) {
    SplashWindow splash;
    ASSERT_TRUE(splash.Create(nullptr));
    EXPECT_EQ(splash.text(), L"Loading...");
    window.onSplashChanged = [&] { splash.SetText(state.splashText); };
    window.onActivated = [&] { splash.Close(); };
    state.splashText = "Unlocking Data Base...";
    ui.Changed(View::Splash);
    EXPECT_EQ(splash.text(), L"Unlocking Data Base...");

    SendMessageW(window.hwnd(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(splash.hwnd(), nullptr);
    // Activated again: closing a closed splash does nothing.
    SendMessageW(window.hwnd(), WM_ACTIVATE, WA_ACTIVE, 0);
    EXPECT_EQ(splash.hwnd(), nullptr);
}

}  // namespace
}  // namespace pellora::gui::testing

namespace pellora::gui::testing {
namespace {

TEST_F(MainWindowTest, HighlightedPackageFollowsTheListAndARebuildForgetsIt) {
    state.lstQuarantinedList = {{"1-12-2026-9-0-0", "1 KB", "1", false}, {"2-12-2026-9-0-0", "2 KB", "2", false}};
    app.navigation().ShowQuarantined();
    ui.Changed(View::QuarantineList);
    Settle();
    HWND list = static_cast<ListPanelView*>(window.panel(Panel::Quarantined))->list().hwnd();
    ListView_SetItemState(list, 1, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    EXPECT_EQ(state.highlightedPackage, 1);

    int views = 0;
    commands.cmdViewData_Click = [&] { ++views; };
    NMHDR doubleClick{list, static_cast<UINT_PTR>(kIdLstQuarantinedList), static_cast<UINT>(NM_DBLCLK)};
    SendMessageW(window.panel(Panel::Quarantined)->hwnd(), WM_NOTIFY, doubleClick.idFrom,
                 reinterpret_cast<LPARAM>(&doubleClick));
    EXPECT_EQ(views, 1);

    state.highlightedPackage = -1;
    ui.Changed(View::QuarantineList);
    Settle();
    EXPECT_EQ(ListView_GetNextItem(list, -1, LVNI_FOCUSED), -1);
    EXPECT_EQ(state.highlightedPackage, -1);
}

}  // namespace
}  // namespace pellora::gui::testing

namespace pellora::gui::testing {
namespace {

// Tray clicks come as mouse moves to the main window; real mouse moves over it must go to the
// controls instead, wherever the mouse is.
TEST_F(MainWindowTest, NoPointOfTheClientAreaSendsMouseMovesToTheMainWindow) {
    for (Panel panel : {Panel::Status, Panel::ScanProc, Panel::Update}) {
        app.navigation().Show(panel);
        Settle();
        RECT client;
        GetClientRect(window.hwnd(), &client);
        for (int y = 1; y < 20; ++y) {
            for (int x = 1; x < 20; ++x) {
                POINT at{client.right * x / 20, client.bottom * y / 20};
                ClientToScreen(window.hwnd(), &at);
                EXPECT_NE(WindowFromPoint(at), window.hwnd()) << "at " << at.x << "," << at.y;
            }
        }
    }
}

TEST_F(MainWindowTest, EnterDuringAScanNeverAbortsItAndTheDetailsFollowTheScan) {
    int presses = 0;
    commands.cmdAbortNextResults_Click = [&] { ++presses; };
    state.abortNextCaption = "Abort";
    state.currentOperation = "Listing Hard Disk Files...";
    state.lstHDDItems.Add("C:\\a.txt");
    state.lstHDDItems.Add("C:\\b.txt");
    state.scrollTimerEnabled = true;
    app.navigation().ShowScanProc();
    ui.Changed(View::ScanProgress);
    Settle();
    HWND abort = window.panel(Panel::ScanProc)->Control(kIdCmdAbortNextResults);
    HWND details = static_cast<ScanProcView*>(window.panel(Panel::ScanProc))->details();
    EXPECT_EQ(TextOf(details).rfind(L"Listing folders", 0), 0u) << U(TextOf(details));
    EXPECT_NE(TextOf(details).find(L"2 entries listed"), std::wstring::npos);

    // Enter with nothing focused, and with the Abort button focused (the dialog manager then
    // sends the button's own command to the window).
    SendMessageW(window.hwnd(), WM_COMMAND, IDOK, 0);
    SetFocus(abort);
    SendMessageW(window.hwnd(), WM_COMMAND, IDOK, 0);
    SendMessageW(window.hwnd(), WM_COMMAND, MAKEWPARAM(kIdCmdAbortNextResults, BN_CLICKED),
                 reinterpret_cast<LPARAM>(abort));
    Settle();
    EXPECT_EQ(presses, 0);
    Click(abort);  // the mouse (or Space) still aborts
    EXPECT_EQ(presses, 1);

    // After the scan Enter goes on to the results.
    state.abortNextCaption = "Next";
    state.scrollTimerEnabled = false;
    state.currentOperation = "Finished.";
    ui.Changed(View::ScanProgress);
    Settle();
    SendMessageW(window.hwnd(), WM_COMMAND, IDOK, 0);
    EXPECT_EQ(presses, 2);
    EXPECT_EQ(TextOf(details).rfind(L"Finished", 0), 0u);
}

TEST_F(MainWindowTest, TheTypeColumnShowsEveryTypeWordWhole) {
    app.navigation().ShowScanResult();
    Settle();
    auto* view = dynamic_cast<ListPanelView*>(window.panel(Panel::ScanResult));
    HWND list = view->list().hwnd();
    int iconWidth = 0;
    int iconHeight = 0;
    ImageList_GetIconSize(ListView_GetImageList(list, LVSIL_SMALL), &iconWidth, &iconHeight);
    // Check box, image and the word itself.
    const int needed = GetSystemMetrics(SM_CXSMICON) + iconWidth + ListView_GetStringWidth(list, L"regkey");
    EXPECT_GE(ListView_GetColumnWidth(list, 0), needed);
}

}  // namespace
}  // namespace pellora::gui::testing
