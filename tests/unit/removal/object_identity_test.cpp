#include <gtest/gtest.h>

#include "core/identity/object_identity.h"
#include "core/removal/protected_objects.h"
#include "core/util/case_fold.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

TEST(CaseFold, FoldsEveryScriptTheWayWindowsComparesNames) {
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"C:\\Users\\ÉMILE", "c:\\users\\émile", true},
             {"ΩΜΕΓΑ", "ωμεγα", true},
             {"ЖУРНАЛ", "журнал", true},
             {"ԱԲ", "աբ", true},
             {"Ǆ", "ǆ", true},
             {"ǅ", "ǆ", false},  // the title-case letter is its own upper case
             {"µ", "Μ", false},
             {"ＡＢ", "ａｂ", true},
             {"STRASSE", "straße", false},  // no expansion
             {"é", "e", false},             // no accent folding
             {"a\xff", "A\xff", true},      // malformed bytes kept as they are
         }) {
        EXPECT_EQ(EqualsOrdinalIgnoreCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    }
}

TEST(CanonicalKey, EverySpellingOfAKeyHasOneForm) {
    const std::string sid = "S-1-5-21-7-8-9-1001";
    struct Case {
        const char* path;
        const char* scope;
        const char* relative;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"HKEY_CLASSES_ROOT\\exefile", "CLASSES", "SOFTWARE\\CLASSES\\EXEFILE"},
             {"HKEY_LOCAL_MACHINE\\Software\\Classes\\exefile", "CLASSES", "SOFTWARE\\CLASSES\\EXEFILE"},
             {"HKEY_CURRENT_USER\\SOFTWARE\\classes\\ExeFile", "CLASSES", "SOFTWARE\\CLASSES\\EXEFILE"},
             {"HKEY_USERS\\S-1-5-21-7-8-9-1001_Classes\\exefile", "CLASSES", "SOFTWARE\\CLASSES\\EXEFILE"},
             {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Classes\\exefile", "CLASSES", "SOFTWARE\\CLASSES\\EXEFILE"},
             {"HKEY_CLASSES_ROOT\\Wow6432Node\\CLSID", "CLASSES", "SOFTWARE\\CLASSES\\CLSID"},
             {"HKEY_USERS\\s-1-5-21-7-8-9-1001\\Software\\X", "HKCU", "SOFTWARE\\X"},
             {"HKEY_USERS\\S-1-5-21-5\\Software\\X", "HKU\\S-1-5-21-5", "SOFTWARE\\X"},
             {"HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet002\\Control", "HKLM", "SYSTEM\\CURRENTCONTROLSET\\CONTROL"},
             {"HKEY_LOCAL_MACHINE\\\\System\\\\CurrentControlSet", "HKLM", "SYSTEM\\CURRENTCONTROLSET"},
             {"HKEY_CURRENT_CONFIG\\Software", "HKLM",
              "SYSTEM\\CURRENTCONTROLSET\\HARDWARE PROFILES\\CURRENT\\SOFTWARE"},
             {"hklm\\software\\wow6432node\\microsoft", "HKLM", "SOFTWARE\\MICROSOFT"},
         }) {
        auto key = ObjectIdentity::CanonicalKeyOf(c.path, sid);
        ASSERT_TRUE(key) << c.path;
        EXPECT_EQ(key->scope, c.scope) << c.path;
        EXPECT_EQ(key->Relative(), c.relative) << c.path;
    }
    EXPECT_FALSE(ObjectIdentity::CanonicalKeyOf("HKEY_NOWHERE\\Software", sid));
}

TEST(PlainPath, OnlyTheFormADatabaseMeans) {
    for (const char* plain : {"C:\\Spy\\evil.exe", "D:\\Program Files\\Bad Bar\\bar.dll", "C:\\Users\\Émile\\x"}) {
        EXPECT_TRUE(IsPlainAbsolutePath(plain)) << plain;
    }
    for (const char* odd : {"C:/Spy/evil.exe", "C:\\Spy\\..\\evil.exe", "C:\\Spy\\.\\evil.exe", "C:\\Spy.\\evil.exe",
                            "C:\\Spy \\evil.exe", "C:\\PROGRA~1\\x", "\\\\?\\C:\\Spy", "\\\\.\\C:\\Spy",
                            "\\\\localhost\\C$\\Spy", "C:\\Spy\\evil.exe:stream", "C:\\\\Spy", "C:Spy", "C:\\"}) {
        EXPECT_FALSE(IsPlainAbsolutePath(odd)) << odd;
    }
}

class IdentityGuardTest : public ::testing::Test {
  protected:
    void SetUp() override {
        state.appFolder = "C:\\Tools\\Pellora";
        state.folders.windowsDir = "C:\\windows";
        state.folders.systemDir = "C:\\windows\\system32";
        state.folders.tempDir = "C:\\users\\Émile\\Temp";
        state.folders.appData = "C:\\users\\Émile\\AppData\\Roaming";
        state.folders.programsDir = "C:\\Program Files";
        state.folders.cookies = "Error";
        for (const char* folder : {"C:\\windows\\system32\\drivers", "C:\\windows\\Fonts", "C:\\Program Files\\App",
                                   "C:\\users\\Émile\\AppData\\Roaming", "C:\\users\\Émile\\Documents",
                                   "C:\\ProgramData\\Microsoft\\Crypto", "C:\\Spy", "C:\\Tools\\Pellora"}) {
            p.files.AddFolder(folder);
        }
        for (const char* file :
             {"C:\\windows\\system32\\kernel32.dll", "C:\\windows\\regedit.exe",
              "C:\\windows\\system32\\drivers\\mountmgr.sys", "C:\\pagefile.sys", "C:\\windows\\notepad.exe",
              "C:\\Spy\\evil.exe", "C:\\windows\\spy.dll", "C:\\Program Files\\App\\guarded.dll"}) {
            p.files.AddFile(file);
        }
        p.files.systemProtected.push_back("C:\\Program Files\\App\\guarded.dll");
        p.files.AddAlias("C:\\PROG~FBU", "C:\\Program Files");
        p.files.AddAlias("X:", "C:\\windows");  // a SUBST letter
        p.files.AddAlias("C:\\users\\ÉMILE", "C:\\users\\Émile");
        p.files.AddFolderLinkTo("C:\\Spy\\junction", "C:\\windows\\system32", true);
        p.files.AddFolderLinkTo("C:\\Spy\\unixlink", "C:\\users\\Émile\\Documents", false);
        p.registry.AddString("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                             "Personal", "C:\\users\\Émile\\Documents");
        p.registry.AddString(
            "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
            "Common AppData", "C:\\ProgramData");
    }

    fakes::FakePlatform p;
    AppState state;
    RegistryAccess registry{p.registry, p.ui};
    ProtectedObjects guard{state, p.files, registry, &p.system};
};

TEST_F(IdentityGuardTest, ProtectedFilesInEverySpelling) {
    for (const char* path : {
             "C:\\windows\\system32\\kernel32.dll", "C:/windows/system32/kernel32.dll",
             "C:\\Spy\\..\\windows\\system32\\KERNEL32.DLL", "C:\\windows.\\system32 \\kernel32.dll",
             "\\\\?\\C:\\windows\\regedit.exe", "\\\\.\\C:\\windows\\regedit.exe", "X:\\regedit.exe",
             "X:\\system32\\drivers\\mountmgr.sys", "C:\\pagefile.sys", "C:\\Spy\\junction\\kernel32.dll",
             "C:\\windows\\system32\\new-spy.dll",                  // nothing below the system's own folders goes
             "C:\\PROG~FBU\\App\\guarded.dll",                      // the system's file protection guards it
             "\\\\localhost\\C$\\windows\\system32\\kernel32.dll",  // cannot be opened here: odd spelling
         }) {
        EXPECT_TRUE(guard.FileRefusal(path)) << path;
    }
    for (const char* path : {"C:\\Spy\\evil.exe", "C:\\windows\\spy.dll", "C:\\Spy\\gone.exe"}) {
        EXPECT_FALSE(guard.FileRefusal(path)) << path;
    }
}

TEST_F(IdentityGuardTest, ProtectedFoldersAndFoldersHoldingThem) {
    for (const char* path : {
             "C:\\PROG~FBU",
             "X:\\",
             "X:\\Fonts",
             "C:\\users\\ÉMILE\\Documents",
             "C:\\USERS\\émile\\appdata\\ROAMING",
             "C:\\users\\Émile\\AppData",
             "C:\\ProgramData",
             "C:\\ProgramData\\Microsoft\\Crypto",
             "C:\\Spy\\unixlink",  // leads to the user's documents
             "C:\\Spy\\junction\\drivers",
             "C:\\Tools",
             "C:\\Spy\\..\\Program Files\\.",
         }) {
        EXPECT_TRUE(guard.FolderRefusal(path)) << path;
    }
    for (const char* path : {"C:\\Spy", "C:\\Program Files\\Gone", "C:\\Spy\\junction"}) {
        EXPECT_FALSE(guard.FolderRefusal(path)) << path;
    }
}

TEST_F(IdentityGuardTest, ProtectedKeysInEverySpellingAndThroughLinks) {
    p.registry.AddKey("HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Services\\disk");
    p.registry.AddDword("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\disk", "Type", 1);
    p.registry.AddDword("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\spysvc", "Type", 16);
    p.registry.AddString("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\spysvc", "ImagePath",
                         "C:\\Spy\\svc.exe");
    p.registry.AddDword("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog", "Type", 32);
    p.registry.AddString("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog", "ImagePath",
                         "%SystemRoot%\\System32\\svchost.exe -k LocalServiceNetworkRestricted");
    p.registry.AddLink("HKEY_CURRENT_USER\\Software\\Spy\\Link", "\\REGISTRY\\MACHINE\\SYSTEM\\ControlSet001");
    for (const char* key : {
             "HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Session Manager",
             "HKEY_LOCAL_MACHINE\\SYSTEM\\Select",
             "HKEY_LOCAL_MACHINE\\SYSTEM\\MountedDevices",
             "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\disk",
             "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\EventLog\\Parameters",
             "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon",
             "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
             "HKEY_USERS\\S-1-5-21-1000-2000-3000-1001\\Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
             "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run",
             "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
             "HKEY_LOCAL_MACHINE\\Software\\Classes\\.exe",
             "HKEY_CURRENT_USER\\Software\\Classes\\exefile\\shell",
             "HKEY_CLASSES_ROOT\\lnkfile",
             "HKEY_CLASSES_ROOT\\Directory",
             "HKEY_CLASSES_ROOT\\Folder",
             "HKEY_CLASSES_ROOT\\*",
             "HKEY_LOCAL_MACHINE\\SOFTWARE\\Wow6432Node\\Classes\\CLSID",
             "HKEY_CLASSES_ROOT\\Interface",
             "HKEY_CLASSES_ROOT\\TypeLib",
             "HKEY_USERS\\S-1-5-21-1000-2000-3000-1001_Classes\\CLSID",
             "HKEY_CURRENT_USER\\Software\\Spy\\Link\\Control",  // through a link into the control set
         }) {
        EXPECT_TRUE(guard.KeyRefusal(key)) << key;
    }
    for (const char* key : {"HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\spysvc",
                            "HKEY_CLASSES_ROOT\\CLSID\\{1234}", "HKEY_CURRENT_USER\\Software\\Spy",
                            "HKEY_CURRENT_USER\\Software\\Spy\\Link",  // the link itself goes
                            "HKEY_CLASSES_ROOT\\Directory\\shell\\SpyMenu"}) {
        EXPECT_FALSE(guard.KeyRefusal(key)) << key;
    }
    EXPECT_TRUE(guard.ValueRefusal("HKEY_LOCAL_MACHINE\\SYSTEM\\ControlSet001\\Control\\Session Manager,Spy"));
    EXPECT_TRUE(guard.ValueRefusal("HKEY_CURRENT_USER\\Software\\Spy\\Link\\Control\\Lsa,Bad"));
    EXPECT_FALSE(guard.ValueRefusal("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run,Spy"));
}

}  // namespace
}  // namespace pellora
