// Screenshots of every panel, with believable contents, written to screenshots/<dpi>/ in the
// build folder for people to look at (run under a prefix with LogPixels=144 for 150 %).
#include "gui_fixture.h"

namespace pellora::gui::testing {
namespace {

void FillSampleState(AppState& state) {
    state.status.dbaseVersion = "2026.12.01";
    state.status.appVersion = "1.0.0";
    state.status.currentIp = "192.168.1.20";
    state.status.lastScan = "12-05-2026  10:14:33";
    state.status.noOfScans = " 12";
    state.status.totalItemsRemoved = " 37";
    state.status.noInIgnoreList = "2";
    state.status.noQuarantined = "3";
    state.status.nextAutoScanIn = " Active Spyware Protection is OFF";
    state.lstSettingsFile = {"0",  "1", "0", "1", "0", "1", "about:blank", "Microsoft Internet Explorer",
                             "30", "0", "10"};
    state.scanMode = 1;
    state.currentOperation = "Scanning_item:_C:\\Program Files\\BonziBuddy\\bonzi.exe";
    state.counters = {15230, 14, 2, 12, 1, 6, 2, 3, 1, 41};
    state.scrollBlockLeft = 1375;
    state.lstScanResult = {
        {"path", kImageProgram, "Adware", "C:\\Program Files\\BonziBuddy\\bonzi.exe", "", true},
        {"folder", kImageFolder, "Adware", "C:\\Program Files\\BonziBuddy", "", true},
        {"file", kImageFile, "Spyware", "C:\\Windows\\system32\\spy32.dll", "", false},
        {"regkey", kImageRegKey, "Browser hijacker", "HKEY_CURRENT_USER\\Software\\CoolSearch", "", true},
        {"regval", kImageRegVal, "Dialer", "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run,dial",
         "", false},
        {"cookie", kImageCookie, "Tracking cookie", "user@ads.example[1].txt", "", true},
    };
    state.lstIremovable = {
        {"path", kImageProgram, "Rootkit", "C:\\Windows\\system32\\drivers\\hidden.sys",
         "http://support.example/remove-hidden", false},
    };
    state.lstIgnoreList = {
        {"path", kImageNone, "Adware", "C:\\Tools\\helper.exe", "", false},
        {"regval", kImageNone, "Toolbar", "HKEY_CURRENT_USER\\Software\\Bar,Enabled", "http://bar.example", true},
    };
    state.lstQuarantinedList = {
        {"5-12-2026-10-14-33", "1.5 KB", "3", false},
        {"6-12-2026-9-2-7", "12.25 MB", "7", true},
        {"readme.txt", "210 bytes", "0", false},
    };
    state.lstQuarantinedItems = {
        {"cookie", kImageCookie, "10000.qit", "C:\\Users\\me\\Cookies\\user@ads.example[1].txt",
         "C:\\Users\\me\\Cookies\\user@ads.example[1].txt"},
        {"regval", kImageRegVal, "10001.qit", "HKEY_CURRENT_USER\\Software\\CoolSearch,Start",
         "HKEY_CURRENT_USER\\Software\\CoolSearch,Start"},
        {"folder", kImageFolder, "10002\\BonziBuddy", "C:\\Program Files\\BonziBuddy", "C:\\Program Files\\BonziBuddy"},
        {"service", kImageRegKey, "10003.qit", "BonziService", "service BonziService"},
    };
    state.quarantineItemsCaption = "Package 5-12-2026-10-14-33 (scan of 05/12/2026  10:14:33): 4 items";
}

TEST_F(MainWindowTest, ScreenshotsOfEveryPanel) {
    FillSampleState(state);
    for (View view : {View::StatusFigures, View::Settings, View::ScanProgress, View::ScanResults, View::Irremovable,
                      View::IgnoreList, View::QuarantineList, View::QuarantineItems, View::Buttons}) {
        ui.Changed(view);
    }
    const std::pair<Panel, const char*> shots[] = {
        {Panel::Status, "status"},          {Panel::Settings, "settings"},      {Panel::ScanPrep, "scan-prep"},
        {Panel::ScanProc, "scan-progress"}, {Panel::ScanResult, "results"},     {Panel::Iremovable, "irremovable"},
        {Panel::Ignored, "ignore-list"},    {Panel::Quarantined, "quarantine"}, {Panel::QItems, "package-contents"},
        {Panel::Update, "update"},
    };
    for (const auto& [panel, name] : shots) {
        app.navigation().Show(panel);
        Settle();
        Screenshot(name);
        EXPECT_TRUE(IsShown(panel));
    }
}

// The result list with browser finds: extensions by browser, profile, name and id, and a
// hijacked setting, each with the place it was found in.
TEST_F(MainWindowTest, ScreenshotOfBrowserFinds) {
    FillSampleState(state);
    const std::string chrome = "C:\\Users\\ann\\AppData\\Local\\Google\\Chrome\\User Data";
    const std::string bad = "acmnokigkgihogfbeooklgemindnbine";
    state.lstScanResult = {
        {"extension", kImageFolder, "Extension.Malicious",
         "Chrome, profile Default: extension \"Bad Helper\" (" + bad + ") in " + chrome + "\\Default\\Extensions\\" +
             bad,
         "", true},
        {"extension", kImageFile, "Extension.Malicious",
         "Chrome, profile Default: extension (" + bad + ") in " + chrome +
             "\\Default\\Secure Preferences: extensions.settings." + bad,
         "", true},
        {"extension", kImageRegVal, "Extension.Malicious",
         "Chrome, all profiles: extension (" + bad +
             ") in HKEY_CURRENT_USER\\Software\\Policies\\Google\\Chrome\\ExtensionInstallForcelist: 1",
         "", true},
        {"extension", kImageFile, "Extension.Spyware: Spy",
         "Firefox, profile a.default: extension \"Spy\" (spy@evil.example) in C:\\Users\\ann\\AppData\\Roaming\\"
         "Mozilla\\Firefox\\Profiles\\a.default\\extensions.json: addons.1",
         "", true},
        {"hijack", kImageFile, "Hijack.Search: evil-search",
         "Edge, profile Default: home page http://www.evil-search.example/ in C:\\Users\\ann\\AppData\\Local\\"
         "Microsoft\\Edge\\User Data\\Default\\Preferences: homepage",
         "", true},
    };
    ui.Changed(View::ScanResults);
    app.navigation().Show(Panel::ScanResult);
    Settle();
    Screenshot("results-browsers");
    EXPECT_TRUE(IsShown(Panel::ScanResult));
}

}  // namespace
}  // namespace pellora::gui::testing
