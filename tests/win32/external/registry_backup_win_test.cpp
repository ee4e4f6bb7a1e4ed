#include "core/backup/registry_backup.h"

#include <gtest/gtest.h>

#include "fakes/fake_platform.h"
#include "win32/file_system_win.h"
#include "win32/processes_win.h"

// After the ports: windows.h defines Yield() as an empty macro.
#include "external_test_support.h"

namespace pellora::win32 {
namespace {

using pellora::testing::FileExists;
using pellora::testing::ScratchFolder;

// The real registry editor, file system and process list; the clock and the rest are fakes so
// the stamp is known.
class RegistryBackupWinTest : public ::testing::Test {
  protected:
    RegistryBackupWinTest() {
        wchar_t windows[MAX_PATH];
        UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
        state.folders.windowsDir = Narrow(std::wstring_view(windows, length));
        state.appFolder = scratch.path();
        state.lstSettingsFile = {"0",  "0", "0", "1", "0", "1", "about:blank", "Microsoft Internet Explorer",
                                 "30", "0", "2"};
        files.CreateDirectory(backups);
        for (const char* name : {"1-1-2020-0-0-1.reg", "3-1-2020-0-0-0.reg", "2-1-2020-0-0-0.reg", "notes.txt"}) {
            (void)files.WriteFileAtomic(backups + "\\" + name, "REGEDIT4\r\n");
        }
    }

    ScratchFolder scratch{"backup"};
    std::string backups = scratch / "Registry Backups";
    std::string stampFile = "6-12-2026-9-5-7.reg";
    fakes::FakePlatform platform;
    FileSystemWin files;
    ProcessesWin processes;
    Ports ports{platform.registry, files, processes, platform.shell, platform.clock, platform.system, platform.ui};
    AppState state;
    RegistryBackup backup{state, ports};
};

TEST_F(RegistryBackupWinTest, ExportsTheHiveLogsItAndKeepsTheNewestBackups) {
    backup.ListRegBackups();
    std::string root = state.folders.windowsDir.substr(0, 3);
    EXPECT_FALSE(FileExists(root + stampFile));  // never written to the drive root
    // Written where only administrators may read, and moved from there.
    EXPECT_TRUE(FileExists(scratch / "Registry Exports"));
    EXPECT_FALSE(FileExists(scratch / "Registry Exports" + "\\" + stampFile));
    std::optional<std::string> exported = files.ReadFile(backups + "\\" + stampFile);
    ASSERT_TRUE(exported.has_value());
    EXPECT_GT(exported->size(), 1000u);
    EXPECT_EQ(state.lstLog, (std::vector<std::string>{"", "Registry backed up on 06/12/2026  09:05:07"}));

    // Two kept: the new one and the newest of the old ones by the date in the name.
    EXPECT_TRUE(FileExists(backups + "\\3-1-2020-0-0-0.reg"));
    EXPECT_FALSE(FileExists(backups + "\\2-1-2020-0-0-0.reg"));
    EXPECT_FALSE(FileExists(backups + "\\1-1-2020-0-0-1.reg"));
    EXPECT_TRUE(FileExists(backups + "\\notes.txt"));
    EXPECT_EQ(state.lstRegistryBackups.size(), 2u);

    ASSERT_FALSE(state.lstProcesses.empty());
    EXPECT_EQ(state.counters.runningProcesses, static_cast<int64_t>(state.lstProcesses.size()));
}

TEST_F(RegistryBackupWinTest, SettingOffStillPrunesAndListsTheProcesses) {
    SetLine(state.lstSettingsFile, kBackupSettingLine, "0");
    backup.ListRegBackups();
    EXPECT_TRUE(state.lstLog.empty());
    EXPECT_FALSE(FileExists(backups + "\\" + stampFile));
    EXPECT_EQ(state.lstRegistryBackups, (std::vector<std::string>{"2-1-2020-0-0-0.reg", "3-1-2020-0-0-0.reg"}));
    bool foundSelf = false;
    for (const ProcessRow& row : state.lstProcesses)
        foundSelf |= row.pid == GetCurrentProcessId();
    EXPECT_TRUE(foundSelf);
}

}  // namespace
}  // namespace pellora::win32
