// Removal, quarantine and restore of browser finds, from a real scan of planted profiles: what
// goes is exactly the find (with the MACs that protect it), everything else in each file stays,
// a restore puts it back, a running browser keeps its files, and a profile folder swapped since
// the scan is left alone.
#include <gtest/gtest.h>

#include "core/app/navigation.h"
#include "core/app/status_panel.h"
#include "core/browsers/json_edit.h"
#include "core/removal/object_presence.h"
#include "core/removal/removal_run.h"
#include "core/util/text.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

using Json = nlohmann::json;

const std::string kChrome = R"(C:\Users\ann\AppData\Local\Google\Chrome\User Data)";
const std::string kFirefox = R"(C:\Users\ann\AppData\Roaming\Mozilla\Firefox\Profiles\a.default)";
const std::string kBad = "nnpnnpemnckcfdebeekibpiijlicmpom";
const std::string kGood = "aapocclcgogkmnckokdopfmhonfmgoek";
const std::string kPolicy = R"(HKEY_LOCAL_MACHINE\Software\Policies\Google\Chrome\ExtensionInstallForcelist)";

const std::string kSecure =
    R"({"extensions":{"settings":{")" + kBad + R"(":{"location":1,"path":")" + kBad + R"(\\1.0_0"},")" + kGood +
    R"(":{"location":1}}},"protection":{"macs":{"extensions":{"settings":{")" + kBad + R"(":"AA",")" + kGood +
    R"(":"BB"},"settings_encrypted_hash":{")" + kBad + R"(":"CC"}},"homepage":"DD"},"super_mac":"EE"}})";
const std::string kPreferences =
    R"({"browser":{"show_home_button":true},"homepage":"http://evil-search.example/","homepage_is_newtabpage":false,)"
    R"("protection":{"macs":{"homepage":"11","session":{"startup_urls":"22"}}},)"
    R"("session":{"restore_on_startup":4,"startup_urls":["https://news.example/"]}})";
const std::string kAddons = R"({"schemaVersion":36,"addons":[{"id":"keep@example.org","version":"1"},)"
                            R"({"id":"Spy@Evil.Example","version":"2"},{"id":"other@example.org"}]})";
const std::string kPrefsJs =
    "// Mozilla User Preferences\n"
    "user_pref(\"browser.startup.homepage\", \"https://evil-search.example/ff\");\n"
    "user_pref(\"browser.tabs.warnOnClose\", false);\n";

class BrowserRemovalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        run.hooks.showIrremovable = [this] { navigation.ShowIremovable(); };
        run.hooks.showStatus = [this] { navigation.lblCmdStatus_Click(); };
        p.system.environment["LOCALAPPDATA"] = R"(C:\Users\ann\AppData\Local)";
        p.system.environment["APPDATA"] = R"(C:\Users\ann\AppData\Roaming)";
        state.appFolder = "C:\\Pellora";
        state.folders.windowsDir = "C:\\WINDOWS";
        state.folders.systemDir = "C:\\WINDOWS\\system32";
        state.folders.appData = "C:\\Users\\ann\\AppData\\Roaming";
        state.lstSettingsFile = DefaultSettingsLines("about:blank");
        state.lstSettingsFile[2] = "1";
        state.lstSettingsFile[9] = "0";
        state.lstScanInfoFile = DefaultScanInfoLines();
        state.lstCustomScanSettings = DefaultCustomScanLines();
        state.lstDBaseFile = {"Version 1", "extension|" + kBad + "|Extension.DataTheft: Evil|",
                              "extension|spy@evil.example|Extension.Spyware: Spy|",
                              "hijack|evil-search|Hijack.Search: evil-search|"};
        p.files.AddFolder("C:\\Pellora\\Settings");
        p.files.AddFile(kChrome + "\\Default\\Extensions\\" + kBad + "\\1.0_0\\manifest.json", R"({"name":"Evil"})");
        p.files.AddFile(kChrome + "\\Default\\Extensions\\" + kGood + "\\2.0_0\\manifest.json", R"({"name":"Good"})");
        p.files.AddFile(kChrome + "\\Default\\Secure Preferences", kSecure);
        p.files.AddFile(kChrome + "\\Default\\Preferences", kPreferences);
        p.registry.AddString(kPolicy, "1", kBad + ";https://update.example/crx");
        p.registry.AddString(kPolicy, "2", kGood);
        p.files.AddFile(R"(C:\Users\ann\AppData\Roaming\Mozilla\Firefox\profiles.ini)",
                        "[Profile0]\r\nIsRelative=1\r\nPath=Profiles/a.default\r\n");
        p.files.AddFile(kFirefox + "\\extensions.json", kAddons);
        p.files.AddFile(kFirefox + "\\prefs.js", kPrefsJs);
    }

    void Scan() {
        scanner.StartScan();
        state.scanStamp = "7-12-2026-9-5-7";
        for (ResultRow& row : state.lstScanResult)
            row.checked = true;
    }
    // Removal in the window: the user confirms the deletion and answers the other questions.
    void RemoveConfirmed(std::deque<MsgAnswer> more = {}) {
        p.ui.answers = {MsgAnswer::Yes};
        p.ui.answers.insert(p.ui.answers.end(), more.begin(), more.end());
        run.cmdNextDelete_Click();
    }
    void RestoreAll() {
        quarantine.LoadToQuarantineList();
        for (QuarantinePackageRow& row : state.lstQuarantinedList)
            row.checked = true;
        quarantine.cmdRestoreQuarantined();
    }
    Json Parsed(const std::string& path) { return Json::parse(p.files.Content(path)); }
    bool Logged(const std::string& text) {
        return p.files.Content("C:\\Pellora\\DavEre.roz").find(text) != std::string::npos;
    }

    fakes::FakePlatform p;
    AppState state;
    RegistryAccess registry{p.registry, p.ui};
    FileFinder finder{state, p.files, p.ui};
    FileOperations fileOps{state, p.files, p.ui};
    ProcessEnder ender{p.processes, p.clock, p.ui};
    RegScan regScan{state, p.registry, p.ui};
    Quarantine quarantine{state, p.ports, registry, finder, fileOps};
    Scanner scanner{state, p.ports, registry, finder, regScan};
    SettingsFiles settings{state, p.files, p.system, p.ui};
    StatusPanel status{state, p.system, p.ui, finder};
    Navigation navigation{state, p.ports, status};
    RemovalRun run{state, p.ports, {finder, fileOps, ender, registry, regScan, quarantine, scanner, settings}};
};

TEST_F(BrowserRemovalTest, RemovesExactlyTheFindsAndRestorePutsThemBack) {
    Scan();
    ASSERT_EQ(state.lstScanResult.size(), 6u);
    RemoveConfirmed();

    EXPECT_FALSE(p.files.Exists(kChrome + "\\Default\\Extensions\\" + kBad));
    EXPECT_TRUE(p.files.Exists(kChrome + "\\Default\\Extensions\\" + kGood + "\\2.0_0\\manifest.json"));
    // The entry and both of its MACs are gone; every other member, the other entry's MAC and
    // the super MAC stay as they were.
    Json secure = Json::parse(kSecure);
    secure["extensions"]["settings"].erase(kBad);
    secure["protection"]["macs"]["extensions"]["settings"].erase(kBad);
    secure["protection"]["macs"]["extensions"]["settings_encrypted_hash"].erase(kBad);
    EXPECT_EQ(Parsed(kChrome + "\\Default\\Secure Preferences"), secure);
    // A hijacked setting goes back to the browser's default: the whole preference and its MAC.
    Json preferences = Json::parse(kPreferences);
    preferences.erase("homepage");
    preferences["protection"]["macs"].erase("homepage");
    EXPECT_EQ(Parsed(kChrome + "\\Default\\Preferences"), preferences);
    EXPECT_FALSE(p.registry.Value(kPolicy, "1"));
    EXPECT_TRUE(p.registry.Value(kPolicy, "2"));
    Json addons = Json::parse(kAddons);
    addons["addons"].erase(1);
    EXPECT_EQ(Parsed(kFirefox + "\\extensions.json"), addons);
    EXPECT_EQ(p.files.Content(kFirefox + "\\prefs.js"),
              "// Mozilla User Preferences\nuser_pref(\"browser.tabs.warnOnClose\", false);\n");
    EXPECT_TRUE(Logged("Browser setting removed=Chrome, profile Default: home page http://evil-search.example/"));

    // While Chrome runs, its profile files are not restored (it would write over them) and
    // their records stay.
    const std::string removed = p.files.Content(kChrome + "\\Default\\Secure Preferences");
    p.processes.Add("chrome.exe", 88);
    RestoreAll();
    EXPECT_EQ(p.files.Content(kChrome + "\\Default\\Secure Preferences"), removed);
    EXPECT_EQ(Parsed(kFirefox + "\\extensions.json"), Json::parse(kAddons));
    p.processes.processes.clear();

    RestoreAll();
    EXPECT_EQ(p.files.Content(kChrome + "\\Default\\Extensions\\" + kBad + "\\1.0_0\\manifest.json"),
              R"({"name":"Evil"})");
    EXPECT_EQ(Parsed(kChrome + "\\Default\\Secure Preferences"), Json::parse(kSecure));
    EXPECT_EQ(Parsed(kChrome + "\\Default\\Preferences"), Json::parse(kPreferences));
    EXPECT_EQ(Parsed(kFirefox + "\\extensions.json"), Json::parse(kAddons));
    EXPECT_NE(p.files.Content(kFirefox + "\\prefs.js").find("\"https://evil-search.example/ff\""), std::string::npos);
    ASSERT_TRUE(p.registry.Value(kPolicy, "1"));
    EXPECT_EQ(p.registry.Value(kPolicy, "1")->data.substr(0, kBad.size() + 1), kBad + ";");
    EXPECT_TRUE(p.files.Tree("C:\\Pellora\\Quarantine").empty());
}

TEST_F(BrowserRemovalTest, ARunningBrowserKeepsItsFilesUnattendedAndIsOnlyAskedToCloseInTheWindow) {
    Scan();
    p.processes.Add("CHROME.EXE", 77, 1, /*closesOnWmClose=*/false);
    state.automaticScan = true;
    const std::vector<ResultRow> rows = state.lstScanResult;
    run.cmdNextDelete_Click();
    // What is left counts as remaining (the console program's exit code 1): Chrome's file
    // places, and nothing else.
    std::vector<std::string> remaining;
    for (const ResultRow& row : rows) {
        if (ObjectPresence(row, "", p.files, p.registry) != Presence::Absent)
            remaining.push_back(row.object.substr(0, row.object.find(':')));
    }
    EXPECT_EQ(remaining, (std::vector<std::string>{"Chrome, profile Default", "Chrome, profile Default",
                                                   "Chrome, profile Default"}));
    // Nobody was asked and nothing of Chrome's files changed; its policy (a registry value) and
    // Firefox's files were removed.
    EXPECT_TRUE(p.ui.messages.empty());
    EXPECT_TRUE(p.processes.posted.empty());
    EXPECT_TRUE(p.files.Exists(kChrome + "\\Default\\Extensions\\" + kBad));
    EXPECT_EQ(p.files.Content(kChrome + "\\Default\\Secure Preferences"), kSecure);
    EXPECT_EQ(p.files.Content(kChrome + "\\Default\\Preferences"), kPreferences);
    EXPECT_FALSE(p.registry.Value(kPolicy, "1"));
    EXPECT_EQ(p.files.Content(kFirefox + "\\prefs.js").find("evil-search"), std::string::npos);
    EXPECT_TRUE(Logged("Browser extension not removed=Chrome, profile Default: extension \"Evil\" (" + kBad + ") in " +
                       kChrome + "\\Default\\Extensions\\" + kBad +
                       " (Chrome is running (chrome.exe); its files are changed only while it is closed)"));

    // In the window the user is asked once; a browser that does not close is waited for with a
    // bound and never ended.
    state.automaticScan = false;
    Scan();
    RemoveConfirmed({MsgAnswer::Yes});
    ASSERT_EQ(p.ui.messages.size(), 2u);
    EXPECT_EQ(p.ui.messages[1].title, kCloseBrowserTitle);
    EXPECT_EQ(p.processes.posted, (std::vector<std::pair<uint32_t, uint32_t>>{{77, kWmClose}}));
    EXPECT_TRUE(p.processes.terminated.empty());
    EXPECT_TRUE(p.files.Exists(kChrome + "\\Default\\Extensions\\" + kBad));

    // One that closes when asked lets the removal go on.
    p.processes.processes[0].closesOnWmClose = true;
    Scan();
    RemoveConfirmed({MsgAnswer::Yes});
    EXPECT_TRUE(p.processes.processes.empty());
    EXPECT_FALSE(p.files.Exists(kChrome + "\\Default\\Extensions\\" + kBad));
    EXPECT_TRUE(p.processes.terminated.empty());
}

TEST_F(BrowserRemovalTest, AProfileFolderSwappedForALinkSinceTheScanIsLeftAlone) {
    Scan();
    // The Default profile now leads to another folder holding the same files.
    const std::string elsewhere = R"(C:\Users\ann\Elsewhere)";
    for (const std::string& path : p.files.Tree(kChrome + "\\Default")) {
        if (!p.files.IsFolder(path))
            p.files.AddFile(elsewhere + path.substr(kChrome.size() + 8), p.files.Content(path));
    }
    for (const std::string& path : p.files.Tree(kChrome + "\\Default")) {
        if (!p.files.IsFolder(path))
            p.files.DeleteFile(path);
    }
    std::vector<std::string> folders = p.files.Tree(kChrome + "\\Default");
    for (auto it = folders.rbegin(); it != folders.rend(); ++it)
        p.files.RemoveDirectory(*it);
    p.files.RemoveDirectory(kChrome + "\\Default");
    p.files.AddFolderLinkTo(kChrome + "\\Default", elsewhere, /*junction=*/false);

    RemoveConfirmed();
    EXPECT_EQ(p.files.Content(elsewhere + "\\Secure Preferences"), kSecure);
    EXPECT_EQ(p.files.Content(elsewhere + "\\Preferences"), kPreferences);
    EXPECT_TRUE(p.files.Exists(elsewhere + "\\Extensions\\" + kBad + "\\1.0_0\\manifest.json"));
    EXPECT_TRUE(Logged("(its folder is not the object that was found)"));
}

TEST(JsonEdit, MacPathsOfSplitAndAtomicPreferences) {
    using browsers::MacPaths;
    using browsers::MemberPath;
    EXPECT_EQ(MacPaths({"extensions", "settings", "abc"}),
              (std::vector<MemberPath>{{"protection", "macs", "extensions", "settings", "abc"},
                                       {"protection", "macs", "extensions", "settings_encrypted_hash", "abc"}}));
    EXPECT_EQ(MacPaths({"session", "startup_urls"}),
              (std::vector<MemberPath>{{"protection", "macs", "session", "startup_urls"},
                                       {"protection", "macs", "session", "startup_urls_encrypted_hash"}}));
    EXPECT_EQ(browsers::TrackedPreference({"session", "startup_urls", "3"}), (MemberPath{"session", "startup_urls"}));
}

}  // namespace
}  // namespace pellora
