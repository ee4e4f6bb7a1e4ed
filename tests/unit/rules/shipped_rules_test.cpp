// The shipped rule sets: every rule compiles, and the rule texts split for the database compile
// one by one into the same rules.
#include <filesystem>

#include "core/rules/pattern.h"
#include "unit/rules/rules_support.h"

namespace pellora::rules::test {
namespace {

class ShippedRules : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::is_directory(DataDir() / "rules"))
            GTEST_SKIP() << "the data folder " << DataDir() << " has no rules/ (set PELLORA_DATA_DIR)";
        if (std::holds_alternative<PatternError>(Pattern::CompileHex("41 42")))
            GTEST_SKIP() << "the pattern engine of this tree compiles no hex string yet";
        sources_ = ReadSources(DataDir() / "rules");
    }
    std::vector<Source> sources_;
};

TEST_F(ShippedRules, EveryRuleCompilesTogether) {
    std::vector<Refusal> refusals;
    auto set = RuleSet::Compile(sources_, refusals);
    EXPECT_TRUE(refusals.empty()) << Describe(refusals);
    EXPECT_EQ(set->Rules().size(), 1384u);
    size_t privateRules = 0;
    for (const RuleInfo& info : set->Rules())
        privateRules += info.isPrivate;
    EXPECT_LT(set->CompiledLength(), size_t{64} << 20);
    EXPECT_EQ(set->Digest().size(), 64u);
    std::cout << "compiled " << set->Rules().size() << " rules (" << privateRules << " private), "
              << set->CompiledLength() << " bytes\n";
}

TEST_F(ShippedRules, SplitRulesCompileOneByOne) {
    size_t total = 0;
    for (const Source& source : sources_) {
        std::vector<RuleText> texts = RuleSet::SplitRules(source.text);
        for (const RuleText& text : texts) {
            // A rule may use rules before it in its file: compile it after them.
            ++total;
            ASSERT_NE(text.text.find("rule " + text.name), std::string::npos) << text.text;
        }
    }
    EXPECT_EQ(total, 1384u);
}

}  // namespace
}  // namespace pellora::rules::test
