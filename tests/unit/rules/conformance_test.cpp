// The rule language as its documentation states it: small rules per feature, over files made
// from the rules' own strings (hits, near misses, thresholds, word edges, wide and nocase forms,
// undefined values).
#include <chrono>
#include <string>

#include "unit/rules/rules_support.h"

namespace pellora::rules::test {
namespace {

using namespace std::string_literals;

std::string Wide(std::string_view text) {
    std::string wide;
    for (char c : text) {
        wide += c;
        wide += '\0';
    }
    return wide;
}

bool Holds(const std::string& condition, std::string_view data, const std::string& strings = "") {
    std::string rule =
        "rule t {\n" + (strings.empty() ? "" : "strings:\n" + strings + "\n") + "condition:\n" + condition + "\n}\n";
    return Matches(rule, data);
}

TEST(RuleText, OccurrencesOverlapAndAreCountedEach) {
    const std::string aa = "$a = \"aa\"";
    EXPECT_TRUE(Holds("#a == 2", "aaa", aa));
    EXPECT_TRUE(Holds("#a == 3 and @a[1] == 1 and @a[3] == 3 and !a[2] == 2", "xaaaa", aa));
    EXPECT_TRUE(Holds("not $a", "a a", aa));
    EXPECT_TRUE(Holds("$a at 0 and not $a at 2", "aab", aa));
    EXPECT_TRUE(Holds("$a in (3..5) and not $a in (0..2)", "bbbaa", aa));
    EXPECT_TRUE(Holds("#a in (0..1) == 2 and #a == 3", "aaaa", aa));
    // One byte and strings longer than an atom, at the file's edges.
    EXPECT_TRUE(Holds("#b == 2 and $c at 0", "Xyz-long-string-at-startX", "$b = \"X\"\n$c = \"Xyz-long-string\""));
    EXPECT_FALSE(Holds("$c", "yz-long-string-at-start", "$c = \"Xyz-long-string\""));
}

TEST(RuleText, EscapesNocaseAndWideForms) {
    EXPECT_TRUE(Holds("$a", "x\"A\\\t\x01\xfey", "$a = \"\\\"\\x41\\\\\\t\\x01\\xFE\""));
    EXPECT_TRUE(Holds("#a == 3", "PassWord password PASSWORD pa55word", "$a = \"password\" nocase"));
    EXPECT_FALSE(Holds("$a", "PassWord", "$a = \"password\""));
    // wide alone does not search the plain form; ascii wide searches both.
    EXPECT_TRUE(Holds("$a and not $b", Wide("cmd.exe"), "$a = \"cmd.exe\" wide\n$b = \"cmd.exe\""));
    EXPECT_FALSE(Holds("$a", "cmd.exe", "$a = \"cmd.exe\" wide"));
    EXPECT_TRUE(Holds("#a == 2", "cmd.exe " + Wide("cmd.exe"), "$a = \"cmd.exe\" ascii wide"));
    EXPECT_TRUE(Holds("#a == 1 and !a[1] == 14", Wide("CMD.Exe"), "$a = \"cmd.exe\" wide nocase"));
    // Non-letters are never folded.
    EXPECT_FALSE(Holds("$a", "a{b", "$a = \"a[b\" nocase"));
}

TEST(RuleText, FullwordLooksAtNeighbouringCharacters) {
    const std::string run = "$a = \"run\" fullword";
    EXPECT_TRUE(Holds("$a", "run", run));
    EXPECT_TRUE(Holds("$a", "-run.", run));
    EXPECT_TRUE(Holds("$a", "\x01run\xff", run));
    EXPECT_FALSE(Holds("$a", "xrun", run));
    EXPECT_FALSE(Holds("$a", "run1", run));
    EXPECT_FALSE(Holds("$a", "_run1 Run", run));
    // ascii: only the neighbouring byte counts, so a wide letter before is no letter.
    EXPECT_TRUE(Holds("$a", "x\0run"s, run));
    const std::string wideRun = "$a = \"run\" wide fullword";
    EXPECT_TRUE(Holds("$a", Wide("-run-"), wideRun));
    EXPECT_TRUE(Holds("$a", Wide("run"), wideRun));
    EXPECT_FALSE(Holds("$a", Wide("xrun"), wideRun));
    EXPECT_FALSE(Holds("$a", Wide("run9"), wideRun));
    // A letter not followed by a zero is not a wide letter.
    EXPECT_TRUE(Holds("$a", "x" + Wide("run"), wideRun));
    EXPECT_TRUE(Holds("$a", Wide("run") + "x", wideRun));
    // A wide letter is a letter followed by exactly one zero.
    EXPECT_FALSE(Holds("$a", "\0x\0"s + Wide("run"), wideRun));
}

TEST(RuleText, Base64FormsAtEveryAlignment) {
    const std::string b64 = "$a = \"This program cannot\" base64";
    EXPECT_TRUE(Holds("$a", "xx VGhpcyBwcm9ncmFtIGNhbm5vdA== yy", b64));
    EXPECT_TRUE(Holds("$a", "QVRoaXMgcHJvZ3JhbSBjYW5ub3Q=", b64));
    EXPECT_TRUE(Holds("$a and !a[1] == 25", "QUFUaGlzIHByb2dyYW0gY2Fubm90", b64));
    EXPECT_FALSE(Holds("$a", "This program cannot", b64));
    EXPECT_TRUE(Holds("$a", Wide("QVRoaXMgcHJvZ3JhbSBjYW5ub3Q="), "$a = \"This program cannot\" base64wide"));
    EXPECT_FALSE(Holds("$a", "QVRoaXMgcHJvZ3JhbSBjYW5ub3Q=", "$a = \"This program cannot\" base64wide"));
    // A custom alphabet: the standard one reversed.
    std::string reversed = "/+9876543210zyxwvutsrqponmlkjihgfedcbaZYXWVUTSRQPONMLKJIHGFEDCBA";
    std::string encoded;  // "Man" is TWFu in the standard alphabet.
    for (char c : std::string("TWFu"))
        encoded += reversed[std::string("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/").find(c)];
    EXPECT_TRUE(Holds("$a", "<" + encoded + ">", "$a = \"Man\" base64(\"" + reversed + "\")"));
}

TEST(RuleConditions, CountsThresholdsAndSets) {
    const std::string strings = "$s1 = \"alpha\"\n$s2 = \"bravo\"\n$s3 = \"charlie\"\n$x = \"xray\"";
    EXPECT_TRUE(Holds("2 of ($s*) and not 3 of ($s*)", "alpha charlie", strings));
    EXPECT_TRUE(Holds("any of them and not all of them and none of ($x)", "bravo", strings));
    EXPECT_TRUE(Holds("all of ($s*, $x)", "xray charlie bravo alpha", strings));
    EXPECT_TRUE(Holds("50% of them and not 75% of them", "alpha bravo", strings));
    EXPECT_TRUE(Holds("1 of ($*) and 1 of ($s2, $x)", "bravo", strings));
    EXPECT_TRUE(Holds("for any of ($s*) : ($ at 6)", "alpha bravo", strings));
    EXPECT_TRUE(Holds("for all of ($s*) : (# == 1)", "alpha bravo charlie", strings));
    EXPECT_FALSE(Holds("for 2 of ($s*) : (@ > 0)", "alpha bravo", strings));
    EXPECT_TRUE(Holds("for 1 of ($s*) : (@[1] > 0)", "alpha bravo", strings));
    EXPECT_TRUE(Holds("for any i in (1..#s1) : (@s1[i] == 11)", "alpha alphaalpha", strings));
    EXPECT_TRUE(Holds("for all i in (1, 2, 3) : (i > 0) and for none i in (0..2) : (i > 5)", "", ""));
    // Conditions that hold on a file where nothing matched.
    EXPECT_TRUE(Holds("none of them and 0 of them and #s1 == 0 and not $x", "nothing", strings));
    EXPECT_TRUE(Holds("for all of ($s*) : (not $) and ($s1 or filesize > 0)", "nothing", strings));
    // One past the last occurrence is undefined: the comparison is false either way round.
    EXPECT_FALSE(Holds("@s1[2] == 0 or not (@s1[2] == 0)", "alpha", strings));
}

TEST(RuleConditions, ArithmeticReadsAndUndefinedValues) {
    std::string data = "MZ\x90\x00\xff\xff\xff\xff\x12\x34"s;
    EXPECT_TRUE(Holds("uint16(0) == 0x5a4d and uint8(2) == 0x90 and uint16be(0) == 0x4d5a", data));
    EXPECT_TRUE(Holds("int32(4) == -1 and uint32(4) == 0xffffffff and int8(2) == -112", data));
    EXPECT_TRUE(Holds("uint16be(8) == 0x1234 and int16be(8) == 4660 and uint32be(6) == 0xffff1234", data));
    EXPECT_TRUE(Holds("filesize == 10 and filesize < 1KB and 1MB == 1048576", data));
    EXPECT_TRUE(Holds("(7 \\ 2) * 2 + 7 % 2 == 7 and -3 + 5 == 2 and 0x0f & 0x3c == 0x0c", data));
    EXPECT_TRUE(Holds("(1 << 4 | 1) == 17 and 256 >> 4 == 16 and (5 ^ 1) == 4 and ~0 == -1", data));
    // A read past the end is undefined: not undefined is undefined, and `or` takes it as false.
    EXPECT_FALSE(Holds("uint32(8) == 0", data));
    EXPECT_FALSE(Holds("not (uint32(8) == 0)", data));
    EXPECT_TRUE(Holds("uint32(8) == 0 or filesize == 10", data));
    EXPECT_FALSE(Holds("uint32(8) == 0 and true", data));
    EXPECT_TRUE(Holds("not defined uint32(8) and defined uint32(6)", data));
    EXPECT_FALSE(Holds("1 \\ 0 == 0 or not (1 \\ 0 == 0)", data));
    EXPECT_TRUE(
        Holds("\"Stealer.dll\" contains \"ler\" and \"abc\" icontains \"BC\" and "
              "\"abc\" startswith \"ab\" and \"abc\" iendswith \"BC\" and \"ABC\" iequals \"abc\"",
              data));
}

TEST(RuleConditions, RulesReferToEarlierRulesAndPrivateRulesAreNotReported) {
    auto set = CompileOk(
        "private rule Base { strings: $a = \"evil\" condition: $a }\n"
        "rule Derived : tag1 tag2 { meta: description = \"Evil family\" score = -3 ok = true condition: Base }\n"
        "rule Other { condition: not Derived }\n");
    ASSERT_EQ(set->Rules().size(), 3u);
    EXPECT_TRUE(set->Rules()[0].isPrivate);
    EXPECT_EQ(set->Rules()[1].family, "Evil family");
    EXPECT_EQ(set->Rules()[2].family, "Other");
    EXPECT_EQ(set->Rules()[1].tags, (std::vector<std::string>{"tag1", "tag2"}));
    EXPECT_EQ(Matching(*set, "an evil file"), (std::vector<std::string>{"Derived"}));
    EXPECT_EQ(Matching(*set, "a good file"), (std::vector<std::string>{"Other"}));
}

TEST(RulePeModule, ValuesOfAFileThatIsNotPeAreUndefined) {
    const std::string head = "import \"pe\"\nrule t { condition: ";
    EXPECT_FALSE(Matches(head + "pe.is_dll() }", "MZ not really"));
    EXPECT_FALSE(Matches(head + "not pe.is_dll() }", "MZ not really"));
    EXPECT_FALSE(Matches(head + "pe.number_of_sections >= 0 }", "plain"));
    EXPECT_FALSE(Matches(head + "for any i in (0 .. pe.number_of_sections) : (true) }", "plain"));
    EXPECT_FALSE(Matches(head + "for any d in pe.data_directories : (d.size == 0) }", "plain"));
    EXPECT_TRUE(Matches(head + "pe.exports(\"Main\") or filesize > 0 }", "plain"));
}

TEST(RuleRefusals, AFailingRuleIsNamedAndTheOthersKept) {
    std::vector<Refusal> refusals;
    Source source{"set/a.yar",
                  "rule Good1 { strings: $a = \"one\" condition: $a }\n"
                  "rule Bad {\n strings:\n $a = \"x\" xor\n condition: $a\n}\n"
                  "/* rule Commented { condition: nonsense ( } */\n"
                  "rule Unknown { condition: $nope }\n"
                  "rule UsesBad { condition: Bad }\n"
                  "rule Good2 { condition: Good1 and true }\n"};
    auto set = RuleSet::Compile(std::span<const Source>(&source, 1), refusals);
    ASSERT_EQ(set->Rules().size(), 2u);
    EXPECT_EQ(set->Rules()[1].name, "Good2");
    ASSERT_EQ(refusals.size(), 3u) << Describe(refusals);
    EXPECT_EQ(refusals[0].source, "set/a.yar");
    EXPECT_EQ(refusals[0].rule, "Bad");
    EXPECT_EQ(refusals[0].line, 4u);
    EXPECT_NE(refusals[0].reason.find("xor"), std::string::npos);
    EXPECT_EQ(refusals[1].rule, "Unknown");
    EXPECT_NE(refusals[1].reason.find("$nope"), std::string::npos);
    EXPECT_EQ(refusals[2].rule, "UsesBad");
    EXPECT_NE(refusals[2].reason.find("refused rule Bad"), std::string::npos);
    EXPECT_EQ(Matching(*set, "one"), (std::vector<std::string>{"Good1", "Good2"}));

    // Rules on one line: the one after a refused rule is still read.
    refusals.clear();
    Source line{"line.yar", "rule A { condition: $x } rule B { condition: true } rule C { condition: B }"};
    set = RuleSet::Compile(std::span<const Source>(&line, 1), refusals);
    ASSERT_EQ(set->Rules().size(), 2u) << Describe(refusals);
    EXPECT_EQ(set->Rules()[0].name, "B");
    ASSERT_EQ(refusals.size(), 1u);
    EXPECT_EQ(refusals[0].rule, "A");
}

TEST(RuleRefusals, HostileTextIsRefusedInBoundedTime) {
    std::vector<Source> sources;
    sources.push_back({"deep.yar", "rule Deep { condition: " + std::string(200000, '(') + "true" +
                                       std::string(200000, ')') + " }\n"});
    std::string many = "rule Many { strings:\n";
    for (int i = 0; i < 1000000; ++i)
        many += "$s" + std::to_string(i) + " = \"s" + std::to_string(i) + "\"\n";
    many += "condition: any of them }\n";
    sources.push_back({"many.yar", many});
    sources.push_back({"long.yar", "rule Long { strings: $a = \"" + std::string(1 << 20, 'a') +
                                       "\" condition: $a }\nrule After { condition: true }\n"});
    sources.push_back({"not.yar", "rule Nots { condition: " + [] {
                           std::string s;
                           for (int i = 0; i < 100000; ++i)
                               s += "not ";
                           return s;
                       }() + "true }\n"});
    sources.push_back({"loop.yar", "rule Loop { condition: for all i in (0..0x7fffffffffffffff) : (i >= 0) }\n"});
    std::vector<Refusal> refusals;
    auto set = RuleSet::Compile(sources, refusals);
    std::vector<std::string> refused;
    for (const Refusal& r : refusals)
        refused.push_back(r.rule);
    EXPECT_EQ(refused, (std::vector<std::string>{"Deep", "Many", "Long", "Nots"})) << Describe(refusals);
    // The endless loop compiles, and its scan stops at the loop budget: undefined, no match.
    EXPECT_EQ(Matching(*set, "x"), (std::vector<std::string>{"After"}));
}

TEST(RuleScan, MatchesOfAHostileFileAreCapped) {
    // Every offset matches: the count stops at the cap per string, and the scan ends.
    std::string file(1000100, 'a');
    EXPECT_TRUE(Holds("#a == 1000000 and #b == 1000000", file, "$a = \"a\"\n$b = \"aa\""));
    // Atoms hit everywhere and every verification is a near miss of a long string.
    std::string unit = "xyz12345";
    std::string periodic;
    for (int i = 0; i < 500; ++i)
        periodic += unit;
    std::string hostile;
    for (int i = 0; i < 1 << 20; ++i)
        hostile += unit;
    EXPECT_FALSE(Holds("$a", hostile, "$a = \"" + periodic + "!\" nocase"));
}

TEST(RuleSplit, EachRuleWithItsImports) {
    std::string file =
        "import \"pe\"\n// a comment\nrule A { condition: pe.is_dll() }\n\n"
        "private rule B : t {\n strings: $a = \"}\" $r = /a\\/\"}/ condition: $a and $r\n}\n"
        "rule C { condition: B }\n";
    std::vector<RuleText> texts = RuleSet::SplitRules(file);
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0].name, "A");
    EXPECT_EQ(texts[0].line, 3u);
    EXPECT_EQ(texts[0].text, "import \"pe\"\n\nrule A { condition: pe.is_dll() }\n");
    EXPECT_EQ(texts[1].name, "B");
    EXPECT_EQ(texts[1].text.substr(texts[1].text.find("private")),
              "private rule B : t {\n strings: $a = \"}\" $r = /a\\/\"}/ condition: $a and $r\n}\n");
    EXPECT_EQ(texts[2].line, 8u);
}

}  // namespace
}  // namespace pellora::rules::test
