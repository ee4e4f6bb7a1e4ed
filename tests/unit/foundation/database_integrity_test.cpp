// The database's own lines beside the classic items: the trailer that proves a database whole
// (damaged, cut short and older databases at load, in the tool and in an update) and the rule
// items (escaping that survives the scrambling, what older readers see, refusals by file and line).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/database/database.h"
#include "core/database/database_format.h"
#include "core/database/database_rules.h"
#include "core/database/db_tool.h"
#include "core/database/item_parser.h"
#include "core/database/unlock.h"
#include "core/settings/settings_files.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

std::string PlainDatabase(size_t items) {
    std::string plain = "Integrity 1\n@serial 3\n# a comment\n";
    for (size_t i = 0; i < items; ++i)
        plain += "path|%ProgramsDir%\\Spy" + std::to_string(i) + "\\spy.exe|Test.Spyware|\n";
    return plain;
}

class IntegrityTest : public ::testing::Test {
  protected:
    IntegrityTest() {
        state.appFolder = "C:\\Pellora";
        fake.files.AddFolder("C:\\Pellora");
        database.events = &fake.events;
        codePage.ansiToUtf8 = [this](std::string_view s) { return fake.system.AnsiToUtf8(s); };
        codePage.utf8ToAnsi = [this](std::string_view s) { return fake.system.Utf8ToAnsi(s); };
        io.codePage = codePage;
        io.readFile = [this](const std::string& p) -> std::optional<std::string> {
            auto it = disk.find(p);
            return it == disk.end() ? std::nullopt : std::optional<std::string>(it->second);
        };
        io.writeFile = [this](const std::string& p, const std::string& bytes) {
            disk[p] = bytes;
            return true;
        };
    }
    std::string Lock(const std::string& plain) {
        std::string locked, error;
        EXPECT_TRUE(LockDatabaseText(plain, codePage, locked, error)) << error;
        return locked;
    }
    void Load(const std::string& bytes) {
        fake.files.AddFile(path, bytes);
        database.LoadAndUnlock();
    }
    fakes::FakePlatform fake;
    AppState state;
    Database database{state, fake.files, fake.system, fake.ui};
    CodePage codePage;
    DbToolIo io;  // pellora-db over `disk`
    std::map<std::string, std::string> disk;
    const std::string path = "C:\\Pellora\\DataBase.ref";
};

TEST_F(IntegrityTest, LockEndsInATrailerThatCountsItemsAndDigestsTheFilesOwnCodes) {
    // A character outside ASCII: the digest is over the file's single-byte code, not UTF-8.
    const std::string locked = Lock(PlainDatabase(3) + "cookie|caf\xC3\xA9|Tracking.Cookie|\n");
    std::vector<std::string> lines = SplitTextLines(locked, false);
    for (std::string& line : lines)
        line = UnlockText(line, kDatabaseKey);
    ASSERT_EQ(lines.size(), 8u);
    std::string before;
    for (size_t n = 0; n + 1 < lines.size(); ++n)
        before += lines[n] + "\n";
    EXPECT_NE(before.find("caf\xE9"), std::string::npos);
    EXPECT_EQ(lines.back(), "@end items=4 sha256=" + Sha256Hex(before));
    const DatabaseIntegrity integrity = CheckLockedDatabaseIntegrity(locked);
    EXPECT_EQ(integrity.result, DatabaseIntegrity::Result::Whole) << integrity.detail;
    EXPECT_EQ(integrity.items, 4u);
    // Locking the unlocked text again makes the trailer anew: one trailer, the same bytes.
    EXPECT_EQ(Lock(UnlockDatabaseText(locked, codePage)), locked);
    // Line ends are not part of what the trailer proves.
    std::string lfOnly = locked;
    std::erase(lfOnly, '\r');
    EXPECT_EQ(CheckLockedDatabaseIntegrity(lfOnly).result, DatabaseIntegrity::Result::Whole);
}

TEST_F(IntegrityTest, ADatabaseCutShortOrOverwrittenIsRefusedAtLoadWithTheReason) {
    const std::string whole = Lock(PlainDatabase(500));
    ASSERT_GT(whole.size(), 20000u);
    Load(whole);
    ASSERT_EQ(database.Problem(), "");
    EXPECT_EQ(state.lstDBaseFile.size(), 504u);
    EXPECT_EQ(state.databaseNoteText, "");

    // Cut to its first 1,000 bytes, in the middle of a line.
    Load(whole.substr(0, 1000));
    EXPECT_NE(database.Problem().find("trailer line is missing"), std::string::npos) << database.Problem();
    EXPECT_TRUE(state.lstDBaseFile.empty());
    EXPECT_NE(state.databaseProblemText.find("cannot be used"), std::string::npos);
    EXPECT_NE(state.status.dbaseVersion.find("Not loaded"), std::string::npos);
    ASSERT_EQ(fake.events.Of(event_id::kDatabaseDamaged).size(), 1u);

    // A database locked without a serial gets "@serial 0": cut anywhere after its second line, it
    // is never taken for one of the older format.
    const std::string unnumbered = Lock("Unnumbered 1\npath|C:\\spy.exe|Spy|\nfile|x.exe|Spy|\n");
    EXPECT_EQ(SplitTextLines(UnlockDatabaseText(unnumbered, codePage), false)[1], "@serial 0");
    for (size_t cut : {10, 60, 100}) {
        Load(unnumbered.substr(0, unnumbered.size() - cut));
        EXPECT_NE(database.Problem().find("trailer line"), std::string::npos) << cut << database.Problem();
    }

    // Cut at a line end: every line left is whole, the trailer is still missing.
    Load(whole.substr(0, whole.rfind("\r\n", whole.size() / 2) + 2));
    EXPECT_NE(database.Problem(), "");

    // 1,000 bytes overwritten in the middle, line ends kept where they were.
    std::string overwritten = whole;
    for (size_t i = whole.size() / 2; i < whole.size() / 2 + 1000; ++i) {
        if (overwritten[i] != '\r' && overwritten[i] != '\n')
            overwritten[i] = 'Q';
    }
    Load(overwritten);
    EXPECT_NE(database.Problem().find("does not match the digest"), std::string::npos) << database.Problem();
    EXPECT_TRUE(state.lstDBaseFile.empty());

    // One byte changed, and lines added after the trailer.
    std::string flipped = whole;
    flipped[whole.size() / 3] ^= 0x01;
    Load(flipped);
    EXPECT_NE(database.Problem(), "");
    Load(whole + *LockText("path|C:\\extra.exe|Added|", kDatabaseKey) + "\r\n");
    EXPECT_NE(database.Problem().find("follow its trailer"), std::string::npos) << database.Problem();

    // The same database whole again: loaded, and the problem gone.
    Load(whole);
    EXPECT_EQ(database.Problem(), "");
    EXPECT_EQ(state.databaseProblemText, "");
}

TEST_F(IntegrityTest, AnOlderDatabaseWithoutReservedLinesLoadsAndSaysItCouldNotBeChecked) {
    std::string older;
    for (const std::string& line : SplitTextLines("Older 1\npath|C:\\spy.exe|Spy|\nfile|x.exe|Spy|\n", false))
        older += *LockText(line, kDatabaseKey) + "\r\n";
    Load(older);
    EXPECT_EQ(database.Problem(), "");
    EXPECT_EQ(state.lstDBaseFile.size(), 3u);
    EXPECT_NE(state.databaseNoteText.find("could not be checked"), std::string::npos) << state.databaseNoteText;
    EXPECT_EQ(state.databaseProblemText, "");
    // A serial line without a trailer is no older database: it is refused.
    std::string serialOnly;
    for (const std::string& line : SplitTextLines("New 1\n@serial 2\npath|C:\\spy.exe|Spy|\n", false))
        serialOnly += *LockText(line, kDatabaseKey) + "\r\n";
    Load(serialOnly);
    EXPECT_NE(database.Problem(), "");
    EXPECT_EQ(state.databaseNoteText, "");
}

TEST_F(IntegrityTest, TheToolsCheckNamesTheDamage) {
    const std::string whole = Lock(PlainDatabase(50));
    disk["whole.ref"] = whole;
    disk["cut.ref"] = whole.substr(0, whole.size() - 200);
    EXPECT_EQ(RunDbTool({"check", "--locked", "whole.ref"}, io), 0) << io.out;
    io.out.clear();
    EXPECT_EQ(RunDbTool({"check", "--locked", "cut.ref"}, io), 1);
    EXPECT_NE(io.out.find("cut.ref: the database is refused: its trailer line is missing"), std::string::npos)
        << io.out;
}

TEST(RuleItems, EveryByteSurvivesEscapingAndTheScramblingAndOlderReadersSeeFourFieldsOfNoKind) {
    std::string text;
    for (int c = 0; c < 256; ++c)
        text += static_cast<char>(c);
    text += "\r\n|%%41|";
    const RuleItem item{text, "set|x", "dir/file%.yar:12"};
    const std::string line = RuleItemLine(item);
    for (unsigned char c : line)
        EXPECT_TRUE(c >= 0x20 && c <= 0x7E) << int(c);
    // Every position of the scrambling's pattern: the line locks whatever it is preceded by.
    for (size_t shift = 0; shift < 6; ++shift) {
        const std::string shifted = std::string(shift, 'x') + line;
        std::optional<std::string> locked = LockText(shifted, kDatabaseKey);
        ASSERT_TRUE(locked) << shift;
        EXPECT_EQ(UnlockText(*locked, kDatabaseKey), shifted);
    }
    std::optional<RuleItem> back = ParseRuleItem(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->text, text);
    EXPECT_EQ(back->set, "set|x");
    EXPECT_EQ(back->source, "dir/file%.yar:12");
    EXPECT_EQ(KindOfLine(line), ItemKind::Unknown);
    EXPECT_EQ(std::count(line.begin(), line.end(), '|'), 3);
    EXPECT_EQ(ClassifyLine(2, line), LineKind::Signature);
    // Bad escapes and missing fields are no rule item.
    EXPECT_FALSE(ParseRuleItem("rule|a%4|s|f:1"));
    EXPECT_FALSE(ParseRuleItem("rule|a%zz|s|f:1"));
    EXPECT_FALSE(ParseRuleItem("rule||s|f:1"));
    EXPECT_FALSE(ParseRuleItem("rule|a|s|f:1|x"));
    EXPECT_FALSE(ParseRuleItem("rules|a|s|f:1"));
}

TEST(RuleItems, TheLoadCompilesEverySetTogetherAndNamesEachRefusedRuleByItsSetFileAndLine) {
    const std::vector<std::string> lines = {
        "Rules 1",
        RuleItemLine({"rule first_rule : stealer { meta: description = \"Stealer.Test\" strings: $a = \"alpha\" "
                      "condition: $a }",
                      "one", "a.yar:3"}),
        RuleItemLine({"import \"math\"\n\nrule entropy_of_all { condition: math.entropy(0, filesize) > 7.9 }", "two",
                      "packed/entropy.yar:40"}),
        "path|C:\\x.exe|Spy|",
        RuleItemLine(
            {"rule with_xor {\n strings:\n  $a = \"abc\" xor\n condition: $a }", "two", "packed/entropy.yar:52"}),
        // A rule of another set may build on the first one's.
        RuleItemLine({"rule second_rule { strings: $b = \"beta\" condition: $b and first_rule }", "two", "b.yar:1"}),
        "rule|not%ZZ|two|a.yar:1",
    };
    const ContentRules rules = CompileDatabaseRules(lines);
    EXPECT_EQ(rules.items, 5u);
    ASSERT_TRUE(rules.set);
    std::vector<std::string> names;
    for (const rules::RuleInfo& rule : rules.set->Rules())
        names.push_back(rule.name + " " + rule.source + " " + rule.family);
    EXPECT_EQ(names,
              (std::vector<std::string>{"first_rule one/a.yar Stealer.Test", "second_rule two/b.yar second_rule"}));
    const std::string file = "xx alpha yy beta";
    EXPECT_EQ(rules.set->Scan(std::span(reinterpret_cast<const uint8_t*>(file.data()), file.size())),
              (std::vector<size_t>{0, 1}));

    std::vector<std::string> refused;
    for (const rules::Refusal& refusal : rules.refused)
        refused.push_back(refusal.source + ":" + std::to_string(refusal.line) + " " + refusal.rule);
    // The malformed item by its database line; the others by the line in their own file (the
    // import put before a rule is the file's first line, the rule's own lines follow its start).
    ASSERT_GE(refused.size(), 3u) << testing::PrintToString(refused);
    EXPECT_EQ(refused.front(), "database:7 ");
    EXPECT_NE(std::find(refused.begin(), refused.end(), "two/packed/entropy.yar:54 with_xor"), refused.end())
        << testing::PrintToString(refused);
    EXPECT_NE(std::find_if(refused.begin(), refused.end(),
                           [](const std::string& r) { return r.starts_with("two/packed/entropy.yar:40"); }),
              refused.end())
        << testing::PrintToString(refused);
}

TEST_F(IntegrityTest, AddRulesStoresOneItemPerRuleReplacesTheSetsItemsOfTheSameFilesAndCheckNamesRefusals) {
    io.listRuleFiles = [](const std::string& p) -> std::optional<std::vector<std::string>> {
        if (p != "rules")
            return std::nullopt;
        return std::vector<std::string>{"sub/b.yar", "x.yara"};
    };
    disk["db.txt"] = "Rules 1\npath|C:\\x.exe|Spy|\n";
    disk["rules\\sub\\b.yar"] =
        "\xEF\xBB\xBFimport \"pe\"\r\n// two rules\r\nrule b_one { condition: pe.is_dll() }\r\n\r\nrule b_two {\r\n"
        "  strings: $a = \"100%|\" condition: $a }\r\n";
    disk["rules\\x.yara"] = "rule x_one {\n strings:\n  $a = \"x\" xor\n condition: $a\n}\n";
    disk["single.yar"] = "rule s_one { condition: filesize < 10 }\n";
    ASSERT_EQ(RunDbTool({"add-rules", "db.txt", "mine", "rules", "single.yar"}, io), 0) << io.err;
    EXPECT_NE(io.out.find("4 rules of the set mine from 3 files (0 items replaced)"), std::string::npos) << io.out;
    EXPECT_NE(io.err.find("rule refused: mine/x.yara:"), std::string::npos) << io.err;
    std::vector<std::string> lines = SplitTextLines(disk["db.txt"], false);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[1], "path|C:\\x.exe|Spy|");
    std::optional<RuleItem> b_two = ParseRuleItem(lines[3]);
    ASSERT_TRUE(b_two);
    EXPECT_EQ(b_two->set, "mine");
    EXPECT_EQ(b_two->source, "sub/b.yar:5");
    EXPECT_NE(b_two->text.find("import \"pe\""), std::string::npos);
    EXPECT_NE(b_two->text.find("\"100%|\""), std::string::npos);
    EXPECT_EQ(ParseRuleItem(lines[5])->source, "single.yar:1");

    // The database locks, loads, and its rules work; the refused one is logged and counted.
    Load(Lock(disk["db.txt"]));
    ASSERT_EQ(database.Problem(), "");
    EXPECT_EQ(state.contentRules.items, 4u);
    EXPECT_EQ(state.contentRules.set->Rules().size(), 3u);
    ASSERT_EQ(state.contentRules.refused.size(), 1u);
    EXPECT_EQ(state.contentRules.refused[0].source, "mine/x.yara");
    EXPECT_EQ(state.contentRules.refused[0].line, 3u);
    EXPECT_NE(
        std::find_if(state.lstLog.begin(), state.lstLog.end(),
                     [](const std::string& line) { return line.starts_with("Content rule refused=mine/x.yara:3"); }),
        state.lstLog.end());

    // Check names the refused rule; adding the folder again replaces its items, keeps the file's.
    EXPECT_EQ(RunDbTool({"check", "db.txt"}, io), 1);
    EXPECT_NE(io.out.find("db.txt: rule refused: mine/x.yara:3: rule x_one: the xor modifier is not supported"),
              std::string::npos)
        << io.out;
    disk["rules\\x.yara"] = "rule x_one { condition: true }\n";
    ASSERT_EQ(RunDbTool({"add-rules", "db.txt", "mine", "rules"}, io), 0) << io.err;
    EXPECT_EQ(SplitTextLines(disk["db.txt"], false).size(), 6u);
    io.out.clear();
    EXPECT_EQ(RunDbTool({"check", "db.txt"}, io), 0) << io.out;
}

}  // namespace
}  // namespace pellora
