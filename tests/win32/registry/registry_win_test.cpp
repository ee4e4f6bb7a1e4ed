// The registry adapter and the registry layer against the real (Wine or Windows) registry, in
// a private key below HKEY_CURRENT_USER\Software that each test creates and removes.
#include <windows.h>
// winbase.h defines Yield() away, which would break the UI port's declaration.
#undef Yield

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/settings/registry_access.h"
#include "fakes/fake_platform.h"
#include "win32/encoding_win.h"
#include "win32/registry_win.h"

namespace pellora {
namespace {

using win32::RegistryWin;

std::string BytesOf(const void* data, size_t length) {
    return std::string(static_cast<const char*>(data), length);
}

class RegistryWinTest : public ::testing::Test {
  protected:
    void SetUp() override {
        subkey_ = "Software\\PelloraRegistryTest" + std::to_string(GetCurrentProcessId());
        path_ = "HKEY_CURRENT_USER\\" + subkey_;
        RegDeleteTreeW(HKEY_CURRENT_USER, win32::Widen(subkey_).c_str());
        ASSERT_TRUE(win.CreateKey(RootKey::CurrentUser, subkey_));
    }
    void TearDown() override {
        RegDeleteTreeW(HKEY_CURRENT_USER, win32::Widen(subkey_).c_str());
        EXPECT_FALSE(win.KeyOpens(RootKey::CurrentUser, subkey_, RegAccess::Read));
    }

    bool KeyExists(const std::string& below) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, win32::Widen(subkey_ + below).c_str(), 0, KEY_READ, &key) != 0) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }
    // The value as the system stores it: type and raw bytes.
    std::pair<DWORD, std::string> RawValue(const std::string& name) {
        DWORD type = 0;
        BYTE buffer[4096];
        DWORD length = sizeof(buffer);
        LONG rc = RegGetValueW(HKEY_CURRENT_USER, win32::Widen(subkey_).c_str(), win32::Widen(name).c_str(),
                               RRF_RT_ANY | RRF_NOEXPAND, &type, buffer, &length);
        return rc == ERROR_SUCCESS ? std::make_pair(type, BytesOf(buffer, length))
                                   : std::make_pair(DWORD{0}, std::string("?"));
    }

    RegistryWin win;
    fakes::FakeUi ui;
    RegistryAccess reg{win, ui};
    std::string subkey_;
    std::string path_;
};

TEST_F(RegistryWinTest, SentinelsAndMessages) {
    EXPECT_EQ(reg.GetStringValue(path_, "missing"), "Error");
    EXPECT_EQ(reg.GetDwordValue(path_, "missing"), "Error");
    EXPECT_EQ(reg.GetStringValue(path_ + "\\NoSuchKey", "v"), "Error");
    EXPECT_EQ(reg.GetStringValue("HKEY_NOT_A_ROOT\\Software", "v"), "");
    EXPECT_EQ(reg.GetDwordValue("HKEY_NOT_A_ROOT\\Software", "v"), "");
    EXPECT_TRUE(ui.messages.empty());

    reg.SetStringValue(path_, "v", "text");
    EXPECT_EQ(reg.GetStringValue("HKCU\\" + subkey_, "v"), "Error");
    EXPECT_EQ(reg.GetStringValue(path_ + "\\", "v"), "Error");
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[0].text, "Incorrect Format:\n\nHKCU\\" + subkey_);
    EXPECT_EQ(ui.messages[1].text, "Incorrect Format:\n\n" + path_ + "\\");
    EXPECT_EQ(ui.messages[1].buttons, MsgButtons::Ok);
    EXPECT_EQ(reg.GetStringValue(path_, "v"), "text");
}

TEST_F(RegistryWinTest, WritesNeverCreateKeysAndDeletesReport) {
    reg.SetStringValue(path_ + "\\Absent", "v", "x");
    reg.SetDwordValue(path_ + "\\Absent", "n", 5);
    EXPECT_FALSE(KeyExists("\\Absent"));

    EXPECT_EQ(reg.DeleteKey(path_ + "\\Absent"), "Error");
    ASSERT_TRUE(win.CreateKey(RootKey::CurrentUser, subkey_ + "\\Parent\\Child"));
    EXPECT_EQ(reg.DeleteKey(path_ + "\\Parent\\Child"), "Ok.");
    EXPECT_FALSE(KeyExists("\\Parent\\Child"));
    EXPECT_TRUE(KeyExists("\\Parent"));
    EXPECT_EQ(reg.DeleteKey("HKEY_CURRENT_USER"), "Error");

    reg.SetStringValue(path_, "gone", "x");
    reg.DeleteValue(path_, "gone");
    EXPECT_EQ(reg.GetStringValue(path_, "gone"), "Error");
    reg.DeleteValue(path_, "gone");  // silent
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(RegistryWinTest, EnumSubKeysCountsAndListsEveryKey) {
    EXPECT_EQ(reg.EnumSubKeys(path_), std::vector<std::string>{""});
    EXPECT_EQ(reg.EnumSubKeys(path_ + "\\Absent"), std::vector<std::string>{""});
    ASSERT_TRUE(win.CreateKey(RootKey::CurrentUser, subkey_ + "\\One"));
    ASSERT_TRUE(win.CreateKey(RootKey::CurrentUser, subkey_ + "\\Two"));
    EXPECT_EQ(reg.EnumSubKeys(path_), (std::vector<std::string>{"One", "Two", ""}));

    // Many keys, created out of order: all come back, each once, in the registry's sorted order.
    std::vector<std::string> expected{"One", "Two"};
    for (int i = 0; i < 400; ++i) {
        char name[16];
        wsprintfA(name, "K%03d", (i * 7919) % 400);
        expected.push_back(name);
        ASSERT_TRUE(win.CreateKey(RootKey::CurrentUser, subkey_ + "\\" + name));
    }
    std::sort(expected.begin(), expected.end(),
              [](const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) < 0; });
    auto listed = win.EnumSubKeys(RootKey::CurrentUser, subkey_, RegAccess::Default);
    ASSERT_TRUE(listed);
    EXPECT_EQ(*listed, expected);
    EXPECT_EQ(reg.EnumSubKeys(path_).size(), expected.size() + 1);
}

TEST_F(RegistryWinTest, ValueTypesRoundTrip) {
    const std::vector<std::pair<std::string, RegValue>> values = {
        {"sz", {kRegSz, "C:\\Program Files\\x.exe"}},
        {"emptysz", {kRegSz, ""}},
        {"expand", {kRegExpandSz, "%SystemRoot%\\x"}},
        {"multi", {kRegMultiSz, std::string("one\0two\0", 8)}},
        {"emptymulti", {kRegMultiSz, ""}},
        {"binary", {kRegBinary, std::string("\0\x01\xFF\x7F", 4)}},
        {"dword", {kRegDword, std::string("\x78\x56\x34\x12", 4)}},
        {"qword", {kRegQword, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)}},
        {"none", {kRegNone, ""}},
        {"unicode \xC3\xA9\xE6\x97\xA5", {kRegSz, "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC"}},
    };
    for (const auto& [name, value] : values) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(win.SetValue(RootKey::CurrentUser, subkey_, name, value));
        auto back = win.QueryValue(RootKey::CurrentUser, subkey_, name);
        ASSERT_TRUE(back);
        EXPECT_EQ(back->type, value.type);
        EXPECT_EQ(back->data, value.data);
    }
    // Texts are stored as UTF-16 with their terminating NUL counted; lists end in two NULs.
    EXPECT_EQ(RawValue("emptysz"), std::make_pair(DWORD{REG_SZ}, std::string(2, '\0')));
    EXPECT_EQ(RawValue("multi").second, BytesOf(L"one\0two\0", 18));
    EXPECT_EQ(RawValue("dword"), std::make_pair(DWORD{REG_DWORD}, std::string("\x78\x56\x34\x12", 4)));

    EXPECT_EQ(reg.GetStringValue(path_, "sz"), "C:\\Program Files\\x.exe");
    EXPECT_EQ(reg.GetStringValue(path_, "emptysz"), "");
    EXPECT_EQ(reg.GetStringValue(path_, "multi"), "one two");
    EXPECT_EQ(reg.GetStringValue(path_, "binary"), "00,01,ff,7f");
    EXPECT_EQ(reg.GetStringValue(path_, "dword"), "305419896");
    EXPECT_EQ(reg.GetDwordValue(path_, "dword"), "305419896");
    EXPECT_EQ(reg.GetDwordValue(path_, "qword"), "Error");
    EXPECT_EQ(reg.GetDwordValue(path_, "binary"), "Error");
    EXPECT_EQ(reg.GetStringValue(path_, "unicode \xC3\xA9\xE6\x97\xA5"), "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC");
}

TEST_F(RegistryWinTest, LayerReadsLongTextsAndTrueNumbersOnly) {
    const std::string longText = "  " + std::string(5000, 'r') + "  ";
    reg.SetStringValue(path_, "long", longText);
    EXPECT_EQ(reg.GetStringValue(path_, "long"), std::string(5000, 'r') + "  ");

    // A text short enough to fit four bytes is still a text.
    reg.SetStringValue(path_, "short", "a");
    EXPECT_EQ(reg.GetDwordValue(path_, "short"), "Error");
    EXPECT_EQ(reg.GetStringValue(path_, "short"), "a");

    reg.SetDwordValue(path_, "n", -7);
    EXPECT_EQ(reg.GetDwordValue(path_, "n"), "-7");
    EXPECT_EQ(RawValue("n"), std::make_pair(DWORD{REG_DWORD}, std::string("\xF9\xFF\xFF\xFF", 4)));

    // The key's default value has the empty name.
    reg.SetStringValue(path_, "", "default");
    EXPECT_EQ(reg.GetStringValue(path_, ""), "default");
}

TEST_F(RegistryWinTest, AccessKindsAndRoots) {
    EXPECT_TRUE(win.KeyOpens(RootKey::CurrentUser, subkey_, RegAccess::Listing));
    EXPECT_TRUE(win.KeyOpens(RootKey::CurrentUser, subkey_, RegAccess::Write));
    EXPECT_TRUE(win.KeyOpens(RootKey::CurrentUser, "", RegAccess::Read));
    EXPECT_FALSE(win.KeyOpens(RootKey::None, "", RegAccess::Read));
    EXPECT_FALSE(win.DeleteKey(RootKey::CurrentUser, ""));
    EXPECT_TRUE(win.KeyOpens(RootKey::LocalMachine, "Software", RegAccess::Read));

    // HKEY_DYN_DATA is its own root, never the hardware profile: a key made below
    // HKEY_CURRENT_CONFIG must not be visible through it.
    const std::string probe = "Software\\PelloraDynProbe" + std::to_string(GetCurrentProcessId());
    if (win.CreateKey(RootKey::CurrentConfig, probe)) {
        EXPECT_FALSE(win.KeyOpens(RootKey::DynData, probe, RegAccess::Read));
        EXPECT_FALSE(win.DeleteKey(RootKey::DynData, probe));
        EXPECT_TRUE(win.DeleteKey(RootKey::CurrentConfig, probe));
    }
}

}  // namespace
}  // namespace pellora
