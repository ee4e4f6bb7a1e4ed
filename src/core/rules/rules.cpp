// The public face of the rule engine: compile, describe, scan (see rules.h).
#include "core/rules/rules.h"

namespace pellora::rules {

struct CompiledRules {
    std::vector<RuleInfo> rules;
    std::string digest;
};

RuleSet::RuleSet() : compiled_(std::make_unique<CompiledRules>()) {}
RuleSet::~RuleSet() = default;

std::shared_ptr<const RuleSet> RuleSet::Compile(std::span<const Source> sources, std::vector<Refusal>& refusals) {
    auto set = std::make_shared<RuleSet>();
    for (const Source& source : sources)
        refusals.push_back(Refusal{source.name, 0, "", "the rule engine is not built yet"});
    return set;
}

const std::vector<RuleInfo>& RuleSet::Rules() const {
    return compiled_->rules;
}
std::string RuleSet::Digest() const {
    return compiled_->digest;
}
size_t RuleSet::CompiledLength() const {
    return 0;
}
std::vector<size_t> RuleSet::Scan(std::span<const uint8_t>) const {
    return {};
}
std::vector<RuleText> RuleSet::SplitRules(std::string_view) {
    return {};
}

}  // namespace pellora::rules
