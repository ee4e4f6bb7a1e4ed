// The edits of the option dialogs and of the console's settings commands: up-down steps and
// limits, the number check on OK, the folder list's order and duplicates, and the named
// settings with their refusals (which change nothing).
#include <gtest/gtest.h>

#include "core/scan/content_scan.h"
#include "core/settings/settings_editor.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

using Lines = std::vector<std::string>;

class SettingsEditorTest : public ::testing::Test {
  protected:
    SettingsEditorTest() {
        fake.registry.AddKey(kRunKeyPath);
        state.lstSettingsFile = {"0",  "0", "0", "1", "0", "0", "about:blank", "Microsoft Internet Explorer",
                                 "30", "0", "10"};
        state.lstCustomScanSettings = {"0", "1", "1", "0", "0", "0", "1"};
        applier.StatusInfoDisplay = [this] { ++applied; };
    }

    fakes::FakePlatform fake;
    AppState state;
    RegistryAccess registry{fake.registry, fake.ui};
    SettingsApplier applier{state, registry, fake.system, fake.ui};
    SettingsEditor editor{state, applier};
    int applied = 0;
};

TEST(UpDownStep, StopsAtTheLimitsAndTurnsTextIntoZeroFirst) {
    struct Case {
        const char* text;
        bool up;
        int64_t limit;
        const char* expected;
    };
    const Case cases[] = {
        {"98", true, 99, "99"}, {"99", true, 99, "99"},          {"0", false, 99, "0"},
        {"1", false, 99, "0"},  {"89999", true, 90000, "90000"}, {"90000", true, 90000, "90000"},
        {"abc", true, 99, "1"}, {"abc", false, 99, "0"},         {"", true, 90000, "1"},
        {"-5", true, 99, "1"},  {"150", false, 99, "149"},       {" 7 ", true, 99, "8"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UpDownStep(c.text, c.up, c.limit), c.expected) << c.text << (c.up ? " up" : " down");
    }
}

TEST(CheckNumber, TakesOnlyAWholeNumberUpToTheLimit) {
    EXPECT_EQ(CheckNumber("0", 99), 0);
    EXPECT_EQ(CheckNumber(" 99 ", 99), 99);
    EXPECT_EQ(CheckNumber("90000", 90000), 90000);
    for (const char* bad : {"", " ", "100", "-1", "1.5", "1e3", "ten", "5 6", "99999999999999999999"}) {
        EXPECT_FALSE(CheckNumber(bad, 99)) << bad;
    }
    EXPECT_EQ(NumberRangeMessage(kBackupsField),
              "The number of registry backups to keep must be a whole number from 0 to 99.");
}

TEST(FolderList, SortsWithoutRegardToCaseAndRemovesExactDuplicates) {
    Lines list;
    for (const char* path : {"C:\\b", "c:\\A", "C:\\a", "C:\\B", "C:\\b", "D:\\x"})
        InsertSorted(list, path);
    EXPECT_EQ(list, (Lines{"c:\\A", "C:\\a", "C:\\b", "C:\\B", "C:\\b", "D:\\x"}));
    Lines twice = {"C:\\a", "C:\\a", "C:\\a", "C:\\b"};
    RemoveDuplicates(twice);
    EXPECT_EQ(twice, (Lines{"C:\\a", "C:\\b"}));
    Lines differentCase = {"C:\\a", "C:\\A"};
    RemoveDuplicates(differentCase);
    EXPECT_EQ(differentCase.size(), 2u);
}

TEST_F(SettingsEditorTest, EverySettingHasAUniqueNameAndShowsItsLine) {
    std::set<std::string> names;
    for (const SettingDef& def : SettingDefs())
        EXPECT_TRUE(names.insert(def.name).second) << def.name;
    EXPECT_EQ(names.size(), 21u);
    EXPECT_EQ(editor.Value(*FindSetting("backups-to-keep")), "10");
    EXPECT_EQ(editor.Value(*FindSetting("scan-mode")), "smart");
    EXPECT_EQ(editor.Value(*FindSetting("custom-cookies")), "1");
    EXPECT_EQ(editor.Value(*FindSetting("window-title")), "Microsoft Internet Explorer");
    EXPECT_EQ(FindSetting("no-such-thing"), nullptr);
}

TEST_F(SettingsEditorTest, SetStoresCheckedValuesAndAppliesThem) {
    EXPECT_EQ(editor.Set(*FindSetting("backups-to-keep"), "3"), "");
    EXPECT_EQ(state.lstSettingsFile[10], "3");
    EXPECT_EQ(editor.Set(*FindSetting("scan-mode"), "folders"), "");
    EXPECT_EQ(state.lstSettingsFile[9], "2");
    EXPECT_EQ(state.scanMode, 2);
    EXPECT_EQ(editor.Set(*FindSetting("custom-full-disk"), "on"), "");
    EXPECT_EQ(state.lstCustomScanSettings[0], "1");
    // A file of seven lines (from before the contents line) gets that line's default, not "0".
    EXPECT_EQ(state.lstCustomScanSettings[kContentScanLine], "1");
    EXPECT_TRUE(ContentScanOn(state));
    EXPECT_EQ(editor.Set(*FindSetting("home-page"), "http://home.example/"), "");
    EXPECT_EQ(state.lstSettingsFile[6], "http://home.example/");
    EXPECT_EQ(editor.Set(*FindSetting("start-with-windows"), "1"), "");
    EXPECT_EQ(fake.registry.Value(kRunKeyPath, kRunValueName)->data, "\"C:\\Pellora\\Pellora.exe\"");
    EXPECT_EQ(applied, 4);  // the start-with-Windows box is the Run value, not a settings line
}

TEST_F(SettingsEditorTest, RefusedValuesChangeNothing) {
    const AppState before = state;
    const std::pair<const char*, const char*> refused[] = {
        {"backups-to-keep", "100"}, {"backups-to-keep", "ten"}, {"scan-interval", "90001"}, {"scan-interval", ""},
        {"scan-mode", "fast"},      {"active-protection", "2"}, {"home-page", "a\r\nb"},    {"custom-erase", "maybe"},
    };
    for (const auto& [name, value] : refused)
        EXPECT_NE(editor.Set(*FindSetting(name), value), "") << name;
    EXPECT_EQ(state.lstSettingsFile, before.lstSettingsFile);
    EXPECT_EQ(state.lstCustomScanSettings, before.lstCustomScanSettings);
    EXPECT_EQ(applied, 0);

    fake.registry.DenyWrite(kRunKeyPath);
    EXPECT_NE(editor.Set(*FindSetting("start-with-windows"), "1"), "");
    EXPECT_FALSE(fake.registry.Value(kRunKeyPath, kRunValueName));
}

TEST_F(SettingsEditorTest, DialogStoresKeepTheirLinesAndApplyWhereTheyShould) {
    EXPECT_FALSE(editor.StoreNumber(kIntervalField, "90001"));
    EXPECT_EQ(state.lstSettingsFile[8], "30");
    EXPECT_TRUE(editor.StoreNumber(kIntervalField, " 45 "));
    EXPECT_EQ(state.lstSettingsFile[8], "45");
    editor.StoreHomePage("", "My browser");
    EXPECT_EQ(state.lstSettingsFile[6], "");
    EXPECT_EQ(state.lstSettingsFile[7], "My browser");
    EXPECT_EQ(applied, 0);

    editor.StoreCustomScan({true, false, true, false, false, true, false, false});
    EXPECT_EQ(state.lstCustomScanSettings, (Lines{"1", "0", "1", "0", "0", "1", "0", "0"}));
    editor.StoreSelectedFolders({"C:\\a", "C:\\a", "D:\\b"});
    EXPECT_EQ(state.lstSelectedFolders, (Lines{"C:\\a", "D:\\b"}));
    EXPECT_EQ(applied, 2);
}

}  // namespace
}  // namespace pellora
