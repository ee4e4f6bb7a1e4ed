// The public face of the rule engine: compile, describe, scan, split (see rules.h).
#include "core/rules/rules.h"

#include "core/rules/compiler.h"
#include "core/rules/program.h"
#include "core/rules/scanner.h"

namespace pellora::rules {

RuleSet::RuleSet() : compiled_(std::make_unique<CompiledRules>()) {}
RuleSet::~RuleSet() = default;

std::shared_ptr<const RuleSet> RuleSet::Compile(std::span<const Source> sources, std::vector<Refusal>& refusals) {
    auto set = std::make_shared<RuleSet>();
    set->compiled_ = CompileSources(sources, refusals);
    return set;
}

const std::vector<RuleInfo>& RuleSet::Rules() const {
    return compiled_->infos;
}
std::string RuleSet::Digest() const {
    return compiled_->digest;
}
size_t RuleSet::CompiledLength() const {
    return compiled_->length;
}

std::vector<size_t> RuleSet::Scan(std::span<const uint8_t> data) const {
    if (compiled_->rules.empty())
        return {};
    return ScanRules(*compiled_, data);
}

std::vector<RuleText> RuleSet::SplitRules(std::string_view fileText) {
    std::vector<std::string> imports;
    std::vector<RuleSpan> spans = FindRules(fileText, imports);
    std::string prefix;
    for (const std::string& module : imports)
        prefix += "import \"" + module + "\"\n";
    if (!prefix.empty())
        prefix += "\n";
    std::vector<RuleText> texts;
    for (const RuleSpan& span : spans) {
        if (span.end <= span.begin)
            continue;
        std::string_view body = fileText.substr(span.begin, span.end - span.begin);
        while (!body.empty() &&
               (body.back() == '\n' || body.back() == '\r' || body.back() == ' ' || body.back() == '\t'))
            body.remove_suffix(1);
        texts.push_back(RuleText{span.name, span.line, prefix + std::string(body) + "\n"});
    }
    return texts;
}

}  // namespace pellora::rules
