#include <gtest/gtest.h>

#include "core/database/folder_variables.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

SpecialFolders SampleFolders() {
    SpecialFolders f;
    f.appData = "C:\\Users\\u\\AppData";
    f.startMenu = "C:\\Users\\u\\Start Menu";
    f.programsDir = "C:\\Program Files";
    f.desktop = "C:\\Users\\u\\Desktop";
    f.tempDir = "C:\\TEMP";
    f.windowsDir = "C:\\WINDOWS";
    f.systemDir = "C:\\WINDOWS\\system32";
    return f;
}

TEST(ReplaceVariableFolders, AnyCaseEveryOccurrenceUnknownKept) {
    SpecialFolders f = SampleFolders();
    std::string object = "%windir%\\a;%WINDIR%\\b;%TempDir%\\c;%Fonts%\\d";
    ReplaceVariableFolders(object, f);
    EXPECT_EQ(object, "C:\\WINDOWS\\a;C:\\WINDOWS\\b;C:\\TEMP\\c;%Fonts%\\d");

    std::string two = "%ProgramsDir%\\x\\%desktop%";
    ReplaceVariableFolders(two, f);
    EXPECT_EQ(two, "C:\\Program Files\\x\\C:\\Users\\u\\Desktop");

    std::string all = "%AppData%|%StartMenu%|%SystemDir%";
    ReplaceVariableFolders(all, f);
    EXPECT_EQ(all, "C:\\Users\\u\\AppData|C:\\Users\\u\\Start Menu|C:\\WINDOWS\\system32");
}

TEST(ReplaceVariableFolders, FixedOrderWorksOnEarlierResults) {
    // A value holding a later variable is expanded by that later step; one holding an earlier
    // variable is not (the order is fixed, each step runs once).
    SpecialFolders f = SampleFolders();
    f.appData = "%WinDir%\\Profiles";
    f.systemDir = "%AppData%";
    std::string object = "%APPDATA%\\x;%SystemDir%";
    ReplaceVariableFolders(object, f);
    EXPECT_EQ(object, "C:\\WINDOWS\\Profiles\\x;%AppData%");

    // A value that contains its own variable does not loop.
    f.tempDir = "%TempDir%\\t";
    std::string self = "%TempDir%";
    ReplaceVariableFolders(self, f);
    EXPECT_EQ(self, "%TempDir%\\t");
}

TEST(DiscoverSpecialFolders, ReadsSystemAndShellFolders) {
    fakes::FakePlatform p;
    p.system.systemDir = "D:\\Win\\System32";
    p.system.windowsDir = "D:\\Win";
    p.system.tempPath = "D:\\Temp\\";
    p.registry.AddString(kShellFoldersKey, "AppData", "D:\\AppData");
    p.registry.AddString(kShellFoldersKey, "Start Menu", "  D:\\Start Menu");
    p.registry.AddString(kShellFoldersKey, "Desktop", "D:\\Desktop");
    p.registry.AddString(kShellFoldersKey, "Cookies", "D:\\Cookies");
    p.registry.AddString(kCurrentVersionKey, "ProgramFilesDir", "D:\\Programs");
    RegistryAccess registry(p.registry, p.ui);

    SpecialFolders f;
    DiscoverSpecialFolders(f, p.system, registry);
    EXPECT_EQ(f.systemDir, "D:\\Win\\System32");
    EXPECT_EQ(f.windowsDir, "D:\\Win");
    EXPECT_EQ(f.tempDir, "D:\\Temp");
    EXPECT_EQ(f.appData, "D:\\AppData");
    EXPECT_EQ(f.startMenu, "D:\\Start Menu");
    EXPECT_EQ(f.programsDir, "D:\\Programs");
    EXPECT_EQ(f.desktop, "D:\\Desktop");
    EXPECT_EQ(f.cookies, "D:\\Cookies");
    EXPECT_TRUE(p.ui.messages.empty());

    // The temporary folder plus a backslash and a name gives a single separator.
    std::string object = "%TEMPDIR%\\evil.exe";
    ReplaceVariableFolders(object, f);
    EXPECT_EQ(object, "D:\\Temp\\evil.exe");
}

TEST(DiscoverSpecialFolders, FallbacksAndSentinels) {
    fakes::FakePlatform p;
    p.system.systemDir = "";
    p.system.windowsDir = "";
    p.system.tempPath = "";
    p.registry.AddKey(kShellFoldersKey);
    p.registry.AddString(kShellFoldersKey, "Desktop", "");
    RegistryAccess registry(p.registry, p.ui);

    SpecialFolders f;
    DiscoverSpecialFolders(f, p.system, registry);
    EXPECT_EQ(f.systemDir, "C:\\WINDOWS\\SYSTEM32");
    EXPECT_EQ(f.windowsDir, "C:\\WINDOWS");
    EXPECT_EQ(f.tempDir, "C:\\WINDOWS\\TEMP");
    EXPECT_EQ(f.appData, "Error");
    EXPECT_EQ(f.programsDir, "Error");  // key missing altogether
    EXPECT_EQ(f.desktop, "");
    EXPECT_EQ(f.cookies, "Error");
    EXPECT_TRUE(p.ui.messages.empty());

    // A temporary path handed over without a trailing backslash keeps its last character.
    p.system.tempPath = "E:\\tmp";
    DiscoverSpecialFolders(f, p.system, registry);
    EXPECT_EQ(f.tempDir, "E:\\tmp");
}

}  // namespace
}  // namespace pellora
