// The identity adapters on the real platform: the core's case fold against the system's own
// upper-case table, final paths of odd spellings, registry links opened as themselves, and a
// folder tree as deep as the platform allows, listed and removed, and a file that another one
// replaced between the check and the deletion, left alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/app/app.h"
#include "core/identity/object_identity.h"
#include "core/settings/settings_files.h"
#include "core/util/case_fold.h"
#include "fakes/fake_platform.h"
#include "win32/clock_win.h"
#include "win32/file_system_win.h"
#include "win32/identity_win.h"
#include "win32/processes_win.h"
#include "win32/registry_win.h"
#include "win32/shell_win.h"
#include "win32/system_win.h"

#include "../external/external_test_support.h"

namespace pellora {
namespace {

using pellora::testing::ScratchFolder;

TEST(IdentityWin, TheCoreFoldIsTheSystemsUpperCaseTable) {
    using Upcase = WCHAR(WINAPI*)(WCHAR);
    auto upcase = reinterpret_cast<Upcase>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlUpcaseUnicodeChar")));
    ASSERT_NE(upcase, nullptr);
    std::vector<std::string> differences;
    for (unsigned unit = 1; unit < 0x10000; ++unit) {
        if (unit >= 0xD800 && unit <= 0xDFFF)
            continue;
        char16_t ours = UpcaseOrdinal(static_cast<char16_t>(unit));
        WCHAR system = upcase(static_cast<WCHAR>(unit));
        if (ours != system) {
            char text[48];
            snprintf(text, sizeof text, "U+%04X: ours U+%04X, system U+%04X", unit, unsigned(ours), unsigned(system));
            differences.push_back(text);
        }
    }
    for (size_t i = 0; i < differences.size() && i < 200; ++i)
        ADD_FAILURE() << differences[i];
    EXPECT_TRUE(differences.empty()) << differences.size() << " code units differ";
    EXPECT_TRUE(win32::OrdinalEqualIgnoreCase("C:\\Users\\ÉMILE\\Ωmega", "c:\\users\\émile\\ωMEGA"));
    EXPECT_TRUE(EqualsOrdinalIgnoreCase("C:\\Users\\ÉMILE\\Ωmega", "c:\\users\\émile\\ωMEGA"));
}

TEST(IdentityWin, EverySpellingOfAFolderHasOneFinalPathAndId) {
    ScratchFolder scratch("identity");
    win32::FileSystemWin files;
    CreateDirectoryW(win32::Widen(scratch / "Émile").c_str(), nullptr);
    CreateDirectoryW(win32::Widen(scratch / "Émile\\Sub").c_str(), nullptr);
    auto plain = files.Identify(scratch / "Émile\\Sub");
    ASSERT_TRUE(plain);
    for (const std::string& spelling : {scratch / "ÉMILE\\sub", scratch / "Émile\\x\\..\\Sub", scratch / "Émile.\\Sub ",
                                        "\\\\?\\" + (scratch / "Émile\\Sub"), scratch / "Émile/Sub"}) {
        auto other = files.Identify(spelling);
        if (!other)
            continue;  // a spelling this platform does not resolve is refused by the core
        EXPECT_TRUE(EqualsOrdinalIgnoreCase(other->finalPath, plain->finalPath))
            << spelling << " -> " << other->finalPath;
        EXPECT_EQ(other->fileIdLow, plain->fileIdLow) << spelling;
        EXPECT_EQ(other->volumeSerial, plain->volumeSerial) << spelling;
    }
    EXPECT_FALSE(files.Identify(scratch / "missing"));
}

TEST(IdentityWin, RegistryLinksAreListedAndDeletedAsThemselves) {
    const std::wstring base = L"Software\\PelloraLinkTest";
    RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str());
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (base + L"\\Target\\Child").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    win32::RegistryWin registry;
    std::string sid = registry.CurrentUserSid();
    ASSERT_FALSE(sid.empty());
    std::wstring target = L"\\REGISTRY\\USER\\" + win32::Widen(sid) + L"\\" + base + L"\\Target";
    HKEY link = nullptr;
    LONG rc = RegCreateKeyExW(HKEY_CURRENT_USER, (base + L"\\Spy\\Link").c_str(), 0, nullptr,
                              REG_OPTION_CREATE_LINK | REG_OPTION_VOLATILE, KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr,
                              &link, nullptr);
    ASSERT_EQ(rc, ERROR_SUCCESS);
    rc = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.c_str()),
                        static_cast<DWORD>(target.size() * sizeof(wchar_t)));
    RegCloseKey(link);
    ASSERT_EQ(rc, ERROR_SUCCESS);

    const std::string linkPath = "Software\\PelloraLinkTest\\Spy\\Link";
    auto seen = registry.LinkTarget(RootKey::CurrentUser, linkPath);
    ASSERT_TRUE(seen);
    EXPECT_TRUE(EqualsOrdinalIgnoreCase(*seen, win32::Narrow(target)));
    EXPECT_FALSE(registry.LinkTarget(RootKey::CurrentUser, "Software\\PelloraLinkTest\\Target"));
    // Through the link the target's key would be listed; the link itself has none.
    auto below = registry.EnumSubKeys(RootKey::CurrentUser, linkPath, RegAccess::Listing);
    EXPECT_TRUE(!below || below->empty());
    // The identity service follows the link for the protection check.
    fakes::FakeFileSystem noFiles;
    ObjectIdentity identity(noFiles, registry);
    auto through = identity.KeyPathThroughLinks("HKEY_CURRENT_USER\\Software\\PelloraLinkTest\\Spy\\Link\\Child");
    ASSERT_TRUE(through);
    EXPECT_TRUE(EqualsOrdinalIgnoreCase(*through, "HKEY_USERS\\" + sid + "\\Software\\PelloraLinkTest\\Target\\Child"))
        << *through;

    EXPECT_TRUE(registry.DeleteKey(RootKey::CurrentUser, linkPath));
    EXPECT_FALSE(registry.KeyOpens(RootKey::CurrentUser, linkPath, RegAccess::Read));
    EXPECT_TRUE(registry.KeyOpens(RootKey::CurrentUser, "Software\\PelloraLinkTest\\Target\\Child", RegAccess::Read));
    RegDeleteTreeW(HKEY_CURRENT_USER, base.c_str());
}

// The whole program on the real platform with a recording window: a scan of `items`, then
// an automatic removal run of every find, whose log goes to <scratch>\app\DavEre.roz.
class RealApp {
  public:
    explicit RealApp(const ScratchFolder& scratch) {
        state.appFolder = scratch / "app";
        CreateDirectoryW(win32::Widen(state.appFolder).c_str(), nullptr);
        CreateDirectoryW(win32::Widen(state.appFolder + "\\Settings").c_str(), nullptr);
        state.lstSettingsFile = DefaultSettingsLines("about:blank");
        state.lstSettingsFile[2] = "1";  // no home-page question
        state.lstSettingsFile[3] = "1";  // log file on
        state.lstScanInfoFile = DefaultScanInfoLines();
        state.lstCustomScanSettings = DefaultCustomScanLines();
        state.folders.windowsDir = system.WindowsDirectory();
        state.folders.systemDir = system.SystemDirectory();
    }

    size_t Scan(std::vector<std::string> items) {
        state.lstDBaseFile = std::move(items);
        state.lstDBaseFile.insert(state.lstDBaseFile.begin(), "1.0");
        app.scanner().StartScan();
        return state.lstScanResult.size();
    }

    void RemoveAll() {
        state.automaticScan = true;
        for (ResultRow& row : state.lstScanResult)
            row.checked = true;
        app.removalRun().cmdNextDelete_Click();
    }

    std::string LogFile() {
        auto bytes = files.ReadFile(state.appFolder + "\\DavEre.roz");
        return bytes ? *bytes : std::string();
    }

    win32::RegistryWin registry;
    win32::FileSystemWin files;
    win32::ProcessesWin processes;
    win32::ShellWin shell;
    win32::ClockWin clock;
    win32::SystemWin system;
    fakes::FakeUi ui;
    Ports ports{registry, files, processes, shell, clock, system, ui};
    App app{ports};
    AppState& state = app.state();
};

bool MakeFile(const std::string& path, const std::string& bytes, DWORD attributes = FILE_ATTRIBUTE_NORMAL) {
    HANDLE file = CreateFileW(win32::WinPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, attributes, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
    CloseHandle(file);
    return ok;
}

TEST(IdentityWin, AFolderTreeAsDeepAsThePlatformAllowsIsListedAndRemoved) {
    ScratchFolder scratch("deep");
    const std::string top = scratch / "Deep";
    std::string path = top;
    int depth = 0;
    CreateDirectoryW(win32::Widen(path).c_str(), nullptr);
    // Deep enough to outlast the removal's passes many times over and to pass MAX_PATH twice
    // (Wine's GetFinalPathNameByHandleW gives up there). Wine stops near 2,000 levels (the Unix
    // path limit) and makes each level slower than the last, so the run stays at a few hundred
    // unless PELLORA_DEEP_TREE_LEVELS asks for more; the walk keeps no stack frame per level.
    const char* asked = std::getenv("PELLORA_DEEP_TREE_LEVELS");
    const int levels = asked ? std::atoi(asked) : 400;
    while (depth < levels && CreateDirectoryW((L"\\\\?\\" + win32::Widen(path + "\\d")).c_str(), nullptr)) {
        path += "\\d";
        ++depth;
    }
    ASSERT_GE(depth, std::min(levels, 300));
    // The file sits a few levels up, where its own name still fits.
    ASSERT_TRUE(MakeFile(path.substr(0, path.size() - 8) + "\\leaf.txt", "leaf"));

    RealApp real(scratch);
    ASSERT_EQ(real.Scan({"folder|" + top + "|Adware.Deep|"}), 1u);
    real.RemoveAll();
    EXPECT_EQ(GetFileAttributesW(win32::Widen(top).c_str()), INVALID_FILE_ATTRIBUTES) << "depth " << depth;
}

TEST(IdentityWin, OnlyTheFileThatWasCheckedIsDeleted) {
    ScratchFolder scratch("swap");
    const std::string spy = scratch / "spy.exe";
    const std::string readOnly = scratch / "stubborn.dat";
    ASSERT_TRUE(MakeFile(spy, "spyware"));
    ASSERT_TRUE(MakeFile(readOnly, "spyware", FILE_ATTRIBUTE_READONLY));

    RealApp real(scratch);
    ASSERT_EQ(real.Scan({"path|" + spy + "|Adware.Spy|", "path|" + readOnly + "|Adware.Spy|"}), 2u);
    // Between the check and the deletion another file takes the checked one's place. The scan
    // leaves the busy flag set; the removal run sets it again once it has begun.
    real.state.busy = false;
    bool swapped = false;
    real.ui.onYield = [&] {
        if (!real.state.busy || swapped)
            return;
        swapped = MoveFileW(win32::Widen(spy).c_str(), win32::Widen(scratch / "moved.exe").c_str()) &&
                  MakeFile(spy, "the user's own");
    };
    real.RemoveAll();
    ASSERT_TRUE(swapped);

    EXPECT_EQ(real.files.ReadFile(spy), std::optional<std::string>("the user's own"));
    EXPECT_NE(real.LogFile().find("File not removed=" + spy + " (replaced since it was checked)"), std::string::npos)
        << real.LogFile();
    // A read-only file goes like any other: the attribute is cleared through the same handle.
    EXPECT_EQ(GetFileAttributesW(win32::Widen(readOnly).c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(real.LogFile().find("File deleted=" + readOnly), std::string::npos);
}

}  // namespace
}  // namespace pellora
