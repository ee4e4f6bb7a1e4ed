// Settings files (line splitting, exact bytes, crash-safe saves) and the reference database
// (loading, unlocking, reloading).
#include <gtest/gtest.h>

#include "core/database/database.h"
#include "core/database/unlock.h"
#include "core/settings/settings_files.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

using Lines = std::vector<std::string>;

TEST(SplitTextLines, LineEnds) {
    EXPECT_EQ(SplitTextLines("a\r\nb\r\nc", true), (Lines{"a", "b", "c"}));
    EXPECT_EQ(SplitTextLines("a\r\nb\r\nc\r\n", true), (Lines{"a", "b", "c"}));  // final CR LF adds nothing
    EXPECT_EQ(SplitTextLines("a\r\n\r\nc", true), (Lines{"a", "", "c"}));        // empty middle line
    EXPECT_EQ(SplitTextLines("", true), Lines{});
    EXPECT_EQ(SplitTextLines("\r\n", true), Lines{""});
    // Lone line ends lose no character.
    EXPECT_EQ(SplitTextLines("a\nb\rc\r", true), (Lines{"a", "b", "c"}));
    EXPECT_EQ(SplitTextLines("a\n\rb", true), (Lines{"a", "", "b"}));
    // Where a lone CR is text (scrambled database lines) it stays in its line.
    EXPECT_EQ(SplitTextLines("a\rb\nc\r\n", false), (Lines{"a\rb", "c"}));
}

class SettingsFilesTest : public ::testing::Test {
  protected:
    SettingsFilesTest() {
        state.appFolder = "C:\\Pellora";
        fake.files.AddFolder("C:\\Pellora\\Settings");
    }
    fakes::FakePlatform fake;
    AppState state;
    SettingsFiles settings{state, fake.files, fake.system, fake.ui};
    const std::string ignorePath = "C:\\Pellora\\Settings\\IgnoreList.stg";
};

TEST_F(SettingsFilesTest, SavesLinesWithCrLfBetweenAndNoneAfterTheLast) {
    ASSERT_TRUE(settings.SaveSettingsToFile(kSettingsFolder, kIgnoreListFileName, {"a", "b", "c"}));
    EXPECT_EQ(fake.files.Content(ignorePath), "a\r\nb\r\nc");
    ASSERT_TRUE(settings.SaveSettingsToFile(kSettingsFolder, kIgnoreListFileName, {}));
    EXPECT_EQ(fake.files.Content(ignorePath), "");
}

TEST_F(SettingsFilesTest, SettingsRoundTripKeepsEveryLineAndTheAnsiBytes) {
    Lines lines = DefaultSettingsLines("http://example.org/caf\xC3\xA9");
    lines[7] = "";  // an empty line in the middle survives too
    ASSERT_TRUE(settings.SaveSettingsToFile(kSettingsFolder, kSettingsFileName, lines));
    // On disk the é is the single ANSI byte.
    EXPECT_NE(fake.files.Content("C:\\Pellora\\Settings\\Settings.stg").find("caf\xE9\r\n"), std::string::npos);
    Lines loaded;
    settings.LoadFiles(kSettingsFolder, kSettingsFileName, loaded);
    EXPECT_EQ(loaded, lines);
}

// Names the code page cannot hold (a Cyrillic folder, a Chinese file) come back after a restart;
// the file is UTF-8 after a byte-order mark then, and a file with ANSI text only stays as it was.
TEST_F(SettingsFilesTest, NamesOutsideTheCodePageSurviveASaveAndLoad) {
    const Lines lines = {"C:\\\xD0\x9F\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0", "path|C:\\\xE6\x96\x87\xE4\xBB\xB6.exe|T|",
                         "C:\\caf\xC3\xA9"};
    ASSERT_TRUE(settings.SaveSettingsToFile(kSettingsFolder, kIgnoreListFileName, lines));
    EXPECT_EQ(fake.files.Content(ignorePath).substr(0, 3), "\xEF\xBB\xBF");
    Lines loaded;
    settings.LoadFiles(kSettingsFolder, kIgnoreListFileName, loaded);
    EXPECT_EQ(loaded, lines);
    settings.ReadLines(kSettingsFolder, kIgnoreListFileName, loaded);
    EXPECT_EQ(loaded, lines);
}

TEST_F(SettingsFilesTest, MissingFileIsCreatedEmptyAndLoadsAsEmptyList) {
    Lines list{"stale"};
    settings.LoadFiles(kSettingsFolder, kIgnoreListFileName, list);
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(fake.files.Exists(ignorePath));
    EXPECT_EQ(fake.files.Content(ignorePath), "");
}

// A value whose ANSI bytes begin like a byte-order mark ("ï»¿" in the Western code page) is not
// taken for one when it is read back.
TEST_F(SettingsFilesTest, TextThatLooksLikeAByteOrderMarkComesBackAsItWas) {
    const Lines lines = {"\xC3\xAF\xC2\xBB\xC2\xBF", "b"};
    ASSERT_TRUE(settings.SaveSettingsToFile(kSettingsFolder, kIgnoreListFileName, lines));
    Lines loaded;
    settings.LoadFiles(kSettingsFolder, kIgnoreListFileName, loaded);
    EXPECT_EQ(loaded, lines);
}

// A save that fails keeps the old file and says so: in the log and on the status panel always,
// as a message only where the user asked for the save.
TEST_F(SettingsFilesTest, FailedWriteKeepsTheOldFileAndIsReported) {
    fake.files.AddFile(ignorePath, "old\r\nlines");
    fake.files.failWrites = true;
    state.lstIgnoreListFile = {"new"};
    EXPECT_FALSE(settings.SaveSettingsToFile(kSettingsFolder, kIgnoreListFileName, {"new"}));
    EXPECT_EQ(fake.files.Content(ignorePath), "old\r\nlines");
    ASSERT_FALSE(state.lstLog.empty());
    EXPECT_NE(state.lstLog.back().find("IgnoreList.stg could not be saved"), std::string::npos) << state.lstLog.back();
    EXPECT_NE(state.settingsSaveProblemText.find("IgnoreList.stg"), std::string::npos);

    EXPECT_FALSE(settings.SaveData());
    EXPECT_TRUE(fake.ui.messages.empty());
    EXPECT_FALSE(settings.SaveDataAsked());
    ASSERT_EQ(fake.ui.messages.size(), 1u);
    EXPECT_NE(fake.ui.messages[0].text.find("IgnoreList.stg"), std::string::npos) << fake.ui.messages[0].text;

    // Written at last: the notice goes.
    fake.files.failWrites = false;
    EXPECT_TRUE(settings.SaveData());
    EXPECT_EQ(fake.files.Content(ignorePath), "new");
    EXPECT_EQ(state.settingsSaveProblemText, "");
}

TEST_F(SettingsFilesTest, SavesOverAReadOnlyFile) {
    fake.files.AddFile(ignorePath, "old", file_attr::kReadOnly);
    EXPECT_TRUE(settings.SaveSettingsToFile(kSettingsFolder, kIgnoreListFileName, {"new"}));
    EXPECT_EQ(fake.files.Content(ignorePath), "new");
}

// A file that is there but cannot be read must not be replaced by the empty list it loaded as.
class UnreadableFiles : public fakes::FakeFileSystem {
  public:
    std::optional<std::string> ReadFile(const std::string& path) override {
        if (path.find("IgnoreList") != std::string::npos)
            return std::nullopt;
        return FakeFileSystem::ReadFile(path);
    }
};

TEST(SettingsFilesUnreadable, AFileThatCouldNotBeReadIsNeverSavedOver) {
    UnreadableFiles files;
    fakes::FakeSystem system;
    fakes::FakeUi ui;
    AppState state;
    state.appFolder = "C:\\Pellora";
    files.AddFile("C:\\Pellora\\Settings\\IgnoreList.stg", "path|C:\\x|cat|");
    SettingsFiles settings(state, files, system, ui);
    settings.LoadFiles(kSettingsFolder, kIgnoreListFileName, state.lstIgnoreListFile);
    EXPECT_TRUE(state.lstIgnoreListFile.empty());
    settings.SaveData();
    EXPECT_EQ(files.Content("C:\\Pellora\\Settings\\IgnoreList.stg"), "path|C:\\x|cat|");
    EXPECT_TRUE(files.Exists("C:\\Pellora\\Settings\\Settings.stg"));
}

TEST_F(SettingsFilesTest, SaveDataWritesAllFiveListsAndYieldsAfterEach) {
    state.lstSettingsFile = DefaultSettingsLines("about:blank");
    state.lstSelectedFolders = {"C:\\Data"};
    const uint64_t before = fake.ui.yields;
    settings.SaveData();
    EXPECT_EQ(fake.ui.yields - before, 5u);
    EXPECT_EQ(fake.files.Content("C:\\Pellora\\Settings\\Settings.stg"),
              "0\r\n0\r\n0\r\n1\r\n0\r\n0\r\nabout:blank\r\nMicrosoft Internet Explorer\r\n30\r\n0\r\n10");
    EXPECT_EQ(fake.files.Content("C:\\Pellora\\Settings\\SelectedFolders.stg"), "C:\\Data");
    EXPECT_EQ(fake.files.Content(ignorePath), "");
    EXPECT_EQ(fake.files.Tree("C:\\Pellora\\Settings").size(), 5u);
}

// A value holding a line break must not move the lines read by number, nor turn one ignored
// object or folder into two others. Each file reads back with the meaning it was saved with.
TEST_F(SettingsFilesTest, LineBreaksInValuesNeverMoveLinesOrNameOtherObjects) {
    state.lstSettingsFile = DefaultSettingsLines("http://a/\r\nhttp://b/");
    state.lstSettingsFile[7] = "Title\nMore";
    state.lstIgnoreListFile = {"path|C:\\a.exe|Spy", "RegKey|HKEY_CURRENT_USER\\X\r\nY|Spy", "cookie|c|Spy"};
    state.lstSelectedFolders = {"C:\\Data\rD:\\", "E:\\Work"};
    settings.SaveData();

    Lines loaded;
    settings.LoadFiles(kSettingsFolder, kSettingsFileName, loaded);
    ASSERT_EQ(loaded.size(), 11u);
    EXPECT_EQ(loaded[6], "http://a/ http://b/");
    EXPECT_EQ(loaded[7], "Title More");
    EXPECT_EQ(loaded[10], "10");
    settings.LoadFiles(kSettingsFolder, kIgnoreListFileName, loaded);
    EXPECT_EQ(loaded, (Lines{"path|C:\\a.exe|Spy", "cookie|c|Spy"}));
    settings.LoadFiles(kSettingsFolder, kSelectedFoldersFileName, loaded);
    EXPECT_EQ(loaded, Lines{"E:\\Work"});
    EXPECT_EQ(state.lstLog.size(), 4u);  // one line per value, none of them broken
    for (const std::string& line : state.lstLog)
        EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos);
    // The lists now hold what the files hold: the next save logs nothing again.
    EXPECT_EQ(state.lstIgnoreListFile, (Lines{"path|C:\\a.exe|Spy", "cookie|c|Spy"}));
    settings.SaveData();
    EXPECT_EQ(state.lstLog.size(), 4u);
}

// A settings file far beyond any real one is damaged: it loads as an empty list and is never
// saved over, so whatever can be recovered from it stays.
TEST_F(SettingsFilesTest, AFileOverSixteenMebibytesIsTreatedAsDamaged) {
    const std::string huge(kMaxSettingsFileLength + 1, 'x');
    fake.files.AddFile(ignorePath, huge);
    state.lstIgnoreListFile = {"stale"};
    settings.LoadFiles(kSettingsFolder, kIgnoreListFileName, state.lstIgnoreListFile);
    EXPECT_TRUE(state.lstIgnoreListFile.empty());
    ASSERT_EQ(state.lstLog.size(), 1u);
    state.lstIgnoreListFile = {"path|C:\\x|cat"};
    settings.SaveData();
    EXPECT_EQ(fake.files.Content(ignorePath).size(), huge.size());

    // Exactly at the limit it is an ordinary file.
    const std::string settingsPath = "C:\\Pellora\\Settings\\Settings.stg";
    fake.files.AddFile(settingsPath, std::string(kMaxSettingsFileLength, 'y'));
    settings.LoadFiles(kSettingsFolder, kSettingsFileName, state.lstSettingsFile);
    EXPECT_EQ(state.lstSettingsFile.size(), 1u);
}

// ---- reference database ----------------------------------------------------------------------

std::string Locked(const std::string& plain) {
    return *LockText(plain, kDatabaseKey);
}

class DatabaseTest : public ::testing::Test {
  protected:
    DatabaseTest() {
        state.appFolder = "C:\\Pellora";
        fake.files.AddFolder("C:\\Pellora");
    }
    fakes::FakePlatform fake;
    AppState state;
    Database database{state, fake.files, fake.system, fake.ui};
    const std::string path = "C:\\Pellora\\DataBase.ref";
};

TEST_F(DatabaseTest, UnlocksEveryLineIntoUtf8AndYieldsPerLine) {
    // CR LF and a lone LF both end lines; the last line may have no line end.
    fake.files.AddFile(path, Locked("Version 1") + "\r\n" +
                                 Locked("cookie|tr\xE4"
                                        "cker|Trk|") +
                                 "\n" + Locked("path|%WinDir%\\a.exe|A|"));
    int applied = 0;
    database.applySettings = [&] { ++applied; };
    const uint64_t before = fake.ui.yields;
    database.LoadAndApplyDatabase();
    EXPECT_EQ(state.lstDBaseFile, (Lines{"Version 1",
                                         "cookie|tr\xC3\xA4"
                                         "cker|Trk|",
                                         "path|%WinDir%\\a.exe|A|"}));
    EXPECT_EQ(fake.ui.yields - before, 3u);
    EXPECT_EQ(applied, 1);
    // Each load starts again from the file.
    database.LoadAndApplyDatabase();
    EXPECT_EQ(state.lstDBaseFile.size(), 3u);
    EXPECT_EQ(state.lstDBaseFile[0], "Version 1");
}

TEST_F(DatabaseTest, MissingOrEmptyFileGivesAnEmptyTable) {
    state.lstDBaseFile = {"old"};
    database.LoadAndUnlock();
    EXPECT_TRUE(state.lstDBaseFile.empty());
    EXPECT_FALSE(database.DatabaseFileExists());
    EXPECT_EQ(state.databaseProblemText,
              "The reference database DataBase.ref cannot be used: it could not be read. No scan can find anything "
              "without it: update the database (Update on the status panel).");
    fake.files.AddFile(path, "");
    EXPECT_TRUE(database.DatabaseFileExists());
    database.LoadAndUnlock();
    EXPECT_TRUE(state.lstDBaseFile.empty());
    EXPECT_NE(state.databaseProblemText.find("cannot be used: it is empty."), std::string::npos);
    fake.files.AddFile(path, Locked("Version 1") + "\r\n" + Locked("path|C:\\x.exe|Trojan|"));
    database.LoadAndUnlock();
    EXPECT_EQ(state.databaseProblemText, "");
}

TEST_F(DatabaseTest, AReloadDuringTheYieldsSupersedesTheRunningLoad) {
    fake.files.AddFile(path, Locked("Old") + "\r\n" + Locked("#1") + "\r\n" + Locked("#2"));
    bool replaced = false;
    fake.ui.onYield = [&] {
        if (replaced)
            return;
        replaced = true;
        fake.files.AddFile(path, Locked("New"));
        database.LoadAndUnlock();
    };
    database.LoadAndUnlock();
    EXPECT_EQ(state.lstDBaseFile, Lines{"New"});
}

}  // namespace
}  // namespace pellora
