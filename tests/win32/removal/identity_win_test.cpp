// The identity adapters on the real platform: the core's case fold against the system's own
// upper-case table, final paths of odd spellings, and registry links opened as themselves.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/identity/object_identity.h"
#include "core/util/case_fold.h"
#include "fakes/fake_platform.h"
#include "win32/file_system_win.h"
#include "win32/identity_win.h"
#include "win32/registry_win.h"

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

}  // namespace
}  // namespace pellora
