// What starts a found file: found by identity in the same scan, shown as rows of their own,
// removed with the file (a list value repaired, not deleted), stored first under automatic erase.
#include <gtest/gtest.h>

#include "core/quarantine/quarantine.h"
#include "core/removal/removal_run.h"
#include "core/scan/persistence_matches.h"
#include "core/util/text.h"
#include "fakes/fake_platform.h"
#include "unit/autostart/link_builder.h"

namespace pellora {
namespace {

constexpr const char* kRun = R"(HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run)";
constexpr const char* kRunWow = R"(HKEY_LOCAL_MACHINE\Software\WOW6432Node\Microsoft\Windows\CurrentVersion\Run)";
constexpr const char* kWinlogon = R"(HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)";
constexpr const char* kWindows = R"(HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Windows)";
constexpr const char* kStartup = R"(C:\Users\bob\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup)";
constexpr const char* kEvil = R"(C:\Evil\evil.exe)";

class StartReferencesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state.appFolder = "C:\\Pellora";
        state.folders.windowsDir = "C:\\WINDOWS";
        state.folders.systemDir = "C:\\WINDOWS\\system32";
        state.folders.cookies = "C:\\Users\\bob\\Cookies";
        state.lstSettingsFile = DefaultSettingsLines("about:blank");
        state.lstSettingsFile[2] = "1";
        state.lstSettingsFile[kScanModeLine] = "1";  // custom scan: processes (path items) only
        state.lstCustomScanSettings = {"0", "1", "0", "0", "0", "0", "0"};
        state.lstScanInfoFile = DefaultScanInfoLines();
        state.scanStamp = "7-12-2026-9-5-7";
        state.lstDBaseFile = {"Version 1", std::string("path|") + kEvil + "|Trojan.Evil|"};
        p.files.AddFolder("C:\\Pellora\\Settings");
        p.files.AddFile(R"(C:\WINDOWS\system32\userinit.exe)", "MZ");
        p.files.AddFile(R"(C:\WINDOWS\explorer.exe)", "MZ");
        p.files.AddFile(kEvil, "MZ evil");
        p.files.AddFile(R"(C:\Other\evil.exe)", "MZ other");  // same name, another file
        p.system.environment["APPDATA"] = R"(C:\Users\bob\AppData\Roaming)";
        p.system.environment["EVILDIR"] = R"(C:\Evil)";

        // Five spellings of the one file, and one of its namesake.
        p.registry.AddString(kRun, "Updater", R"("%EVILDIR%\evil.exe" /silent)");
        p.registry.AddString(kRun, "Namesake", R"(C:\Other\evil.exe)");
        p.registry.AddString(kRunWow, "Helper", R"(rundll32.exe C:\EVIL\EVIL.EXE,Start)");
        p.registry.AddString(kWinlogon, "Userinit", R"(C:\WINDOWS\system32\userinit.exe, C:\evil\evil.exe,)");
        p.registry.AddString(kWinlogon, "Shell", "explorer.exe");
        p.registry.AddString(kWindows, "AppInit_DLLs", R"(C:\Evil\evil.exe C:\Other\evil.exe)");
        p.files.AddFile(R"(C:\WINDOWS\system32\rundll32.exe)", "MZ");
        autostart::test_links::LinkSpec spec;
        spec.basePath = R"(C:\Evil\)";
        spec.suffix = "evil.exe";
        spec.arguments = std::string("--tray");
        p.files.AddFile(std::string(kStartup) + R"(\Evil.lnk)", autostart::test_links::BuildLink(spec));
    }

    const ResultRow* Row(const std::string& type, const std::string& object) const {
        for (const ResultRow& row : state.lstScanResult)
            if (row.type == type && row.object == object)
                return &row;
        return nullptr;
    }
    bool Logged(const std::string& line) const {
        return p.files.Content("C:\\Pellora\\DavEre.roz").find(line + "\r\n") != std::string::npos;
    }
    std::string Records() {
        std::string records;
        for (const std::string& path : p.files.Tree("C:\\Pellora\\Quarantine\\" + state.scanStamp))
            if (EndsWith(path, ".qnf"))
                records += p.files.Content(path) + "\n";
        return records;
    }
    std::string Text(const std::string& key, const std::string& name) {
        auto value = registry.ReadValue(key, name);
        return value ? value->data : "(none)";
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
    RemovalRun run{state, p.ports, {finder, fileOps, ender, registry, regScan, quarantine, scanner, settings}};
};

TEST_F(StartReferencesTest, EveryWayOfStartingTheFoundFileIsAFindAndNothingElseIs) {
    scanner.StartScan();
    const std::string userinit = std::string(kWinlogon) + R"(,Userinit,C:\evil\evil.exe)";
    const std::string appInit = std::string(kWindows) + R"(,AppInit_DLLs,C:\Evil\evil.exe)";
    const std::string link = std::string(kStartup) + R"(\Evil.lnk)";
    std::vector<std::string> objects;
    for (const ResultRow& row : state.lstScanResult)
        objects.push_back(row.type + " " + row.object);
    EXPECT_EQ(objects,
              (std::vector<std::string>{std::string("path ") + kEvil, "RegVal " + std::string(kRunWow) + ",Helper",
                                        "RegVal " + std::string(kRun) + ",Updater", "Path " + link,
                                        "RegPart " + userinit, "RegPart " + appInit}));
    const ResultRow* run = Row("RegVal", std::string(kRun) + ",Updater");
    ASSERT_NE(run, nullptr);
    EXPECT_EQ(run->startsFile, kEvil);
    EXPECT_EQ(run->category, std::string("Trojan.Evil (starts ") + kEvil + ")");
    EXPECT_FALSE(run->foundKey.empty());
    ASSERT_NE(Row("Path", link), nullptr);
    EXPECT_TRUE(Row("Path", link)->foundAs.has_value());
    EXPECT_EQ(state.counters.newObjects, 6);
    EXPECT_EQ(state.counters.regValuesIdentified, 4);
}

TEST_F(StartReferencesTest, AutomaticEraseRemovesTheReferencesWithTheFileAndKeepsTheListsWorking) {
    state.lstCustomScanSettings[4] = "1";  // automatic erase
    scanner.StartScan();
    // Only the file is checked by hand: its ways of starting go with it.
    run.cmdNextDelete_Click();

    EXPECT_FALSE(p.files.Exists(kEvil));
    EXPECT_TRUE(p.files.Exists(R"(C:\Other\evil.exe)"));
    EXPECT_FALSE(p.files.Exists(std::string(kStartup) + R"(\Evil.lnk)"));
    EXPECT_EQ(Text(kRun, "Updater"), "(none)");
    EXPECT_EQ(Text(kRun, "Namesake"), R"(C:\Other\evil.exe)");
    EXPECT_EQ(Text(kRunWow, "Helper"), "(none)");
    // Repaired, every other byte kept; never deleted.
    EXPECT_EQ(Text(kWinlogon, "Userinit"), R"(C:\WINDOWS\system32\userinit.exe,)");
    EXPECT_EQ(Text(kWindows, "AppInit_DLLs"), R"(C:\Other\evil.exe)");
    EXPECT_TRUE(
        Logged(std::string("Registry value repaired=") + kWinlogon + R"(,Userinit (C:\evil\evil.exe taken out))"));
    // Each stored first: the whole list values as they were, the shortcut's bytes.
    const std::string records = Records();
    EXPECT_NE(records.find(std::string(kWinlogon) + ",Userinit"), std::string::npos);
    EXPECT_NE(records.find(std::string(kWindows) + ",AppInit_DLLs"), std::string::npos);
    EXPECT_NE(records.find(std::string(kStartup) + R"(\Evil.lnk)"), std::string::npos);
    EXPECT_NE(records.find(std::string(kRun) + ",Updater"), std::string::npos);
    EXPECT_EQ(Line(state.lstScanInfoFile, 2), "6");

    quarantine.LoadToQuarantineList();
    ASSERT_EQ(state.lstQuarantinedList.size(), 1u);
    state.lstQuarantinedList[0].checked = true;
    quarantine.cmdRestoreQuarantined();
    EXPECT_EQ(p.files.Content(kEvil), "MZ evil");
    EXPECT_TRUE(p.files.Exists(std::string(kStartup) + R"(\Evil.lnk)"));
    EXPECT_EQ(Text(kRun, "Updater"), R"("%EVILDIR%\evil.exe" /silent)");
    EXPECT_EQ(Text(kWinlogon, "Userinit"), R"(C:\WINDOWS\system32\userinit.exe, C:\evil\evil.exe,)");
    EXPECT_EQ(Text(kWindows, "AppInit_DLLs"), R"(C:\Evil\evil.exe C:\Other\evil.exe)");
}

TEST_F(StartReferencesTest, ByHandAReferenceGoesWithItsCheckedFileAndAnOnlyShellStays) {
    p.registry.AddString(kWinlogon, "Shell", R"(C:\Evil\evil.exe)");
    p.ui.answers.push_back(MsgAnswer::Yes);
    scanner.StartScan();
    const std::string shell = std::string(kWinlogon) + R"(,Shell,C:\Evil\evil.exe)";
    ASSERT_NE(Row("RegPart", shell), nullptr);
    for (ResultRow& row : state.lstScanResult)
        row.checked = row.type == "path";
    run.cmdNextDelete_Click();
    EXPECT_EQ(Text(kWinlogon, "Shell"), R"(C:\Evil\evil.exe)");
    EXPECT_TRUE(Logged("Protected object skipped=" + shell + " (Windows starts no session with an empty Shell)"));
    EXPECT_EQ(Text(kRun, "Updater"), "(none)");
}

TEST(ListParts, OneElementGoesWithOneSeparatorAndNothingElseChanges) {
    EXPECT_EQ(WithoutListPart("a.exe,evil.exe,", "EVIL.exe", ","), "a.exe,");
    EXPECT_EQ(WithoutListPart("evil.exe, a.exe", "evil.exe", ","), "a.exe");
    EXPECT_EQ(WithoutListPart("a.exe , evil.exe ,b.exe", " evil.exe", ","), "a.exe ,b.exe");
    EXPECT_EQ(WithoutListPart("x.dll\tevil.dll y.dll", "evil.dll", ", \t"), "x.dll y.dll");
    EXPECT_EQ(WithoutListPart("evil.dll", "evil.dll", ", \t"), "");
    EXPECT_EQ(WithoutListPart("a.exe,notevil.exe", "evil.exe", ","), std::nullopt);
    EXPECT_EQ(WithoutListPart("", "evil.exe", ","), std::nullopt);

    EXPECT_TRUE(ParseListPart(std::string(kWinlogon) + ",userinit,C:\\e.exe"));
    EXPECT_TRUE(ParseListPart(std::string(kWindows) + ",AppInit_DLLs,C:\\e.dll"));
    // Only the three list values are ever repaired, whatever a row says.
    EXPECT_FALSE(ParseListPart(std::string(kWinlogon) + ",System,C:\\e.exe"));
    EXPECT_FALSE(ParseListPart(std::string(kRun) + ",Userinit,C:\\e.exe"));
    EXPECT_FALSE(ParseListPart(std::string(kWinlogon) + ",Shell, "));
}

}  // namespace
}  // namespace pellora
