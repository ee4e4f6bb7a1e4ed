#include <gtest/gtest.h>

#include "core/scan/scan_wizard.h"
#include "scan_fixture.h"

namespace pellora {
namespace {

using Strings = std::vector<std::string>;
using file_attr::kArchive;
using file_attr::kHidden;
using file_attr::kReadOnly;
using file_attr::kSystem;

class SmartScan : public ScanFixture {
  protected:
    SmartScan() { Mode("0"); }
};

// Hidden and system files are found as well: that is how much spyware hides.
TEST_F(SmartScan, PathFindsFilesHiddenOrNotButNoFoldersAndChecksRunningProcessesOnce) {
    p.files.AddFile("C:\\Bad\\evil.exe");
    p.files.AddFile("C:\\Bad\\locked.exe", "", kReadOnly | kArchive);
    p.files.AddFile("C:\\Bad\\hidden.exe", "", kHidden);
    p.files.AddFile("C:\\Bad\\system.exe", "", kSystem);
    p.files.AddFolder("C:\\Bad\\folder.exe");
    p.files.AddFile("C:\\WINDOWS\\spy.scr");
    p.processes.Add("evil.exe", 10);
    p.processes.Add("evil.exe", 11);
    Items({"path|C:\\Bad\\evil.exe|Trojan|", "PATH|C:\\Bad\\locked.exe|Trojan|", "path|C:\\Bad\\hidden.exe|T|",
           "path|C:\\Bad\\system.exe|T|", "path|C:\\Bad\\folder.exe|T|", "path|%windir%\\*.scr|Saver|",
           "path|C:\\Bad\\gone.exe|T|"});
    scanner.StartScan();

    EXPECT_EQ(Found(), (Strings{"C:\\Bad\\evil.exe", "C:\\Bad\\locked.exe", "C:\\Bad\\hidden.exe",
                                "C:\\Bad\\system.exe", "C:\\WINDOWS\\*.scr"}));
    const ResultRow& first = state.lstScanResult[1];
    EXPECT_EQ(first.type, "PATH");  // the type word as written
    EXPECT_EQ(first.image, kImageProgram);
    EXPECT_EQ(first.category, "Trojan");
    EXPECT_FALSE(first.checked);
    EXPECT_EQ(state.counters.processesIdentified, 1);
    EXPECT_EQ(state.counters.filesIdentified, 5);
    EXPECT_EQ(state.counters.runningProcesses, 2);
    EXPECT_EQ(state.counters.scannedObjects, 7);
}

TEST_F(SmartScan, FolderFindsFoldersAndFilesHiddenOrNot) {
    p.files.AddFolder("C:\\Program Files\\Spy");
    p.files.AddFile("C:\\Program Files\\spy.dat");
    p.files.AddFolder("C:\\Program Files\\Hid", file_attr::kDirectory | kHidden);
    Items({"folder|C:\\Program Files\\Spy|S|", "folder|C:\\Program Files\\spy.dat|S|",
           "folder|C:\\Program Files\\Hid|S|", "folder|C:\\Program Files\\None|S|"});
    scanner.StartScan();
    EXPECT_EQ(Found(), (Strings{"C:\\Program Files\\Spy", "C:\\Program Files\\spy.dat", "C:\\Program Files\\Hid"}));
    EXPECT_EQ(state.lstScanResult[0].image, kImageFolder);
    EXPECT_EQ(state.counters.foldersIdentified, 3);
}

TEST_F(SmartScan, RegValNeedsReadableNonEmptyText) {
    const std::string key = "HKEY_CURRENT_USER\\Software\\Spy";
    p.registry.AddString(key, "Run Me", "spy.exe");
    p.registry.AddString(key, "Run,Me", "spy.exe");
    p.registry.AddString(key, "Empty", "");
    p.registry.AddString(key, "Sentinel", "Error");
    Items({"regval|" + key + ",Run Me|S|", "regval|" + key + ",Run,Me|S|", "regval|" + key + ",Empty|S|",
           "regval|" + key + ",Sentinel|S|", "regval|" + key + ",Missing|S|", "regval|" + key + "|S|"});
    scanner.StartScan();
    EXPECT_EQ(Found(), (Strings{key + ",Run Me", key + ",Run,Me"}));
    EXPECT_EQ(state.lstScanResult[0].image, kImageRegVal);
    EXPECT_EQ(state.counters.regValuesIdentified, 2);
}

TEST_F(SmartScan, RegKeyMatchesAnyCaseOfAnyScriptNeverAnEmptyNameAndIsNotRecognized) {
    p.registry.AddKey("HKEY_CURRENT_USER\\Software\\EvilCo");
    p.registry.AddKey("HKEY_CURRENT_USER\\Software\\Émile Ads");
    Items({"regkey|HKEY_CURRENT_USER\\Software\\EVILCO|E|", "regkey|HKEY_CURRENT_USER\\Software\\|E|",
           "regkey|HKEY_CURRENT_USER\\Software\\éMILE ADS|E|", "regkey|HKEY_CURRENT_USER\\Software\\Emile Ads|E|",
           "regkey|HKEY_CURRENT_USER\\Software\\GoodCo|E|", "regkey|EvilCo|E|", "regkey|HKLM\\Software\\EvilCo|E|",
           "regkey|HKLM\\Software\\EvilCo|E|"});
    scanner.StartScan();
    EXPECT_EQ(Found(), (Strings{"HKEY_CURRENT_USER\\Software\\EVILCO", "HKEY_CURRENT_USER\\Software\\éMILE ADS"}));
    EXPECT_EQ(state.lstScanResult[0].image, kImageRegKey);
    EXPECT_EQ(state.counters.regKeysIdentified, 2);
    EXPECT_EQ(state.counters.newObjects, 2);
    EXPECT_EQ(state.counters.objectsRecognized, 0);
    // A malformed parent is reported by the registry layer for every item that names it.
    EXPECT_EQ(p.ui.messages.size(), 2u);
}

TEST_F(SmartScan, CookieFindsEveryMatchingFileAnyCase) {
    p.files.AddFile("C:\\Users\\me\\Cookies\\me@EVIL.com[1].txt");
    p.files.AddFile("C:\\Users\\me\\Cookies\\me@good.txt");
    p.files.AddFile("C:\\Users\\me\\Cookies\\me@evil.net.txt");
    p.files.AddFile("C:\\Users\\me\\Cookies\\evil.dat");
    p.files.AddFile("C:\\Users\\me\\Cookies\\me@ÉCHO-ADS.txt");
    Items({"cookie|evil|Tracker|", "cookie||Empty|", "cookie|écho-ads|Tracker|"});
    scanner.StartScan();
    EXPECT_EQ(Found(), (Strings{"me@EVIL.com[1].txt", "me@evil.net.txt", "me@ÉCHO-ADS.txt"}));
    EXPECT_EQ(state.lstScanResult[0].image, kImageCookie);
    EXPECT_EQ(state.counters.filesIdentified, 3);
}

TEST_F(SmartScan, CommentUrlSendsTheFindToTheIrremovableList) {
    p.files.AddFile("C:\\Bad\\evil.exe");
    Items({"path|C:\\Bad\\evil.exe|Rootkit|http://help/rootkit", "path|C:\\Bad\\evil.exe|Trojan|"});
    scanner.StartScan();
    ASSERT_EQ(state.lstIremovable.size(), 1u);
    EXPECT_EQ(state.lstIremovable[0].comment, "http://help/rootkit");
    ASSERT_EQ(state.lstScanResult.size(), 1u);
    EXPECT_EQ(state.lstScanResult[0].comment, "");
}

TEST_F(SmartScan, OnlySignatureRowsFromEntryTwoAreCountedAndMatched) {
    p.files.AddFile("C:\\Bad\\evil.exe");
    state.lstDBaseFile = {"path|C:\\Bad\\evil.exe|Version|"};
    Items(
        {"#path|C:\\Bad\\evil.exe|C|", "@path|C:\\Bad\\evil.exe|C|", "", "unknown|C:\\Bad\\evil.exe|C|", "file|x.exe"});
    scanner.StartScan();
    EXPECT_TRUE(state.lstScanResult.empty());
    EXPECT_EQ(state.counters.scannedObjects, 3);  // the empty, unknown and (gated off) file rows
}

TEST_F(SmartScan, IgnoredObjectsAreCountedButNotRecorded) {
    p.files.AddFile("C:\\Bad\\evil.exe");
    p.files.AddFile("C:\\Bad\\other.exe");
    p.files.AddFolder("C:\\Bad\\Dir");
    p.registry.AddKey("HKEY_CURRENT_USER\\Software\\Spy");
    state.lstIgnoreListFile = {"path|C:\\Bad\\evil.exe|T", "c:\\bad\\other.exe",
                               "regkey|HKEY_CURRENT_USER\\Software\\Spy|S"};
    Items({"path|C:\\Bad\\evil.exe|T|", "path|C:\\Bad\\other.exe|T|", "folder|C:\\Bad\\Dir|T|",
           "regkey|HKEY_CURRENT_USER\\Software\\Spy|S|"});
    scanner.StartScan();
    EXPECT_EQ(Found(), (Strings{"C:\\Bad\\other.exe", "C:\\Bad\\Dir"}));  // the ignore test is case-sensitive
    const ScanCounters& c = state.counters;
    EXPECT_EQ(c.objectsIgnored, 2);
    EXPECT_EQ(c.newObjects, 2);
    // "regk" finds are never recognized: without them recognized = ignored + new.
    EXPECT_EQ(c.objectsRecognized, 3);
    EXPECT_EQ(c.objectsRecognized, c.objectsIgnored + c.newObjects - 1);
}

TEST_F(ScanFixture, CustomScanWithEveryOptionOffCountsButFindsNothing) {
    p.files.AddFile("C:\\Bad\\evil.exe");
    p.files.AddFile("C:\\Users\\me\\Cookies\\evil.txt");
    p.registry.AddString("HKEY_CURRENT_USER\\Software\\Spy", "V", "x");
    Custom(false, false, false, false, false);
    Items({"path|C:\\Bad\\evil.exe|T|", "cookie|evil|T|", "regval|HKEY_CURRENT_USER\\Software\\Spy,V|T|",
           "file|evil.exe|T|", "regs|spy|T|"});
    scanner.StartScan();
    EXPECT_TRUE(state.lstScanResult.empty());
    EXPECT_EQ(state.counters.scannedObjects, 5);
    EXPECT_TRUE(state.lstCache.empty());
    EXPECT_TRUE(state.lstHDDItems.Empty());
    EXPECT_TRUE(state.lstRegScan.Empty());
    EXPECT_EQ(state.lstLog,
              (Strings{"", "Scan process started on 06/12/2026  09:05:07", "", "Scan mode: Custom Scan", ""}));
}

TEST_F(ScanFixture, CustomScanGatesEachKindByItsOption) {
    p.files.AddFile("C:\\Bad\\evil.exe");
    p.files.AddFolder("C:\\Bad\\Dir");
    p.registry.AddString("HKEY_CURRENT_USER\\Software\\Spy", "V", "x");
    p.processes.Add("evil.exe", 7);
    Items({"path|C:\\Bad\\evil.exe|T|", "folder|C:\\Bad\\Dir|T|", "regval|HKEY_CURRENT_USER\\Software\\Spy,V|T|"});

    Custom(false, true, false, false, false);  // processes only: files looked up, with the process check
    scanner.StartScan();
    EXPECT_EQ(Found(), (Strings{"C:\\Bad\\evil.exe"}));
    EXPECT_EQ(state.counters.processesIdentified, 1);

    Custom(false, false, true, false, false);  // registry only
    scanner.StartScan();
    EXPECT_EQ(Found(), (Strings{"HKEY_CURRENT_USER\\Software\\Spy,V"}));
}

TEST_F(ScanFixture, FullHardDiskScanListsTheSystemDriveAndMatchesFilePatterns) {
    Custom(true, false, false, false, false);
    p.files.AddFile("C:\\setup.exe");
    p.files.AddFile("C:\\Apps\\setup.msi");
    p.files.AddFile("C:\\Apps\\tool.exe");
    p.files.AddFile("D:\\other.exe");
    p.processes.Add("tool.exe", 3);
    Items({"file|*.exe|Dropper|", "file|setup.*|Setup|", "file|*.*|All|", "path|C:\\Apps\\tool.exe|T|"});
    scanner.StartScan();
    EXPECT_EQ(Found(), (Strings{"C:\\setup.exe", "C:\\Apps\\tool.exe", "C:\\setup.exe", "C:\\Apps\\setup.msi",
                                "C:\\Apps\\tool.exe"}));
    EXPECT_EQ(state.lstScanResult[0].image, kImageFile);
    EXPECT_EQ(state.counters.processesIdentified, 0);  // no process check without "Scan Active Processes"
    EXPECT_EQ(state.currentOperation, "Finished.");
}

TEST_F(ScanFixture, FullRegistryScanFindsKeysOneByOne) {
    Custom(false, false, false, true, false);
    p.registry.AddKey("HKEY_CURRENT_USER\\Software\\EvilCo\\Sub1");
    p.registry.AddKey("HKEY_CURRENT_USER\\Software\\EvilCo\\Sub2");
    p.registry.AddKey("HKEY_CURRENT_USER\\Software\\Good");
    p.registry.AddKey("HKEY_LOCAL_MACHINE\\System\\evilco");
    Items({"regsearch|EVILCO|Adware|"});
    scanner.StartScan();
    EXPECT_EQ(Found(), (Strings{"HKEY_CURRENT_USER\\Software\\EvilCo", "HKEY_CURRENT_USER\\Software\\EvilCo\\Sub1",
                                "HKEY_CURRENT_USER\\Software\\EvilCo\\Sub2", "HKEY_LOCAL_MACHINE\\System\\evilco"}));
    EXPECT_EQ(state.lstScanResult[0].category, "RegKey");
    // The row is the key it names, so the removal and quarantine act on it as a key.
    EXPECT_EQ(state.lstScanResult[0].type, "RegKey");
    EXPECT_EQ(state.lstScanResult[0].image, kImageRegKey);
    EXPECT_EQ(state.counters.regKeysIdentified, 4);
}

TEST_F(ScanFixture, RegSearchRowWithAnEqualsSignIsAValueFind) {
    state.lstRegScan.Add("HKEY_CURRENT_USER\\Software\\a=b");
    state.lstDBaseFile.push_back("regs|software|S|");
    state.busy = true;
    scanner.ScanDatabase(ScanPlan::Custom(false, false, false, true, false));
    ASSERT_EQ(state.lstScanResult.size(), 1u);
    EXPECT_EQ(state.lstScanResult[0].object, "HKEY_CURRENT_USER\\Software\\a");
    EXPECT_EQ(state.lstScanResult[0].category, "RegVal");
    EXPECT_EQ(state.lstScanResult[0].image, kImageRegVal);
    EXPECT_EQ(state.counters.regValuesIdentified, 1);
}

class FileFolderScan : public ScanFixture {
  protected:
    FileFolderScan() {
        Mode("2");
        state.lstSelectedFolders = {"C:\\Data", ""};
        p.files.AddFile("C:\\Data\\Evil.exe", "", kHidden);
        p.files.AddFile("C:\\Data\\Badger\\x.txt");
        p.files.AddFolder("C:\\Data\\Empty");
        p.files.AddFile("C:\\Elsewhere\\spy.exe");
    }
};

TEST_F(FileFolderScan, LooksPathsAndFoldersUpInTheListing) {
    p.processes.Add("Evil.exe", 1);
    Items({"path|C:\\Data\\Evil.exe|T|", "path|C:\\Data\\evil.exe|T|", "path|C:\\Elsewhere\\spy.exe|T|",
           "folder|C:\\Data\\Bad|F|", "folder|C:\\Data\\Badger|F|", "folder|C:\\Data\\Empty|F|", "folder|C:\\Data|F|",
           "folder|C:\\Data\\Badger\\|F|", "file|x.txt|F|", "regkey|HKEY_CURRENT_USER\\Software|R|"});
    scanner.StartScan();
    // The hidden file is in the listing; the path compare is case-sensitive; C:\Bad is not found
    // by C:\Badger; an empty folder is found by its own row.
    EXPECT_EQ(Found(), (Strings{"C:\\Data\\Evil.exe", "C:\\Data\\Badger", "C:\\Data\\Empty", "C:\\Data",
                                "C:\\Data\\Badger\\", "C:\\Data\\Badger\\x.txt"}));
    EXPECT_EQ(state.counters.processesIdentified, 1);
    EXPECT_EQ(state.counters.foldersIdentified, 4);
    EXPECT_EQ(state.counters.scannedObjects, 10);
}

TEST_F(FileFolderScan, WithoutSelectedFoldersFindsNothingButReports) {
    state.lstSelectedFolders.clear();
    Items({"path|C:\\Data\\Evil.exe|T|", "file|*.txt|F|"});
    scanner.StartScan();
    EXPECT_TRUE(state.lstScanResult.empty());
    EXPECT_EQ(state.counters.scannedObjects, 2);
    EXPECT_EQ(state.lstLog.back(), "");
    EXPECT_EQ(state.lstLog[3], "Scan mode: File/Folder Scan");
}

// A database that cannot be used would make every scan report a clean machine: the scan is refused
// with the reason, before the progress panel is shown, and the last results stay.
TEST_F(SmartScan, ADatabaseThatCannotBeUsedRefusesTheScanWithItsReason) {
    p.files.AddFile("C:\\Bad\\evil.exe");
    Items({"path|C:\\Bad\\evil.exe|Trojan|"});
    state.lstScanResult = {ResultRow{}};
    state.databaseProblemText = "The reference database DataBase.ref cannot be used: it is empty.";
    ScanWizard wizard{state, scanner, p.ui};
    state.panel = Panel::ScanPrep;

    wizard.cmdNextScan_Click();
    scanner.StartScan();

    EXPECT_EQ(state.panel, Panel::ScanPrep);
    ASSERT_EQ(p.ui.messages.size(), 2u);
    EXPECT_EQ(p.ui.messages[0].text, state.databaseProblemText);
    EXPECT_EQ(p.ui.messages[0].icon, MsgIcon::Exclamation);
    EXPECT_EQ(state.lstScanResult.size(), 1u);
    EXPECT_EQ(state.counters.scannedObjects, 0);
    EXPECT_FALSE(state.busy);
    EXPECT_EQ(state.lstLog.back(), "Scan not started: " + state.databaseProblemText);

    // Unattended, nobody would answer a box: the log alone says it.
    p.ui.unattended = true;
    scanner.StartScan();
    EXPECT_EQ(p.ui.messages.size(), 2u);
    EXPECT_EQ(state.lstLog.back(), "Scan not started: " + state.databaseProblemText);
    p.ui.unattended = false;

    state.databaseProblemText.clear();
    scanner.StartScan();
    EXPECT_EQ(Found(), Strings{"C:\\Bad\\evil.exe"});
}

TEST_F(SmartScan, ReportListsBothTablesAndSetsTheStamp) {
    p.files.AddFile("C:\\Bad\\evil.exe");
    p.files.AddFile("C:\\Bad\\root.sys");
    Items({"path|C:\\Bad\\evil.exe|Trojan|", "path|C:\\Bad\\root.sys|Rootkit|http://help/x"});
    scanner.StartScan();
    EXPECT_EQ(state.lstLog, (Strings{"", "Scan process started on 06/12/2026  09:05:07", "", "Scan mode: Smart Scan",
                                     "", " Scan uncovered following 1 items:", "     path:C:\\Bad\\evil.exe   |Trojan",
                                     "", " Scan uncovered following 1 Iremovable items:",
                                     "     path:C:\\Bad\\root.sys   |Rootkit   |http://help/x", ""}));
    EXPECT_EQ(state.scanStamp, "6-12-2026-9-5-7");
}

TEST_F(ScanFixture, UnknownModeRunsOnlyTheFrame) {
    Mode("7");
    p.files.AddFile("C:\\Bad\\evil.exe");
    Items({"path|C:\\Bad\\evil.exe|T|"});
    state.automaticScan = false;
    scanner.StartScan();
    EXPECT_EQ(state.lstLog, (Strings{"", "Scan process started on 06/12/2026  09:05:07", ""}));
    EXPECT_EQ(state.counters.scannedObjects, 0);
    EXPECT_EQ(state.currentOperation, "Finished.");
    EXPECT_EQ(state.abortNextCaption, "Next");
    EXPECT_FALSE(state.scrollTimerEnabled);
    EXPECT_EQ(state.scrollBlockLeft, kScrollParkedLeft);
    EXPECT_TRUE(state.busy);  // stays set until the removal run
    EXPECT_EQ(state.scanStamp, "6-12-2026-9-5-7");
}

TEST_F(SmartScan, ResetUsedValuesEmptiesTheScanState) {
    state.counters.newObjects = 5;
    state.quarantineCounter = 10007;
    state.abortNextCaption = "Next";
    state.lstScanResult.push_back(ResultRow{});
    state.lstIremovable.push_back(ResultRow{});
    state.lstLog = {"old"};
    state.lstHDDItems.Add("C:\\x");
    state.lstRegScan.Add("HKEY_USERS\\x");
    state.lstCustomDelete.Add("C:\\y");
    state.lstCache = {"c.txt"};
    state.lstProcesses.push_back(ProcessRow{"a.exe", 1});
    state.lstIgnoreListFile = {"kept"};
    scanner.ResetUsedValues();
    EXPECT_EQ(state.counters.newObjects, 0);
    EXPECT_EQ(state.quarantineCounter, 10000);
    EXPECT_EQ(state.abortNextCaption, "Abort");
    EXPECT_TRUE(state.lstScanResult.empty() && state.lstIremovable.empty() && state.lstLog.empty());
    EXPECT_TRUE(state.lstHDDItems.Empty() && state.lstRegScan.Empty() && state.lstCustomDelete.Empty());
    EXPECT_TRUE(state.lstCache.empty() && state.lstProcesses.empty());
    EXPECT_EQ(state.lstIgnoreListFile, Strings{"kept"});
}

TEST_F(SmartScan, AutomaticScanChecksEveryRowAndStartsTheRemoval) {
    p.files.AddFile("C:\\Bad\\a.exe");
    p.files.AddFile("C:\\Bad\\b.exe");
    Items({"path|C:\\Bad\\a.exe|T|", "path|C:\\Bad\\b.exe|T|"});
    int removals = 0;
    scanner.hooks.removalRun = [&] {
        ++removals;
        EXPECT_FALSE(scanner.Running());
    };
    state.automaticScan = true;
    scanner.StartScan();
    EXPECT_EQ(removals, 1);
    ASSERT_EQ(state.lstScanResult.size(), 2u);
    EXPECT_TRUE(state.lstScanResult[0].checked && state.lstScanResult[1].checked);

    state.automaticScan = false;
    scanner.StartScan();
    EXPECT_EQ(removals, 1);
    EXPECT_FALSE(state.lstScanResult[0].checked);
}

TEST_F(SmartScan, RegistryBackupHookListsTheProcessesWhenWired) {
    p.processes.Add("x.exe", 1);
    int backups = 0;
    scanner.hooks.listRegBackups = [&] { ++backups; };
    scanner.StartScan();
    EXPECT_EQ(backups, 1);
    EXPECT_TRUE(state.lstProcesses.empty());
}

TEST_F(SmartScan, StartIsRefusedOnlyWhileAScanRuns) {
    Items({"path|C:\\Bad\\a.exe|T|"});
    int nested = 0;
    p.ui.onYield = [&] {
        if (scanner.Running() && nested++ == 0)
            scanner.StartScan();
    };
    scanner.StartScan();
    EXPECT_EQ(state.counters.scannedObjects, 1);
    p.ui.onYield = nullptr;
    EXPECT_TRUE(state.busy);
    scanner.StartScan();  // the busy flag left set by a finished scan does not refuse it
    EXPECT_EQ(state.lstLog[1], "Scan process started on 06/12/2026  09:05:07");
}

// Abort (the busy flag cleared from an event) in the middle of the walk over a listing: the
// rows found so far stay and the report covers them, in both ways of matching.
class AbortDuringListing : public ScanFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(AbortDuringListing, KeepsTheRowsFoundAndReports) {
    scanner.SetIndexedMatching(GetParam());
    Custom(true, false, false, false, false);
    for (int i = 0; i < 20; ++i)
        p.files.AddFile("C:\\Spy\\f" + std::to_string(100 + i) + ".exe");
    Items({"file|*.exe|Spy|", "file|*.exe|Again|"});
    p.ui.onYield = [&] {
        if (state.lstScanResult.size() == 5 && state.busy) {
            state.busy = false;
            state.abortNextCaption = "Next";
        }
    };
    scanner.StartScan();
    ASSERT_EQ(state.lstScanResult.size(), 5u);
    EXPECT_EQ(state.lstScanResult[4].object, "C:\\Spy\\f104.exe");
    EXPECT_EQ(state.counters.scannedObjects, 1);
    EXPECT_EQ(state.lstLog[5], " Scan uncovered following 5 items:");
    EXPECT_EQ(state.lstLog.size(), 12u);
    EXPECT_EQ(state.abortNextCaption, "Next");
    EXPECT_EQ(state.currentOperation, "Finished.");
}

TEST_P(AbortDuringListing, StopsTheHardDiskListing) {
    scanner.SetIndexedMatching(GetParam());
    Mode("2");
    state.lstSelectedFolders = {"C:\\Spy"};
    for (int i = 0; i < 50; ++i)
        p.files.AddFile("C:\\Spy\\f" + std::to_string(100 + i) + ".exe");
    Items({"file|*.exe|Spy|"});
    p.ui.onYield = [&] {
        if (state.lstHDDItems.Count() == 10)
            state.busy = false;
    };
    scanner.StartScan();
    EXPECT_LE(state.lstHDDItems.Count(), 11u);
    EXPECT_LE(state.lstScanResult.size(), 1u);
    EXPECT_EQ(state.lstLog.back(), "");
}

INSTANTIATE_TEST_SUITE_P(Matching, AbortDuringListing, ::testing::Values(true, false), [](const auto& info) {
    return info.param ? "Indexed" : "RowByRow";
});

}  // namespace
}  // namespace pellora

namespace pellora {
namespace {

// Pieces or an ignore list too large to index (a damaged or enormous database or settings file)
// are compared row by row and line by line: the same finds, no exhaustion of memory.
TEST_F(ScanFixture, InputsTooLargeToIndexAreComparedRowByRow) {
    std::string huge;
    for (size_t i = 0; huge.size() < 300'000; ++i) {
        char c = static_cast<char>(1 + i % 250);
        if (c != '|')
            huge += c;
    }
    state.lstRegScan.Add("HKEY_CURRENT_USER\\Software\\EvilCo");
    state.lstRegScan.Add("HKEY_CURRENT_USER\\Software\\Good");
    Items({"regs|" + huge + "|R|", "regs|evilco|R|", "regs|good|R|"});
    state.lstIgnoreListFile = {std::string(9'000'000, 'x') + "HKEY_CURRENT_USER\\Software\\Good"};
    state.busy = true;
    scanner.ScanDatabase(ScanPlan::Custom(false, false, false, true, false));
    EXPECT_EQ(Found(), (std::vector<std::string>{"HKEY_CURRENT_USER\\Software\\EvilCo"}));
    EXPECT_EQ(state.counters.objectsIgnored, 1);
}

}  // namespace
}  // namespace pellora
