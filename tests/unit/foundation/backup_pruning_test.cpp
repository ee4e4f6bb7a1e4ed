// Registry backup pruning: the newest backups stay, whatever the text order of their names.
#include <gtest/gtest.h>

#include "core/backup/backup_pruning.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

const std::string kFolder = "C:\\Pellora\\Registry Backups\\";

class PruningTest : public ::testing::Test {
  protected:
    PruningTest() {
        state.appFolder = "C:\\Pellora";
        fake.files.AddFolder(kFolder);
    }
    void Keep(const std::string& line10) {
        state.lstSettingsFile = {"0", "0", "0", "1", "0", "0", "about:blank", "x", "30", "0", line10};
    }
    void Add(const std::string& name, uint32_t attributes = file_attr::kArchive) {
        fake.files.AddFile(kFolder + name, "REGEDIT4", attributes);
    }
    fakes::FakePlatform fake;
    AppState state;
};

TEST(BackupNameTime, ReadsTheStampAndRejectsWhatIsNoDate) {
    ASSERT_TRUE(BackupNameTime("1-1-1601-0-0-0.reg"));
    EXPECT_EQ(*BackupNameTime("1-1-1601-0-0-0.reg"), 0u);
    EXPECT_EQ(*BackupNameTime("2-1-1601-0-0-1.REG"), (86400u + 1u) * 10'000'000ULL);
    // 1970-01-01 is 11644473600 s after 1601-01-01.
    EXPECT_EQ(*BackupNameTime("1-1-1970-0-0-0.reg"), 11644473600ULL * 10'000'000ULL);
    EXPECT_LT(*BackupNameTime("31-12-2025-23-59-59.reg"), *BackupNameTime("1-1-2026-0-0-0.reg"));
    EXPECT_FALSE(BackupNameTime("29-2-2025-1-1-1.reg"));  // no such day
    EXPECT_TRUE(BackupNameTime("29-2-2024-1-1-1.reg"));
    EXPECT_FALSE(BackupNameTime("1-13-2025-1-1-1.reg"));
    EXPECT_FALSE(BackupNameTime("1-1-2025-1-1.reg"));
    EXPECT_FALSE(BackupNameTime("1-1-2025-1-1-1-1.reg"));
    EXPECT_FALSE(BackupNameTime("1-1-2025-1--1.reg"));
    EXPECT_FALSE(BackupNameTime("my backup.reg"));
    EXPECT_FALSE(BackupNameTime("1-1-2025-1-1-1.txt"));
}

TEST_F(PruningTest, DeletesTheOldestByTheTimeInTheName) {
    Keep("2");
    // Text order would delete the two newest ("1-..." and "10-..."), keeping November's.
    Add("1-12-2026-9-0-0.reg");
    Add("10-12-2026-9-0-0.reg");
    Add("9-11-2026-9-0-0.reg");
    Add("30-11-2026-23-59-59.reg");
    PruneRegistryBackups(state, fake.files);
    EXPECT_TRUE(fake.files.Exists(kFolder + "1-12-2026-9-0-0.reg"));
    EXPECT_TRUE(fake.files.Exists(kFolder + "10-12-2026-9-0-0.reg"));
    EXPECT_FALSE(fake.files.Exists(kFolder + "9-11-2026-9-0-0.reg"));
    EXPECT_FALSE(fake.files.Exists(kFolder + "30-11-2026-23-59-59.reg"));
    EXPECT_EQ(state.lstRegistryBackups, (std::vector<std::string>{"1-12-2026-9-0-0.reg", "10-12-2026-9-0-0.reg"}));
}

TEST_F(PruningTest, ANameWithoutAStampIsDatedByItsFileTime) {
    Keep("1");
    Add("6-12-2026-9-0-0.reg");
    Add("Before update.reg");
    Add("after update.reg");
    fake.files.SetWriteTime(kFolder + "Before update.reg", *BackupNameTime("1-1-2026-0-0-0.reg"));
    fake.files.SetWriteTime(kFolder + "after update.reg", *BackupNameTime("7-12-2026-0-0-0.reg"));
    PruneRegistryBackups(state, fake.files);
    EXPECT_EQ(fake.files.Tree(kFolder), std::vector<std::string>{kFolder + "after update.reg"});
}

TEST_F(PruningTest, KeepZeroDeletesAllAndReadOnlyFilesGoToo) {
    Keep("0");
    Add("1-1-2026-0-0-0.reg", file_attr::kReadOnly);
    Add("2-1-2026-0-0-0.reg", file_attr::kHidden | file_attr::kSystem);
    PruneRegistryBackups(state, fake.files);
    EXPECT_TRUE(fake.files.Tree(kFolder).empty());
    EXPECT_TRUE(state.lstRegistryBackups.empty());
}

TEST_F(PruningTest, ALineTenThatIsNoWholeNumberCountsAsTen) {
    for (const char* line : {"", "abc", "-1", "2.5", "1e3"}) {
        SCOPED_TRACE(line);
        Keep(line);
        for (int day = 1; day <= 12; ++day)
            Add(std::to_string(day) + "-1-2026-0-0-0.reg");
        PruneRegistryBackups(state, fake.files);
        EXPECT_EQ(state.lstRegistryBackups.size(), 10u);
        EXPECT_FALSE(fake.files.Exists(kFolder + "1-1-2026-0-0-0.reg"));
        EXPECT_FALSE(fake.files.Exists(kFolder + "2-1-2026-0-0-0.reg"));
        EXPECT_TRUE(fake.files.Exists(kFolder + "3-1-2026-0-0-0.reg"));
    }
}

TEST_F(PruningTest, OnlyRegFilesDirectlyInTheFolderCount) {
    Keep("1");
    Add("1-1-2020-0-0-0.reg");
    Add("2-1-2020-0-0-0.reg");
    Add("notes.txt");
    Add("1-1-2019-0-0-0.regx");
    fake.files.AddFolder(kFolder + "old.reg");
    Add("sub\\1-1-2018-0-0-0.reg");
    PruneRegistryBackups(state, fake.files);
    EXPECT_FALSE(fake.files.Exists(kFolder + "1-1-2020-0-0-0.reg"));
    EXPECT_TRUE(fake.files.Exists(kFolder + "2-1-2020-0-0-0.reg"));
    EXPECT_TRUE(fake.files.Exists(kFolder + "notes.txt"));
    EXPECT_TRUE(fake.files.Exists(kFolder + "1-1-2019-0-0-0.regx"));
    EXPECT_TRUE(fake.files.IsFolder(kFolder + "old.reg"));
    EXPECT_TRUE(fake.files.Exists(kFolder + "sub\\1-1-2018-0-0-0.reg"));
}

TEST_F(PruningTest, ALockedBackupStaysAndNoNewerOneGoesInItsPlace) {
    Keep("1");
    Add("1-1-2020-0-0-0.reg");
    Add("2-1-2020-0-0-0.reg");
    fake.files.Lock(kFolder + "1-1-2020-0-0-0.reg");
    PruneRegistryBackups(state, fake.files);
    EXPECT_EQ(fake.files.Tree(kFolder).size(), 2u);
    EXPECT_EQ(state.lstRegistryBackups.size(), 2u);
}

}  // namespace
}  // namespace pellora
