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
    // Each rule's text alone, with its imports, as the database stores it: together they compile
    // into the same rules, in the same order.
    std::vector<Source> texts;
    for (const Source& source : sources_)
        for (const RuleText& text : RuleSet::SplitRules(source.text))
            texts.push_back(Source{source.name + ":" + std::to_string(text.line), text.text});
    std::vector<Refusal> refusals;
    auto split = RuleSet::Compile(texts, refusals);
    EXPECT_TRUE(refusals.empty()) << Describe(refusals);
    auto whole = RuleSet::Compile(sources_, refusals);
    ASSERT_EQ(split->Rules().size(), whole->Rules().size());
    for (size_t i = 0; i < whole->Rules().size(); ++i) {
        EXPECT_EQ(split->Rules()[i].name, whole->Rules()[i].name);
        EXPECT_EQ(split->Rules()[i].family, whole->Rules()[i].family);
    }
}

}  // namespace
}  // namespace pellora::rules::test
