#include <gtest/gtest.h>

#include "core/settings/registry_access.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

constexpr const char* kKey = "HKEY_CURRENT_USER\\Software\\PelloraTest";

class RegistryAccessTest : public ::testing::Test {
  protected:
    fakes::FakePlatform p;
    RegistryAccess reg{p.registry, p.ui};
};

TEST_F(RegistryAccessTest, MalformedPathsShowOneMessageAndFail) {
    p.registry.AddString(kKey, "v", "x");
    EXPECT_EQ(reg.GetStringValue("HKCU\\Software\\PelloraTest", "v"), "Error");
    ASSERT_EQ(p.ui.messages.size(), 1u);
    EXPECT_EQ(p.ui.messages[0].text, "Incorrect Format:\n\nHKCU\\Software\\PelloraTest");
    EXPECT_EQ(p.ui.messages[0].title, kAppTitle);
    EXPECT_EQ(p.ui.messages[0].buttons, MsgButtons::Ok);
    EXPECT_EQ(p.ui.messages[0].icon, MsgIcon::None);

    EXPECT_EQ(reg.GetDwordValue(std::string(kKey) + "\\", "v"), "Error");
    EXPECT_EQ(reg.DeleteKey("hkey_current_user\\Software\\PelloraTest"), "Error");
    EXPECT_EQ(reg.EnumSubKeys("HKLM\\Software"), std::vector<std::string>{""});
    reg.SetStringValue("HKCU\\Software\\PelloraTest", "v", "changed");
    reg.DeleteValue("HKCU\\Software\\PelloraTest", "v");
    EXPECT_EQ(p.ui.messages.size(), 6u);
    EXPECT_EQ(p.registry.Value(kKey, "v")->data, "x");
}

TEST_F(RegistryAccessTest, UnknownRootsAreQuiet) {
    EXPECT_EQ(reg.GetStringValue("HKEY_NOWHERE\\Software", "v"), "");
    EXPECT_EQ(reg.GetDwordValue("HKEY_NOWHERE", "v"), "");
    EXPECT_EQ(reg.DeleteKey("HKEY_NOWHERE\\x"), "Error");
    EXPECT_EQ(reg.EnumSubKeys("HKEY_NOWHERE\\x"), std::vector<std::string>{""});
    // Root names compare exactly.
    EXPECT_EQ(RootKeyFromName("HKEY_Current_User"), RootKey::None);
    EXPECT_EQ(RootKeyFromName("HKEY_DYN_DATA"), RootKey::DynData);
    EXPECT_EQ(RootKeyFromName("HKEY_CURRENT_CONFIG"), RootKey::CurrentConfig);
    EXPECT_TRUE(p.ui.messages.empty());

    auto split = reg.SplitKeyPath("HKEY_LOCAL_MACHINE");
    ASSERT_TRUE(split);
    EXPECT_EQ(split->root, RootKey::LocalMachine);
    EXPECT_EQ(split->subkey, "");
    split = reg.SplitKeyPath("HKEY_USERS\\a\\b");
    EXPECT_EQ(split->root, RootKey::Users);
    EXPECT_EQ(split->subkey, "a\\b");
}

TEST_F(RegistryAccessTest, StringReadsKeepTrailingButNotLeadingBlanks) {
    p.registry.AddString(kKey, "padded", "  home page  ");
    p.registry.AddString(kKey, "empty", "");
    p.registry.AddString(kKey, "long", std::string(300, 'x'));
    p.registry.AddValue(kKey, "nul", RegValue{kRegSz, std::string("ab\0cd", 5)});
    EXPECT_EQ(reg.GetStringValue(kKey, "padded"), "home page  ");
    EXPECT_EQ(reg.GetStringValue(kKey, "empty"), "");
    EXPECT_EQ(reg.GetStringValue(kKey, "long"), std::string(300, 'x'));
    EXPECT_EQ(reg.GetStringValue(kKey, "nul"), "ab");
    EXPECT_EQ(reg.GetStringValue(kKey, "missing"), "Error");
    EXPECT_EQ(reg.GetStringValue("HKEY_CURRENT_USER\\Software\\Missing", "padded"), "Error");
}

TEST_F(RegistryAccessTest, NonTextValuesReadAsPresentText) {
    p.registry.AddDword(kKey, "dword", 0xFFFFFFFEu);
    p.registry.AddValue(kKey, "qword", RegValue{kRegQword, std::string("\x01\0\0\0\x01\0\0\0", 8)});
    p.registry.AddValue(kKey, "multi", RegValue{kRegMultiSz, std::string(" one\0two\0", 9)});
    p.registry.AddValue(kKey, "binary", RegValue{kRegBinary, std::string("\0\xAB\x10", 3)});
    p.registry.AddValue(kKey, "nobytes", RegValue{kRegBinary, ""});
    p.registry.AddValue(kKey, "expand", RegValue{kRegExpandSz, "%SystemRoot%\\x"});
    p.registry.AddValue(kKey, "bigendian", RegValue{5, std::string("\0\0\x01\x02", 4)});
    EXPECT_EQ(reg.GetStringValue(kKey, "dword"), "4294967294");
    EXPECT_EQ(reg.GetStringValue(kKey, "qword"), "4294967297");
    EXPECT_EQ(reg.GetStringValue(kKey, "multi"), "one two");
    EXPECT_EQ(reg.GetStringValue(kKey, "binary"), "00,ab,10");
    EXPECT_EQ(reg.GetStringValue(kKey, "nobytes"), "");
    EXPECT_EQ(reg.GetStringValue(kKey, "expand"), "%SystemRoot%\\x");
    EXPECT_EQ(reg.GetStringValue(kKey, "bigendian"), "258");
}

TEST_F(RegistryAccessTest, DwordReadsOnlyTrueNumbers) {
    p.registry.AddDword(kKey, "n", 0xFFFFFFFFu);
    p.registry.AddDword(kKey, "m", 1234);
    p.registry.AddString(kKey, "short", "ab");  // fits in four bytes, yet is a text
    p.registry.AddValue(kKey, "bytes", RegValue{kRegBinary, "abcd"});
    p.registry.AddValue(kKey, "cut", RegValue{kRegDword, "ab"});
    EXPECT_EQ(reg.GetDwordValue(kKey, "n"), "-1");
    EXPECT_EQ(reg.GetDwordValue(kKey, "m"), "1234");
    EXPECT_EQ(reg.GetDwordValue(kKey, "short"), "Error");
    EXPECT_EQ(reg.GetDwordValue(kKey, "bytes"), "Error");
    EXPECT_EQ(reg.GetDwordValue(kKey, "cut"), "Error");
    EXPECT_EQ(reg.GetDwordValue(kKey, "missing"), "Error");

    reg.SetDwordValue(kKey, "w", -2);
    auto stored = p.registry.Value(kKey, "w");
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, kRegDword);
    EXPECT_EQ(stored->data, std::string("\xFE\xFF\xFF\xFF", 4));
    EXPECT_EQ(reg.GetDwordValue(kKey, "w"), "-2");
}

TEST_F(RegistryAccessTest, DeleteKeyAndEnumSubKeys) {
    p.registry.AddKey(std::string(kKey) + "\\Beta");
    p.registry.AddKey(std::string(kKey) + "\\Alpha\\Inner");
    EXPECT_EQ(reg.EnumSubKeys(kKey), (std::vector<std::string>{"Alpha", "Beta", ""}));
    EXPECT_EQ(reg.EnumSubKeys(std::string(kKey) + "\\Beta"), std::vector<std::string>{""});
    EXPECT_EQ(reg.EnumSubKeys(std::string(kKey) + "\\Gone"), std::vector<std::string>{""});

    EXPECT_EQ(reg.DeleteKey(std::string(kKey) + "\\Gone"), "Error");
    EXPECT_EQ(reg.DeleteKey(std::string(kKey) + "\\Alpha"), "Error");  // has a subkey
    EXPECT_EQ(reg.DeleteKey(std::string(kKey) + "\\Alpha\\Inner"), "Ok.");
    EXPECT_EQ(reg.DeleteKey(std::string(kKey) + "\\Alpha"), "Ok.");
    // A root alone is never handed to the system for deletion.
    EXPECT_EQ(reg.DeleteKey("HKEY_CURRENT_USER"), "Error");
    EXPECT_TRUE(p.registry.HasKey(kKey));
}

}  // namespace
}  // namespace pellora
