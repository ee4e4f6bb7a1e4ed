// Nothing lost, on the real platform: the console program's own commands over Wine's registry,
// file system, Task Scheduler and service manager. A found program started by a Run value, a
// task, a service, a Startup shortcut and Winlogon Userinit, plus a listed task, a listed
// service, a hosts line and a shortcut that is not a browser's holding a listed text; then
// "remove --mode smart --quarantine" and "quarantine restore <package>": every object is back
// (the tasks registered, the services with their image path, Userinit as it was, the hosts file
// and both shortcuts byte for byte).
//
// Wine 8's Task Scheduler keeps no action (it writes "<Exec/>"), so the task that starts the
// program is planted as Windows keeps it, as its definition file below System32\Tasks, as the
// persistence tests do.
// file_system_win.h first: it takes back <windows.h>'s macros that would rename port methods.
#include "win32/file_system_win.h"

#include <gtest/gtest.h>

#include "cli/cli_options.h"
#include "cli/cli_runner.h"
#include "cli/console_ui.h"
#include "core/autostart/hosts_file.h"
#include "core/database/db_tool.h"
#include "core/util/text.h"
#include "win32/clock_win.h"
#include "win32/processes_win.h"
#include "win32/registry_win.h"
#include "win32/service_manager_win.h"
#include "win32/shell_win.h"
#include "win32/system_win.h"
#include "win32/task_scheduler_win.h"

// After the ports: windows.h defines Yield() as an empty macro.
#include "../external/external_test_support.h"
#include "../persistence/persistence_win_support.h"

namespace pellora::cli {
namespace {

using pellora::testing::ScratchFolder;

constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kRunValue = "PelloraNothingLost";
constexpr const char* kWinlogonKey = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr const char* kStarterTask = "\\Pellora Nothing Lost\\Starter";
constexpr const char* kListedTask = "\\Pellora Nothing Lost\\Listed";
constexpr const char* kStarterService = "PelloraNothingLostStarter";
constexpr const char* kListedService = "PelloraNothingLostListed";
constexpr const char* kHostName = "pellora-nothing-lost.example";
constexpr const char* kLinkText = "pellora-nothing-lost-deals.example";

class StringOutput : public TextOutput {
  public:
    void Write(std::string_view text) override { text_ += text; }
    std::string text_;
};

// The real machine, with the scratch folder as the application folder.
class ScratchSystem : public win32::SystemWin {
  public:
    std::string ApplicationFolder() override { return folder; }
    std::string ExecutablePath() override { return folder + "\\pellora-cli.exe"; }
    std::string folder;
};

std::string TaskXml(const std::string& program) {
    return R"(<?xml version="1.0"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo><Description>Pellora nothing lost</Description></RegistrationInfo>
  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>
  <Settings><Enabled>true</Enabled></Settings>
  <Actions Context="Author"><Exec><Command>")" +
           program + R"("</Command></Exec></Actions>
</Task>
)";
}

class NothingLostWinTest : public ::testing::Test {
  protected:
    void SetUp() override {
        system.folder = scratch / "app";
        CreateDirectoryW(win32::Widen(system.folder).c_str(), nullptr);
        CreateDirectoryW(win32::Widen(system.folder + "\\Settings").c_str(), nullptr);
        // Home-page protector on (no question), no registry backup, smart scan.
        ASSERT_TRUE(files.WriteFileAtomic(system.folder + "\\Settings\\Settings.stg",
                                          "0\r\n0\r\n1\r\n0\r\n0\r\n0\r\nabout:blank\r\nIE\r\n30\r\n0\r\n10"));
        hostsPath = HostsFilePath(registry, system);
        savedHosts = files.ReadFile(hostsPath);
        savedUserinit = registry.QueryValue(RootKey::LocalMachine, kWinlogonKey, "Userinit");
        // A run stopped half way may have left its program in the list: the prefix's own value.
        if (savedUserinit && savedUserinit->data.find("nothing-lost") != std::string::npos)
            savedUserinit = RegValue{kRegSz, system.SystemDirectory() + "\\userinit.exe,"};
        CleanUp();
    }
    void TearDown() override {
        CleanUp();
        if (savedHosts)
            (void)files.WriteFileAtomic(hostsPath, *savedHosts);
        if (savedUserinit)
            (void)registry.SetValue(RootKey::LocalMachine, kWinlogonKey, "Userinit", *savedUserinit);
    }
    void CleanUp() {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, win32::Widen(kRunKey).c_str(), win32::Widen(kRunValue).c_str());
        for (const char* task : {kStarterTask, kListedTask})
            (void)tasks.DeleteTask(task);
        for (const char* service : {kStarterService, kListedService})
            (void)services.DeleteService(service);
        for (const std::string& link : {StartupLink(), DesktopLink()})
            DeleteFileW(win32::Widen(link).c_str());
    }
    static std::string StartupLink() { return testing::ShellFolderPath(CSIDL_STARTUP) + "\\Pellora Nothing Lost.lnk"; }
    static std::string DesktopLink() {
        return testing::ShellFolderPath(CSIDL_PROGRAMS) + "\\Pellora Nothing Lost Deals.lnk";
    }

    void WriteDatabase(const std::vector<std::string>& items) {
        std::string plain = "Test Database 1";
        for (const std::string& item : items)
            plain += "\r\n" + item;
        CodePage codePage{[this](std::string_view s) { return system.AnsiToUtf8(s); },
                          [this](std::string_view s) { return system.Utf8ToAnsi(s); }};
        std::string locked, error;
        ASSERT_TRUE(LockDatabaseText(plain, codePage, locked, error)) << error;
        ASSERT_TRUE(files.WriteFileAtomic(system.folder + "\\DataBase.ref", locked));
    }

    // One start of the console program with these arguments.
    int Run(const std::vector<std::string>& args) {
        out.text_.clear();
        err.text_.clear();
        ParseResult parsed = ParseCommandLine(args);
        if (!parsed.options)
            return parsed.exitCode;
        ConsoleUi ui(err, clock, false);
        Ports ports{registry, files,   processes, shell,   clock,  system,   ui,
                    nullptr,  nullptr, nullptr,   nullptr, &tasks, &services};
        CliRunner runner(ports, ui, out, err);
        return runner.Run(*parsed.options);
    }

    std::string Read(const std::string& path) { return files.ReadFile(path).value_or("(none)"); }
    std::string Text(RootKey root, const std::string& key, const std::string& name) {
        std::optional<RegValue> value = registry.QueryValue(root, key, name);
        return value ? value->data : "(none)";
    }

    ScratchFolder scratch{"nothing-lost"};
    win32::RegistryWin registry;
    win32::FileSystemWin files;
    win32::ProcessesWin processes;
    win32::ShellWin shell;
    win32::ClockWin clock;
    ScratchSystem system;
    win32::TaskSchedulerWin tasks;
    win32::ServiceManagerWin services;
    StringOutput out;
    StringOutput err;
    std::string hostsPath;
    std::optional<std::string> savedHosts;
    std::optional<RegValue> savedUserinit;
};

TEST_F(NothingLostWinTest, RemoveWithQuarantineThenRestoreBringsEveryObjectBack) {
    const std::string plant = scratch / "plant";
    CreateDirectoryW(win32::Widen(plant).c_str(), nullptr);
    const std::string program = plant + "\\spy agent.exe";
    const std::string other = plant + "\\listed service.exe";
    ASSERT_TRUE(files.WriteFileAtomic(program, "MZ spy agent"));
    ASSERT_TRUE(files.WriteFileAtomic(other, "MZ listed"));
    ASSERT_TRUE(
        registry.SetValue(RootKey::CurrentUser, kRunKey, kRunValue, RegValue{kRegSz, "\"" + program + "\" /tray"}));
    const std::string taskFile = system.SystemDirectory() + "\\Tasks" + kStarterTask;
    CreateDirectoryW(win32::Widen(taskFile.substr(0, taskFile.rfind('\\'))).c_str(), nullptr);
    ASSERT_TRUE(files.WriteFileAtomic(taskFile, TaskXml(program)));
    ASSERT_TRUE(tasks.RegisterTask(kListedTask, TaskXml(system.SystemDirectory() + "\\notepad.exe")));
    ServiceConfig starter;
    starter.name = kStarterService;
    starter.displayName = "Pellora Nothing Lost";
    starter.imagePath = "\"" + program + "\" service";
    ASSERT_TRUE(services.AddService(starter));
    ServiceConfig listed;
    listed.name = kListedService;
    listed.imagePath = "\"" + other + "\"";
    ASSERT_TRUE(services.AddService(listed));
    const std::optional<ServiceConfig> starterBefore = services.Configuration(kStarterService);
    const std::optional<ServiceConfig> listedBefore = services.Configuration(kListedService);
    ASSERT_TRUE(starterBefore && listedBefore);
    const std::string userinit = savedUserinit ? savedUserinit->data : system.SystemDirectory() + "\\userinit.exe,";
    const std::string planted = userinit + (EndsWith(userinit, ",") ? "" : ",") + program + ",";
    ASSERT_TRUE(registry.SetValue(RootKey::LocalMachine, kWinlogonKey, "Userinit", RegValue{kRegSz, planted}));
    const std::string hosts = savedHosts.value_or("") + "\r\n0.0.0.0 " + kHostName + " # planted\r\n";
    ASSERT_TRUE(files.WriteFileAtomic(hostsPath, hosts));
    ASSERT_TRUE(testing::SaveShellLink(StartupLink(), program, "--tray"));
    ASSERT_TRUE(testing::SaveShellLink(DesktopLink(), system.SystemDirectory() + "\\notepad.exe",
                                       std::string("http://") + kLinkText + "/"));
    const std::string startupBytes = Read(StartupLink());
    const std::string desktopBytes = Read(DesktopLink());
    const std::string runBefore = Text(RootKey::CurrentUser, kRunKey, kRunValue);

    WriteDatabase({"path|" + program + "|Adware.Spy|", std::string("task|") + kListedTask + "|Adware.Spy|",
                   std::string("service|") + kListedService + "|Adware.Spy|",
                   std::string("hosts|") + kHostName + "|Hijack.Hosts|",
                   std::string("shortcut|") + kLinkText + "|Adware.Links|"});

    const std::string report = scratch / "remove.json";
    EXPECT_EQ(Run({"remove", "--mode", "smart", "--quarantine", "--json", report}), kExitClean)
        << err.text_ << Read(report);
    SCOPED_TRACE(out.text_);
    EXPECT_FALSE(files.ReadFile(program));
    EXPECT_EQ(Text(RootKey::CurrentUser, kRunKey, kRunValue), "(none)");
    EXPECT_EQ(tasks.ProbeTask(kStarterTask), Presence::Absent);
    EXPECT_EQ(tasks.ProbeTask(kListedTask), Presence::Absent);
    EXPECT_EQ(services.ProbeService(kStarterService), Presence::Absent);
    EXPECT_EQ(services.ProbeService(kListedService), Presence::Absent);
    EXPECT_EQ(Text(RootKey::LocalMachine, kWinlogonKey, "Userinit").find(program), std::string::npos);
    EXPECT_EQ(Read(hostsPath).find(kHostName), std::string::npos);
    EXPECT_FALSE(files.ReadFile(StartupLink()));
    EXPECT_FALSE(files.ReadFile(DesktopLink()));

    ASSERT_EQ(Run({"quarantine", "list"}), kExitClean);
    const std::string package = out.text_.substr(0, out.text_.find('\t'));
    ASSERT_FALSE(package.empty());
    EXPECT_EQ(Run({"quarantine", "restore", package}), kExitClean) << out.text_ << err.text_;
    EXPECT_EQ(out.text_, "Package " + package + " restored.\n") << err.text_;

    EXPECT_EQ(Read(program), "MZ spy agent");
    EXPECT_EQ(Text(RootKey::CurrentUser, kRunKey, kRunValue), runBefore);
    EXPECT_EQ(tasks.ProbeTask(kStarterTask), Presence::Present);
    EXPECT_EQ(tasks.ProbeTask(kListedTask), Presence::Present);
    EXPECT_EQ(services.Configuration(kStarterService), starterBefore);
    EXPECT_EQ(services.Configuration(kListedService), listedBefore);
    EXPECT_EQ(Text(RootKey::LocalMachine, kWinlogonKey, "Userinit"), planted);
    EXPECT_EQ(Read(hostsPath), hosts);
    EXPECT_EQ(Read(StartupLink()), startupBytes);
    EXPECT_EQ(Read(DesktopLink()), desktopBytes);
    ASSERT_EQ(Run({"quarantine", "list"}), kExitClean);
    EXPECT_EQ(out.text_, "");
}

}  // namespace
}  // namespace pellora::cli
