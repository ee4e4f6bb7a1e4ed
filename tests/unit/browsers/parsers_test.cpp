#include <gtest/gtest.h>

#include "core/browsers/bounded_json.h"
#include "core/browsers/extension_id.h"
#include "core/browsers/firefox_files.h"

namespace pellora::browsers {
namespace {

TEST(ExtensionIdTest, AcceptsOnlyIdsOfTheirFamily) {
    EXPECT_EQ(NormalizeExtensionId(BrowserFamily::Chromium, "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP"),
              "abcdefghijklmnopabcdefghijklmnop");
    for (const char* bad :
         {"abcdefghijklmnopabcdefghijklmnoq", "abcdefghijklmnopabcdefghijklmno", "", "..\\..\\Windows",
          "abcdefghijklmnopabcdefghijklmnop\\", "abcdefghijklmnopabcdefghijklmno*"})
        EXPECT_FALSE(NormalizeExtensionId(BrowserFamily::Chromium, bad)) << bad;

    for (const char* good : {"helper@example.com", "{12345678-ABCD-ef01-2345-6789abcdef01}", "a_b+c@x-y.org"})
        EXPECT_EQ(NormalizeExtensionId(BrowserFamily::Firefox, good), good);
    for (const char* bad : {"..\\..\\Windows", "a@b@c", "noat", "a@", "@b", "a/b@c.d", "a@b..c", "a@.b", "..a@b.c",
                            "{12345678-abcd-ef01-2345-6789abcdef0}", "a b@c.d", "a@c.d:stream"})
        EXPECT_FALSE(NormalizeExtensionId(BrowserFamily::Firefox, bad)) << bad;
    EXPECT_FALSE(NormalizeExtensionId(BrowserFamily::Firefox, std::string(190, 'a') + "@example.com"));

    EXPECT_TRUE(SameExtensionId(BrowserFamily::Firefox, "Helper@Example.COM", "helper@example.com"));
    EXPECT_TRUE(SameExtensionId(BrowserFamily::Chromium, "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP",
                                "abcdefghijklmnopabcdefghijklmnop"));
    EXPECT_FALSE(SameExtensionId(BrowserFamily::Chromium, "abcdefghijklmnopabcdefghijklmnop",
                                 "abcdefghijklmnopabcdefghijklmnoo"));
}

TEST(BoundedJsonTest, CountsNestingOutsideStringsAndRefusesDeepInput) {
    EXPECT_EQ(JsonNestingDepth(R"({"a":[1,{"b":"[[[{{{"}]})", 100), 3u);
    EXPECT_EQ(JsonNestingDepth(R"({"a":"\"[[[","b":[]})", 100), 2u);
    EXPECT_EQ(JsonNestingDepth(std::string(1000000, '['), 128), 129u);  // stops early
    EXPECT_TRUE(ReadJson(std::string(128, '[') + std::string(128, ']')).value);
    const JsonReadResult deep = ReadJson(std::string(129, '[') + std::string(129, ']'));
    EXPECT_FALSE(deep.value);
    EXPECT_NE(deep.problem.find("nested deeper"), std::string::npos);
    // A string that hides brackets after an escaped quote does not count them.
    EXPECT_TRUE(ReadJson("[\"\\\"" + std::string(500, '[') + "\"]").value);

    EXPECT_EQ(ReadJson("\xEF\xBB\xBF{\"a\":1}").value, Json({{"a", 1}}));
    EXPECT_FALSE(ReadJson("{\"a\":\"\xC3\"}").value);  // truncated UTF-8 sequence
    EXPECT_FALSE(ReadJson("{\"a\":").value);
    EXPECT_FALSE(ReadJson("").value);
    EXPECT_FALSE(ReadJson("{} trailing").value);
    EXPECT_EQ(ReadJson("\xFF\xFE{}").problem, "not UTF-8 (UTF-16 byte-order mark)");
}

TEST(FirefoxFilesTest, ReadsPrefsCallsAndSkipsDamagedLines) {
    const std::vector<UserPref> prefs = ParseUserPrefs(
        "# comment\n/* block\nuser_pref(\"hidden\", 1); */\n"
        "user_pref(\"a\", \"x\\\\y\\\"z\");\n"
        "user_pref ( 'b' , true ) ;\n"
        "user_pref(\"broken\", \"no end\n"
        "pref(\"c\", -12);\n"
        "garbage(((\n"
        "user_pref(\"d\", \"\xE9\");");
    ASSERT_EQ(prefs.size(), 4u);
    EXPECT_EQ(prefs[0].name, "a");
    EXPECT_EQ(prefs[0].value, "x\\y\"z");
    EXPECT_TRUE(prefs[0].isString);
    EXPECT_EQ(prefs[1].name, "b");
    EXPECT_EQ(prefs[1].value, "true");
    EXPECT_FALSE(prefs[1].isString);
    EXPECT_EQ(prefs[2].value, "-12");
    EXPECT_EQ(prefs[3].value, "\xE9");
    EXPECT_TRUE(ParseUserPrefs("user_pref(").empty());
    EXPECT_TRUE(ParseUserPrefs(std::string(100000, '(')).empty());
}

TEST(FirefoxFilesTest, ReadsProfileSectionsOfProfilesIni) {
    const std::vector<IniProfile> profiles = ParseProfilesIni(
        "\xEF\xBB\xBF[Install308046B0AF4A39CB]\r\nDefault=Profiles/x.default\r\n"
        "[Profile1]\r\nName=b\r\nIsRelative=0\r\nPath=D:\\ff\\b\r\n"
        "[Profile0]\nName = a \nIsRelative=1\nPath=Profiles/x.default\n[Profile2]\nName=no path\n"
        "[General]\nPath=not a profile\n");
    ASSERT_EQ(profiles.size(), 2u);
    EXPECT_EQ(profiles[0].section, "Profile1");
    EXPECT_EQ(profiles[0].path, "D:\\ff\\b");
    EXPECT_FALSE(profiles[0].isRelative);
    EXPECT_EQ(profiles[1].name, "a");
    EXPECT_EQ(profiles[1].path, "Profiles/x.default");
    EXPECT_TRUE(profiles[1].isRelative);
}

}  // namespace
}  // namespace pellora::browsers
