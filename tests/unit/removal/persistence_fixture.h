// The fixture of the persistence kinds' tests: a machine with a planted program started from
// the Run keys, Winlogon, AppInit_DLLs, a Startup shortcut and a scheduled task, the service
// manager, and the scan, removal and quarantine wired to it.
#pragma once

#include <gtest/gtest.h>

#include "core/quarantine/quarantine.h"
#include "core/removal/removal_run.h"
#include "core/util/text.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_services.h"
#include "fakes/fake_tasks.h"
#include "unit/autostart/link_builder.h"

namespace pellora {

inline constexpr const char* kRun = R"(HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run)";
inline constexpr const char* kRunWow =
    R"(HKEY_LOCAL_MACHINE\Software\WOW6432Node\Microsoft\Windows\CurrentVersion\Run)";
inline constexpr const char* kWinlogon = R"(HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)";
inline constexpr const char* kWindows = R"(HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Windows)";
inline constexpr const char* kStartup = R"(C:\Users\bob\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup)";
inline constexpr const char* kEvil = R"(C:\Evil\evil.exe)";

class PersistenceTest : public ::testing::Test {
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
        p.ports.tasks = &tasks;
        p.ports.services = &services;
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
        const std::string task =
            R"(<Task><Actions><Exec><Command>"C:\Evil\evil.exe"</Command></Exec></Actions></Task>)";
        p.files.AddFile(R"(C:\WINDOWS\system32\Tasks\Evil\Updater)", task);
        tasks.tasks[FoldOrdinal(R"(\Evil\Updater)")] = task;
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

    void RestoreAll() {
        quarantine.LoadToQuarantineList();
        for (QuarantinePackageRow& package : state.lstQuarantinedList)
            package.checked = true;
        quarantine.cmdRestoreQuarantined();
    }

    fakes::FakePlatform p;
    fakes::FakeTaskScheduler tasks;
    fakes::FakeServices services{p.registry, p.files};
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

}  // namespace pellora
