#include <gtest/gtest.h>

#include <algorithm>

#include "core/app/navigation.h"
#include "core/app/status_panel.h"
#include "core/removal/removal_run.h"
#include "core/scan/process_listing.h"
#include "core/util/text.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

using fakes::FakeUi;

// Paths below a link lead to the link's target, as on Windows, so a removal that walked into
// a link would reach the target's files.
class LinkFollowingFiles : public fakes::FakeFileSystem {
  public:
    void AddLink(const std::string& link, const std::string& target) {
        AddFolderLink(link);
        links_.emplace_back(link + "\\", target + "\\");
    }
    // The folder at `folder` (and what it holds) gives way to a link to `target`: a junction,
    // or a link that does not say it is one (a Unix link under Wine). Every call follows it.
    void SwapForLink(const std::string& folder, const std::string& target, bool junction) {
        for (const std::string& path : Tree(folder)) {
            FakeFileSystem::DeleteFile(path);
            FakeFileSystem::RemoveDirectory(path);
        }
        FakeFileSystem::RemoveDirectory(folder);
        AddFolderLinkTo(folder, target, junction);
        links_.emplace_back(folder + "\\", target + "\\");
    }
    bool FindEntries(const std::string& pattern, std::vector<FindEntry>& out) override {
        return FakeFileSystem::FindEntries(Resolve(pattern), out);
    }
    std::optional<uint32_t> GetAttributes(const std::string& path) override {
        return FakeFileSystem::GetAttributes(Resolve(path));
    }
    bool SetAttributes(const std::string& path, uint32_t attributes) override {
        return FakeFileSystem::SetAttributes(Resolve(path), attributes);
    }
    bool DeleteFile(const std::string& path) override { return FakeFileSystem::DeleteFile(Resolve(path)); }
    bool RemoveDirectory(const std::string& path) override { return FakeFileSystem::RemoveDirectory(Resolve(path)); }

  private:
    std::string Resolve(const std::string& path) const {
        for (const auto& [link, target] : links_) {
            if (ToLowerAscii(path).rfind(ToLowerAscii(link), 0) == 0)
                return target + path.substr(link.size());
        }
        return path;
    }
    std::vector<std::pair<std::string, std::string>> links_;
};

class RemovalRunTest : public ::testing::Test {
  protected:
    void SetUp() override {
        run.hooks.showIrremovable = [this] { navigation.ShowIremovable(); };
        run.hooks.showStatus = [this] { navigation.lblCmdStatus_Click(); };
        state.appFolder = "C:\\Pellora";
        state.folders.windowsDir = "C:\\WINDOWS";
        state.folders.systemDir = "C:\\WINDOWS\\system32";
        state.folders.appData = "C:\\Users\\bob\\AppData\\Roaming";
        state.folders.cookies = "C:\\Users\\bob\\Cookies";
        state.lstSettingsFile = DefaultSettingsLines("about:blank");
        state.lstSettingsFile[2] = "1";  // protector on: no home-page question unless a test wants one
        state.lstScanInfoFile = DefaultScanInfoLines();
        state.lstCustomScanSettings = DefaultCustomScanLines();
        state.busy = true;  // as the scan leaves it
        state.panel = Panel::ScanResult;
        files.AddFolder("C:\\Pellora\\Settings");
        state.scanStamp = "6-12-2026-9-5-7";
    }

    void AddRow(const std::string& type, const std::string& object, bool checked = true) {
        ResultRow row;
        row.type = type;
        row.object = object;
        row.category = "Adware";
        row.checked = checked;
        state.lstScanResult.push_back(row);
    }

    // The registry editor as the quarantine calls it: an export writes "[key]" into the file when
    // the key is there.
    void ExportKeysLikeTheRegistryEditor() {
        p.processes.onRun = [this](const std::string& line) {
            const std::string exportSwitch = "\\regedit.exe /e ";
            size_t at = line.find(exportSwitch);
            if (at == std::string::npos)
                return true;
            std::vector<std::string> arguments;
            std::string rest = line.substr(at + exportSwitch.size());
            for (size_t pos = 0; pos < rest.size();) {
                if (rest[pos] == ' ') {
                    ++pos;
                } else if (rest[pos] == '"') {
                    size_t close = rest.find('"', pos + 1);
                    arguments.push_back(rest.substr(pos + 1, close - pos - 1));
                    pos = close == std::string::npos ? rest.size() : close + 1;
                } else {
                    size_t blank = std::min(rest.find(' ', pos), rest.size());
                    arguments.push_back(rest.substr(pos, blank - pos));
                    pos = blank;
                }
            }
            if (arguments.size() == 2 && p.registry.HasKey(arguments[1]))
                files.AddFile(arguments[0], "[" + arguments[1] + "]");
            return true;
        };
    }
    // The records of the current package, one after the other.
    std::string Records() {
        std::string records;
        for (const std::string& path : files.Tree("C:\\Pellora\\Quarantine\\" + state.scanStamp)) {
            if (EndsWith(path, ".qnf"))
                records += files.Content(path) + "\n";
        }
        return records;
    }

    std::string LogFile() { return files.Content("C:\\Pellora\\DavEre.roz"); }
    bool Logged(const std::string& line) { return LogFile().find(line + "\r\n") != std::string::npos; }
    std::string Removed() { return Line(state.lstScanInfoFile, 2); }

    fakes::FakePlatform p;
    LinkFollowingFiles files;
    fakes::FakeShell shell{files};
    Ports ports{p.registry, files, p.processes, shell, p.clock, p.system, p.ui};
    AppState state;
    RegistryAccess registry{p.registry, p.ui};
    FileFinder finder{state, files, p.ui};
    FileOperations fileOps{state, files, p.ui};
    ProcessEnder ender{p.processes, p.clock, p.ui};
    RegScan regScan{state, p.registry, p.ui};
    Quarantine quarantine{state, ports, registry, finder, fileOps};
    Scanner scanner{state, ports, registry, finder, regScan};
    SettingsFiles settings{state, files, p.system, p.ui};
    StatusPanel status{state, p.system, p.ui, finder};
    Navigation navigation{state, ports, status};
    RemovalRun run{state, ports, {finder, fileOps, ender, registry, regScan, quarantine, scanner, settings}};
};

TEST_F(RemovalRunTest, DeclinedConfirmationChangesNothing) {
    files.AddFile("C:\\Spy\\bad.exe");
    AddRow("path", "C:\\Spy\\bad.exe");
    AddRow("path", "C:\\Spy\\other.exe", false);
    state.lstLog = {"report"};
    p.ui.answers = {MsgAnswer::No};

    run.cmdNextDelete_Click();

    ASSERT_EQ(p.ui.messages.size(), 1u);
    EXPECT_EQ(p.ui.messages[0].text, "Are you sure you want to delete 1 items?");
    EXPECT_EQ(p.ui.messages[0].title, "Delete?");
    EXPECT_EQ(p.ui.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(p.ui.messages[0].icon, MsgIcon::Question);
    EXPECT_TRUE(files.Exists("C:\\Spy\\bad.exe"));
    EXPECT_EQ(state.lstLog, std::vector<std::string>{"report"});
    EXPECT_EQ(state.lstScanInfoFile, DefaultScanInfoLines());
    EXPECT_TRUE(state.lstScanResult[0].checked);
    EXPECT_FALSE(files.Exists("C:\\Pellora\\DavEre.roz"));
    EXPECT_EQ(state.lstScanResult.size(), 2u);  // no reset
    EXPECT_TRUE(state.buttons.cmdNextDelete && state.buttons.cmdQuarantineSelected && state.buttons.cmdIgnoreSelected);
}

TEST_F(RemovalRunTest, StatisticsLastScanLineAndLogFileBytes) {
    files.AddFile("C:\\Spy\\bad.exe", "x", file_attr::kReadOnly | file_attr::kHidden);
    files.AddFile("C:\\Pellora\\DavEre.roz", "old\r\n");
    AddRow("path", "C:\\Spy\\bad.exe");
    state.lstScanInfoFile = {"{never}", "4", "10"};
    state.lstLog = {"", "Scan process started"};
    p.ui.answers = {MsgAnswer::Yes};
    p.ui.onYield = [this] { run.cmdNextDelete_Click(); };  // a second start from inside: ignored

    run.cmdNextDelete_Click();

    EXPECT_FALSE(files.Exists("C:\\Spy\\bad.exe"));
    EXPECT_EQ(state.lstScanInfoFile, (std::vector<std::string>{"12-06-2026  09:05:07", "5", "11"}));
    EXPECT_EQ(files.Content("C:\\Pellora\\Settings\\ScanInfo.stg"), "12-06-2026  09:05:07\r\n5\r\n11");
    EXPECT_EQ(LogFile(),
              "old\r\n\r\nScan process started\r\nFile deleted=C:\\Spy\\bad.exe\r\n\r\n"
              "Scanning completed on 12-06-2026  09:05:07\r\n\r\n\r\n");
    EXPECT_FALSE(state.busy);
    EXPECT_EQ(state.panel, Panel::Status);
    EXPECT_TRUE(state.lstScanResult.empty());  // reset
    EXPECT_TRUE(state.lstLog.empty());
    EXPECT_TRUE(state.buttons.cmdNextDelete);
}

TEST_F(RemovalRunTest, DamagedFiguresAtTheLargestNumberStayThereInsteadOfTurningNegative) {
    files.AddFile("C:\\Spy\\bad.exe");
    AddRow("path", "C:\\Spy\\bad.exe");
    state.lstScanInfoFile = {"{never}", "99999999999999999999", "9223372036854775807"};
    p.ui.answers = {MsgAnswer::Yes};

    run.cmdNextDelete_Click();

    EXPECT_FALSE(files.Exists("C:\\Spy\\bad.exe"));
    EXPECT_EQ(state.lstScanInfoFile[1], "9223372036854775807");
    EXPECT_EQ(state.lstScanInfoFile[2], "9223372036854775807");
}

TEST_F(RemovalRunTest, EmptyResultsStillCountTheScanAndLoggingOffDropsTheLog) {
    state.lstSettingsFile[3] = "0";
    state.lstLog = {"report"};
    run.cmdNextDelete_Click();
    EXPECT_TRUE(p.ui.messages.empty());
    EXPECT_EQ(Line(state.lstScanInfoFile, 1), "1");
    EXPECT_FALSE(files.Exists("C:\\Pellora\\DavEre.roz"));
    EXPECT_TRUE(state.lstLog.empty());
}

TEST_F(RemovalRunTest, AutomaticEraseChecksAllAndQuarantinesFileRowsOnly) {
    state.lstSettingsFile[9] = "1";
    state.lstCustomScanSettings[4] = "1";
    state.lstSettingsFile[2] = "0";
    files.AddFile("C:\\Users\\bob\\Cookies\\bob@ads.txt", "cookie");
    files.AddFile("C:\\Spy\\a.dll");
    files.AddFile("C:\\Spy\\b.exe", "exe");
    files.AddFile("C:\\SpyDir\\x.txt");
    p.registry.AddString("HKEY_CURRENT_USER\\Software\\Spy", "v", "1");
    AddRow("Cookie", "bob@ads.txt", false);
    AddRow("path", "C:\\Spy\\a.dll", false);
    AddRow("file", "C:\\Spy\\b.exe", false);
    AddRow("folder", "C:\\SpyDir", false);
    AddRow("RegVal", "HKEY_CURRENT_USER\\Software\\Spy,v", false);

    run.cmdNextDelete_Click();

    const std::string package = "C:\\Pellora\\Quarantine\\6-12-2026-9-5-7\\";
    EXPECT_EQ(files.Content(package + "10000.qit"), "cookie");
    EXPECT_EQ(files.Content(package + "10002.qit"), "exe");
    EXPECT_TRUE(files.Exists(package + "10002.qnf"));
    EXPECT_FALSE(files.Exists(package + "10003.qnf"));  // folders and registry rows are not quarantined
    ASSERT_EQ(p.ui.messages.size(), 1u);                // only the home-page question
    EXPECT_EQ(p.ui.messages[0].title, "Reset homepage?");
    EXPECT_TRUE(p.processes.commands.empty());  // the library is not asked to unregister itself
    EXPECT_TRUE(files.Tree("C:\\Spy").empty());
    EXPECT_FALSE(files.Exists("C:\\SpyDir"));
    EXPECT_FALSE(p.registry.Value("HKEY_CURRENT_USER\\Software\\Spy", "v"));
    EXPECT_EQ(Removed(), "5");  // cookie, two files, the folder's file, the value
}

// Unregistering a found library through its own code (regsvr32 /u) would run that code with
// this program's rights. What registered it goes instead: its classes (by the server file's
// identity, whatever the spelling) and the entries that name them, each stored first.
TEST_F(RemovalRunTest, AFoundLibraryIsNeverRunAndWhatRegistersItIsStoredAndRemoved) {
    state.lstSettingsFile[9] = "1";
    state.lstCustomScanSettings[4] = "1";
    ExportKeysLikeTheRegistryEditor();
    p.system.environment["SPYDIR"] = "C:\\Spy";
    files.AddFile("C:\\Spy\\cd_clint.dll", "code");
    files.AddFile("C:\\Other\\cd_clint.dll", "other");
    files.AddAlias("C:\\Spy\\CDCLIN~1.DLL", "C:\\Spy\\cd_clint.dll");
    const std::string classes = "HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\";
    const std::string userClasses32 = "HKEY_CURRENT_USER\\Software\\Classes\\Wow6432Node\\CLSID\\";
    const std::string explorer = "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
    const std::string delayLoad =
        "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad";
    const std::string approved =
        "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
    const std::string searchHooks = "HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\URLSearchHooks";
    const std::string menu = "HKEY_CURRENT_USER\\Software\\Classes\\*\\shellex\\ContextMenuHandlers\\SpyMenu";
    p.registry.AddString(classes + "{A1}\\InprocServer32", "", "C:\\SPY\\CD_CLINT.DLL");
    p.registry.AddValue(userClasses32 + "{B2}\\LocalServer32", "",
                        RegValue{kRegExpandSz, "\"%SpyDir%\\cd_clint.dll\" -Embedding"});
    p.registry.AddString(classes + "{C3}\\InprocServer32", "", "C:\\Spy\\CDCLIN~1.DLL");
    p.registry.AddString(classes + "{D4}\\InprocServer32", "", "C:\\Other\\cd_clint.dll");  // same name, another file
    p.registry.AddKey(explorer + "Browser Helper Objects\\{a1}");
    p.registry.AddKey(explorer + "Browser Helper Objects\\{D4}");
    p.registry.AddString(searchHooks, "{A1}", "");
    p.registry.AddString(delayLoad, "Spy", "{B2}");
    p.registry.AddString(delayLoad, "Other", "{D4}");
    p.registry.AddString(approved, "{C3}", "Spy");
    p.registry.AddString(menu, "", "{A1}");
    p.registry.AddString(explorer + "ShellIconOverlayIdentifiers\\ SpyOverlay", "", "{c3}");
    AddRow("path", "C:\\Spy\\cd_clint.dll", false);

    run.cmdNextDelete_Click();

    for (const std::string& command : p.processes.commands) {
        EXPECT_EQ(ToLowerAscii(command).find("regsvr32"), std::string::npos) << command;
        EXPECT_EQ(ToLowerAscii(command).find("cd_clint"), std::string::npos) << command;
    }
    EXPECT_FALSE(files.Exists("C:\\Spy\\cd_clint.dll"));
    const std::string records = Records();
    for (const std::string& key :
         {classes + "{A1}", userClasses32 + "{B2}", classes + "{C3}", explorer + "Browser Helper Objects\\{a1}", menu,
          explorer + "ShellIconOverlayIdentifiers\\ SpyOverlay"}) {
        EXPECT_FALSE(p.registry.HasKey(key)) << key;
        EXPECT_NE(records.find(key), std::string::npos) << key;
        EXPECT_TRUE(Logged("Registry key deleted=" + key)) << key;
    }
    for (const std::string& value : {searchHooks + ",{A1}", delayLoad + ",Spy", approved + ",{C3}"}) {
        size_t comma = value.find(',');
        EXPECT_FALSE(p.registry.Value(value.substr(0, comma), value.substr(comma + 1))) << value;
        EXPECT_NE(records.find(value), std::string::npos) << value;
        EXPECT_TRUE(Logged("Registry value deleted=" + value)) << value;
    }
    // The other library of that name keeps its class and what names it.
    EXPECT_TRUE(files.Exists("C:\\Other\\cd_clint.dll"));
    EXPECT_TRUE(p.registry.HasKey(classes + "{D4}\\InprocServer32"));
    EXPECT_TRUE(p.registry.HasKey(explorer + "Browser Helper Objects\\{D4}"));
    EXPECT_TRUE(p.registry.Value(delayLoad, "Other"));
}

// A server value names its file quoted or not, with arguments after it and environment
// variables in it; only the file counts.
TEST(ServerFilePath, TakesTheFileOutOfTheServerValue) {
    fakes::FakeSystem system;
    system.environment["SPY"] = "C:\\Spy Dir";
    EXPECT_EQ(ServerFilePath("\"C:\\A B\\x.dll\"", &system), "C:\\A B\\x.dll");
    EXPECT_EQ(ServerFilePath("\"%Spy%\\x.exe\" /automation", &system), "C:\\Spy Dir\\x.exe");
    EXPECT_EQ(ServerFilePath(" C:\\Program Files\\X Y\\x.exe -Embedding ", &system), "C:\\Program Files\\X Y\\x.exe");
    EXPECT_EQ(ServerFilePath("C:\\My.Folder Name\\x.EXE -Embedding", &system), "C:\\My.Folder Name\\x.EXE");
    EXPECT_EQ(ServerFilePath("C:\\Program Files\\X Y\\x.dll", &system), "C:\\Program Files\\X Y\\x.dll");
    EXPECT_EQ(ServerFilePath("%UNKNOWN%\\x.dll", &system), "%UNKNOWN%\\x.dll");
}

// The class servers are read once per run, not once per found file: two libraries among many
// classes cost one read of each server value, not two.
TEST_F(RemovalRunTest, TheClassServersAreReadOncePerRun) {
    const std::string classes = "HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\";
    for (int i = 0; i < 400; ++i)
        p.registry.AddString(classes + "{" + std::to_string(i) + "}\\InprocServer32", "", "C:\\Vendor\\x.dll");
    p.registry.AddString(classes + "{A}\\InprocServer32", "", "C:\\Spy\\a.dll");
    p.registry.AddString(classes + "{B}\\InprocServer32", "", "C:\\Spy\\b.dll");
    files.AddFile("C:\\Spy\\a.dll");
    files.AddFile("C:\\Spy\\b.dll");
    AddRow("path", "C:\\Spy\\a.dll");
    AddRow("path", "C:\\Spy\\b.dll");
    p.ui.answers = {MsgAnswer::Yes};
    p.registry.queryCount = 0;
    run.cmdNextDelete_Click();
    EXPECT_FALSE(p.registry.HasKey(classes + "{A}"));
    EXPECT_FALSE(p.registry.HasKey(classes + "{B}"));
    EXPECT_TRUE(p.registry.HasKey(classes + "{7}"));
    // Two server values per class, once; a read per found file would be twice that.
    EXPECT_LT(p.registry.queryCount, 2 * 402 + 300);
}

// A registration that could not be stored stays, with the reason in the log.
TEST_F(RemovalRunTest, ARegistrationThatCannotBeStoredStays) {
    state.lstSettingsFile[9] = "1";
    state.lstCustomScanSettings[4] = "1";
    files.AddFile("C:\\Spy\\hook.dll");
    const std::string classes = "HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID\\";
    p.registry.AddString(classes + "{E5}\\InprocServer32", "", "C:\\Spy\\hook.dll");
    AddRow("path", "C:\\Spy\\hook.dll", false);
    p.processes.onRun = [](const std::string&) { return false; };  // no export: the key is not stored

    run.cmdNextDelete_Click();

    EXPECT_TRUE(p.registry.HasKey(classes + "{E5}\\InprocServer32"));
    EXPECT_TRUE(Logged("Not quarantined=" + classes + "{E5}"));
    EXPECT_TRUE(Logged("Registry key not removed=" + classes + "{E5}"));
}

// Between the scan and the removal a user swaps the folder of a find for a link to another
// user's folder holding a file of the same name: the file the scan found is gone, and the other
// user's file is not deleted in its place, whatever kind of link it is.
TEST_F(RemovalRunTest, AFolderSwappedForALinkAfterTheScanLeavesTheOtherFoldersFiles) {
    for (bool junction : {true, false}) {
        SCOPED_TRACE(junction ? "junction" : "unmarked link");
        const std::string bob = junction ? "C:\\Users\\bob\\Spy1" : "C:\\Users\\bob\\Spy2";
        const std::string alice = junction ? "C:\\Users\\alice\\Work1" : "C:\\Users\\alice\\Work2";
        files.AddFile(bob + "\\cd_clint.dll");
        files.AddFile(bob + "\\Tools\\spy.exe");
        files.AddFile(alice + "\\cd_clint.dll", "alice's");
        files.AddFile(alice + "\\Tools\\spy.exe", "alice's");
        state.lstDBaseFile = {"1.0", "path|" + bob + "\\cd_clint.dll|Adware|", "folder|" + bob + "\\Tools|Adware|"};
        scanner.StartScan();
        ASSERT_EQ(state.lstScanResult.size(), 2u);
        ASSERT_TRUE(state.lstScanResult[0].foundAs);
        ASSERT_TRUE(state.lstScanResult[1].foundAs);

        files.SwapForLink(bob, alice, junction);
        state.automaticScan = true;
        for (ResultRow& row : state.lstScanResult)
            row.checked = true;
        run.cmdNextDelete_Click();

        SCOPED_TRACE(LogFile());
        EXPECT_EQ(files.Content(alice + "\\cd_clint.dll"), "alice's");
        EXPECT_EQ(files.Content(alice + "\\Tools\\spy.exe"), "alice's");
        EXPECT_TRUE(Logged("File not removed=" + bob + "\\cd_clint.dll (not the object that was found)"));
    }
}

// The same object reached through a link that was not on the way at the scan is refused as
// well: where the path leads is no longer what was checked.
TEST_F(RemovalRunTest, ALinkPutOnTheWayToTheSameFileIsRefused) {
    files.AddFile("C:\\Data\\Spy\\cd_clint.dll");
    AddRow("path", "C:\\Data\\Spy\\cd_clint.dll");
    state.lstScanResult[0].foundAs = files.Identify("C:\\Data\\Spy\\cd_clint.dll");
    state.lstScanResult[0].foundAs->finalPath = "C:\\Elsewhere\\cd_clint.dll";  // as reached then
    p.ui.answers = {MsgAnswer::Yes};
    run.cmdNextDelete_Click();
    EXPECT_TRUE(files.Exists("C:\\Data\\Spy\\cd_clint.dll"));
    EXPECT_TRUE(
        Logged("File not removed=C:\\Data\\Spy\\cd_clint.dll (reached through a link that was not there "
               "when it was found)"));
}

// A file row never deletes a folder: a file replaced by a folder of its name after the scan
// stays with what it holds, and so does one whose row has no identity from the scan.
TEST_F(RemovalRunTest, AFileReplacedByAFolderIsNotRemovedThroughItsFileRow) {
    files.AddFile("C:\\Spy\\a.dll");
    state.lstDBaseFile = {"1.0", "path|C:\\Spy\\a.dll|Adware|"};
    scanner.StartScan();
    ASSERT_EQ(state.lstScanResult.size(), 1u);
    AddRow("cookie", "bob@ads.txt");  // no identity from a scan
    files.DeleteFile("C:\\Spy\\a.dll");
    files.AddFile("C:\\Spy\\a.dll\\keep.txt");
    files.AddFile("C:\\Users\\bob\\Cookies\\bob@ads.txt\\keep.txt");
    state.automaticScan = true;
    state.lstScanResult[0].checked = true;
    run.cmdNextDelete_Click();
    EXPECT_TRUE(files.Exists("C:\\Spy\\a.dll\\keep.txt"));
    EXPECT_TRUE(files.Exists("C:\\Users\\bob\\Cookies\\bob@ads.txt\\keep.txt"));
    EXPECT_TRUE(Logged("File not removed=C:\\Spy\\a.dll (a folder, not the file that was found)"));
    EXPECT_TRUE(Logged("Cookie not removed=bob@ads.txt (a folder, not the file that was found)"));
}

// A key reached through a registry link put on the way after the scan is another key.
TEST_F(RemovalRunTest, AKeyWhosePathNowPassesThroughALinkIsRefused) {
    p.registry.AddString("HKEY_CURRENT_USER\\Software\\Spy\\Toolbar", "v", "1");
    state.lstDBaseFile = {"1.0", "regkey|HKEY_CURRENT_USER\\Software\\Spy\\Toolbar|Adware|",
                          "regval|HKEY_CURRENT_USER\\Software\\Spy\\Toolbar,v|Adware|"};
    scanner.StartScan();
    ASSERT_EQ(state.lstScanResult.size(), 2u);
    EXPECT_FALSE(state.lstScanResult[0].foundKey.empty());
    p.registry.AddLink("HKEY_CURRENT_USER\\Software\\Spy", "\\REGISTRY\\MACHINE\\SOFTWARE\\Vendor");
    state.automaticScan = true;
    for (ResultRow& row : state.lstScanResult)
        row.checked = true;
    run.cmdNextDelete_Click();
    EXPECT_TRUE(p.registry.Value("HKEY_CURRENT_USER\\Software\\Spy\\Toolbar", "v"));
    EXPECT_TRUE(
        Logged("Registry key not removed=HKEY_CURRENT_USER\\Software\\Spy\\Toolbar (not the key that was found)"));
    EXPECT_TRUE(
        Logged("Registry value not removed=HKEY_CURRENT_USER\\Software\\Spy\\Toolbar,v (not the key that was found)"));
}

TEST_F(RemovalRunTest, AutomaticEraseKeepsWhatCouldNotBeQuarantined) {
    state.lstSettingsFile[9] = "1";
    state.lstCustomScanSettings[4] = "1";
    state.scanStamp.clear();  // no package to store into
    files.AddFile("C:\\Spy\\b.exe", "exe");
    AddRow("file", "C:\\Spy\\b.exe", false);
    run.cmdNextDelete_Click();
    EXPECT_TRUE(files.Exists("C:\\Spy\\b.exe"));
    EXPECT_EQ(Removed(), "0");
}

TEST_F(RemovalRunTest, UnattendedRunAsksOnlyTheHomePageQuestionAndShowsNoNotice) {
    state.automaticScan = true;
    state.lstSettingsFile[2] = "0";
    p.registry.AddKey(kHomePageKeyPath);
    state.lstSettingsFile[6] = "http://home/";
    state.lstSettingsFile[7] = "My Browser";
    files.AddFile("C:\\Spy\\bad.exe");
    AddRow("path", "C:\\Spy\\bad.exe");
    state.lstIremovable.push_back(ResultRow{"path", 3, "Adware", "C:\\X\\y.exe", "http://help/", false});
    p.ui.answers = {MsgAnswer::Yes};

    run.cmdNextDelete_Click();

    ASSERT_EQ(p.ui.messages.size(), 1u);
    EXPECT_EQ(p.ui.messages[0].text,
              "Do you want to reset your browser homepage settings in case it was changed by a spyware?");
    EXPECT_EQ(p.registry.Value(kHomePageKeyPath, "Start Page")->data, "http://home/");
    EXPECT_EQ(p.registry.Value(kHomePageKeyPath, "Window Title")->data, "My Browser");
    EXPECT_TRUE(Logged("IE Homepage settings reseted to:  Homepage=http://home/"));
    EXPECT_TRUE(Logged(std::string(34, ' ') + "Window Title=My Browser"));
    EXPECT_EQ(state.panel, Panel::Status);
    EXPECT_FALSE(files.Exists("C:\\Spy\\bad.exe"));
}

TEST_F(RemovalRunTest, IrremovableRowsStayUntilThePanelIsLeft) {
    state.abortNextCaption = "Next";
    files.AddFile("C:\\X\\y.exe");
    state.lstIremovable.push_back(ResultRow{"path", 3, "Adware", "C:\\X\\y.exe", "http://help/", false});
    run.cmdNextDelete_Click();
    EXPECT_EQ(state.panel, Panel::Iremovable);
    ASSERT_EQ(p.ui.messages.size(), 1u);
    EXPECT_EQ(p.ui.messages[0].text,
              "The following objects could not be removed. Please check their respective URLs \r\nfor information on "
              "how to manually remove them.");
    EXPECT_EQ(p.ui.messages[0].title, "Not removed");
    EXPECT_EQ(state.abortNextCaption, "Abort");  // reset
    EXPECT_EQ(state.lstIremovable.size(), 1u);
    navigation.cmdFinish_Click();
    EXPECT_TRUE(state.lstIremovable.empty());
}

// A folder that goes is logged, a found file inside it is said to have gone with it, and the
// notice lists only what is still there: not an irremovable file of the removed folder.
TEST_F(RemovalRunTest, AFolderRemovedIsLoggedAndTakesItsObjectsOffTheNotice) {
    files.AddFile("C:\\Program Files\\Gator\\gator.exe");
    files.AddFile("C:\\Program Files\\Gator\\trickler.exe");
    files.AddFile("C:\\Other\\stays.exe");
    AddRow("folder", "C:\\Program Files\\Gator");
    AddRow("path", "C:\\Program Files\\Gator\\gator.exe");
    state.lstIremovable.push_back(
        ResultRow{"path", 3, "Adware", "C:\\Program Files\\Gator\\trickler.exe", "http://help/", false});
    state.lstIremovable.push_back(ResultRow{"path", 3, "Adware", "C:\\Other\\stays.exe", "http://help/", false});
    p.ui.answers = {MsgAnswer::Yes};

    run.cmdNextDelete_Click();

    EXPECT_FALSE(files.Exists("C:\\Program Files\\Gator"));
    EXPECT_TRUE(Logged("Folder deleted=C:\\Program Files\\Gator"));
    EXPECT_TRUE(Logged("File deleted with its folder=C:\\Program Files\\Gator\\gator.exe (C:\\Program Files\\Gator)"));
    EXPECT_FALSE(Logged("File not found=C:\\Program Files\\Gator\\gator.exe"));
    EXPECT_EQ(Removed(), "2");  // the folder's two files; the folder itself is not counted
    ASSERT_EQ(state.lstIremovable.size(), 1u);
    EXPECT_EQ(state.lstIremovable[0].object, "C:\\Other\\stays.exe");
}

TEST_F(RemovalRunTest, ProtectedObjectsAreSkippedWithTheReason) {
    files.AddFile("C:\\WINDOWS\\system32\\svchost.exe");
    files.AddFile("C:\\WINDOWS\\win.ini");
    files.AddFile("C:\\Temp\\svchost.exe");
    p.registry.AddString("HKEY_LOCAL_MACHINE\\Software\\Vendor", "v", "1");
    p.processes.Add("svchost.exe", 500);
    ListActiveProcesses(state, p.processes);
    for (const char* folder : {"C:\\", "C:\\WINDOWS", "C:\\Spy\\..\\WINDOWS", "C:/windows/"})
        AddRow("folder", folder);
    AddRow("regkey", "HKEY_LOCAL_MACHINE\\Software");
    AddRow("path", "C:\\WINDOWS\\system32\\svchost.exe");
    AddRow("path", "C:\\Temp\\svchost.exe");
    state.automaticScan = true;

    run.cmdNextDelete_Click();

    EXPECT_TRUE(files.Exists("C:\\WINDOWS\\win.ini"));
    EXPECT_TRUE(files.Exists("C:\\WINDOWS\\system32\\svchost.exe"));
    EXPECT_TRUE(p.registry.HasKey("HKEY_LOCAL_MACHINE\\Software\\Vendor"));
    EXPECT_TRUE(p.processes.IsRunning(500));
    EXPECT_TRUE(Logged("Protected object skipped=C:\\ (drive root)"));
    EXPECT_TRUE(Logged("Protected object skipped=C:\\Spy\\..\\WINDOWS (Windows folder)"));
    EXPECT_TRUE(Logged("Protected object skipped=HKEY_LOCAL_MACHINE\\Software (key directly below a registry root)"));
    EXPECT_TRUE(Logged("Protected object skipped=C:\\WINDOWS\\system32\\svchost.exe (Windows system folder)"));
    EXPECT_TRUE(Logged("Process not ended=C:\\Temp\\svchost.exe (critical system process)"));
    // The impostor's file is not the system's: it goes.
    EXPECT_TRUE(Logged("File deleted=C:\\Temp\\svchost.exe"));
    EXPECT_EQ(Removed(), "1");
}

TEST_F(RemovalRunTest, FolderPassesRemoveALinkAsItselfAndCountEachPathOnce) {
    files.AddFile("C:\\Data\\keep.txt");
    files.AddFile("C:\\Spy\\a.txt");
    files.AddFile("C:\\Spy\\sub\\b.txt");
    files.AddFile("C:\\Spy\\sub\\deep\\c.txt");
    files.AddFile("C:\\Data\\sub\\keep2.txt");
    files.AddLink("C:\\Spy\\link", "C:\\Data");
    files.AddLink("C:\\SpyLink", "C:\\Data");
    AddRow("folder", "C:\\Spy");
    AddRow("folder", "C:\\SpyLink");
    p.ui.answers = {MsgAnswer::Yes};

    run.cmdNextDelete_Click();

    EXPECT_FALSE(files.Exists("C:\\Spy"));
    EXPECT_FALSE(files.Exists("C:\\SpyLink"));
    EXPECT_EQ(files.Tree("C:\\Data"),
              (std::vector<std::string>{"C:\\Data\\keep.txt", "C:\\Data\\sub", "C:\\Data\\sub\\keep2.txt"}));
    EXPECT_EQ(Removed(), "6");  // a.txt, link, sub, b.txt, deep, c.txt
}

TEST_F(RemovalRunTest, FailuresAreLoggedAsNotRemovedAndNotCounted) {
    files.AddFile("C:\\Spy\\locked.exe");
    files.Lock("C:\\Spy\\locked.exe");
    files.refuseDeleteAtRestart = true;  // nor at the next start
    files.AddFile("C:\\Dir\\ok.txt");
    files.AddFile("C:\\Dir\\busy.txt");
    files.Lock("C:\\Dir\\busy.txt");
    p.registry.AddKey("HKEY_CURRENT_USER\\Software\\Foo\\A\\B");
    p.registry.DenyWrite("HKEY_CURRENT_USER\\Software\\Bar\\Locked");
    AddRow("path", "C:\\Spy\\locked.exe");
    AddRow("file", "C:\\Spy\\gone.exe");
    AddRow("folder", "C:\\Dir");
    AddRow("regval", "HKEY_CURRENT_USER\\Software\\Foo,missing");
    AddRow("regval", "no comma");
    AddRow("regkey", "HKEY_CURRENT_USER\\Software\\Foo");
    AddRow("regkey", "HKEY_CURRENT_USER\\Software\\Bar");
    AddRow("regkey", "HKEY_CURRENT_USER\\Software\\Nothing");
    AddRow("unknown", "C:\\Dir\\ok.txt");
    p.ui.answers = {MsgAnswer::Yes};

    run.cmdNextDelete_Click();

    EXPECT_TRUE(Logged("File not removed=C:\\Spy\\locked.exe"));
    EXPECT_EQ(files.GetAttributes("C:\\Spy\\locked.exe"), file_attr::kArchive);  // left as found
    EXPECT_TRUE(Logged("File not found=C:\\Spy\\gone.exe"));
    EXPECT_TRUE(Logged("Folder not removed=C:\\Dir"));
    EXPECT_TRUE(Logged("Registry value not found=HKEY_CURRENT_USER\\Software\\Foo,missing"));
    EXPECT_TRUE(Logged("Registry value not found=no comma"));
    // Deepest first, each key once.
    EXPECT_NE(LogFile().find("Registry key deleted=HKEY_CURRENT_USER\\Software\\Foo\\A\\B\r\n"
                             "Registry key deleted=HKEY_CURRENT_USER\\Software\\Foo\\A\r\n"
                             "Registry key deleted=HKEY_CURRENT_USER\\Software\\Foo\r\n"),
              std::string::npos);
    EXPECT_TRUE(Logged("Registry key not removed=HKEY_CURRENT_USER\\Software\\Bar"));
    EXPECT_TRUE(p.registry.HasKey("HKEY_CURRENT_USER\\Software\\Bar\\Locked"));
    EXPECT_TRUE(Logged("Registry key not found=HKEY_CURRENT_USER\\Software\\Nothing"));
    EXPECT_EQ(Removed(), "4");  // ok.txt and the three Foo keys
    EXPECT_TRUE(std::none_of(p.ui.messages.begin(), p.ui.messages.end(),
                             [](const FakeUi::Shown& m) { return m.text.find("Incorrect") != std::string::npos; }));
}

TEST_F(RemovalRunTest, EndsOnlyTheFirstProcessOfTheExactName) {
    files.AddFile("C:\\X\\app.exe");
    files.AddFile("C:\\X\\tool.exe");
    p.processes.Add("app.exe", 10);
    p.processes.Add("app.exe", 11);
    p.processes.Add("TOOL.exe", 12);
    ListActiveProcesses(state, p.processes);
    AddRow("path", "C:\\X\\app.exe");
    AddRow("path", "C:\\X\\tool.exe");
    p.ui.answers = {MsgAnswer::Yes};

    run.cmdNextDelete_Click();

    EXPECT_FALSE(p.processes.IsRunning(10));
    EXPECT_TRUE(p.processes.IsRunning(11));
    EXPECT_TRUE(p.processes.IsRunning(12));
    EXPECT_TRUE(Logged("Process Killed=C:\\X\\app.exe"));
    EXPECT_EQ(LogFile().find("Process Killed=C:\\X\\tool.exe"), std::string::npos);
}

TEST_F(RemovalRunTest, AReusedProcessIdNeverEndsAnotherProgram) {
    files.AddFile("C:\\X\\app.exe");
    files.AddFile("C:\\Y\\other.exe");
    p.processes.processes.push_back({"app.exe", 10, 1, true, "C:\\X\\app.exe", 1000});
    p.processes.processes.push_back({"other.exe", 20, 1, true, "C:\\Y\\other.exe", 2000});
    ListActiveProcesses(state, p.processes);
    // Both programs end after the listing; the system gives their ids to unrelated programs.
    p.processes.processes = {{"app.exe", 10, 1, true, "C:\\Users\\bob\\app.exe", 5000},
                             {"editor.exe", 20, 1, true, "C:\\Tools\\editor.exe", 6000}};
    AddRow("path", "C:\\X\\APP.EXE");  // the image path is compared without regard to case
    AddRow("path", "C:\\Y\\other.exe");
    p.ui.answers = {MsgAnswer::Yes};

    run.cmdNextDelete_Click();

    EXPECT_TRUE(p.processes.posted.empty());
    EXPECT_TRUE(Logged("Process not ended=C:\\X\\APP.EXE (its process id now belongs to another program)"));
    EXPECT_TRUE(Logged("Process not ended=C:\\Y\\other.exe (its process id now belongs to another program)"));

    // The same program still running under its id is ended, whatever the case of the row.
    p.processes.processes = {{"app.exe", 30, 1, true, "C:\\X\\app.exe", 7000}};
    files.AddFile("C:\\X\\app.exe");
    ListActiveProcesses(state, p.processes);
    AddRow("path", "C:\\x\\App.exe");
    p.ui.answers = {MsgAnswer::Yes};
    run.cmdNextDelete_Click();
    EXPECT_FALSE(p.processes.IsRunning(30));
}

TEST_F(RemovalRunTest, AutomaticRunsLeaveWideAndLooseMatchesForTheUser) {
    state.lstSettingsFile[9] = "1";
    state.lstCustomScanSettings[4] = "1";
    files.AddFile("C:\\Spy\\a.tmp");
    files.AddFile("C:\\Spy\\b.tmp");
    AddRow("file", "C:\\Spy\\a.tmp", false);
    AddRow("file", "C:\\Spy\\b.tmp", false);
    state.manualOnlyRows[ManualOnlyKey(state.lstScanResult[0])] = "one database item matched 150 objects";

    run.cmdNextDelete_Click();

    EXPECT_TRUE(files.Exists("C:\\Spy\\a.tmp"));
    EXPECT_FALSE(files.Exists("C:\\Spy\\b.tmp"));
    EXPECT_TRUE(Logged("Not removed automatically=C:\\Spy\\a.tmp (one database item matched 150 objects)"));
}

TEST_F(RemovalRunTest, ATreeDeeperThanThePassesIsRemovedDeepestFirst) {
    std::string path = "C:\\Deep";
    for (int level = 0; level < 300; ++level)
        path += "\\d";
    files.AddFile(path + "\\leaf.txt");
    AddRow("folder", "C:\\Deep");
    p.ui.answers = {MsgAnswer::Yes};
    run.cmdNextDelete_Click();
    EXPECT_FALSE(files.Exists("C:\\Deep\\d"));
}

}  // namespace
}  // namespace pellora
