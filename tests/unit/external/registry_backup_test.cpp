#include "core/backup/registry_backup.h"

#include <gtest/gtest.h>

#include "core/backup/backup_pruning.h"
#include "core/protection/folder_access.h"
#include "core/removal/external_commands.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

constexpr const char* kBackups = "C:\\Pellora\\Registry Backups";
constexpr const char* kExport = "C:\\Pellora\\Registry Exports\\6-12-2026-9-5-7.reg";
constexpr const char* kExportCommand =
    "C:\\WINDOWS\\regedit.exe /e \"C:\\Pellora\\Registry Exports\\6-12-2026-9-5-7.reg\" HKEY_LOCAL_MACHINE";

class RegistryBackupTest : public ::testing::Test {
  protected:
    RegistryBackupTest() {
        state.appFolder = "C:\\Pellora";
        state.folders.windowsDir = "C:\\WINDOWS";
        state.lstSettingsFile = {"0",  "0", "0", "1", "0", "1", "about:blank", "Microsoft Internet Explorer",
                                 "30", "0", "10"};
        platform.files.AddFolder(kBackups);
        platform.processes.Add("explorer.exe", 10);
        platform.processes.Add("spy.exe", 11);
        // The editor writes its export where the command line says.
        platform.processes.onRun = [this](const std::string& command) {
            if (command == kExportCommand)
                platform.files.AddFile(kExport, "REGEDIT4");
            return true;
        };
    }

    void AddOldBackups(int count) {
        for (int i = 1; i <= count; ++i)
            platform.files.AddFile(std::string(kBackups) + "\\1-1-2020-0-0-" + std::to_string(i) + ".reg");
    }

    fakes::FakePlatform platform;
    AppState state;
    RegistryBackup backup{state, platform.ports};
};

TEST(BackupStamp, HasNoLeadingZeros) {
    EXPECT_EQ(BackupStamp(LocalTime{2026, 1, 2, 3, 4, 5}), "2-1-2026-3-4-5");
    EXPECT_EQ(BackupStamp(LocalTime{2026, 12, 31, 23, 59, 0}), "31-12-2026-23-59-0");
}

TEST_F(RegistryBackupTest, ExportsTheLocalMachineHiveAndMovesItIntoTheBackupFolder) {
    backup.ListRegBackups();
    EXPECT_EQ(platform.processes.commands, std::vector<std::string>{kExportCommand});
    EXPECT_EQ(state.currentOperation, "Backing up Registry...");
    EXPECT_EQ(state.lstLog, (std::vector<std::string>{"", "Registry backed up on 06/12/2026  09:05:07"}));
    EXPECT_FALSE(platform.files.Exists(kExport));
    EXPECT_EQ(platform.files.Content(std::string(kBackups) + "\\6-12-2026-9-5-7.reg"), "REGEDIT4");
    EXPECT_EQ(state.lstRegistryBackups, std::vector<std::string>{"6-12-2026-9-5-7.reg"});
    ASSERT_EQ(state.lstProcesses.size(), 2u);
    EXPECT_EQ(state.counters.runningProcesses, 2);
}

TEST_F(RegistryBackupTest, TheExportGoesThroughAFolderOnlyAdministratorsMayReadNeverTheDriveRoot) {
    backup.ListRegBackups();
    using Set = std::pair<std::string, std::string>;
    EXPECT_EQ(platform.files.accessListsSet,
              (std::vector<Set>{{"C:\\Pellora\\Registry Exports", kAdministratorsOnlyAccess},
                                {"C:\\Pellora\\Registry Backups", kAdministratorsOnlyAccess}}));
    EXPECT_TRUE(platform.files.IsFolder("C:\\Pellora\\Registry Exports"));
    EXPECT_FALSE(platform.files.Exists("C:\\6-12-2026-9-5-7.reg"));

    // A folder whose list cannot be set, or a link in its place, gets no export at all.
    for (bool link : {false, true}) {
        platform.processes.commands.clear();
        platform.files.failSetAccess = !link;
        if (link) {
            platform.files.AddFolderLink("C:\\Pellora\\Registry Exports");
        }
        state.lstLog.clear();
        backup.ListRegBackups();
        EXPECT_TRUE(platform.processes.commands.empty());
        EXPECT_EQ(state.lstLog,
                  std::vector<std::string>{
                      "Registry not backed up (no folder that only administrators may read for the export)"});
    }
}

TEST_F(RegistryBackupTest, SettingOffMeansNoExportAndNoLogLineButPruningAndListingStillHappen) {
    SetLine(state.lstSettingsFile, kBackupSettingLine, "0");
    SetLine(state.lstSettingsFile, 10, "2");
    AddOldBackups(4);
    backup.ListRegBackups();
    EXPECT_TRUE(platform.processes.commands.empty());
    EXPECT_TRUE(state.lstLog.empty());
    EXPECT_EQ(state.currentOperation, "Ready.");
    EXPECT_EQ(state.lstRegistryBackups.size(), 2u);
    EXPECT_EQ(platform.files.Tree(kBackups).size(), 2u);
    EXPECT_EQ(state.counters.runningProcesses, 2);
}

TEST_F(RegistryBackupTest, PrunesAfterTheNewBackupIsIn) {
    SetLine(state.lstSettingsFile, 10, "3");
    AddOldBackups(3);
    backup.ListRegBackups();
    EXPECT_EQ(platform.files.Tree(kBackups).size(), 3u);
    EXPECT_TRUE(platform.files.Exists(std::string(kBackups) + "\\6-12-2026-9-5-7.reg"));
}

TEST_F(RegistryBackupTest, AMissingEditorIsTriedAFewTimesAndClaimsNoBackup) {
    platform.processes.onRun = [](const std::string&) { return false; };
    backup.ListRegBackups();
    EXPECT_EQ(platform.processes.commands.size(), static_cast<size_t>(kExportAttempts));
    EXPECT_TRUE(state.lstLog.empty());
    EXPECT_EQ(state.counters.runningProcesses, 2);
}

TEST_F(RegistryBackupTest, AnEditorEndedAtItsBoundLeavesNoHalfBackupAndIsNotStartedAgain) {
    platform.processes.neverEnding = {"regedit.exe"};
    backup.ListRegBackups();
    EXPECT_EQ(platform.processes.waitBounds, std::vector<uint32_t>{kRegeditBackupWaitMs});
    EXPECT_FALSE(platform.files.Exists(kExport));
    EXPECT_TRUE(state.lstRegistryBackups.empty());
    EXPECT_EQ(state.lstLog, std::vector<std::string>{
                                "Registry not backed up (the registry editor did not end in time and was ended)"});
}

TEST_F(RegistryBackupTest, AnEditorThatWritesNothingLeavesNoLogLine) {
    platform.processes.onRun = [](const std::string&) { return true; };
    // Left over from an earlier run whose move failed: not this run's export.
    platform.files.AddFile(kExport, "stale", file_attr::kReadOnly);
    backup.ListRegBackups();
    EXPECT_EQ(platform.processes.commands.size(), 1u);
    EXPECT_TRUE(state.lstLog.empty());
    EXPECT_TRUE(state.lstRegistryBackups.empty());
}

TEST_F(RegistryBackupTest, QuotesAWindowsFolderWithABlankAndSkipsTheExportWithoutOne) {
    state.folders.windowsDir = "C:\\My Windows";
    backup.ListRegBackups();
    EXPECT_EQ(platform.processes.commands,
              std::vector<std::string>{"\"C:\\My Windows\\regedit.exe\" /e \"C:\\Pellora\\Registry "
                                       "Exports\\6-12-2026-9-5-7.reg\" HKEY_LOCAL_MACHINE"});

    platform.processes.commands.clear();
    state.folders.windowsDir = "";
    backup.ListRegBackups();
    EXPECT_TRUE(platform.processes.commands.empty());
    EXPECT_EQ(state.counters.runningProcesses, 2);
}

}  // namespace
}  // namespace pellora
