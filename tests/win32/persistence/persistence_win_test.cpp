// Where spyware starts, on the real platform: a planted program started by a Run value, a
// scheduled task, a running service and a Startup shortcut is found with all four; an unattended
// removal stops the service first (so the program goes at once), takes all five to the
// quarantine and away (the task's whole definition and the service's configuration stored), and
// restore brings all five back. A task below \Microsoft\, a service of Windows and a service
// whose program is part of Windows, named by a hostile database, stay. A program held open is deleted at the
// restart (wineboot --restart) and counted by the check the next start makes. The hosts file's
// lines for a name go and come back, every other byte kept.
//
// Wine 8's Task Scheduler keeps no action: it writes every task it registers with "<Exec/>"
// and reads none back. The task is therefore planted as Windows keeps it, as its definition file
// below System32\Tasks, which is what the scan falls back to; the restored task is the
// scheduler's registration of the stored definition, whose actions Wine drops again.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/app/app.h"
#include "core/autostart/hosts_file.h"
#include "core/autostart/scheduled_task.h"
#include "core/autostart/task_definition.h"
#include "core/removal/restart_deletes.h"
#include "core/settings/settings_files.h"
#include "core/util/text.h"
#include "fakes/fake_platform.h"
#include "win32/clock_win.h"
#include "win32/file_system_win.h"
#include "win32/processes_win.h"
#include "win32/registry_win.h"
#include "win32/service_manager_win.h"
#include "win32/shell_win.h"
#include "win32/system_win.h"
#include "win32/task_scheduler_win.h"

// After the ports: windows.h defines Yield() as an empty macro.
#include "../external/external_test_support.h"
#include "persistence_win_support.h"

namespace pellora {
namespace {

using pellora::testing::FileExists;
using pellora::testing::HelperPath;
using pellora::testing::ScratchFolder;

constexpr const char* kRunKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kRunValue = "PelloraPersistenceTest";
constexpr const char* kTask = "\\Pellora Persistence Test\\Updater";
constexpr const char* kWindowsTask = "\\Microsoft\\Pellora Persistence Test\\Guarded";
constexpr const char* kService = "PelloraPersistenceSpy";
constexpr const char* kHostedService = "PelloraPersistenceHosted";
constexpr DWORD kServiceDeadlineMs = 120000;

std::string TaskXml(const std::string& program) {
    return R"(<?xml version="1.0"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo><Description>Pellora persistence test</Description></RegistrationInfo>
  <Triggers><LogonTrigger><Enabled>true</Enabled></LogonTrigger></Triggers>
  <Settings><Enabled>true</Enabled></Settings>
  <Actions Context="Author"><Exec><Command>")" +
           program + R"("</Command><Arguments>/tray</Arguments></Exec></Actions>
</Task>
)";
}

void PlantFile(const std::string& path, const std::string& bytes = "MZ spy") {
    HANDLE file = CreateFileW(win32::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// The event the planted service sets once it reports running.
constexpr const char* kServiceRunningEvent = "PelloraPersistenceSpyRunning";

// Starts the service and waits for it to say it runs; a deadline passed is a failure with the
// reason.
::testing::AssertionResult StartAndWaitRunning(const std::string& name) {
    HANDLE running = CreateEventA(nullptr, FALSE, FALSE, kServiceRunningEvent);
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceW(manager, win32::Widen(name).c_str(), SERVICE_START) : nullptr;
    const bool started = service && StartServiceW(service, 0, nullptr);
    const DWORD error = started ? ERROR_SUCCESS : GetLastError();
    const DWORD waited = started && running ? WaitForSingleObject(running, kServiceDeadlineMs) : WAIT_FAILED;
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    if (running)
        CloseHandle(running);
    if (!started)
        return ::testing::AssertionFailure() << name << " did not start (error " << error << ")";
    if (waited != WAIT_OBJECT_0)
        return ::testing::AssertionFailure()
               << name << " did not say it runs within " << kServiceDeadlineMs / 1000 << " s";
    return ::testing::AssertionSuccess();
}

class PersistenceWinTest : public ::testing::Test {
  protected:
    void SetUp() override {
        // Processes, registry and automatic erase.
        testing::PrepareCustomScan(app.state(), appFolder, system.WindowsDirectory(), system.SystemDirectory(),
                                   scratch / "cookies", {"0", "1", "1", "0", "1", "0", "0"});
        CleanUp();
    }
    void TearDown() override { CleanUp(); }
    void CleanUp() {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, win32::Widen(kRunKey).c_str(), win32::Widen(kRunValue).c_str());
        (void)tasks.DeleteTask(kTask);
        (void)tasks.DeleteTask(kWindowsTask);
        for (const char* name : {kService, kHostedService}) {
            (void)services.StopService(name, kServiceDeadlineMs);
            (void)services.DeleteService(name);
        }
        DeleteFileW(win32::Widen(testing::ShellFolderPath(CSIDL_STARTUP) + "\\Pellora Persistence Spy.lnk").c_str());
    }

    std::vector<std::string> Rows() {
        std::vector<std::string> rows;
        for (const ResultRow& row : app.state().lstScanResult)
            rows.push_back(row.type + " " + row.object);
        return rows;
    }
    std::string ReadAllFile(const std::string& path) { return files.ReadFile(path).value_or("(none)"); }
    std::string Log() { return ReadAllFile(appFolder + "\\DavEre.roz"); }
    // The program and arguments of the task's first action, as its definition gives them.
    std::string FirstAction(const std::string& path) {
        ScheduledTasks scheduled(tasks, files, system.SystemDirectory());
        std::optional<std::string> definition = scheduled.Definition(path);
        if (!definition)
            return "(no definition)";
        autostart::TaskReadResult read = autostart::ReadTaskDefinition(*definition);
        if (!read.definition || read.definition->actions.empty())
            return "(no action)";
        return read.definition->actions[0].command + " " + read.definition->actions[0].arguments;
    }

    ScratchFolder scratch{"persistence"};
    std::string appFolder = scratch / "app";
    win32::RegistryWin registry;
    win32::FileSystemWin files;
    win32::ProcessesWin processes;
    win32::ShellWin shell;
    win32::ClockWin clock;
    win32::SystemWin system;
    win32::TaskSchedulerWin tasks;
    win32::ServiceManagerWin services;
    fakes::FakeUi ui;
    Ports ports{registry, files,   processes, shell,   clock,  system,   ui,
                nullptr,  nullptr, nullptr,   nullptr, &tasks, &services};
    App app{ports};
};

TEST_F(PersistenceWinTest, WhatStartsAFoundFileGoesWithItAndComesBackWithIt) {
    CreateDirectoryW(win32::Widen(scratch / "plant").c_str(), nullptr);
    // A real program, so that the service manager can run it.
    const std::string program = scratch / "plant\\spy agent.exe";
    ASSERT_TRUE(CopyFileW(win32::Widen(HelperPath()).c_str(), win32::Widen(program).c_str(), FALSE));
    const std::string programBytes = ReadAllFile(program);
    ASSERT_TRUE(
        registry.SetValue(RootKey::CurrentUser, kRunKey, kRunValue, RegValue{kRegSz, "\"" + program + "\" /tray"}));
    const std::string taskFile = system.SystemDirectory() + "\\Tasks" + kTask;
    CreateDirectoryW(win32::Widen(taskFile.substr(0, taskFile.rfind('\\'))).c_str(), nullptr);
    PlantFile(taskFile, TaskXml(program));
    ASSERT_TRUE(tasks.RegisterTask(kWindowsTask, TaskXml(system.SystemDirectory() + "\\notepad.exe")));
    ASSERT_EQ(tasks.ProbeTask(kTask), Presence::Present);
    const std::string before = FirstAction(kTask);
    ASSERT_NE(before.find("spy agent.exe"), std::string::npos) << before;
    ServiceConfig spy;
    spy.name = kService;
    spy.displayName = "Pellora Persistence Spy";
    spy.description = "Planted by a test";
    spy.imagePath = "\"" + program + "\" service " + kService + " " + kServiceRunningEvent;
    ASSERT_TRUE(services.AddService(spy));
    ASSERT_TRUE(
        registry.CreateKey(RootKey::LocalMachine, std::string(kServicesKey) + "\\" + kService + "\\Parameters"));
    ASSERT_TRUE(registry.SetValue(RootKey::LocalMachine, std::string(kServicesKey) + "\\" + kService + "\\Parameters",
                                  "Mode", RegValue{kRegSz, "stealth"}));
    const std::optional<ServiceConfig> planted = services.Configuration(kService);
    ASSERT_TRUE(planted);
    ASSERT_TRUE(StartAndWaitRunning(kService));
    ServiceConfig hosted;
    hosted.name = kHostedService;
    hosted.imagePath = system.SystemDirectory() + "\\svchost.exe -k pellora";
    ASSERT_TRUE(services.AddService(hosted));
    const std::string link = testing::ShellFolderPath(CSIDL_STARTUP) + "\\Pellora Persistence Spy.lnk";
    ASSERT_TRUE(testing::SaveShellLink(link, program, "--tray"));
    const std::string linkBytes = ReadAllFile(link);

    app.state().lstDBaseFile = {"1.0", "path|" + program + "|Adware.Spy|",
                                std::string("task|") + kWindowsTask + "|Hostile|", "service|RpcSs|Hostile|",
                                std::string("service|") + kHostedService + "|Hostile|"};
    app.scanner().StartScan();
    const std::string runObject = std::string("HKEY_CURRENT_USER\\") + kRunKey + "," + kRunValue;
    EXPECT_EQ(Rows(),
              (std::vector<std::string>{"path " + program, std::string("task ") + kWindowsTask, "service RpcSs",
                                        std::string("service ") + kHostedService, "RegVal " + runObject, "Path " + link,
                                        std::string("task ") + kTask, std::string("service ") + kService}));

    app.state().automaticScan = true;
    app.removalRun().cmdNextDelete_Click();
    SCOPED_TRACE(Log());
    // The service was stopped before the file's turn: the file went at once.
    EXPECT_FALSE(FileExists(program));
    EXPECT_FALSE(registry.QueryValue(RootKey::CurrentUser, kRunKey, kRunValue));
    EXPECT_FALSE(FileExists(link));
    EXPECT_EQ(tasks.ProbeTask(kTask), Presence::Absent);
    EXPECT_FALSE(FileExists(system.SystemDirectory() + "\\Tasks" + kTask));
    EXPECT_EQ(services.ProbeService(kService), Presence::Absent);
    EXPECT_EQ(tasks.ProbeTask(kWindowsTask), Presence::Present);
    EXPECT_EQ(services.ProbeService("RpcSs"), Presence::Present);
    EXPECT_EQ(services.ProbeService(kHostedService), Presence::Present);
    EXPECT_NE(Log().find(std::string("Protected object skipped=") + kWindowsTask + " (a task of Windows)"),
              std::string::npos);
    EXPECT_NE(Log().find("Protected object skipped=RpcSs (a service of Windows)"), std::string::npos);
    EXPECT_NE(
        Log().find(std::string("Protected object skipped=") + kHostedService + " (its program is part of Windows)"),
        std::string::npos);
    EXPECT_NE(Log().find(std::string("Task deleted=") + kTask), std::string::npos);
    EXPECT_NE(Log().find(std::string("Service deleted=") + kService), std::string::npos);

    // The stored definition is the whole one, its action too.
    bool stored = false;
    std::vector<FindEntry> payloads;
    const std::string package = appFolder + "\\Quarantine\\" + app.state().scanStamp;
    ASSERT_TRUE(files.FindEntries(package + "\\*.qit", payloads));
    for (const FindEntry& entry : payloads)
        stored = stored || ReadAllFile(package + "\\" + entry.name) == TaskXml(program);
    EXPECT_TRUE(stored);

    app.quarantine().LoadToQuarantineList();
    ASSERT_EQ(app.state().lstQuarantinedList.size(), 1u);
    app.state().lstQuarantinedList[0].checked = true;
    app.quarantine().cmdRestoreQuarantined();
    EXPECT_EQ(ReadAllFile(program), programBytes);
    auto value = registry.QueryValue(RootKey::CurrentUser, kRunKey, kRunValue);
    ASSERT_TRUE(value);
    EXPECT_EQ(value->data, "\"" + program + "\" /tray");
    EXPECT_EQ(ReadAllFile(link), linkBytes);
    EXPECT_EQ(tasks.ProbeTask(kTask), Presence::Present);
    EXPECT_NE(tasks.TaskDefinition(kTask).value_or("").find("Pellora persistence test"), std::string::npos);
    EXPECT_EQ(services.Configuration(kService), planted);
    auto mode = registry.QueryValue(RootKey::LocalMachine, std::string(kServicesKey) + "\\" + kService + "\\Parameters",
                                    "Mode");
    EXPECT_EQ(mode ? mode->data : "(none)", "stealth");
    EXPECT_TRUE(StartAndWaitRunning(kService));
    EXPECT_TRUE(app.state().lstQuarantinedList.empty());
}

TEST_F(PersistenceWinTest, AFileHeldOpenIsDeletedAtRestartAndCountedByTheNextStart) {
    CreateDirectoryW(win32::Widen(scratch / "plant").c_str(), nullptr);
    const std::string program = scratch / "plant\\held spy.exe";
    PlantFile(program);
    // Open without delete sharing, as a running program's image is.
    HANDLE held = CreateFileW(win32::Widen(program).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    app.state().lstDBaseFile = {"1.0", "path|" + program + "|Adware.Spy|"};
    app.scanner().StartScan();
    ASSERT_EQ(app.state().lstScanResult.size(), 1u);
    app.state().automaticScan = true;
    app.removalRun().cmdNextDelete_Click();
    CloseHandle(held);
    SCOPED_TRACE(Log());
    EXPECT_NE(Log().find("File removed at restart=" + program), std::string::npos);
    ASSERT_TRUE(FileExists(program));
    const std::string before = Line(app.state().lstScanInfoFile, 2);

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    std::wstring command = L"wineboot.exe --restart";
    ASSERT_TRUE(CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info));
    CloseHandle(info.hThread);
    const DWORD waited = WaitForSingleObject(info.hProcess, 300000);
    CloseHandle(info.hProcess);
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "wineboot --restart did not end within five minutes";
    EXPECT_FALSE(FileExists(program));

    EXPECT_EQ(ConfirmPendingDeletes(app.state(), files), (std::vector<std::string>{"Removed at restart=" + program}));
    EXPECT_EQ(LeadingInteger(Line(app.state().lstScanInfoFile, 2)), LeadingInteger(before) + 1);
}

TEST_F(PersistenceWinTest, HostsLinesOfANameGoAndComeBackWithEveryOtherByteKept) {
    const std::string hosts = HostsFilePath(registry, system);
    const std::optional<std::string> saved = files.ReadFile(hosts);
    const std::string original = saved.value_or("") + "\r\n0.0.0.0 pellora-spy.example # planted\r\n" +
                                 "10.0.0.1 pellora-good.example\r\n0.0.0.0\tPELLORA-SPY.example";
    ASSERT_TRUE(files.WriteFileAtomic(hosts, original));
    app.state().lstDBaseFile = {"1.0", "hosts|pellora-spy.example|Hijack.Hosts|", "hosts|localhost|Hostile|"};
    app.scanner().StartScan();
    EXPECT_EQ(Rows(), (std::vector<std::string>{"hosts pellora-spy.example"}));
    app.state().automaticScan = true;
    app.removalRun().cmdNextDelete_Click();
    SCOPED_TRACE(Log());
    EXPECT_EQ(files.ReadFile(hosts), saved.value_or("") + "\r\n10.0.0.1 pellora-good.example\r\n");

    app.quarantine().LoadToQuarantineList();
    ASSERT_EQ(app.state().lstQuarantinedList.size(), 1u);
    app.state().lstQuarantinedList[0].checked = true;
    app.quarantine().cmdRestoreQuarantined();
    EXPECT_EQ(files.ReadFile(hosts), original);
    if (saved)
        (void)files.WriteFileAtomic(hosts, *saved);
    else
        files.DeleteFile(hosts);
}

}  // namespace
}  // namespace pellora
