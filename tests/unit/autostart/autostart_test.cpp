#include <gtest/gtest.h>

#include <algorithm>

#include "core/autostart/autostart.h"
#include "core/util/utf16.h"
#include "fakes/fake_platform.h"
#include "unit/autostart/link_builder.h"

namespace pellora::autostart {
namespace {

constexpr const char* kHklmSoftware = R"(HKEY_LOCAL_MACHINE\Software\)";
constexpr const char* kHkcuSoftware = R"(HKEY_CURRENT_USER\Software\)";
constexpr const char* kServices = R"(HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\)";
constexpr const char* kTasks = R"(C:\WINDOWS\system32\Tasks)";

// Records what is read, so a test can tell a file was judged by its size alone.
class RecordingFiles : public fakes::FakeFileSystem {
  public:
    std::optional<std::string> ReadFile(const std::string& path) override {
        reads.push_back(path);
        return FakeFileSystem::ReadFile(path);
    }
    std::vector<std::string> reads;
};

std::string TaskXml(const std::string& command, const std::string& arguments, bool enabled = true) {
    return "\xFF\xFE" +
           Utf8ToUtf16Le(R"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Settings><Enabled>)" + std::string(enabled ? "true" : "false") +
                         R"(</Enabled></Settings>
  <Actions Context="Author"><Exec><Command>)" +
                         command + "</Command><Arguments>" + arguments + "</Arguments></Exec></Actions>\n</Task>\n");
}

RegValue Text(uint32_t type, const std::string& data) {
    return RegValue{type, data};
}

class AutostartTest : public ::testing::Test {
  protected:
    AutostartTest() {
        system_.environment["APPDATA"] = R"(C:\Users\ann\AppData\Roaming)";
        system_.environment["PROGRAMDATA"] = R"(C:\ProgramData)";
        system_.environment["PROGRAMFILES"] = R"(C:\Program Files)";
        system_.environment["SYSTEMROOT"] = R"(C:\WINDOWS)";
        for (const char* path :
             {R"(C:\WINDOWS\system32\cmd.exe)", R"(C:\WINDOWS\system32\rundll32.exe)", R"(C:\WINDOWS\explorer.exe)",
              R"(C:\WINDOWS\system32\userinit.exe)", R"(C:\WINDOWS\system32\autochk.exe)",
              R"(C:\WINDOWS\system32\kernel32.dll)", R"(C:\WINDOWS\system32\svchost.exe)"})
            files_.AddFile(path);
        files_.AddFolder(kTasks);
    }

    std::vector<AutostartEntry> Enumerate() { return AutostartEnumerator(registry_, files_, system_).Enumerate(); }

    static std::vector<AutostartEntry> Where(const std::vector<AutostartEntry>& all,
                                             const std::string& place,
                                             const std::string& name) {
        std::vector<AutostartEntry> found;
        std::copy_if(all.begin(), all.end(), std::back_inserter(found),
                     [&](const AutostartEntry& e) { return e.place == place && e.name == name; });
        return found;
    }
    static AutostartEntry One(const std::vector<AutostartEntry>& all,
                              const std::string& place,
                              const std::string& name) {
        std::vector<AutostartEntry> found = Where(all, place, name);
        EXPECT_EQ(found.size(), 1u) << place << " " << name;
        return found.empty() ? AutostartEntry{} : found.front();
    }

    fakes::FakeRegistry registry_;
    RecordingFiles files_;
    fakes::FakeSystem system_;
};

TEST_F(AutostartTest, RunKeysOfBothRootsAndViewsAndTheStartupFolders) {
    files_.AddFile(R"(C:\Program Files\Vendor\up.exe)");
    registry_.AddString(std::string(kHklmSoftware) + R"(Microsoft\Windows\CurrentVersion\Run)", "Updater",
                        R"("C:\Program Files\Vendor\up.exe" /bg)");
    registry_.AddValue(std::string(kHkcuSoftware) + R"(WOW6432Node\Microsoft\Windows\CurrentVersion\Run)", "Evil",
                       Text(kRegExpandSz, R"(%APPDATA%\evil.exe -q)"));
    registry_.AddString(std::string(kHkcuSoftware) + R"(Microsoft\Windows\CurrentVersion\RunOnce)", "Once",
                        "cmd /c notepad");

    const std::string userStartup = R"(C:\Users\ann\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup)";
    const std::string commonStartup = R"(D:\Common Startup)";
    registry_.AddValue(
        std::string(R"(HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders)"),
        "Common Startup", Text(kRegExpandSz, commonStartup));
    test_links::LinkSpec spec;
    spec.basePath = R"(C:\Users\ann\AppData\Local\)";
    spec.suffix = "agent.exe";
    spec.arguments = std::string("--tray");
    files_.AddFile(userStartup + R"(\Agent.lnk)", test_links::BuildLink(spec));
    files_.AddFile(userStartup + R"(\desktop.ini)", "[.ShellClassInfo]");
    files_.AddFile(userStartup + R"(\broken.lnk)", "garbage");
    files_.AddFile(commonStartup + R"(\start.bat)", "@echo off");
    files_.AddFile(R"(C:\Users\ann\AppData\Local\agent.exe)");

    const std::vector<AutostartEntry> all = Enumerate();
    AutostartEntry updater = One(all, place::kRun, "Updater");
    EXPECT_EQ(updater.location, std::string(kHklmSoftware) + R"(Microsoft\Windows\CurrentVersion\Run)");
    EXPECT_EQ(updater.command, R"("C:\Program Files\Vendor\up.exe" /bg)");
    EXPECT_EQ(updater.program, R"(C:\Program Files\Vendor\up.exe)");
    EXPECT_EQ(updater.arguments, "/bg");
    EXPECT_TRUE(updater.exists);
    AutostartEntry evil = One(all, place::kRun, "Evil");
    EXPECT_EQ(evil.location, std::string(kHkcuSoftware) + R"(WOW6432Node\Microsoft\Windows\CurrentVersion\Run)");
    EXPECT_EQ(evil.program, R"(C:\Users\ann\AppData\Roaming\evil.exe)");
    EXPECT_FALSE(evil.exists);
    EXPECT_EQ(One(all, place::kRunOnce, "Once").program, "notepad");  // not there: as written

    AutostartEntry agent = One(all, place::kStartup, "Agent.lnk");
    EXPECT_EQ(agent.location, userStartup);
    EXPECT_EQ(agent.command, R"("C:\Users\ann\AppData\Local\agent.exe" --tray)");
    EXPECT_EQ(agent.program, R"(C:\Users\ann\AppData\Local\agent.exe)");
    EXPECT_TRUE(agent.exists);
    EXPECT_EQ(One(all, place::kStartup, "broken.lnk").problem, "not a readable shortcut");
    EXPECT_TRUE(Where(all, place::kStartup, "desktop.ini").empty());
    AutostartEntry bat = One(all, place::kStartup, "start.bat");
    EXPECT_EQ(bat.program, commonStartup + R"(\start.bat)");
    EXPECT_TRUE(bat.exists);
}

TEST_F(AutostartTest, TasksAreWalkedWithoutEnteringLinksAndHugeDefinitionsAreNotRead) {
    files_.AddFile(R"(C:\Program Files\Vendor\up date.exe)");
    files_.AddFile(std::string(kTasks) + R"(\Vendor\Updater)",
                   TaskXml(R"("%ProgramFiles%\Vendor\up date.exe")", "/silent", false));
    files_.AddFile(std::string(kTasks) + R"(\Broken)", "<Task><Actions>");
    files_.AddFile(std::string(kTasks) + R"(\Huge)", std::string(50 * 1024 * 1024, '<'));
    // A junction and a link without the reparse attribute, each leading to a folder of tasks
    // (listed through the link, as the system lists it).
    files_.AddFolder(R"(C:\Elsewhere)");
    for (const char* link : {"Junction", "WineLink"}) {
        files_.AddFolderLinkTo(std::string(kTasks) + "\\" + link, R"(C:\Elsewhere)", link[0] == 'J');
        files_.AddFile(std::string(kTasks) + "\\" + link + R"(\Hidden)", TaskXml(R"(C:\x.exe)", ""));
    }

    const std::vector<AutostartEntry> all = Enumerate();
    AutostartEntry updater = One(all, place::kTask, R"(\Vendor\Updater)");
    EXPECT_EQ(updater.location, std::string(kTasks) + R"(\Vendor\Updater)");
    EXPECT_EQ(updater.command, R"("%ProgramFiles%\Vendor\up date.exe" /silent)");
    EXPECT_EQ(updater.program, R"(C:\Program Files\Vendor\up date.exe)");
    EXPECT_EQ(updater.arguments, "/silent");
    EXPECT_TRUE(updater.exists);
    EXPECT_FALSE(updater.enabled);
    EXPECT_EQ(One(all, place::kTask, R"(\Broken)").problem, "damaged definition: unterminated element");
    EXPECT_EQ(One(all, place::kTask, R"(\Huge)").problem, "definition too large (52428800 bytes)");
    EXPECT_EQ(std::count(files_.reads.begin(), files_.reads.end(), std::string(kTasks) + R"(\Huge)"), 0);
    EXPECT_TRUE(Where(all, place::kTask, R"(\Junction\Hidden)").empty());
    EXPECT_TRUE(Where(all, place::kTask, R"(\WineLink\Hidden)").empty());
}

TEST_F(AutostartTest, ServicesAndDriversWithKernelStylePaths) {
    const std::string svc = kServices;
    files_.AddFile(R"(C:\ProgramData\e v\svc.exe)");
    registry_.AddString(svc + "EvilSvc", "ImagePath", R"("C:\ProgramData\e v\svc.exe" -k)");
    registry_.AddDword(svc + "EvilSvc", "Type", 16);
    registry_.AddDword(svc + "EvilSvc", "Start", 2);
    files_.AddFile(R"(C:\WINDOWS\System32\drivers\drv.sys)");
    registry_.AddValue(svc + "drv", "ImagePath", Text(kRegExpandSz, R"(\SystemRoot\System32\drivers\drv.sys)"));
    registry_.AddDword(svc + "drv", "Type", 1);
    registry_.AddString(svc + "reldrv", "ImagePath", R"(system32\DRIVERS\drv.sys)");
    registry_.AddDword(svc + "reldrv", "Type", 1);
    registry_.AddDword(svc + "nodrv", "Type", 1);
    registry_.AddValue(svc + "hosted", "ImagePath",
                       Text(kRegExpandSz, R"(%SystemRoot%\System32\svchost.exe -k netsvcs)"));
    registry_.AddDword(svc + "hosted", "Type", 32);
    registry_.AddDword(svc + "hosted", "Start", 4);
    registry_.AddValue(svc + R"(hosted\Parameters)", "ServiceDll",
                       Text(kRegExpandSz, R"(%SystemRoot%\System32\hosted.dll)"));
    registry_.AddString(svc + "Settings", "Foo", "bar");  // not a service
    registry_.AddString(svc + "BadType", "Type", "16");
    registry_.AddString(svc + "BadType", "ImagePath", R"(C:\b.exe)");

    const std::vector<AutostartEntry> all = Enumerate();
    AutostartEntry evil = One(all, place::kService, "EvilSvc");
    EXPECT_EQ(evil.location, svc + "EvilSvc");
    EXPECT_EQ(evil.program, R"(C:\ProgramData\e v\svc.exe)");
    EXPECT_TRUE(evil.exists);
    EXPECT_TRUE(evil.enabled);
    AutostartEntry drv = One(all, place::kService, "drv");
    EXPECT_EQ(drv.command, R"(\SystemRoot\System32\drivers\drv.sys)");
    EXPECT_EQ(drv.program, R"(C:\WINDOWS\System32\drivers\drv.sys)");
    EXPECT_TRUE(drv.exists);
    EXPECT_TRUE(One(all, place::kService, "reldrv").exists);
    AutostartEntry nodrv = One(all, place::kService, "nodrv");
    EXPECT_EQ(nodrv.program, R"(C:\WINDOWS\system32\drivers\nodrv.sys)");
    EXPECT_FALSE(nodrv.exists);
    std::vector<AutostartEntry> hosted = Where(all, place::kService, "hosted");
    ASSERT_EQ(hosted.size(), 2u);
    EXPECT_EQ(hosted[0].program, R"(C:\WINDOWS\System32\svchost.exe)");
    EXPECT_EQ(hosted[0].arguments, "-k netsvcs");
    EXPECT_EQ(hosted[1].location, svc + R"(hosted\Parameters)");
    EXPECT_EQ(hosted[1].program, R"(C:\WINDOWS\System32\hosted.dll)");
    EXPECT_FALSE(hosted[0].enabled);
    EXPECT_FALSE(hosted[1].enabled);
    EXPECT_TRUE(Where(all, place::kService, "Settings").empty());
    EXPECT_EQ(One(all, place::kService, "BadType").problem, "damaged Type value");
}

TEST_F(AutostartTest, WinlogonDebuggersAppInitActiveSetupShellHooksBootAndHosts) {
    const std::string winlogon = std::string(kHklmSoftware) + R"(Microsoft\Windows NT\CurrentVersion\Winlogon)";
    registry_.AddString(winlogon, "Userinit", R"(C:\WINDOWS\system32\userinit.exe,C:\Temp\evil.exe,)");
    registry_.AddString(winlogon, "Shell", "explorer.exe");
    registry_.AddString(winlogon + R"(\Notify\bad)", "DllName", "evil.dll");
    registry_.AddString(std::string(kHklmSoftware) +
                            R"(WOW6432Node\Microsoft\Windows NT\CurrentVersion\Image File Execution Options\sethc.exe)",
                        "Debugger", "cmd.exe");
    registry_.AddString(
        std::string(kHklmSoftware) + R"(Microsoft\Windows NT\CurrentVersion\Image File Execution Options\calc.exe)",
        "GlobalFlag", "0");
    registry_.AddString(std::string(kHklmSoftware) + R"(WOW6432Node\Microsoft\Windows NT\CurrentVersion\Windows)",
                        "AppInit_DLLs", R"(C:\a.dll C:\b.dll,kernel32)");
    registry_.AddString(std::string(kHklmSoftware) + R"(Microsoft\Active Setup\Installed Components\{A})", "StubPath",
                        R"(rundll32 C:\stub.dll,Install)");
    // A helper object registered in the 64-bit view whose class exists only in the 32-bit one.
    registry_.AddKey(std::string(kHklmSoftware) +
                     R"(Microsoft\Windows\CurrentVersion\Explorer\Browser Helper Objects\{B})");
    registry_.AddString(std::string(kHklmSoftware) + R"(Classes\WOW6432Node\CLSID\{B}\InprocServer32)", "",
                        R"(C:\bho.dll)");
    registry_.AddString(std::string(kHklmSoftware) + R"(Microsoft\Windows\CurrentVersion\Explorer\ShellExecuteHooks)",
                        "{S}", "");
    registry_.AddString(std::string(kHkcuSoftware) + R"(Microsoft\Windows\CurrentVersion\ShellServiceObjectDelayLoad)",
                        "Tray", "{T}");
    registry_.AddString(std::string(kHkcuSoftware) + R"(Classes\CLSID\{T}\InprocServer32)", "", R"(C:\tray.dll)");
    files_.AddFile(R"(C:\tray.dll)");
    const std::string session = R"(HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager)";
    registry_.AddValue(session, "BootExecute", Text(kRegMultiSz, std::string("autocheck autochk *\0native x\0", 29)));
    registry_.AddString(session + R"(\KnownDLLs)", "kernel32", "kernel32.dll");
    registry_.AddValue(session + R"(\KnownDLLs)", "DllDirectory", Text(kRegExpandSz, R"(%SystemRoot%\system32)"));
    files_.AddFile(R"(C:\WINDOWS\system32\drivers\etc\hosts)",
                   "# comment\r\n127.0.0.1 localhost\r\n::1 localhost\r\n\r\n0.0.0.0 ads.example # blocked\r\n"
                   "1.2.3.4 tracker.example\r\n"
                   "6.6.6.6\twww.bank.example\n127.0.0.1 localhost evil.example");

    const std::vector<AutostartEntry> all = Enumerate();
    std::vector<AutostartEntry> userinit = Where(all, place::kWinlogonUserinit, "Userinit");
    ASSERT_EQ(userinit.size(), 2u);
    EXPECT_EQ(userinit[0].program, R"(C:\WINDOWS\system32\userinit.exe)");
    EXPECT_TRUE(userinit[0].exists);
    EXPECT_EQ(userinit[1].program, R"(C:\Temp\evil.exe)");
    EXPECT_EQ(One(all, place::kWinlogonShell, "Shell").program, R"(C:\WINDOWS\explorer.exe)");
    EXPECT_EQ(One(all, place::kWinlogonNotify, "bad").program, "evil.dll");
    AutostartEntry debugger = One(all, place::kIfeoDebugger, "sethc.exe");
    EXPECT_EQ(debugger.program, R"(C:\WINDOWS\system32\cmd.exe)");
    EXPECT_TRUE(Where(all, place::kIfeoDebugger, "calc.exe").empty());
    std::vector<AutostartEntry> appInit = Where(all, place::kAppInit, "AppInit_DLLs");
    ASSERT_EQ(appInit.size(), 3u);
    EXPECT_EQ(appInit[1].program, R"(C:\b.dll)");
    EXPECT_EQ(appInit[2].program, R"(C:\WINDOWS\system32\kernel32.dll)");
    AutostartEntry stub = One(all, place::kActiveSetup, "{A}");
    EXPECT_EQ(stub.program, R"(C:\stub.dll)");
    EXPECT_EQ(stub.arguments, ",Install");
    AutostartEntry bho = One(all, place::kBho, "{B}");
    EXPECT_EQ(bho.command, "{B}");
    EXPECT_EQ(bho.program, R"(C:\bho.dll)");
    EXPECT_FALSE(bho.exists);
    EXPECT_EQ(One(all, place::kShellExecuteHook, "{S}").problem, "class not registered");
    AutostartEntry tray = One(all, place::kShellServiceObject, "Tray");
    EXPECT_EQ(tray.program, R"(C:\tray.dll)");
    EXPECT_TRUE(tray.exists);
    std::vector<AutostartEntry> boot = Where(all, place::kBootExecute, "BootExecute");
    ASSERT_EQ(boot.size(), 2u);
    EXPECT_EQ(boot[0].command, "autocheck autochk *");
    EXPECT_EQ(boot[0].program, R"(C:\WINDOWS\system32\autochk.exe)");
    EXPECT_TRUE(boot[0].exists);
    EXPECT_EQ(boot[1].program, "native");
    EXPECT_FALSE(boot[1].exists);
    AutostartEntry known = One(all, place::kKnownDll, "kernel32");
    EXPECT_EQ(known.program, R"(C:\WINDOWS\system32\kernel32.dll)");
    EXPECT_TRUE(known.exists);
    EXPECT_TRUE(Where(all, place::kKnownDll, "DllDirectory").empty());

    std::vector<std::string> hosts;
    for (const AutostartEntry& entry : all)
        if (entry.place == place::kHosts)
            hosts.push_back(entry.name + "=" + entry.command);
    EXPECT_EQ(hosts,
              (std::vector<std::string>{"ads.example=0.0.0.0 ads.example", "tracker.example=1.2.3.4 tracker.example",
                                        "www.bank.example=6.6.6.6\twww.bank.example",
                                        "localhost=127.0.0.1 localhost evil.example"}));
}

TEST_F(AutostartTest, DamagedValuesAreReportedNeverSkippedOrCrashed) {
    const std::string run = std::string(kHklmSoftware) + R"(Microsoft\Windows\CurrentVersion\Run)";
    registry_.AddDword(run, "Number", 7);
    registry_.AddValue(run, "Binary", Text(kRegBinary, std::string("\x01\x02", 2)));
    registry_.AddValue(run, "Hidden", Text(kRegSz, std::string("C:\\shown.exe\0C:\\hidden.exe", 27)));
    registry_.AddString(run, "Huge", std::string(kMaxValueLength + 1, 'a'));
    registry_.AddString(run, "Empty", "");
    registry_.AddString(run, "Quote", "\"");
    const std::string winlogon = std::string(kHklmSoftware) + R"(Microsoft\Windows NT\CurrentVersion\Winlogon)";
    registry_.AddDword(winlogon, "Userinit", 1);
    const std::string session = R"(HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager)";
    registry_.AddDword(session, "BootExecute", 1);

    const std::vector<AutostartEntry> all = Enumerate();
    EXPECT_EQ(One(all, place::kRun, "Number").problem, "value of type 4");
    EXPECT_EQ(One(all, place::kRun, "Binary").problem, "value of type 3");
    AutostartEntry hidden = One(all, place::kRun, "Hidden");
    EXPECT_EQ(hidden.problem, "text holds a NUL");
    EXPECT_EQ(hidden.program, R"(C:\shown.exe)");
    EXPECT_EQ(One(all, place::kRun, "Huge").problem, "value too long (65537 bytes)");
    EXPECT_EQ(One(all, place::kRun, "Empty").program, "");
    EXPECT_EQ(One(all, place::kRun, "Quote").problem, "no program");
    EXPECT_EQ(One(all, place::kWinlogonUserinit, "Userinit").problem, "value of type 4");
    EXPECT_EQ(One(all, place::kBootExecute, "BootExecute").problem, "value of type 4");
}

}  // namespace
}  // namespace pellora::autostart
