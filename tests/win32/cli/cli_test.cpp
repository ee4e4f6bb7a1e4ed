// The console program's commands driven in-process over the in-memory platform: each Run is
// one start of pellora-cli (a fresh App over the same disk and registry). What the end-to-end
// tests cannot reach or see: the start-with-Windows value, the mode of the command line not
// saved although the removal run saves the settings, the statistics to the figure, a file that
// cannot be deleted, quarantine before removal, both answers to the home-page question, Ctrl+C
// in the middle of a scan, the command line's refusals, and the console port itself.
// file_system_win.h first: it takes back <windows.h>'s macros that would rename port methods.
#include "win32/file_system_win.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <nlohmann/json.hpp>

#include "cli/cli_options.h"
#include "cli/cli_runner.h"
#include "cli/console_ui.h"
#include "core/database/db_tool.h"
#include "core/database/folder_variables.h"
#include "core/scan/scan_report.h"
#include "core/settings/apply_settings.h"
#include "core/settings/settings_files.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_services.h"
#include "fakes/fake_tasks.h"
#include "unit/autostart/link_builder.h"
#include "win32/encoding_win.h"

namespace pellora::cli {
namespace {

// Keys in the order the report writes them.
using Json = nlohmann::ordered_json;

class StringOutput : public TextOutput {
  public:
    void Write(std::string_view text) override { text_ += text; }
    const std::string& text() const { return text_; }
    void Clear() { text_.clear(); }

  private:
    std::string text_;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

const char kApp[] = "C:\\Pellora";
const char kBad[] = "C:\\Program Files\\Bad";
const char kCookies[] = "C:\\Users\\bob\\Cookies";
const char kKey[] = "HKEY_CURRENT_USER\\Software\\BadCo";
const char kJson[] = "C:\\out\\report.json";

class CliTest : public ::testing::Test {
  protected:
    CliTest() {
        fp.system.appFolder = kApp;
        fp.files.AddFolder(kApp);
        fp.files.AddFolder("C:\\out");
        fp.files.AddFolder("C:\\WINDOWS");
        fp.processes.onRun = [this](const std::string& line) {
            return fakes::KeyNameRegedit(fp.files, fp.registry, line);
        };
        fp.registry.AddString(kShellFoldersKey, "Cookies", kCookies);
        fp.registry.AddString(kCurrentVersionKey, "ProgramFilesDir", "C:\\Program Files");
        fp.registry.AddString(kHomePageKeyPath, "Start Page", "http://hijacked.example/");

        fp.files.AddFile(std::string(kBad) + "\\evil.exe", "MZ evil");
        fp.files.AddFile(std::string(kBad) + "\\Setup.tmp", "tmp");
        fp.files.AddFile(std::string(kBad) + "\\Toolbar\\bar.dll", "MZ bar");
        fp.files.AddFile(std::string(kCookies) + "\\bob@evil.example[1].txt", "cookie");
        fp.files.AddFile(std::string(kCookies) + "\\bob@good.example[1].txt", "cookie");
        fp.registry.AddString(std::string(kKey) + "\\Run", "Loader", "evil.exe");
        fp.registry.AddKey(std::string(kKey) + "\\Deep");

        WriteDatabase({
            "path|%ProgramsDir%\\Bad\\evil.exe|Adware.Evil|",
            "folder|%ProgramsDir%\\Bad\\Toolbar|Adware.Evil|",
            "regval|" + std::string(kKey) + "\\Run,Loader|Adware.Evil|",
            "regkey|" + std::string(kKey) + "|Adware.Evil|",
            "cookie|evil.example|Tracking.Evil|",
            "file|Setup.tmp|Adware.Evil|",
            "path|%ProgramsDir%\\Bad\\Setup.tmp|Adware.Manual|http://help.example/manual",
        });
    }

    void WriteDatabase(const std::vector<std::string>& items) {
        std::string plain = "Test Database 1";
        for (const std::string& item : items)
            plain += "\r\n" + item;
        CodePage codePage{[this](std::string_view s) { return fp.system.AnsiToUtf8(s); },
                          [this](std::string_view s) { return fp.system.Utf8ToAnsi(s); }};
        std::string locked, error;
        ASSERT_TRUE(LockDatabaseText(plain, codePage, locked, error)) << error;
        fp.files.AddFile(std::string(kApp) + "\\DataBase.ref", locked);
    }

    void WriteSettingsFile(const std::string& name, const std::string& bytes) {
        fp.files.AddFile(std::string(kApp) + "\\Settings\\" + name, bytes);
    }
    std::string SettingsFile(const std::string& name) {
        return fp.files.Content(std::string(kApp) + "\\Settings\\" + name);
    }

    // One start of the program with these arguments.
    int Run(const std::vector<std::string>& args) {
        out.Clear();
        err.Clear();
        ParseResult parsed = ParseCommandLine(args);
        if (!parsed.options) {
            out.Write(parsed.out);
            err.Write(parsed.err);
            return parsed.exitCode;
        }
        ConsoleUi ui(err, fp.clock, false);
        Ports ports{*registryPort, fp.files, fp.processes, fp.shell, fp.clock, fp.system, ui};
        ports.tasks = &tasks;
        ports.services = &services;
        CliRunner runner(ports, ui, out, err);
        runner.StopOnInterrupt(&interrupt);
        return runner.Run(*parsed.options);
    }

    Json Report() { return Json::parse(fp.files.Content(kJson)); }

    static std::vector<std::string> Objects(const Json& rows) {
        std::vector<std::string> objects;
        for (const Json& row : rows)
            objects.push_back(row["object"]);
        return objects;
    }

    fakes::FakePlatform fp;
    fakes::FakeTaskScheduler tasks;
    fakes::FakeServices services{fp.registry, fp.files};
    std::atomic<bool> interrupt{false};
    RegistryPort* registryPort = &fp.registry;
    StringOutput out;
    StringOutput err;
    const std::string evil = std::string(kBad) + "\\evil.exe";
    const std::string setup = std::string(kBad) + "\\Setup.tmp";
    const std::string toolbar = std::string(kBad) + "\\Toolbar";
    const std::string loader = std::string(kKey) + "\\Run,Loader";
};

TEST_F(CliTest, StartUpKeepsTheStartWithWindowsValueOnTheWindowProgram) {
    // Seen from the core, this program is the window program beside it.
    class ConsoleSystem : public fakes::FakeSystem {
      public:
        std::string ExecutablePath() override { return appFolder + "\\pellora-cli.exe"; }
    } system;
    system.appFolder = kApp;
    fp.registry.AddString(kRunKeyPath, kRunValueName, "C:\\Old\\Pellora.exe");
    ConsoleUi ui(err, fp.clock, false);
    Ports ports{fp.registry, fp.files, fp.processes, fp.shell, fp.clock, system, ui};
    CliRunner runner(ports, ui, out, err);
    EXPECT_EQ(runner.Run(*ParseCommandLine({"scan"}).options), kExitFound);
    EXPECT_EQ(fp.registry.Value(kRunKeyPath, kRunValueName)->data, "\"C:\\Pellora\\Pellora.exe\"");
}

TEST_F(CliTest, TheScanAtProgramStartIsTheWindowsOnly) {
    // Scan at start on, registry backup before every scan on: each scan runs the registry editor once.
    WriteSettingsFile("Settings.stg", "0\r\n1\r\n0\r\n1\r\n0\r\n1\r\nabout:blank\r\nIE\r\n30\r\n0\r\n10");
    auto exports = [this] {
        return std::count_if(fp.processes.commands.begin(), fp.processes.commands.end(),
                             [](const std::string& line) { return line.find("regedit.exe /e") != std::string::npos; });
    };
    EXPECT_EQ(Run({"quarantine", "list"}), kExitClean);
    EXPECT_EQ(exports(), 0);
    EXPECT_EQ(Run({"scan"}), kExitFound);
    EXPECT_EQ(exports(), 1);
}

TEST_F(CliTest, RemoveDeletesEverythingWritesLogAndStatisticsAndTheNextScanFindsNothing) {
    WriteDatabase({
        "path|%ProgramsDir%\\Bad\\evil.exe|Adware.Evil|",
        "folder|%ProgramsDir%\\Bad\\Toolbar|Adware.Evil|",
        "regval|" + loader + "|Adware.Evil|",
        "regkey|" + std::string(kKey) + "|Adware.Evil|",
        "cookie|evil.example|Tracking.Evil|",
    });
    WriteSettingsFile("CustomScan.stg", "1\r\n1\r\n1\r\n0\r\n0\r\n0\r\n1");
    ASSERT_EQ(Run({"remove", "--mode", "custom", "--json", kJson}), kExitClean) << err.text();

    EXPECT_FALSE(fp.files.Exists(evil));
    EXPECT_FALSE(fp.files.Exists(toolbar));
    EXPECT_FALSE(fp.registry.HasKey(kKey));
    EXPECT_FALSE(fp.files.Exists(std::string(kCookies) + "\\bob@evil.example[1].txt"));
    EXPECT_TRUE(fp.files.Exists(std::string(kCookies) + "\\bob@good.example[1].txt"));

    std::vector<std::string> lines = Lines(out.text());
    auto has = [&lines](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    EXPECT_TRUE(has("File deleted=" + evil));
    EXPECT_TRUE(has("Registry value deleted=" + loader));
    EXPECT_TRUE(has("Registry key deleted=" + std::string(kKey) + "\\Run"));
    EXPECT_TRUE(has("Cookie deleted=bob@evil.example[1].txt"));
    EXPECT_EQ(lines.back(), "Scanning completed on 12-06-2026  09:05:07");

    // The whole log of the run went to the log file, and the report carries the same lines.
    Json report = Report();
    std::vector<std::string> log = report["log"];
    std::string expected;
    for (const std::string& line : log)
        expected += line + "\r\n";
    EXPECT_EQ(fp.files.Content(std::string(kApp) + "\\DavEre.roz"), expected + "\r\n\r\n");
    EXPECT_EQ(report["remaining"], Json::array());
    EXPECT_EQ(report["mode"], "custom");
    // Which layout and which machine: the first two fields, for collectors of many reports.
    EXPECT_EQ(report.begin().key(), "schema");
    EXPECT_EQ(report["schema"], kReportSchema);
    wchar_t name[256];
    DWORD length = 256;
    ASSERT_TRUE(GetComputerNameExW(ComputerNameDnsHostname, name, &length));
    EXPECT_EQ(report["machine"], win32::Narrow(std::wstring(name, length)));
    EXPECT_FALSE(report["machine"].get<std::string>().empty());
    // The custom mode was this run's only, although the run saved the settings meanwhile.
    EXPECT_EQ(SplitTextLines(SettingsFile("Settings.stg"), true)[kScanModeLine], "0");
    // The question the window would ask about the home page was answered No.
    EXPECT_NE(err.text().find("Reset homepage?: Do you want to reset your browser homepage settings in case it was "
                              "changed by a spyware? [No]"),
              std::string::npos);
    EXPECT_EQ(fp.registry.Value(kHomePageKeyPath, "Start Page")->data, "http://hijacked.example/");

    EXPECT_EQ(SettingsFile("ScanInfo.stg"), "12-06-2026  09:05:07\r\n1\r\n7");

    EXPECT_EQ(Run({"scan", "--mode", "custom"}), kExitClean);
}

TEST_F(CliTest, RemoveExitsOneForWhatStaysAndQuarantinesFirstWhenAsked) {
    WriteSettingsFile("Settings.stg", "0\r\n0\r\n0\r\n1\r\n0\r\n0\r\nabout:blank\r\nIE\r\n30\r\n0\r\n10");
    fp.files.Lock(evil);
    ASSERT_EQ(Run({"remove", "--quarantine", "--reset-homepage", "--json", kJson}), kExitFound) << err.text();
    EXPECT_TRUE(fp.files.Exists(evil));
    // What is still there: the held file and the irremovable one, never removed.
    EXPECT_EQ(Objects(Report()["remaining"]), (std::vector<std::string>{evil, setup}));
    // Held open: quarantined, then left to be deleted at the next start, and still there now.
    EXPECT_NE(out.text().find("File removed at restart=" + evil), std::string::npos) << out.text();

    // A copy of every row that went or was meant to go: the folder and the registry rows too.
    std::string package = std::string(kApp) + "\\Quarantine\\6-12-2026-9-5-7";
    // Type, payload, source, and the identity of the folder it was taken from.
    EXPECT_EQ(fp.files.Content(package + "\\10000.qnf").rfind("path|10000.qit|" + evil + "|", 0), 0u);
    EXPECT_EQ(fp.files.Content(package + "\\10000.qit"), "MZ evil");
    std::vector<std::string> records;
    for (int n = 10000; n < 10010; ++n) {
        if (fp.files.Exists(package + "\\" + std::to_string(n) + ".qnf"))
            records.push_back(fp.files.Content(package + "\\" + std::to_string(n) + ".qnf"));
    }
    std::vector<std::string> sources;
    for (const std::string& record : records) {
        const size_t from = record.find('|', record.find('|') + 1) + 1;
        sources.push_back(record.substr(from, record.find('|', from) - from));
    }
    std::sort(sources.begin(), sources.end());
    EXPECT_EQ(sources, (std::vector<std::string>{toolbar, evil, std::string(kCookies) + "\\bob@evil.example[1].txt",
                                                 kKey, loader}))
        << ::testing::PrintToString(records);

    EXPECT_EQ(fp.registry.Value(kHomePageKeyPath, "Start Page")->data, "about:blank");
    EXPECT_NE(err.text().find("[Yes]"), std::string::npos);

    // Only the irremovable object is left: still 1, since it was found and is still there.
    fp.files.AddFile(evil, "unlocked");
    fp.files.DeleteFile(evil);
    EXPECT_EQ(Run({"remove"}), kExitFound);
    EXPECT_EQ(Lines(out.text())[10], "     path:" + setup + "   |Adware.Manual   |http://help.example/manual");
}

// One row per object, counted once; "remaining" and "irremovable" name exactly what is still
// there: an irremovable file that went with its removed folder, or a key below a removed key, is
// not among them, and one that stays is.
TEST_F(CliTest, TheRemovalReportNamesExactlyWhatIsStillThere) {
    const std::string bar = toolbar + "\\bar.dll";
    WriteDatabase({
        "folder|%ProgramsDir%\\Bad\\Toolbar|Adware.Evil|",
        "regkey|" + std::string(kKey) + "|Adware.Evil|",
        "path|%ProgramsDir%\\Bad\\Toolbar\\bar.dll|Adware.Manual|http://help.example/bar",
        "regkey|" + std::string(kKey) + "\\Deep|Adware.Manual|http://help.example/deep",
        "path|%ProgramsDir%\\Bad\\Setup.tmp|Adware.Manual|http://help.example/manual",
    });
    ASSERT_EQ(Run({"remove", "--json", kJson}), kExitFound) << err.text();
    EXPECT_FALSE(fp.files.Exists(toolbar));
    EXPECT_FALSE(fp.registry.HasKey(kKey));
    Json report = Report();
    EXPECT_EQ(Objects(report["results"]), (std::vector<std::string>{toolbar, std::string(kKey)}));
    EXPECT_EQ(Objects(report["irremovable"]), std::vector<std::string>{setup});
    EXPECT_EQ(Objects(report["remaining"]), std::vector<std::string>{setup});
    // The folder's going is in the log, and the log file has it.
    std::vector<std::string> log = report["log"];
    EXPECT_NE(std::find(log.begin(), log.end(), "Folder deleted=" + toolbar), log.end());
    EXPECT_NE(fp.files.Content(std::string(kApp) + "\\DavEre.roz").find("Folder deleted=" + toolbar),
              std::string::npos);
    // The printed rows: only the irremovable object still there.
    EXPECT_EQ(out.text().find(bar + "   |"), std::string::npos) << out.text();

    // Nothing left: exit 0.
    fp.files.DeleteFile(setup);
    EXPECT_EQ(Run({"remove"}), kExitClean) << out.text();
}

// Every scan is in the log file when logging is on, whether or not a removal follows.
TEST_F(CliTest, AScanIsRecordedInTheLogFile) {
    const std::string logFile = std::string(kApp) + "\\DavEre.roz";
    ASSERT_EQ(Run({"scan", "--json", kJson}), kExitFound) << err.text();
    std::vector<std::string> log = Report()["log"];
    std::string expected;
    for (const std::string& line : log)
        expected += line + "\r\n";
    EXPECT_EQ(fp.files.Content(logFile), expected + "\r\n\r\n");
    EXPECT_NE(fp.files.Content(logFile).find(evil), std::string::npos);

    ASSERT_EQ(Run({"scan", "--quarantine"}), kExitFound) << err.text();
    EXPECT_NE(fp.files.Content(logFile).find("Following items Quarantined"), std::string::npos);

    // Logging off: the file is not touched.
    WriteSettingsFile("Settings.stg", "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\nabout:blank\r\nIE\r\n30\r\n0\r\n10");
    const std::string before = fp.files.Content(logFile);
    ASSERT_EQ(Run({"scan"}), kExitFound);
    EXPECT_EQ(fp.files.Content(logFile), before);
}

// A value that did not reach the settings file is not reported as set; a read-only file is
// written all the same (its attribute is reset first).
TEST_F(CliTest, ASettingThatCannotBeSavedIsAnErrorAndChangesNothing) {
    const std::string settings = "0\r\n0\r\n0\r\n1\r\n0\r\n0\r\nabout:blank\r\nIE\r\n55\r\n0\r\n10";
    WriteSettingsFile("Settings.stg", settings);
    fp.files.failWrites = true;
    EXPECT_EQ(Run({"settings", "set", "scan-interval", "60"}), kExitError);
    EXPECT_EQ(out.text(), "");
    EXPECT_NE(err.text().find("Settings.stg"), std::string::npos) << err.text();
    EXPECT_EQ(SettingsFile("Settings.stg"), settings);
    fp.files.AddFolder("C:\\Data");
    EXPECT_EQ(Run({"folders", "add", "C:\\Data"}), kExitError);
    EXPECT_EQ(out.text(), "");

    fp.files.failWrites = false;
    fp.files.AddFile(std::string(kApp) + "\\Settings\\Settings.stg", settings, file_attr::kReadOnly);
    EXPECT_EQ(Run({"settings", "set", "scan-interval", "60"}), kExitClean) << err.text();
    EXPECT_EQ(out.text(), "scan-interval=60\n");
    EXPECT_EQ(SplitTextLines(SettingsFile("Settings.stg"), true)[8], "60");
}

// The console guards the same folders as the window: a known folder the shell names (and no
// Shell Folders value does) is never removed, whatever the database says.
TEST_F(CliTest, AKnownFolderIsProtectedInTheConsoleToo) {
    const std::string games = "C:\\Users\\bob\\Saved Games";
    fp.files.AddFile(games + "\\save.dat", "progress");
    fp.system.knownFolders = {games};
    WriteDatabase({"folder|" + games + "|Adware.Evil|"});
    EXPECT_EQ(Run({"remove"}), kExitFound) << err.text();
    EXPECT_TRUE(fp.files.Exists(games + "\\save.dat"));
}

TEST_F(CliTest, RemoveWithQuarantineKeepsWhatCouldNotBeStored) {
    // A file where the quarantine folder belongs: no package can be made.
    fp.files.AddFile(std::string(kApp) + "\\Quarantine", "not a folder");
    const std::string cookie = std::string(kCookies) + "\\bob@evil.example[1].txt";
    ASSERT_EQ(Run({"remove", "--quarantine", "--json", kJson}), kExitFound) << err.text();
    EXPECT_EQ(fp.files.Content(evil), "MZ evil");
    EXPECT_EQ(fp.files.Content(cookie), "cookie");
    EXPECT_NE(out.text().find("Not quarantined=" + evil), std::string::npos);
    std::vector<std::string> remaining = Objects(Report()["remaining"]);
    EXPECT_NE(std::find(remaining.begin(), remaining.end(), evil), remaining.end());
    // Keys and values are stored too, so without a package they stay as well.
    EXPECT_TRUE(fp.registry.HasKey(kKey));
    EXPECT_NE(std::find(remaining.begin(), remaining.end(), std::string(kKey)), remaining.end());
}

// Every kind a removal takes goes to the package first and comes back with one restore: a found
// program with what starts it (a Run value, a task, a Startup shortcut, one element of Winlogon
// Userinit), a listed task and service, a hosts line and a link that is not a browser's. A
// restore that cannot put everything back says so, names what stayed and why, and keeps it.
TEST_F(CliTest, RemoveWithQuarantineStoresEveryKindAndRestoreBringsEachBack) {
    const std::string winlogon = R"(HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)";
    const std::string run = R"(HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run)";
    const std::string startup = R"(C:\Users\bob\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup)";
    const std::string hosts = R"(C:\WINDOWS\system32\drivers\etc\hosts)";
    fp.system.environment["APPDATA"] = R"(C:\Users\bob\AppData\Roaming)";
    fp.files.AddFile(R"(C:\WINDOWS\system32\userinit.exe)", "MZ");
    fp.registry.AddString(run, "Updater", "\"" + evil + "\" /tray");
    fp.registry.AddString(winlogon, "Userinit", R"(C:\WINDOWS\system32\userinit.exe,)" + evil + ",");
    const std::string startsEvil = "<Task><Actions><Exec><Command>" + evil + "</Command></Exec></Actions></Task>";
    tasks.tasks[FoldOrdinal(R"(\Bad\Starter)")] = startsEvil;
    fp.files.AddFile(R"(C:\WINDOWS\system32\Tasks\Bad\Starter)", startsEvil);
    tasks.tasks[FoldOrdinal(R"(\Bad\Listed)")] = "<Task>listed</Task>";
    ServiceConfig service;
    service.name = "BadSvc";
    service.imagePath = R"(C:\Program Files\Bad\svc.exe)";
    fp.files.AddFile(R"(C:\Program Files\Bad\svc.exe)", "MZ svc");
    services.Add(service);
    fp.files.AddFile(hosts, "127.0.0.1 localhost\r\n0.0.0.0 bad.example\r\n");
    autostart::test_links::LinkSpec spec;
    spec.basePath = R"(C:\Program Files\Bad\)";
    spec.suffix = "evil.exe";
    fp.files.AddFile(startup + R"(\Bad.lnk)", autostart::test_links::BuildLink(spec));
    spec.basePath = R"(C:\Tools\)";
    spec.suffix = "viewer.exe";
    spec.arguments = std::string("http://deals.bad.example/");
    fp.files.AddFile(R"(C:\Tools\viewer.exe)", "MZ viewer");
    fp.files.AddFile(startup + R"(\Deals.lnk)", autostart::test_links::BuildLink(spec));
    WriteDatabase({"path|%ProgramsDir%\\Bad\\evil.exe|Adware.Evil|", R"(task|\Bad\Listed|Adware.Evil|)",
                   "service|BadSvc|Adware.Evil|", "hosts|bad.example|Hijack.Hosts|",
                   "shortcut|deals.bad.example|Adware.Links|"});
    auto machine = [&] {
        std::vector<std::string> state;
        for (const std::string& path : {evil, hosts, startup + R"(\Bad.lnk)", startup + R"(\Deals.lnk)"})
            state.push_back(fp.files.Exists(path) ? fp.files.Content(path) : "(gone)");
        for (const auto& [key, name] : {std::pair{run, "Updater"}, std::pair{winlogon, "Userinit"}})
            state.push_back(fp.registry.Value(key, name) ? fp.registry.Value(key, name)->data : "(gone)");
        for (const char* task : {R"(\Bad\Starter)", R"(\Bad\Listed)"})
            state.push_back(tasks.TaskDefinition(task).value_or("(gone)"));
        state.push_back(services.Configuration("BadSvc") ? services.Configuration("BadSvc")->imagePath : "(gone)");
        return state;
    };
    const std::vector<std::string> before = machine();

    ASSERT_EQ(Run({"remove", "--mode", "smart", "--quarantine"}), kExitClean) << out.text() << err.text();
    std::vector<std::string> after = machine();
    after[1] = after[1].find("bad.example") == std::string::npos ? "(gone)" : after[1];
    after[5] = after[5].find("evil.exe") == std::string::npos ? "(gone)" : after[5];
    EXPECT_EQ(after, std::vector<std::string>(before.size(), "(gone)")) << out.text();
    ASSERT_EQ(Run({"quarantine", "list"}), kExitClean);
    const std::string package = out.text().substr(0, out.text().find('\t'));
    // The file, the Run value, the Startup shortcut, the task that starts it, Userinit (whole),
    // the listed task, the service, the hosts line and the other link.
    EXPECT_EQ(Lines(out.text()).at(0).substr(Lines(out.text()).at(0).rfind('\t') + 1), "9");

    // A task of that name put there meanwhile keeps its place: the restore says what stayed.
    tasks.tasks[FoldOrdinal(R"(\Bad\Listed)")] = "<Task>the user's own</Task>";
    EXPECT_EQ(Run({"quarantine", "restore", package}), kExitFound);
    EXPECT_NE(out.text().find("Package " + package + " not fully restored: 8 of 9 objects put back"), std::string::npos)
        << out.text();
    EXPECT_NE(out.text().find("  Not restored: \\Bad\\Listed (another task of that name is there)"), std::string::npos)
        << out.text();

    tasks.tasks.erase(FoldOrdinal(R"(\Bad\Listed)"));
    EXPECT_EQ(Run({"quarantine", "restore", package}), kExitClean) << out.text() << err.text();
    EXPECT_EQ(out.text(), "Package " + package + " restored.\n");
    EXPECT_EQ(machine(), before);
}

// The registry as the fixture's, except that reading one value stands for a Ctrl+C.
class InterruptingRegistry : public RegistryPort {
  public:
    InterruptingRegistry(RegistryPort& registry, std::atomic<bool>& interrupt, std::string valueName)
        : registry_(registry), interrupt_(interrupt), valueName_(std::move(valueName)) {}
    bool KeyOpens(RootKey root, const std::string& subkey, RegAccess access) override {
        return registry_.KeyOpens(root, subkey, access);
    }
    std::optional<RegValue> QueryValue(RootKey root, const std::string& subkey, const std::string& name) override {
        if (name == valueName_)
            interrupt_ = true;
        return registry_.QueryValue(root, subkey, name);
    }
    bool SetValue(RootKey root, const std::string& subkey, const std::string& name, const RegValue& value) override {
        return registry_.SetValue(root, subkey, name, value);
    }
    bool DeleteValue(RootKey root, const std::string& subkey, const std::string& name) override {
        return registry_.DeleteValue(root, subkey, name);
    }
    bool DeleteKey(RootKey root, const std::string& subkey) override { return registry_.DeleteKey(root, subkey); }
    std::optional<std::vector<std::string>> EnumSubKeys(RootKey root,
                                                        const std::string& subkey,
                                                        RegAccess access) override {
        return registry_.EnumSubKeys(root, subkey, access);
    }
    bool CreateKey(RootKey root, const std::string& subkey) override { return registry_.CreateKey(root, subkey); }

  private:
    RegistryPort& registry_;
    std::atomic<bool>& interrupt_;
    std::string valueName_;
};

TEST_F(CliTest, AnInterruptedScanIsReportedAsFarAsItGotAndNothingIsRemovedOrQuarantined) {
    ASSERT_EQ(Run({"ignore", "list"}), kExitClean);
    InterruptingRegistry registry(fp.registry, interrupt, "Loader");
    registryPort = &registry;

    // Ctrl+C while the scan reads the registry value: what came before it is reported.
    ASSERT_EQ(Run({"remove", "--quarantine", "--json", kJson}), kExitError);
    EXPECT_NE(err.text().find("pellora-cli: interrupted"), std::string::npos);
    EXPECT_NE(err.text().find("pellora-cli: the scan was interrupted: nothing was removed"), std::string::npos);
    Json report = Report();
    std::vector<std::string> found = Objects(report["results"]);
    ASSERT_GE(found.size(), 2u);
    EXPECT_LT(found.size(), 5u);
    EXPECT_EQ(found[0], evil);
    EXPECT_EQ(report["remaining"], report["results"]);
    EXPECT_EQ(report["log"].back(), "");
    EXPECT_TRUE(fp.files.Exists(evil));
    EXPECT_TRUE(fp.files.Exists(toolbar));
    EXPECT_FALSE(fp.files.Exists(std::string(kApp) + "\\Quarantine\\6-12-2026-9-5-7"));
    EXPECT_EQ(SplitTextLines(SettingsFile("ScanInfo.stg"), true)[1], "0");

    interrupt = false;
    EXPECT_EQ(Run({"scan", "--quarantine"}), kExitError);
    EXPECT_NE(err.text().find("the scan was interrupted: the report covers what it found until then"),
              std::string::npos);
    EXPECT_FALSE(fp.files.Exists(std::string(kApp) + "\\Quarantine\\6-12-2026-9-5-7"));

    // Ctrl+C before the scan has started: it does not start.
    registryPort = &fp.registry;
    interrupt = true;
    EXPECT_EQ(Run({"scan"}), kExitError);
    EXPECT_EQ(Lines(out.text())[0], "Objects scanned: 0");
}

// A database that gives no signatures would make every scan report a clean machine.
TEST_F(CliTest, ADatabaseThatIsEmptyOrDoesNotUnlockIsAnErrorNotACleanMachine) {
    const std::string database = std::string(kApp) + "\\DataBase.ref";
    for (const std::string& bytes :
         {std::string(), std::string("\r\n\r\n"), std::string("garbage\x01\xff|||\r\nmore")}) {
        fp.files.AddFile(database, bytes);
        for (const char* command : {"scan", "remove"}) {
            EXPECT_EQ(Run({command}), kExitError) << command;
            EXPECT_NE(err.text().find("DataBase.ref"), std::string::npos) << err.text();
            EXPECT_EQ(out.text(), "");
        }
    }
    EXPECT_TRUE(fp.files.Exists(evil));
}

// The registry as the fixture's, except that deleting the spyware's key leaves it there with
// its rights taken away: it can no longer be opened, and is not gone.
class KeyLockingRegistry : public InterruptingRegistry {
  public:
    KeyLockingRegistry(fakes::FakeRegistry& registry, std::atomic<bool>& interrupt)
        : InterruptingRegistry(registry, interrupt, "\x01"), fake_(registry) {}
    bool DeleteKey(RootKey root, const std::string& subkey) override {
        fake_.DenyAll(kKey);
        return InterruptingRegistry::DeleteKey(root, subkey);
    }
    Presence ProbeKey(RootKey root, const std::string& subkey) override { return fake_.ProbeKey(root, subkey); }
    Presence ProbeValue(RootKey root, const std::string& subkey, const std::string& name) override {
        return fake_.ProbeValue(root, subkey, name);
    }

  private:
    fakes::FakeRegistry& fake_;
};

TEST_F(CliTest, AnObjectThatCanNoLongerBeOpenedIsReportedAsRemainingNotAsGone) {
    KeyLockingRegistry registry(fp.registry, interrupt);
    registryPort = &registry;
    ASSERT_EQ(Run({"remove", "--json", kJson}), kExitFound) << err.text();
    // The key, and the irremovable file that is never removed.
    EXPECT_EQ(Objects(Report()["remaining"]), (std::vector<std::string>{kKey, setup}));
    EXPECT_TRUE(fp.registry.HasKey(kKey));
}

// Listing what is stored writes nothing: no settings file, folder or log is created and no
// registry backup is pruned (a keep count of 0 would otherwise delete it).
TEST_F(CliTest, ListingTheQuarantineOrTheIgnoreListChangesNothing) {
    WriteSettingsFile("Settings.stg", "0\r\n0\r\n0\r\n1\r\n0\r\n0\r\nabout:blank\r\nIE\r\n30\r\n0\r\n0");
    WriteSettingsFile("IgnoreList.stg", "path|C:\\x.exe|Spy\r\ncookie|c|Track|http://i/");
    const std::string package = std::string(kApp) + "\\Quarantine\\1-12-2026-9-0-0";
    fp.files.AddFile(package + "\\10000.qnf", "path|10000.qit|C:\\x.exe");
    fp.files.AddFile(package + "\\10000.qit", "MZ");
    fp.files.AddFile(std::string(kApp) + "\\Registry Backups\\1-12-2026-9-0-0.reg", "REGEDIT4");
    const std::vector<std::string> before = fp.files.Tree(kApp);

    EXPECT_EQ(Run({"quarantine", "list"}), kExitClean) << err.text();
    EXPECT_NE(out.text().find("1-12-2026-9-0-0\t"), std::string::npos) << out.text();
    EXPECT_EQ(Run({"quarantine", "show", "1-12-2026-9-0-0"}), kExitClean) << err.text();
    EXPECT_NE(out.text().find("C:\\x.exe"), std::string::npos) << out.text();
    EXPECT_EQ(Run({"ignore", "list"}), kExitClean) << err.text();
    EXPECT_EQ(Lines(out.text()).size(), 2u) << out.text();

    EXPECT_EQ(fp.files.Tree(kApp), before);
    EXPECT_FALSE(fp.files.Exists(std::string(kApp) + "\\DavEre.roz"));
    EXPECT_EQ(SettingsFile("IgnoreList.stg"), "path|C:\\x.exe|Spy\r\ncookie|c|Track|http://i/");
}

TEST_F(CliTest, SettingsListsEveryValueAndSetRoundTripsIntoTheFiles) {
    fp.registry.AddKey(kRunKeyPath);
    ASSERT_EQ(Run({"settings"}), kExitClean) << err.text();
    std::vector<std::string> lines = Lines(out.text());
    EXPECT_EQ(lines.size(), 21u);
    for (const char* line :
         {"start-minimized=0", "log-activities=1", "active-protection=0", "scan-interval=30", "homepage-protector=0",
          "home-page=http://hijacked.example/", "window-title=Microsoft Internet Explorer", "scan-mode=smart",
          "backups-to-keep=10", "custom-full-disk=0", "custom-cookies=1", "custom-contents=1",
          "start-with-windows=0"}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    }

    EXPECT_EQ(Run({"settings", "set", "backups-to-keep", "3"}), kExitClean) << err.text();
    EXPECT_EQ(out.text(), "backups-to-keep=3\n");
    EXPECT_EQ(Run({"settings", "set", "scan-mode", "custom"}), kExitClean);
    EXPECT_EQ(Run({"settings", "set", "custom-full-disk", "on"}), kExitClean);
    EXPECT_EQ(Run({"settings", "set", "window-title", "My Browser"}), kExitClean);
    EXPECT_EQ(Run({"settings", "set", "start-with-windows", "1"}), kExitClean);
    ASSERT_TRUE(fp.registry.Value(kRunKeyPath, kRunValueName));
    EXPECT_EQ(fp.registry.Value(kRunKeyPath, kRunValueName)->data, "\"C:\\Pellora\\Pellora.exe\"");
    EXPECT_EQ(SettingsFile("Settings.stg"),
              "0\r\n0\r\n0\r\n1\r\n0\r\n0\r\nhttp://hijacked.example/\r\nMy Browser\r\n30\r\n1\r\n3");
    EXPECT_EQ(SettingsFile("CustomScan.stg"), "1\r\n1\r\n1\r\n0\r\n0\r\n0\r\n1\r\n1");
    ASSERT_EQ(Run({"settings"}), kExitClean);
    EXPECT_NE(out.text().find("scan-mode=custom\n"), std::string::npos);
    EXPECT_NE(out.text().find("start-with-windows=1\n"), std::string::npos);

    // Refusals exit 2 with one line and change nothing.
    const std::string settingsBefore = SettingsFile("Settings.stg");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"settings", "set", "backups-to-keep", "100"},
             {"settings", "set", "backups-to-keep", "ten"},
             {"settings", "set", "scan-interval", "90001"},
             {"settings", "set", "scan-mode", "deep"},
             {"settings", "set", "start-minimized", "2"},
             {"settings", "set", "no-such-setting", "1"},
             {"settings", "set", "home-page", "a\nb"},
         }) {
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_EQ(Run(args), kExitError);
        EXPECT_EQ(err.text().rfind("pellora-cli: ", 0), 0u) << err.text();
        EXPECT_EQ(std::count(err.text().begin(), err.text().end(), '\n'), 1);
        EXPECT_EQ(SettingsFile("Settings.stg"), settingsBefore);
    }
}

TEST_F(CliTest, FoldersAddRemoveAndListKeepOneSortedCopyOfEachExistingFolder) {
    fp.files.AddFolder("C:\\Data");
    EXPECT_EQ(Run({"folders", "add", "C:\\Program Files\\"}), kExitClean) << err.text();
    EXPECT_EQ(Run({"folders", "add", "C:\\Data"}), kExitClean);
    EXPECT_EQ(Run({"folders", "add", "c:\\data"}), kExitClean);
    EXPECT_EQ(out.text(), "C:\\Data\nC:\\Program Files\n");
    EXPECT_EQ(SettingsFile("SelectedFolders.stg"), "C:\\Data\r\nC:\\Program Files");
    EXPECT_EQ(Run({"folders", "add", "C:\\Missing"}), kExitError);
    EXPECT_EQ(Run({"folders", "remove", "C:\\Elsewhere"}), kExitError);
    EXPECT_EQ(Run({"folders", "remove", "c:\\program files"}), kExitClean);
    EXPECT_EQ(Run({"folders", "list"}), kExitClean);
    EXPECT_EQ(out.text(), "C:\\Data\n");
    // Letter case does not matter beyond ASCII either.
    fp.files.AddFolder("C:\\\xC3\x89mile");
    EXPECT_EQ(Run({"folders", "add", "C:\\\xC3\x89mile"}), kExitClean) << err.text();
    EXPECT_EQ(Run({"folders", "add", "C:\\\xC3\xA9MILE"}), kExitClean) << err.text();
    EXPECT_EQ(out.text(), "C:\\Data\nC:\\\xC3\x89mile\n");
    EXPECT_EQ(Run({"folders", "remove", "c:\\\xC3\xA9MILE"}), kExitClean) << err.text();
    EXPECT_EQ(out.text(), "C:\\Data\n");
}

TEST_F(CliTest, ScanFolderScansOnlyThoseFoldersAndKeepsTheSavedList) {
    fp.files.AddFile("C:\\Elsewhere\\Toolbar\\x.dll", "MZ");
    WriteSettingsFile("SelectedFolders.stg", "C:\\Elsewhere");
    WriteDatabase({"file|Setup.tmp|Adware.Evil|", "file|evil.exe|Adware.Evil|", "file|x.dll|Adware.Evil|"});
    EXPECT_EQ(Run({"scan", "--folder", kBad, "--json", kJson}), kExitFound) << err.text();
    std::vector<std::string> found = Objects(Report()["results"]);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<std::string>{setup, evil}));
    EXPECT_EQ(SettingsFile("SelectedFolders.stg"), "C:\\Elsewhere");
    EXPECT_EQ(Run({"scan", "--mode", "folders", "--folder", "C:\\Elsewhere", "--folder", toolbar}), kExitFound);
    EXPECT_NE(out.text().find("x.dll"), std::string::npos);
    EXPECT_EQ(Run({"scan", "--folder", "C:\\Missing"}), kExitError);
    EXPECT_EQ(Run({"scan", "--mode", "smart", "--folder", kBad}), kExitError);
    // The folders mode with no folder chosen would look at nothing: refused, with the way out.
    WriteSettingsFile("SelectedFolders.stg", "");
    EXPECT_EQ(Run({"scan", "--mode", "folders"}), kExitError);
    EXPECT_NE(err.text().find("folders add"), std::string::npos) << err.text();
    EXPECT_EQ(Run({"remove", "--mode", "folders"}), kExitError);
}

TEST(CliOptions, CommandsOptionsHelpAndRefusals) {
    ParseResult help = ParseCommandLine({"remove", "--help"});
    EXPECT_FALSE(help.options);
    EXPECT_EQ(help.exitCode, kExitClean);
    EXPECT_NE(help.out.find("--reset-homepage"), std::string::npos);
    // Every kind is stored first, not only files.
    EXPECT_NE(help.out.find("Quarantine every result"), std::string::npos) << help.out;
    EXPECT_EQ(help.out.find("cookie, path and file results"), std::string::npos);
    const std::string scanHelp = ParseCommandLine({"scan", "--help"}).out;
    EXPECT_NE(scanHelp.find("schema"), std::string::npos);
    EXPECT_NE(scanHelp.find("machine"), std::string::npos);
    EXPECT_EQ(ParseCommandLine({"quarantine", "restore", "--help"}).exitCode, kExitClean);
    // No command at all: the way to the help.
    EXPECT_NE(ParseCommandLine({}).err.find("pellora-cli --help"), std::string::npos);

    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"frob"},
             {"scan", "--bogus"},
             {"scan", "--mode", "deep"},
             {"scan", "--json"},
             {"scan", "--json", ""},
             {"scan", "extra"},
             {"scan", "--reset-homepage"},
             {"quarantine"},
             {"quarantine", "restore"},
             {"quarantine", "show", "a", "b"},
             {"ignore", "add"},
             {"settings", "set", "scan-mode"},
             {"settings", "get"},
             {"folders"},
             {"folders", "add"},
             {"scan", "--folder"},
             {"scan\n--mode"},  // an argument's line break stays out of the one-line refusal
             {"scan", "--mode", "a\r\nb"},
             {"update", "--file"},
             {"update", "--file", ""},
             {"update", "--file", "a.ref", "--url", "http://x/a.ref"},
             {"update", "--file", "a.ref", "--rollback"},
         }) {
        ParseResult refused = ParseCommandLine(args);
        SCOPED_TRACE(testing::PrintToString(args));
        EXPECT_FALSE(refused.options);
        EXPECT_EQ(refused.exitCode, kExitError);
        EXPECT_EQ(refused.err.rfind("pellora-cli: ", 0), 0u) << refused.err;
        EXPECT_EQ(refused.err.find('\n'), std::string::npos) << refused.err;
    }

    ParseResult remove = ParseCommandLine({"remove", "--mode", "folders", "--quarantine", "--json", "r.json"});
    ASSERT_TRUE(remove.options);
    EXPECT_EQ(remove.options->command, Command::Remove);
    EXPECT_EQ(remove.options->scanModeLine, "2");
    EXPECT_TRUE(remove.options->quarantine);
    EXPECT_FALSE(remove.options->resetHomePage);
    EXPECT_EQ(remove.options->jsonPath, "r.json");

    ParseResult restore = ParseCommandLine({"quarantine", "restore", "a", "b"});
    ASSERT_TRUE(restore.options);
    EXPECT_EQ(restore.options->command, Command::QuarantineRestore);
    EXPECT_EQ(restore.options->packages, (std::vector<std::string>{"a", "b"}));
    EXPECT_FALSE(ParseCommandLine({"scan"}).options->scanModeLine);

    ParseResult folders = ParseCommandLine({"scan", "--folder", "C:\\a", "--folder", "D:\\b"});
    ASSERT_TRUE(folders.options);
    EXPECT_EQ(folders.options->folders, (std::vector<std::string>{"C:\\a", "D:\\b"}));
    EXPECT_EQ(folders.options->scanModeLine, "2");
    ParseResult set = ParseCommandLine({"settings", "set", "home-page", "about:blank"});
    ASSERT_TRUE(set.options);
    EXPECT_EQ(set.options->command, Command::SettingsSet);
    EXPECT_EQ(set.options->settingValue, "about:blank");
    EXPECT_EQ(ParseCommandLine({"settings"}).options->command, Command::Settings);
    ParseResult fromFile = ParseCommandLine({"update", "--file", "\\\\depot\\db\\DataBase.ref"});
    ASSERT_TRUE(fromFile.options);
    EXPECT_EQ(fromFile.options->command, Command::Update);
    EXPECT_EQ(fromFile.options->updateFile, "\\\\depot\\db\\DataBase.ref");
    EXPECT_NE(ParseCommandLine({"settings", "--help"}).out.find("backups-to-keep"), std::string::npos);
}

TEST(ConsoleUiTest, MessagesGoToStandardErrorAsOneLineWithTheAnswerOfTheOptions) {
    StringOutput err;
    fakes::FakeClock clock;
    ConsoleUi ui(err, clock, false);
    ui.AnswerTitle("Reset homepage?", {MsgAnswer::Yes, false});
    EXPECT_EQ(ui.Message("Incorrect Format:\n\nHKEY_X\\", kAppTitle, MsgButtons::Ok, MsgIcon::None), MsgAnswer::Ok);
    EXPECT_EQ(ui.Message("Reset?", "Reset homepage?", MsgButtons::YesNo, MsgIcon::Question), MsgAnswer::Yes);
    EXPECT_EQ(ui.Message("Are you sure?\r\nReally?", "Delete?", MsgButtons::YesNo, MsgIcon::Question), MsgAnswer::No);
    EXPECT_EQ(err.text(),
              "Pellora: Incorrect Format: HKEY_X\\\n"
              "Reset homepage?: Reset? [Yes]\n"
              "Delete?: Are you sure? Really? [No]\n");
}

TEST(ConsoleUiTest, ProgressIsDrawnOnlyWhenAskedAtMostEveryQuarterSecondAndCleared) {
    StringOutput err;
    fakes::FakeClock clock;  // one millisecond per reading
    int drawn = 0;
    ConsoleUi quiet(err, clock, false);
    quiet.progressText = [&drawn] { return std::to_string(++drawn); };
    for (int i = 0; i < 100000; ++i)
        quiet.Yield();
    EXPECT_EQ(drawn, 0);
    EXPECT_EQ(err.text(), "");

    ConsoleUi ui(err, clock, true);
    ui.progressText = [&drawn] { return drawn++ == 0 ? std::string(200, 'a') : std::string("short"); };
    for (int i = 0; i < 64 * 251; ++i)
        ui.Yield();
    // Drawn at the first reading and again 250 readings later; the long text cut to one line.
    EXPECT_EQ(drawn, 2);
    EXPECT_EQ(err.text(),
              "\r" + std::string(kProgressColumns, 'a') + "\rshort" + std::string(kProgressColumns - 5, ' '));
    err.Clear();
    ui.ClearProgress();
    EXPECT_EQ(err.text(), "\r" + std::string(5, ' ') + "\r");
}

}  // namespace
}  // namespace pellora::cli
