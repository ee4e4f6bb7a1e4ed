// Nothing lost: an object of every kind the quarantine can store (storable_kinds.h) is planted
// and found, and each path that stores rows takes every one of them: the window's Quarantine
// button, the removal run asked to store every row first (the console's remove --quarantine)
// and the removal run under automatic erase. After the removal, one restore brings every object
// back as it was. A kind added to the table without an object planted here fails the test.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "core/quarantine/storable_kinds.h"
#include "core/rules/rules.h"
#include "unit/removal/persistence_fixture.h"

namespace pellora {
namespace {

constexpr const char* kHosts = R"(C:\WINDOWS\system32\drivers\etc\hosts)";
constexpr const char* kKeyRow = R"(HKEY_CURRENT_USER\Software\EvilCo)";
constexpr const char* kValueKey = R"(HKEY_CURRENT_USER\Software\EvilVal)";
constexpr const char* kChrome = R"(C:\Users\bob\AppData\Local\Google\Chrome\User Data)";
constexpr const char* kChromeId = "nnpnnpemnckcfdebeekibpiijlicmpom";
constexpr const char* kFirefox = R"(C:\Users\bob\AppData\Roaming\Mozilla\Firefox)";
const std::string kPrefs = std::string(kFirefox) + R"(\Profiles\a.default\prefs.js)";

class NothingLostTest : public PersistenceTest {
  protected:
    void SetUp() override {
        PersistenceTest::SetUp();
        // The whole disk, processes, registry, cookies; automatic erase is line 4.
        state.lstCustomScanSettings = {"1", "1", "1", "0", "0", "0", "1"};
        p.processes.onRun = [this](const std::string& line) {
            return fakes::KeyNameRegedit(p.files, p.registry, line);
        };
        p.system.environment["LOCALAPPDATA"] = R"(C:\Users\bob\AppData\Local)";

        p.files.AddFile(R"(C:\Evil\Toolbar\bar.dll)", "MZ bar");
        p.files.AddFile(R"(C:\Evil\Setup.tmp)", "setup");
        // A program found by what it holds (the custom scan reads the disk's programs).
        p.files.AddFile(R"(C:\Evil\wallet.exe)", "MZ ... steal-the-wallet-files ...");
        std::vector<rules::Refusal> refused;
        const rules::Source source{"test.yar", "rule Stealer { strings: $a = \"steal-the-wallet-files\" condition: $a }"};
        state.contentRules.set = rules::RuleSet::Compile(std::span<const rules::Source>(&source, 1), refused);
        p.files.AddFile(std::string(state.folders.cookies) + R"(\bob@evil.example[1].txt)", "cookie");
        p.registry.AddString(std::string(kKeyRow) + R"(\Deep)", "Data", "deep");
        p.registry.AddString(kValueKey, "Loader", "evil.exe");
        p.files.AddFile(kHosts, "127.0.0.1 localhost\r\n0.0.0.0 evil.example # planted\r\n10.0.0.1 good.example\r\n");
        ServiceConfig service;
        service.name = "EvilSvc";
        service.imagePath = R"(C:\Evil\svc.exe)";
        p.files.AddFile(R"(C:\Evil\svc.exe)", "MZ svc");
        services.Add(service, false, R"(C:\Evil\svc.exe)");
        // A link that is not a browser's, holding the text: deleted, not repaired.
        autostart::test_links::LinkSpec spec;
        spec.basePath = R"(C:\Tools\)";
        spec.suffix = "viewer.exe";
        spec.arguments = std::string("http://deals.evil.example/");
        p.files.AddFile(R"(C:\Tools\viewer.exe)", "MZ viewer");
        p.files.AddFile(std::string(kStartup) + R"(\Deals.lnk)", autostart::test_links::BuildLink(spec));
        p.files.AddFile(std::string(kChrome) + R"(\Default\Extensions\)" + kChromeId + R"(\1.0_0\manifest.json)",
                        R"({"name":"Evil"})");
        p.files.AddFile(std::string(kFirefox) + R"(\profiles.ini)",
                        "[Profile0]\r\nIsRelative=1\r\nPath=Profiles/a.default\r\n");
        p.files.AddFile(kPrefs,
                        "// Mozilla User Preferences\n"
                        "user_pref(\"browser.startup.homepage\", \"https://evil-search.example/ff\");\n"
                        "user_pref(\"browser.tabs.warnOnClose\", false);\n");

        state.lstDBaseFile.insert(
            state.lstDBaseFile.end(),
            {R"(folder|C:\Evil\Toolbar|Adware.Evil|)", "file|Setup.tmp|Adware.Evil|",
             std::string("regkey|") + kKeyRow + "|Adware|", std::string("regval|") + kValueKey + ",Loader|Adware|",
             "cookie|evil.example|Tracking|", "hosts|evil.example|Hijack.Hosts|", "service|EvilSvc|Adware.Evil|",
             "shortcut|deals.evil.example|Adware.Links|", std::string("extension|") + kChromeId + "|Extension.Evil|",
             "hijack|evil-search|Hijack.Search|"});
    }

    // Scans and checks every row; each kind the quarantine stores must be among them.
    void ScanEveryKind() {
        scanner.StartScan();
        std::set<std::string> kinds;
        for (ResultRow& row : state.lstScanResult) {
            row.checked = true;
            kinds.insert(ToLowerAscii(row.type));
        }
        for (const StorableKind& kind : StorableKinds()) {
            if (kind.row) {
                EXPECT_TRUE(kinds.count(std::string(kind.type))) << "no " << kind.type << " object is planted";
            }
        }
        rows = state.lstScanResult.size();
    }

    // The machine as far as the planted objects go.
    std::map<std::string, std::string> Machine() {
        std::map<std::string, std::string> machine;
        for (const std::string& path : p.files.Tree("C:\\")) {
            if (!StartsWith(ToLowerAscii(path), "c:\\pellora") && !p.files.IsFolder(path))
                machine[path] = p.files.Content(path);
        }
        machine["key"] = p.registry.HasKey(kKeyRow) ? "there" : "gone";
        machine["value"] = Text(kValueKey, "Loader");
        machine["run"] = Text(kRun, "Updater");
        machine["userinit"] = Text(kWinlogon, "Userinit");
        machine["appinit"] = Text(kWindows, "AppInit_DLLs");
        machine["task"] = tasks.TaskDefinition(R"(\Evil\Updater)").value_or("gone");
        machine["service"] = services.Configuration("EvilSvc") ? services.Configuration("EvilSvc")->imagePath : "gone";
        return machine;
    }

    size_t RecordCount() {
        size_t records = 0;
        for (const std::string& path : p.files.Tree("C:\\Pellora\\Quarantine"))
            records += EndsWith(path, ".qnf") ? 1 : 0;
        return records;
    }

    // Removes every checked row as the console does, then restores the one package.
    void RemoveAndRestore() {
        const std::map<std::string, std::string> before = Machine();
        state.automaticScan = true;
        run.cmdNextDelete_Click();
        state.automaticScan = false;
        EXPECT_FALSE(Logged("Not quarantined=")) << p.files.Content("C:\\Pellora\\DavEre.roz");
        const std::map<std::string, std::string> removed = Machine();
        for (const char* gone : {"key", "task", "service"})
            EXPECT_EQ(removed.at(gone), "gone") << gone;
        for (const char* gone : {"value", "run"})
            EXPECT_EQ(removed.at(gone), "(none)") << gone;
        for (const std::string& path : {std::string(kEvil), std::string(R"(C:\Evil\Toolbar\bar.dll)"),
                                        std::string(R"(C:\Evil\Setup.tmp)"), std::string(kStartup) + R"(\Deals.lnk)"})
            EXPECT_EQ(removed.count(path), 0u) << path;
        EXPECT_EQ(removed.at(kHosts).find("evil.example #"), std::string::npos);
        EXPECT_EQ(removed.at(kPrefs).find("evil-search"), std::string::npos);
        // One record per row; a list part is its whole value.
        EXPECT_EQ(RecordCount(), rows);

        RestoreAll();
        ASSERT_EQ(quarantine.LastRestore().size(), 1u);
        EXPECT_TRUE(quarantine.LastRestore()[0].Whole())
            << ::testing::PrintToString(quarantine.LastRestore()[0].notRestored);
        EXPECT_TRUE(state.lstQuarantinedList.empty());
        EXPECT_EQ(Machine(), before);
    }

    size_t rows = 0;
};

TEST_F(NothingLostTest, TheWindowsQuarantineButtonStoresEveryKindAndTheContentsViewShowsEach) {
    ScanEveryKind();
    quarantine.cmdQuarantineSelected();
    ASSERT_FALSE(p.ui.messages.empty());
    EXPECT_EQ(p.ui.messages.back().text, std::to_string(rows) + kQuarantinedMessageTail);
    EXPECT_EQ(RecordCount(), rows);
    quarantine.LoadToQuarantineList();
    state.highlightedPackage = 0;
    quarantine.cmdViewData();
    EXPECT_EQ(state.lstQuarantinedItems.size(), rows);
    for (const QuarantinedItemRow& item : state.lstQuarantinedItems)
        EXPECT_NE(item.image, kImageNone) << item.type;
}

TEST_F(NothingLostTest, EveryRowStoredFirstAsTheConsoleAsksGoesAndComesBack) {
    run.StoreEveryRowFirst(true);
    ScanEveryKind();
    RemoveAndRestore();
}

TEST_F(NothingLostTest, AutomaticEraseStoresEveryKindBeforeItGoesAndItComesBack) {
    state.lstCustomScanSettings[4] = "1";
    ScanEveryKind();
    RemoveAndRestore();
}

TEST_F(NothingLostTest, ARowThatCannotBeStoredStaysWhereItIs) {
    run.StoreEveryRowFirst(true);
    // A file where the quarantine folder belongs: no package can be made.
    p.files.AddFile("C:\\Pellora\\Quarantine", "not a folder");
    ScanEveryKind();
    const std::map<std::string, std::string> before = Machine();
    state.automaticScan = true;
    run.cmdNextDelete_Click();
    EXPECT_EQ(Machine(), before);
    EXPECT_TRUE(Logged(std::string("Not quarantined=") + kKeyRow));
    EXPECT_TRUE(Logged("Not quarantined=EvilSvc"));
}

}  // namespace
}  // namespace pellora
