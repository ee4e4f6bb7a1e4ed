// Start-up and shutdown with fakes: the first start in an empty folder, existing files left
// alone, the missing-database question, the order of the steps, ApplySettings and the refused
// close while busy.
#include <gtest/gtest.h>

#include "core/app/lifecycle.h"
#include "core/database/unlock.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

using Lines = std::vector<std::string>;
const std::string kApp = "C:\\Pellora";

class LifecycleTest : public ::testing::Test {
  protected:
    LifecycleTest() {
        state.appFolder = kApp;
        fake.files.AddFolder(kApp);
        fake.registry.AddKey(kRunKeyPath);
        applier.StatusInfoDisplay = [this] { trace.push_back("status figures"); };
        lifecycle.AddToSystemTray = [this] { trace.push_back("tray"); };
        lifecycle.DiscoverSpecialFolders = [this] { trace.push_back("folders"); };
        lifecycle.StartScan = [this] { trace.push_back(state.automaticScan ? "auto scan" : "scan"); };
        // The splash label as the front end sees it between steps.
        fake.ui.onYield = [this] {
            if (state.splashText != shownSplash)
                trace.push_back(shownSplash = state.splashText);
        };
    }
    void AddDatabase(const Lines& lines) {
        std::string bytes;
        for (const std::string& line : lines)
            bytes += *LockText(line, kDatabaseKey) + "\r\n";
        fake.files.AddFile(kApp + "\\DataBase.ref", bytes);
    }
    std::string Content(const std::string& relative) { return fake.files.Content(kApp + relative); }

    fakes::FakePlatform fake;
    AppState state;
    RegistryAccess registry{fake.registry, fake.ui};
    SettingsFiles settings{state, fake.files, fake.system, fake.ui};
    Database database{state, fake.files, fake.system, fake.ui};
    SettingsApplier applier{state, registry, fake.system, fake.ui};
    Lifecycle lifecycle{state, fake.ports, registry, settings, database, applier};
    std::vector<std::string> trace;
    std::string shownSplash;
};

TEST_F(LifecycleTest, FirstStartCreatesExactlyTheFoldersAndDefaultFiles) {
    fake.registry.AddString(kHomePageKeyPath, kHomePageValueName, "http://home.example/");
    lifecycle.CheckSettings();
    EXPECT_EQ(fake.files.Tree(kApp), (Lines{
                                         kApp + "\\DavEre.roz",
                                         kApp + "\\Quarantine",
                                         kApp + "\\Registry Backups",
                                         kApp + "\\Settings",
                                         kApp + "\\Settings\\CustomScan.stg",
                                         kApp + "\\Settings\\IgnoreList.stg",
                                         kApp + "\\Settings\\ScanInfo.stg",
                                         kApp + "\\Settings\\SelectedFolders.stg",
                                         kApp + "\\Settings\\Settings.stg",
                                     }));
    EXPECT_EQ(Content("\\Settings\\ScanInfo.stg"), "{never}\r\n0\r\n0");
    EXPECT_EQ(Content("\\Settings\\Settings.stg"),
              "0\r\n0\r\n0\r\n1\r\n0\r\n0\r\nhttp://home.example/\r\nMicrosoft Internet Explorer\r\n30\r\n0\r\n10");
    EXPECT_EQ(Content("\\Settings\\CustomScan.stg"), "0\r\n1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n1");
    EXPECT_EQ(Content("\\Settings\\IgnoreList.stg"), "");
    EXPECT_EQ(Content("\\Settings\\SelectedFolders.stg"), "");
    EXPECT_EQ(Content("\\DavEre.roz"), "");
    EXPECT_EQ(state.homePageBuffer, "http://home.example/");
}

TEST_F(LifecycleTest, HomePageFallsBackToBlankWhenItCannotBeRead) {
    for (const char* stored : {"", "missing"}) {
        SCOPED_TRACE(stored);
        fake.files.DeleteFile(kApp + "\\Settings\\Settings.stg");
        if (std::string(stored) != "missing")
            fake.registry.AddString(kHomePageKeyPath, kHomePageValueName, stored);
        lifecycle.CheckSettings();
        EXPECT_EQ(state.homePageBuffer, "about:blank");
        EXPECT_EQ(Lines(SplitTextLines(Content("\\Settings\\Settings.stg"), true))[6], "about:blank");
    }
}

TEST_F(LifecycleTest, ExistingFilesAreNeverOverwrittenWhateverTheirAttributes) {
    fake.files.AddFile(kApp + "\\Settings\\Settings.stg", "1\r\n1", file_attr::kHidden);
    fake.files.AddFile(kApp + "\\Settings\\ScanInfo.stg", "", file_attr::kSystem | file_attr::kReadOnly);
    fake.files.AddFile(kApp + "\\Settings\\IgnoreList.stg", "cookie|x|y|");
    fake.files.AddFile(kApp + "\\DavEre.roz", "log");
    lifecycle.CheckSettings();
    EXPECT_EQ(Content("\\Settings\\Settings.stg"), "1\r\n1");
    EXPECT_EQ(Content("\\Settings\\ScanInfo.stg"), "");
    EXPECT_EQ(Content("\\Settings\\IgnoreList.stg"), "cookie|x|y|");
    EXPECT_EQ(Content("\\DavEre.roz"), "log");
}

TEST_F(LifecycleTest, MissingDatabaseAndNoEndsStartUpBeforeTheDatabase) {
    fake.ui.answers = {MsgAnswer::No};
    EXPECT_EQ(lifecycle.Form_Load(), StartupResult::Exit);
    ASSERT_EQ(fake.ui.messages.size(), 1u);
    EXPECT_EQ(fake.ui.messages[0].text,
              "Missing reference Database.\r\nDo you want to download new reference Database?");
    EXPECT_EQ(fake.ui.messages[0].title, "Error");
    EXPECT_EQ(fake.ui.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(fake.ui.messages[0].icon, MsgIcon::Error);
    EXPECT_EQ(state.splashText, "Initializing...");
    EXPECT_TRUE(trace.end() == std::find(trace.begin(), trace.end(), "tray"));
    // The settings lists were loaded, and nothing was written back.
    EXPECT_EQ(state.lstSettingsFile.size(), 11u);
}

TEST_F(LifecycleTest, MissingDatabaseAndYesShowsTheUpdatePanelAndGoesOnEmpty) {
    fake.ui.answers = {MsgAnswer::Yes};
    int updates = 0;
    lifecycle.ShowUpdate = [&] { ++updates; };
    lifecycle.ShowStatus = [&] { ADD_FAILURE() << "the status panel must not replace the update panel"; };
    EXPECT_EQ(lifecycle.Form_Load(), StartupResult::ShowMainWindow);
    EXPECT_EQ(updates, 1);
    EXPECT_TRUE(state.lstDBaseFile.empty());
    EXPECT_EQ(state.status.dbaseVersion, "Database unavailable");
    EXPECT_EQ(state.splashText, "Finished.");
}

TEST_F(LifecycleTest, StartUpRunsItsStepsInOrder) {
    AddDatabase({"Starter 2026.12", "# comment"});
    fake.files.AddFile(kApp + "\\Settings\\Settings.stg",
                       "1\r\n1\r\n0\r\n1\r\n0\r\n0\r\nabout:blank\r\nx\r\n30\r\n2\r\n10");
    state.busy = true;
    EXPECT_EQ(lifecycle.Form_Load(), StartupResult::ShowMainWindow);
    EXPECT_EQ(trace, (Lines{"Initializing...", "Unlocking Data Base...", "status figures", "tray", "folders",
                            "Finished.", "scan"}));
    EXPECT_TRUE(fake.ui.messages.empty());
    EXPECT_FALSE(state.busy);
    EXPECT_EQ(state.lstDBaseFile, (Lines{"Starter 2026.12", "# comment"}));
    EXPECT_EQ(state.status.dbaseVersion, "Starter 2026.12");
    EXPECT_TRUE(state.windowMinimized);
    EXPECT_EQ(state.scanMode, 2);
    EXPECT_EQ(state.panel, Panel::ScanProc);
}

TEST_F(LifecycleTest, AnApplicationFolderOthersMayChangeIsReportedAndStartsNoScan) {
    AddDatabase({"v1"});
    fake.files.AddFile(kApp + "\\Settings\\Settings.stg",
                       "0\r\n1\r\n0\r\n1\r\n0\r\n0\r\nabout:blank\r\nx\r\n30\r\n0\r\n10");
    fake.files.AddFile(kApp + "\\Pellora.exe", "MZ");
    // What Wine reports for a folder of mode 777.
    fake.files.accessEntries[kApp + "\\Pellora.exe"] = {{true, "S-1-1-0", 0x1f01ff, false}};
    EXPECT_EQ(lifecycle.Form_Load(), StartupResult::ShowMainWindow);
    EXPECT_EQ(state.unsafeFolderText.rfind("Everyone may change C:\\Pellora\\Pellora.exe, so anyone", 0), 0u);
    EXPECT_TRUE(std::find(state.lstLog.begin(), state.lstLog.end(), state.unsafeFolderText) != state.lstLog.end());
    EXPECT_TRUE(std::find(trace.begin(), trace.end(), "scan") == trace.end());

    // The same start with the folder as the installer leaves it scans.
    fake.files.accessEntries.clear();
    state.unsafeFolderText.clear();
    trace.clear();
    EXPECT_EQ(lifecycle.Form_Load(), StartupResult::ShowMainWindow);
    EXPECT_EQ(state.unsafeFolderText, "");
    EXPECT_EQ(trace.back(), "scan");
}

TEST_F(LifecycleTest, WithoutScanAtStartTheStatusPanelIsShownAndNoScanRuns) {
    AddDatabase({"v1"});
    lifecycle.CheckSettings();
    state.panel = Panel::Settings;
    EXPECT_EQ(lifecycle.Form_Load(), StartupResult::ShowMainWindow);
    EXPECT_EQ(state.panel, Panel::Status);
    EXPECT_FALSE(state.windowMinimized);
    EXPECT_TRUE(std::find(trace.begin(), trace.end(), "scan") == trace.end());
}

TEST_F(LifecycleTest, ShutdownIsRefusedWhileBusyThenSavesTheSettings) {
    state.lstIgnoreListFile = {"cookie|a|b|"};
    fake.files.AddFolder(kApp + "\\Settings");
    state.busy = true;
    EXPECT_FALSE(lifecycle.Form_Unload());
    ASSERT_EQ(fake.ui.messages.size(), 1u);
    EXPECT_EQ(fake.ui.messages[0].text, "Please wait for the scan to finish before exiting Pellora.");
    EXPECT_EQ(fake.ui.messages[0].icon, MsgIcon::Information);
    EXPECT_EQ(fake.ui.messages[0].buttons, MsgButtons::Ok);
    EXPECT_FALSE(fake.files.Exists(kApp + "\\Settings\\IgnoreList.stg"));

    state.busy = false;
    EXPECT_TRUE(lifecycle.Form_Unload());
    EXPECT_EQ(Content("\\Settings\\IgnoreList.stg"), "cookie|a|b|");
}

// A save that fails is told to the user who closes the window; a close another program asks for
// (the installer, perhaps silent) only logs it, since nobody may be there to answer.
TEST_F(LifecycleTest, AFailedSaveAtShutdownIsToldOnlyToTheUserWhoCloses) {
    state.lstIgnoreListFile = {"cookie|a|b|"};
    fake.files.AddFolder(kApp + "\\Settings");
    fake.files.failWrites = true;
    EXPECT_TRUE(lifecycle.Form_Unload(false));
    EXPECT_TRUE(fake.ui.messages.empty());
    EXPECT_NE(state.lstLog.back().find("could not be saved"), std::string::npos);
    EXPECT_TRUE(lifecycle.Form_Unload(true));
    ASSERT_EQ(fake.ui.messages.size(), 1u);
    EXPECT_NE(fake.ui.messages[0].text.find("Your changes are not stored."), std::string::npos);
}

// ---- ApplySettings ----------------------------------------------------------------------------

TEST_F(LifecycleTest, ApplySettingsRewritesAnExistingRunValueOnceAndLeavesAMissingOneAlone) {
    fake.registry.AddString(kRunKeyPath, kRunValueName, "D:\\Old\\Pellora.exe");
    applier.ApplySettings();
    EXPECT_TRUE(state.startWithWindows);
    EXPECT_EQ(fake.registry.Value(kRunKeyPath, kRunValueName)->data, "\"C:\\Pellora\\Pellora.exe\"");

    fake.registry.DeleteValue(RootKey::LocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Pellora");
    applier.ApplySettings();
    EXPECT_FALSE(state.startWithWindows);
    EXPECT_FALSE(fake.registry.Value(kRunKeyPath, kRunValueName));
}

TEST_F(LifecycleTest, StartWithWindowsBoxShowsTheRunValueWhenTheKeyCannotBeChanged) {
    fake.registry.DenyWrite(kRunKeyPath);
    applier.SetStartWithWindows(true);
    EXPECT_FALSE(fake.registry.Value(kRunKeyPath, kRunValueName));
    EXPECT_FALSE(state.startWithWindows);

    fake.registry.AddString(kRunKeyPath, kRunValueName, "D:\\Old\\Pellora.exe");
    applier.SetStartWithWindows(true);
    EXPECT_TRUE(state.startWithWindows);  // the old value still starts the program
}

TEST_F(LifecycleTest, ApplySettingsSetsTimersScanModeAndVersions) {
    int countdownResets = 0;
    applier.resetAutoScanCountdown = [&] { ++countdownResets; };
    fake.system.version = "2.3.4";
    state.lstDBaseFile = {"DB 7"};
    state.lstSettingsFile = {"0", "0", "1", "1", "1", "0", "about:blank", "x", "30", "1", "10"};
    applier.ApplySettings();
    EXPECT_EQ(state.status.dbaseVersion, "DB 7");
    EXPECT_EQ(state.status.appVersion, "2.3.4");
    EXPECT_TRUE(state.homePageTimerEnabled);
    EXPECT_TRUE(state.autoScanTimerEnabled);
    EXPECT_EQ(state.scanMode, 1);
    EXPECT_EQ(countdownResets, 1);
    applier.ApplySettings();  // a running countdown goes on
    EXPECT_EQ(countdownResets, 1);

    state.lstDBaseFile.clear();
    state.status.nextAutoScanIn = "Next scan in 5 min";
    state.lstSettingsFile[2] = "0";
    state.lstSettingsFile[4] = "0";
    state.lstSettingsFile[9] = "x";
    applier.ApplySettings();
    EXPECT_EQ(state.status.dbaseVersion, "DB 7");
    EXPECT_FALSE(state.homePageTimerEnabled);
    EXPECT_FALSE(state.autoScanTimerEnabled);
    EXPECT_EQ(state.status.nextAutoScanIn, " Active Spyware Protection is OFF");
    EXPECT_EQ(state.scanMode, 1);
    EXPECT_EQ(countdownResets, 2);
    EXPECT_NE(std::find(fake.ui.changes.begin(), fake.ui.changes.end(), View::Settings), fake.ui.changes.end());
}

}  // namespace
}  // namespace pellora
