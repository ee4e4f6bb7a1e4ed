#include <gtest/gtest.h>

#include "core/removal/protected_objects.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

class ProtectedObjectsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state.appFolder = "C:\\Tools\\Pellora";
        state.folders.windowsDir = "C:\\WINDOWS";
        state.folders.systemDir = "C:\\WINDOWS\\system32";
        state.folders.tempDir = "C:\\Users\\bob\\AppData\\Local\\Temp";
        state.folders.appData = "C:\\Users\\bob\\AppData\\Roaming";
        state.folders.programsDir = "C:\\Program Files";
        state.folders.cookies = "Error";
        p.registry.AddString("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                             "ProgramFilesDir (x86)", "D:\\Apps32");
    }
    bool FolderRefused(const std::string& path) { return guard.FolderRefusal(path).has_value(); }

    fakes::FakePlatform p;
    AppState state;
    RegistryAccess registry{p.registry, p.ui};
    ProtectedObjects guard{state, p.files, registry};
};

TEST_F(ProtectedObjectsTest, FoldersTheSystemNeedsAndEverythingAboveThem) {
    for (const char* path : {"C:\\",
                             "C:",
                             "d:\\",
                             "C:\\WINDOWS",
                             "C:\\WINDOWS\\system32",
                             "C:\\Program Files",
                             "D:\\Apps32",
                             "C:\\Users",
                             "C:\\Users\\bob",
                             "C:\\Users\\alice",
                             "E:\\Documents and Settings\\Bob",
                             "C:\\Users\\bob\\AppData",
                             "C:\\Users\\bob\\AppData\\Roaming",
                             "C:\\Users\\bob\\AppData\\Local\\Temp",
                             "C:\\Tools",
                             "C:\\Tools\\Pellora",
                             "C:\\Tools\\Pellora\\Quarantine",
                             "C:\\WINDOWS\\WinSxS",
                             "C:\\WINDOWS\\system32\\drivers",
                             "\\\\server\\share",
                             "relative\\path",
                             "\\WINDOWS",
                             "C:WINDOWS",
                             ""}) {
        EXPECT_TRUE(FolderRefused(path)) << path;
    }
}

TEST_F(ProtectedObjectsTest, PathsAreComparedInNormalForm) {
    for (const char* path : {"c:\\windows\\", "C:/Windows", "C:\\\\WINDOWS\\\\", "C:\\Spy\\..\\WINDOWS",
                             "C:\\Spy\\..\\..\\..\\WINDOWS\\.", "C:\\WINDOWS.", "C:\\WINDOWS \\", "C:\\PROGRA~1",
                             "\\\\?\\C:\\Windows", "C:\\WINDOWS::$INDEX_ALLOCATION", "C:\\Users\\BOB\\APPDATA"}) {
        EXPECT_TRUE(FolderRefused(path)) << path;
    }
}

TEST_F(ProtectedObjectsTest, SpywareFoldersInsideProtectedOnesMayGo) {
    // A short name is taken at its word only when the folder opens as what it stands for.
    p.files.AddFolder("C:\\Program Files\\BadBar");
    p.files.AddAlias("C:\\PROGRA~1", "C:\\Program Files");
    for (const char* path : {"C:\\Program Files\\BadBar", "C:\\PROGRA~1\\BadBar", "C:\\WINDOWS\\BadFolder",
                             "C:\\Users\\bob\\AppData\\Roaming\\Spy", "C:\\Spy", "D:\\Data\\Spy"}) {
        EXPECT_FALSE(FolderRefused(path)) << path;
    }
}

TEST_F(ProtectedObjectsTest, AFolderReachedThroughALinkIsRefused) {
    p.files.AddFolderLink("C:\\Spy\\link");
    EXPECT_TRUE(FolderRefused("C:\\Spy\\link\\System32"));
    EXPECT_FALSE(FolderRefused("C:\\Spy\\link"));  // the link itself may go
}

TEST_F(ProtectedObjectsTest, CriticalExecutablesAndTheProgramsOwnFiles) {
    EXPECT_TRUE(guard.FileRefusal("C:\\WINDOWS\\system32\\svchost.exe"));
    EXPECT_TRUE(guard.FileRefusal("C:\\Windows\\explorer.exe"));
    EXPECT_TRUE(guard.FileRefusal("C:\\WINDOWS\\WinSxS\\x\\LSASS.EXE"));
    EXPECT_TRUE(guard.FileRefusal("C:\\Tools\\Pellora\\DataBase.ref"));
    EXPECT_TRUE(guard.FileRefusal("file.exe"));
    // An impostor outside the Windows folder is removable, but its name must not end the real process.
    EXPECT_FALSE(guard.FileRefusal("C:\\Temp\\svchost.exe"));
    EXPECT_TRUE(guard.ProcessRefusal("svchost.exe"));
    EXPECT_TRUE(guard.ProcessRefusal("Explorer.EXE"));
    EXPECT_FALSE(guard.ProcessRefusal("badware.exe"));
    // Nothing below the system folder goes, whatever the row names.
    EXPECT_TRUE(guard.FileRefusal("C:\\WINDOWS\\system32\\evil.dll"));
}

TEST_F(ProtectedObjectsTest, PatternFindsInsideTheWindowsFolderAreRefused) {
    EXPECT_TRUE(guard.PatternFindRefusal("C:\\WINDOWS\\system32\\user32.dll").has_value());
    EXPECT_TRUE(guard.PatternFindRefusal("c:\\windows\\..\\WINDOWS\\notepad.exe").has_value());
    EXPECT_FALSE(guard.PatternFindRefusal("C:\\Program Files\\Bonzi\\bonzi.exe").has_value());
    // An exact path item may name spyware in the Windows folder, not in the system folder.
    EXPECT_FALSE(guard.FileRefusal("C:\\WINDOWS\\spy32.dll").has_value());
    EXPECT_TRUE(guard.FileRefusal("C:\\WINDOWS\\system32\\spy32.dll").has_value());
}

TEST_F(ProtectedObjectsTest, RegistryKeys) {
    for (const char* key : {"HKEY_LOCAL_MACHINE", "HKEY_LOCAL_MACHINE\\Software", "HKEY_CURRENT_USER\\Software\\",
                            "hkey_local_machine\\SOFTWARE", "HKEY_CLASSES_ROOT\\CLSID", "HKEY_USERS\\S-1-5-21-1",
                            "HKEY_USERS\\S-1-5-21-1\\Software", "HKEY_LOCAL_MACHINE\\Software\\Microsoft",
                            "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows",
                            "HKEY_LOCAL_MACHINE\\System\\ControlSet001\\Services", "HKEY_CLASSES_ROOT\\exefile\\shell",
                            "HKEY_LOCAL_MACHINE\\\\Software"}) {
        EXPECT_TRUE(guard.KeyRefusal(key)) << key;
    }
    for (const char* key : {"HKEY_CURRENT_USER\\Software\\BadBar", "HKEY_CLASSES_ROOT\\CLSID\\{1234}",
                            "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Services\\badsvc",
                            "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run\\Sub"}) {
        EXPECT_FALSE(guard.KeyRefusal(key)) << key;
    }
    EXPECT_TRUE(
        guard.ValueRefusal("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon,Shell"));
    EXPECT_TRUE(guard.ValueRefusal("HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet002\\Control\\Session Manager,BootExecute"));
    EXPECT_FALSE(guard.ValueRefusal("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Run,Bad"));
}

}  // namespace
}  // namespace pellora
