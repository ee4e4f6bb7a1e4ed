// Hex strings and regular expressions: the matches each construct gives (every start, the
// length the language gives it), found both by scanning for atoms and by the atom-less path,
// refusals with reasons, the shipped rule sets' patterns, and the reference tool as an oracle.
#include "core/rules/pattern.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace pellora::rules;

namespace {

using Matches = std::vector<std::pair<size_t, size_t>>;

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

Pattern Compiled(std::variant<Pattern, PatternError> result, const std::string& what) {
    if (const PatternError* error = std::get_if<PatternError>(&result))
        ADD_FAILURE() << what << ": refused at " << error->column << ": " << error->reason;
    return std::get<Pattern>(std::move(result));
}

Pattern Regex(const std::string& body, RegexFlags flags = {}) {
    return Compiled(Pattern::CompileRegex(body, flags), "/" + body + "/");
}

Pattern Hex(const std::string& body) {
    return Compiled(Pattern::CompileHex(body), "{" + body + "}");
}

bool AtomAt(const Atom& atom, const std::string& data, size_t at) {
    if (data.size() - at < atom.bytes.size())
        return false;
    for (size_t i = 0; i < atom.bytes.size(); ++i) {
        char a = atom.bytes[i], b = data[at + i];
        if (atom.nocase) {
            a = static_cast<char>(std::tolower(static_cast<unsigned char>(a)));
            b = static_cast<char>(std::tolower(static_cast<unsigned char>(b)));
        }
        if (a != b)
            return false;
    }
    return true;
}

// What the scanner does: every hit of every atom, verified around it; one match per start.
Matches ViaAtoms(const Pattern& pattern, const std::string& data) {
    std::map<size_t, size_t> found;
    for (size_t a = 0; a < pattern.Atoms().size(); ++a) {
        for (size_t at = 0; at < data.size(); ++at) {
            if (!AtomAt(pattern.Atoms()[a], data, at))
                continue;
            std::map<size_t, int> seenInCall;
            pattern.MatchesAround(Bytes(data), a, at, [&](size_t start, size_t length) {
                EXPECT_EQ(++seenInCall[start], 1) << "start " << start << " reported twice for one hit";
                auto [it, added] = found.emplace(start, length);
                EXPECT_EQ(it->second, length) << "two lengths for the match at " << start;
            });
        }
    }
    return {found.begin(), found.end()};
}

Matches ViaAll(const Pattern& pattern, const std::string& data) {
    Matches found;
    pattern.MatchesAll(Bytes(data), [&](size_t start, size_t length) { found.emplace_back(start, length); });
    return found;
}

// Both paths agree, and the atoms were usable when `needAtoms`.
Matches Find(const Pattern& pattern, const std::string& data, bool needAtoms = true) {
    const Matches all = ViaAll(pattern, data);
    if (needAtoms) {
        EXPECT_FALSE(pattern.Atoms().empty());
        EXPECT_EQ(ViaAtoms(pattern, data), all);
    }
    return all;
}

std::string Wide(const std::string& s) {
    std::string out;
    for (char c : s) {
        out += c;
        out += '\0';
    }
    return out;
}

}  // namespace

TEST(PatternHex, BytesWildcardsNibblesAndJumpsAtTheirBounds) {
    EXPECT_EQ(Find(Hex("4D 5A 90"), "xxMZ\x90MZ\x91MZ\x90"), (Matches{{2, 3}, {8, 3}}));
    EXPECT_EQ(Find(Hex("41 ?? 43"), "ABCAxCAC"), (Matches{{0, 3}, {3, 3}}));
    // 4? takes any low nibble, ?2 any high nibble.
    EXPECT_EQ(Find(Hex("11 22 4? ?2 33"), std::string("\x11\x22\x4F\x72\x33\x11\x22\x50\x72\x33\x11\x22\x40\x73\x33")),
              (Matches{{0, 5}}));
    // [2-4] between: 1 byte too few, 2..4 fine, 5 too many.
    const Pattern jump = Hex("41 42 [2-4] 43 44");
    EXPECT_EQ(Find(jump, "ABxCD"), Matches{});
    EXPECT_EQ(Find(jump, "ABxxCD"), (Matches{{0, 6}}));
    EXPECT_EQ(Find(jump, "ABxxxxCD"), (Matches{{0, 8}}));
    EXPECT_EQ(Find(jump, "ABxxxxxCD"), Matches{});
    // A jump takes the shortest span that lets the rest match.
    EXPECT_EQ(Find(jump, "ABxxCDCD"), (Matches{{0, 6}}));
    EXPECT_EQ(Find(Hex("41 42 [3] 43"), "ABxxxC ABxxC"), (Matches{{0, 6}}));
    EXPECT_EQ(Find(Hex("41 42 [2-] 43 44"), "ABCDABxxxxxxxxxxCDCD"), (Matches{{0, 18}, {4, 14}}));
    EXPECT_EQ(Find(Hex("41 42 [-] 43 44"), "ABCD"), (Matches{{0, 4}}));
    // Overlapping occurrences all count.
    EXPECT_EQ(Find(Hex("61 61"), "aaaa"), (Matches{{0, 2}, {1, 2}, {2, 2}}));
}

TEST(PatternHex, AlternativesNestedAndLeftFirst) {
    const Pattern alt = Hex("41 ( 42 | 43 44 | 45 ( 46 | 47 ?? ) ) 5A");
    EXPECT_EQ(Find(alt, "ABZ ACDZ AEFZ AEGxZ AEGZ ACZ"), (Matches{{0, 3}, {4, 4}, {9, 4}, {14, 5}}));
    // The left branch wins where both fit.
    EXPECT_EQ(Find(Hex("41 ( 42 | 42 43 )"), "ABC"), (Matches{{0, 2}}));
    EXPECT_EQ(Find(Hex("( 41 | 42 ) 43 [1-2] 44"), "ACxD BCxxD"), (Matches{{0, 4}, {5, 5}}));
}

TEST(PatternHex, MalformedIsRefusedWithItsColumn) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "empty hex string"},
        {"41 4", "incomplete byte"},
        {"41 GG", "expected two hex digits"},
        {"[2] 41", "cannot start with a jump"},
        {"41 [2]", "cannot end with a jump"},
        {"41 [4-2] 42", "lower bound exceeds"},
        {"41 ( 42 [-] 43 | 44 ) 45", "unbounded jump inside an alternative"},
        {"41 ( 42 | ) 43", "empty alternative"},
        {"41 ( 42 | 43 43", "unclosed alternative"},
        {"41 42 ) 43", "unbalanced"},
        {"41 [1-99999] 42", "jump too large"},
    };
    for (const auto& [body, reason] : cases) {
        auto result = Pattern::CompileHex(body);
        ASSERT_TRUE(std::holds_alternative<PatternError>(result)) << body;
        EXPECT_NE(std::get<PatternError>(result).reason.find(reason), std::string::npos)
            << body << ": " << std::get<PatternError>(result).reason;
    }
    EXPECT_EQ(std::get<PatternError>(Pattern::CompileHex("41 42 G1")).column, 6u);
}

TEST(PatternRegex, LiteralsEscapesAndClasses) {
    EXPECT_EQ(Find(Regex(R"(a\.b\\c\/d\x41\t)"), "a.b\\c/dA\t a.b\\c/dB\t"), (Matches{{0, 9}}));
    EXPECT_EQ(Find(Regex(R"(id[0-9a-f]{2}\b)"), "id3f id3g id0a1 idff"), (Matches{{0, 4}, {16, 4}}));
    EXPECT_EQ(Find(Regex(R"(k[^a-c\d]k)"), "kakZZk1kZZkdkZZk-k"), (Matches{{10, 3}, {15, 3}}));
    EXPECT_EQ(Find(Regex(R"(x[\w]y\Wz\sq\S)"), "x_y.z\tq! xay z q. xay_z q."), (Matches{{0, 8}, {9, 8}}));
    EXPECT_EQ(Find(Regex(R"(n\dn\Dn)"), "n1nxn n1n1n"), (Matches{{0, 5}}));
    EXPECT_EQ(Find(Regex(R"(r[]a]s)"), "r]s ras rbs"), (Matches{{0, 3}, {4, 3}}));
    EXPECT_EQ(Find(Regex(R"(t[a-]u)"), "t-u tau tbu"), (Matches{{0, 3}, {4, 3}}));
    // `.` stops at a line feed unless dotAll.
    EXPECT_EQ(Find(Regex("AB.CD"), "AB\nCD ABxCD"), (Matches{{6, 5}}));
    EXPECT_EQ(Find(Regex("AB.CD", {.dotAll = true}), "AB\nCD ABxCD"), (Matches{{0, 5}, {6, 5}}));
    // A `{` that starts no interval is a literal.
    EXPECT_EQ(Find(Regex("ab{c"), "ab{c"), (Matches{{0, 4}}));
}

TEST(PatternRegex, QuantifiersGreedyAndLazyLengthsAtEveryStart) {
    EXPECT_EQ(Find(Regex("ba+"), "baaa ba"), (Matches{{0, 4}, {5, 2}}));
    EXPECT_EQ(Find(Regex("ba+?"), "baaa"), (Matches{{0, 2}}));
    EXPECT_EQ(Find(Regex("a+"), "xaaa"), (Matches{{1, 3}, {2, 2}, {3, 1}}));
    EXPECT_EQ(Find(Regex("x.*B"), "xBxB"), (Matches{{0, 4}, {2, 2}}));
    EXPECT_EQ(Find(Regex("x.*?B"), "xBxB"), (Matches{{0, 2}, {2, 2}}));
    EXPECT_EQ(Find(Regex("qa{2}"), "qa qaa qaaa"), (Matches{{3, 3}, {7, 3}}));
    EXPECT_EQ(Find(Regex("qa{2,}"), "qa qaa qaaa"), (Matches{{3, 3}, {7, 4}}));
    EXPECT_EQ(Find(Regex("qa{1,2}"), "qa qaaa"), (Matches{{0, 2}, {3, 3}}));
    EXPECT_EQ(Find(Regex("qa{1,2}?"), "qaaa"), (Matches{{0, 2}}));
    EXPECT_EQ(Find(Regex("a{,2}b"), "xaab"), (Matches{{1, 3}, {2, 2}, {3, 1}}));
    EXPECT_EQ(Find(Regex("ab?c"), "ac abc abbc"), (Matches{{0, 2}, {3, 3}}));
    EXPECT_EQ(Find(Regex("ab??"), "ab"), (Matches{{0, 1}}));
    // An empty winning match is no match.
    EXPECT_EQ(Find(Regex("a*?"), "aaa", false), Matches{});
    EXPECT_EQ(Find(Regex("a*b*"), "xab", false), (Matches{{1, 2}, {2, 1}}));
}

TEST(PatternRegex, GroupsAlternationAndPriorities) {
    EXPECT_EQ(Find(Regex("(a|aa)b"), "aaab"), (Matches{{1, 3}, {2, 2}}));
    EXPECT_EQ(Find(Regex("get_(Cookie|Logins|Cards)Path"), "get_CardsPath get_FooPath get_LoginsPath"),
              (Matches{{0, 13}, {26, 14}}));
    EXPECT_EQ(Find(Regex("Prynt|WorldWind|DarkEye(\\s)?Stealer"), "DarkEyeStealer DarkEye Stealer WorldWind"),
              (Matches{{0, 14}, {15, 15}, {31, 9}}));
    EXPECT_EQ(Find(Regex("(ab|a)(bc|c)?"), "abc"), (Matches{{0, 3}}));
    EXPECT_EQ(Find(Regex("(a|ab)(c|bcd)"), "abcd"), (Matches{{0, 4}}));
    EXPECT_EQ(Find(Regex("((ab)+|x)y"), "ababy xy"), (Matches{{0, 5}, {2, 3}, {6, 2}}));
}

TEST(PatternRegex, AnchorsAreTheFileAndWordBoundaries) {
    const std::string lines = "abc\nabc\nabc";
    EXPECT_EQ(Find(Regex("^abc"), lines), (Matches{{0, 3}}));
    EXPECT_EQ(Find(Regex("abc$"), lines), (Matches{{8, 3}}));
    EXPECT_EQ(Find(Regex("^abc$"), "abc"), (Matches{{0, 3}}));
    EXPECT_EQ(Find(Regex("^(.|\\/)rip$"), "xrip"), (Matches{{0, 4}}));
    EXPECT_EQ(Find(Regex("^(.|\\/)rip$"), "xxrip"), Matches{});
    EXPECT_EQ(Find(Regex("\\bcat\\b"), "cat bobcat cats (cat)"), (Matches{{0, 3}, {17, 3}}));
    EXPECT_EQ(Find(Regex("\\Bcat\\B"), "cat bobcats"), (Matches{{7, 3}}));
}

TEST(PatternRegex, NocaseWideAndBoth) {
    EXPECT_EQ(Find(Regex("loki(\\s)?locker", {.nocase = true}), "LOKI Locker lokilocker"),
              (Matches{{0, 11}, {12, 10}}));
    EXPECT_EQ(Find(Regex("[a-c]x", {.nocase = true}), "Bx bX dx"), (Matches{{0, 2}, {3, 2}}));
    const std::string wide = Wide("run Njrat 0.7 Golden now");
    EXPECT_EQ(Find(Regex("Njrat\\s\\d+\\.\\d+\\sGolden\\s", {.wide = true, .ascii = false}), wide), (Matches{{8, 34}}));
    EXPECT_EQ(Find(Regex("Njrat\\s\\d", {.wide = true, .ascii = false}), "Njrat 0"), Matches{});
    // Both forms: the plain form wins a start both match.
    const Pattern both = Regex("(Chrome|Edge)[0-9]", {.wide = true, .ascii = true});
    EXPECT_EQ(Find(both, "Edge1 " + Wide("Chrome2")), (Matches{{0, 5}, {6, 14}}));
    EXPECT_EQ(Find(Regex("B|x", {.wide = true, .ascii = true}), std::string("x\0B\0", 4)), (Matches{{0, 1}, {2, 1}}));
    // \b between UTF-16 characters.
    EXPECT_EQ(Find(Regex("\\bab", {.wide = true, .ascii = false}), Wide("ab cab")), (Matches{{0, 4}}));
    EXPECT_EQ(Find(Regex("(shell|reg)fuc", {.nocase = true, .wide = true, .ascii = false}), Wide("SHELLfuc")),
              (Matches{{0, 16}}));
}

TEST(PatternRegex, MalformedOrTooLargeIsRefused) {
    const std::pair<std::string, const char*> cases[] = {
        {"", "empty"},
        {"(ab", "unclosed group"},
        {"ab)", "unbalanced"},
        {"*a", "nothing to repeat"},
        {"a**", "quantifier cannot follow"},
        {"a{3,2}", "bad repeat interval"},
        {"a{0}", "bad repeat interval"},
        {"[abc", "unclosed character class"},
        {"[z-a]", "bad character range"},
        {"(?:ab)", "group options"},
        {"\\x4", "two hex digits"},
        {"ab\\", "trailing backslash"},
        {"(((((a{1000}){1000}){1000})))", "too large"},
        {"x.{5000}", "scan limit"},
        {"^$", "only empty"},
        {std::string(300000, 'a'), "text longer"},
    };
    for (const auto& [body, reason] : cases) {
        auto result = Pattern::CompileRegex(body, {});
        ASSERT_TRUE(std::holds_alternative<PatternError>(result)) << body;
        EXPECT_NE(std::get<PatternError>(result).reason.find(reason), std::string::npos)
            << body << ": " << std::get<PatternError>(result).reason;
    }
    std::string deep(1000, '(');
    deep += 'a';
    deep.append(1000, ')');
    EXPECT_TRUE(std::holds_alternative<PatternError>(Pattern::CompileRegex(deep, {})));
}

TEST(PatternRegex, PathologicalPatternsStayLinear) {
    // Each of these takes exponential time in a backtracking matcher; here one pass per start.
    const std::string as(1 << 16, 'a');
    for (const char* body : {"(a*)*b", "(a|a)*c", "(a+)+$b"}) {
        const Pattern pattern = Regex(body);
        EXPECT_FALSE(pattern.Search(as)) << body;
        EXPECT_TRUE(ViaAll(pattern, as).empty()) << body;
    }
    const Pattern search = Regex("(a|a)*c");
    EXPECT_TRUE(search.Search(as + "c"));
    // A match never spans more than the scan limit.
    const Pattern spans = Regex("xa*B");
    EXPECT_EQ(Find(spans, "x" + std::string(kMaxMatchLength - 2, 'a') + "B"), (Matches{{0, kMaxMatchLength}}));
    EXPECT_EQ(Find(spans, "x" + std::string(kMaxMatchLength - 1, 'a') + "B"), Matches{});
}

TEST(PatternRegex, SearchFindsAnywhere) {
    EXPECT_TRUE(Regex("^Get(Proc|Module)").Search("GetProcAddress"));
    EXPECT_FALSE(Regex("^Get(Proc|Module)").Search("xGetProcAddress"));
    EXPECT_TRUE(Regex("dll$", {.nocase = true}).Search("KERNEL32.DLL"));
    EXPECT_FALSE(Regex("dll$").Search("a.dll "));
}

TEST(PatternAtoms, EveryMatchContainsAnAtomAndAtomsAreGood) {
    // The best window, not the first bytes or the zeros.
    const Pattern hex = Hex("00 00 00 00 E8 3F 12 C7 00 00");
    ASSERT_EQ(hex.Atoms().size(), 1u);
    EXPECT_EQ(hex.Atoms()[0].bytes, std::string("\xE8\x3F\x12\xC7"));
    const Pattern alternatives = Regex("(John|JOHN|Test)x", {.nocase = true});
    EXPECT_LE(alternatives.Atoms().size(), 2u);  // case folded: "john", "test"
    for (const Atom& atom : alternatives.Atoms())
        EXPECT_TRUE(atom.nocase);
    EXPECT_EQ(Find(alternatives, "JoHnx tesTx jonx"), (Matches{{0, 5}, {6, 5}}));
    EXPECT_TRUE(Regex("[a-z]+").Atoms().empty());
    // Without atoms: every start of a run long enough.
    EXPECT_EQ(Find(Regex("[a-f0-9]{4}"), "zz0a1bz12345", false), (Matches{{2, 4}, {7, 4}, {8, 4}}));
    EXPECT_EQ(Find(Hex("4? ?? 5?"), "AxPAyQ", false), (Matches{{0, 3}, {3, 3}}));
    // Wide atoms carry the zero bytes.
    const Pattern wide = Regex("Plugins", {.wide = true, .ascii = false});
    ASSERT_EQ(wide.Atoms().size(), 1u);
    EXPECT_EQ(wide.Atoms()[0].bytes.size(), 8u);
}

// Every hex string and regular expression of the shipped rule sets compiles and has atoms.
TEST(PatternShippedRules, EveryPatternCompiles) {
#ifndef PELLORA_DATA_DIR
    GTEST_SKIP() << "built without the data folder";
#else
    const std::filesystem::path folder = std::filesystem::path(PELLORA_DATA_DIR) / "rules";
    if (!std::filesystem::exists(folder))
        GTEST_SKIP() << "no rules folder in the data folder";
    size_t hexCount = 0, regexCount = 0, atomless = 0;
    auto check = [&](const std::filesystem::path& file, std::variant<Pattern, PatternError> result,
                     const std::string& text) {
        if (auto* error = std::get_if<PatternError>(&result))
            ADD_FAILURE() << file.filename() << ": " << text << ": " << error->reason;
        else if (std::get<Pattern>(result).Atoms().empty() && ++atomless)
            std::printf("without atoms: %s\n", text.c_str());
    };
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.path().extension() != ".yar")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream stream;
        stream << in.rdbuf();
        const std::string text = stream.str();
        // A string definition: `$name = {` or `$name = /` (comments hold none of the shipped kind).
        for (size_t at = text.find('$'); at != std::string::npos; at = text.find('$', at + 1)) {
            size_t p = at + 1;
            while (p < text.size() && (std::isalnum(static_cast<unsigned char>(text[p])) || text[p] == '_'))
                ++p;
            while (p < text.size() && (text[p] == ' ' || text[p] == '\t'))
                ++p;
            if (p >= text.size() || text[p] != '=' || text.compare(p, 2, "==") == 0)
                continue;
            ++p;
            while (p < text.size() && (text[p] == ' ' || text[p] == '\t'))
                ++p;
            if (p < text.size() && text[p] == '{') {
                const size_t close = text.find('}', p);
                ++hexCount;
                check(entry.path(), Pattern::CompileHex(text.substr(p + 1, close - p - 1)),
                      text.substr(p, close - p + 1));
            } else if (p < text.size() && text[p] == '/') {
                const size_t lineEnd = text.find('\n', p);
                size_t close = p + 1;
                while (close < lineEnd && text[close] != '/')
                    close += text[close] == '\\' ? 2 : 1;
                const std::string body = text.substr(p + 1, close - p - 1);
                size_t q = close + 1;
                RegexFlags flags;
                for (; q < lineEnd && (text[q] == 'i' || text[q] == 's'); ++q)
                    (text[q] == 'i' ? flags.nocase : flags.dotAll) = true;
                const std::string modifiers = text.substr(q, lineEnd - q);
                flags.nocase = flags.nocase || modifiers.find("nocase") != std::string::npos;
                flags.wide = modifiers.find("wide") != std::string::npos;
                flags.ascii = !flags.wide || modifiers.find("ascii") != std::string::npos;
                ++regexCount;
                check(entry.path(), Pattern::CompileRegex(body, flags), "/" + body + "/");
            }
        }
    }
    EXPECT_GT(hexCount, 1000u);
    EXPECT_GT(regexCount, 140u);
    EXPECT_LE(atomless, 1u);  // /[a-f0-9]{168}/ has no literal at all
    std::printf("shipped patterns: %zu hex strings, %zu regular expressions, %zu without atoms\n", hexCount, regexCount,
                atomless);
#endif
}

// The language's reference tool, where installed, as a black-box oracle: the same matches
// (offset and length) for a mix of constructs over generated data.
TEST(PatternOracle, SameMatchesAsTheReferenceTool) {
    if (std::system("yara --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "the reference tool is not installed";
    struct Case {
        std::string text;  // as written in a rule
        std::variant<Pattern, PatternError> pattern;
    };
    auto regex = [](std::string body, RegexFlags flags, std::string modifiers) {
        return Case{"/" + body + (flags.dotAll ? "/s " : "/ ") + modifiers, Pattern::CompileRegex(body, flags)};
    };
    auto hex = [](std::string body) { return Case{"{ " + body + " }", Pattern::CompileHex(body)}; };
    std::vector<Case> cases;
    cases.push_back(regex("ab+c?", {}, "ascii"));
    cases.push_back(regex("(a|ab)(c|bcd)", {}, "ascii"));
    cases.push_back(regex("a.{0,3}?c", {}, "ascii"));
    cases.push_back(regex("a.{1,4}c", {.dotAll = true}, "ascii"));
    cases.push_back(regex("[ab]{2,3}c", {}, "ascii"));
    cases.push_back(regex("\\bab", {}, "ascii"));
    cases.push_back(regex("ba\\b", {}, "ascii"));
    cases.push_back(regex("\\Bca", {}, "ascii"));
    cases.push_back(regex("^ab", {}, "ascii"));
    cases.push_back(regex("cd$", {}, "ascii"));
    cases.push_back(regex("(ab)*cd", {}, "ascii"));
    cases.push_back(regex("a(b|c)*?d", {}, "ascii"));
    cases.push_back(regex("d(a|b|c)+d", {.nocase = true}, "nocase"));
    cases.push_back(regex("ab[^c\\n]{1,2}", {}, "ascii"));
    cases.push_back(regex("(ab|ba)c", {.wide = true, .ascii = false}, "wide"));
    cases.push_back(regex("abc?", {.wide = true, .ascii = true}, "ascii wide"));
    cases.push_back(regex("b\\sa\\S", {}, "ascii"));
    cases.push_back(regex("\\bab\\b", {.wide = true, .ascii = false}, "wide"));
    cases.push_back(regex("[^a]b.c", {.wide = true, .ascii = false}, "wide"));
    cases.push_back(regex("(a|b)\\Bc", {.nocase = true, .wide = true, .ascii = true}, "ascii wide nocase"));
    cases.push_back(regex("d\\d*a", {}, "ascii"));
    cases.push_back(hex("61 [0-2] 62"));
    cases.push_back(hex("61 ( 62 | 62 63 ) [1-3] 64"));
    cases.push_back(hex("6? 62 ?3"));
    cases.push_back(hex("63 [2] 64 ( 61 | 62 )"));
    cases.push_back(hex("61 62 [1-] 64"));
    cases.push_back(hex("00 61 ?? 00"));

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() /
        ("pellora-pattern-oracle-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
         std::to_string(std::rand()));
    std::filesystem::create_directories(folder);
    std::ofstream rule(folder / "oracle.yar");
    rule << "rule oracle {\n strings:\n";
    for (size_t i = 0; i < cases.size(); ++i)
        rule << "  $s" << i << " = " << cases[i].text << "\n";
    rule << " condition:\n  any of them\n}\n";
    rule.close();

    std::mt19937 random(20261208);
    const std::string alphabet("abcdABCD \n\0", 11);
    for (int file = 0; file < 8; ++file) {
        std::string data;
        const size_t length = 200 + random() % 400;
        for (size_t i = 0; i < length; ++i) {
            if (random() % 8 == 0) {
                const char c = alphabet[random() % 4];  // a stretch of wide text
                data += c;
                data += '\0';
            } else {
                data += alphabet[random() % alphabet.size()];
            }
        }
        const std::filesystem::path input = folder / ("data" + std::to_string(file));
        std::ofstream(input, std::ios::binary) << data;
        const std::filesystem::path output = folder / "out.txt";
        const std::string command = "yara -L " + (folder / "oracle.yar").string() + " " + input.string() + " > " +
                                    output.string() + " 2>/dev/null";
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::map<size_t, Matches> expected;
        std::ifstream lines(output);
        std::string line;
        while (std::getline(lines, line)) {
            unsigned long long offset = 0, count = 0;
            size_t index = 0;
            if (std::sscanf(line.c_str(), "0x%llx:%llu:$s%zu", &offset, &count, &index) == 3)
                expected[index].emplace_back(offset, count);
        }
        for (size_t i = 0; i < cases.size(); ++i) {
            ASSERT_TRUE(std::holds_alternative<Pattern>(cases[i].pattern)) << cases[i].text;
            std::sort(expected[i].begin(), expected[i].end());
            EXPECT_EQ(Find(std::get<Pattern>(cases[i].pattern), data), expected[i])
                << cases[i].text << " in data" << file;
        }
    }
    std::filesystem::remove_all(folder);
}
