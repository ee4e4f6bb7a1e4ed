// The engine against the reference tool (Debian's `yara`, used as a black box): files made from
// each shipped rule's own text strings, whole, halved, case-flipped and glued into words, must
// get the same verdicts from both.
#include <unistd.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "core/rules/pattern.h"
#include "unit/rules/rules_support.h"

namespace pellora::rules::test {
namespace {

namespace fs = std::filesystem;

struct TextString {
    std::string bytes;
    bool ascii = true, wide = false;
};

std::string Unescape(const std::string& raw) {
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 >= raw.size()) {
            out += raw[i];
            continue;
        }
        char c = raw[++i];
        if (c == 'n')
            out += '\n';
        else if (c == 't')
            out += '\t';
        else if (c == 'r')
            out += '\r';
        else if (c == 'x' && i + 2 < raw.size())
            out += static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16)), i += 2;
        else
            out += c;
    }
    return out;
}

// The plain text strings of one rule's text (base64 ones left out).
std::vector<TextString> TextStrings(const std::string& rule) {
    static const std::regex kLine(R"re(^\s*\$\w*\s*=\s*"((?:[^"\\]|\\.)*)"(.*)$)re");
    std::vector<TextString> strings;
    std::istringstream in(rule);
    std::string line;
    while (std::getline(in, line)) {
        std::smatch m;
        if (!std::regex_match(line, m, kLine))
            continue;
        std::string modifiers = m[2];
        if (modifiers.find("base64") != std::string::npos)
            continue;
        TextString s;
        s.bytes = Unescape(m[1]);
        s.wide = modifiers.find("wide") != std::string::npos;
        s.ascii = !s.wide || modifiers.find("ascii") != std::string::npos;
        strings.push_back(std::move(s));
    }
    return strings;
}

std::string Widen(const std::string& text) {
    std::string wide;
    for (char c : text)
        wide += c, wide += '\0';
    return wide;
}

std::string FlipCase(std::string text) {
    for (char& c : text)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))
            c ^= 0x20;
    return text;
}

// The files made from one rule's strings: all, every other one, case-flipped, glued into words.
std::vector<std::string> FilesFor(const std::vector<TextString>& strings) {
    std::string header = "MZ" + std::string(62, '\0');
    std::vector<std::string> files(4, header);
    for (size_t i = 0; i < strings.size(); ++i) {
        const TextString& s = strings[i];
        std::string form = s.ascii ? s.bytes : Widen(s.bytes);
        std::string other = s.ascii && s.wide ? Widen(s.bytes) : "";
        files[0] += " " + form + " " + other;
        if (i % 2 == 0)
            files[1] += " " + form;
        files[2] += " " + FlipCase(form);
        files[3] += "x" + form + (s.ascii ? "1" : Widen("1"));
    }
    return files;
}

class ReferenceTool : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::is_directory(DataDir() / "rules"))
            GTEST_SKIP() << "the data folder " << DataDir() << " has no rules/ (set PELLORA_DATA_DIR)";
        if (std::holds_alternative<PatternError>(Pattern::CompileHex("41 42")))
            GTEST_SKIP() << "the pattern engine of this tree compiles no hex string yet";
        // Installed by scripts/install-deps: a missing tool is a failure, not a skip.
        ASSERT_EQ(std::system("yara --version > /dev/null 2>&1"), 0) << "the reference tool `yara` is missing";
        folder_ = fs::temp_directory_path() / ("pellora-rules-oracle-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
    }
    void TearDown() override {
        if (!folder_.empty())
            fs::remove_all(folder_);
    }
    fs::path folder_;
};

TEST_F(ReferenceTool, SameVerdictsOnFilesMadeOfTheShippedRulesStrings) {
    std::vector<Source> sources = ReadSources(DataDir() / "rules");
    std::vector<Refusal> refusals;
    auto set = RuleSet::Compile(sources, refusals);
    ASSERT_TRUE(refusals.empty()) << Describe(refusals);

    std::map<std::string, std::string> files;  // name -> bytes
    for (const Source& source : sources) {
        for (const RuleText& rule : RuleSet::SplitRules(source.text)) {
            std::vector<std::string> made = FilesFor(TextStrings(rule.text));
            for (size_t k = 0; k < made.size(); ++k)
                files[rule.name + "." + std::to_string(k)] = made[k];
        }
    }
    std::set<std::string> ours;
    for (const auto& [name, bytes] : files) {
        std::ofstream(folder_ / name, std::ios::binary) << bytes;
        for (const std::string& rule : Matching(*set, bytes))
            ours.insert(rule + " " + name);
    }

    std::vector<fs::path> ruleFiles;
    for (const Source& source : sources)
        ruleFiles.push_back(DataDir() / source.name);
    std::string error;
    std::set<std::string> theirs = ReferenceMatches(ruleFiles, folder_, error);
    ASSERT_EQ(error, "");
    EXPECT_EQ(Missing(ours, theirs, "only ours") + Missing(theirs, ours, "only the reference's"), "");
    EXPECT_GT(theirs.size(), 1000u);
    std::cout << files.size() << " files, " << theirs.size() << " matches agreed\n";
}

}  // namespace
}  // namespace pellora::rules::test
