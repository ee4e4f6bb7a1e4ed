// The rule compiler: whatever the text, compiling neither crashes nor hangs, every refusal names
// a reason, kept rules have distinct names, the rules SplitRules finds are kept or refused, and scanning
// the text itself with them stays within the rules.
#include <cstdint>
#include <set>
#include <string>

#include "core/rules/rules.h"
#include "fuzz/fuzz_check.h"

using namespace pellora::rules;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Source source{"fuzz.yar", std::string(reinterpret_cast<const char*>(data), size)};
    std::vector<Refusal> refusals;
    auto set = RuleSet::Compile(std::span<const Source>(&source, 1), refusals);
    FUZZ_CHECK(set != nullptr);
    // A refused rule may bear a kept rule's name (a second rule of that name, whatever its fault).
    std::set<std::string> refused;
    for (const Refusal& refusal : refusals) {
        FUZZ_CHECK(!refusal.reason.empty());
        FUZZ_CHECK(refusal.source == "fuzz.yar");
        refused.insert(refusal.rule);
    }
    std::set<std::string> kept;
    for (const RuleInfo& info : set->Rules()) {
        FUZZ_CHECK(!info.name.empty() && !info.family.empty());
        FUZZ_CHECK(kept.insert(info.name).second);
    }
    for (const RuleText& text : RuleSet::SplitRules(source.text))
        FUZZ_CHECK(kept.count(text.name) || refused.count(text.name) || text.name.empty());
    std::vector<size_t> matching = set->Scan(std::span(data, size));
    for (size_t i = 0; i < matching.size(); ++i) {
        FUZZ_CHECK(matching[i] < set->Rules().size() && !set->Rules()[matching[i]].isPrivate);
        FUZZ_CHECK(i == 0 || matching[i - 1] < matching[i]);
    }
    return 0;
}
