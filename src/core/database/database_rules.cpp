#include "core/database/database_rules.h"

#include "core/database/item_parser.h"
#include "core/util/text.h"

namespace pellora {

namespace {

// "<file>:<line>" of a rule item; the line is 0 when the field holds none.
std::pair<std::string, size_t> SplitSourceField(const std::string& source) {
    const size_t colon = source.rfind(':');
    int64_t line = 0;
    if (colon == std::string::npos || !ParseWholeNumber(std::string_view(source).substr(colon + 1), line))
        return {source, 0};
    return {source.substr(0, colon), static_cast<size_t>(line)};
}

// The lines before the rule itself: the imports put in front of it, and blank lines.
size_t LeadingImportLines(std::string_view text) {
    size_t count = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string line = TrimSpaces(text.substr(0, end));
        if (!line.empty() && !line.starts_with("import"))
            break;
        ++count;
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return count;
}

}  // namespace

std::vector<RuleItem> RuleItemsOf(std::span<const std::string> lines, std::vector<rules::Refusal>& malformed) {
    std::vector<RuleItem> items;
    for (size_t n = 1; n < lines.size(); ++n) {
        if (ClassifyLine(n + 1, lines[n]) != LineKind::Signature || !IsRuleItemLine(lines[n]))
            continue;
        if (std::optional<RuleItem> item = ParseRuleItem(lines[n]))
            items.push_back(std::move(*item));
        else
            malformed.push_back(
                rules::Refusal{kRuleItemsSource, n + 1, "",
                               "not a rule item (rule|<text>|<set>|<source file>:<line>, each field escaped)"});
    }
    return items;
}

ContentRules CompileRuleItems(std::span<const RuleItem> items, std::vector<rules::Refusal> malformed) {
    ContentRules result;
    result.items = items.size() + malformed.size();
    result.refused = std::move(malformed);
    std::vector<rules::Source> sources;
    std::vector<std::pair<size_t, size_t>> placement;  // per source: line of the rule in its file, import lines
    sources.reserve(items.size());
    for (const RuleItem& item : items) {
        auto [file, line] = SplitSourceField(item.source);
        sources.push_back(rules::Source{item.set + "/" + file, item.text});
        placement.emplace_back(line, LeadingImportLines(item.text));
    }
    std::vector<rules::Refusal> refused;
    if (!sources.empty())
        result.set = rules::RuleSet::Compile(sources, refused);
    // A refusal's line is counted in the item's text; the file's own line is what a producer
    // can look up. Sources of one file share a name: refusals come in the order of the sources,
    // so each is matched to the next item of its name.
    size_t next = 0;
    for (rules::Refusal& refusal : refused) {
        size_t at = next;
        while (at < sources.size() && sources[at].name != refusal.source)
            ++at;
        if (at == sources.size()) {
            result.refused.push_back(std::move(refusal));
            continue;
        }
        // A refusal outside any rule (an import) may be followed by its rule's own.
        next = refusal.rule.empty() ? at : at + 1;
        const auto [line, imports] = placement[at];
        if (line != 0)
            refusal.line = refusal.line > imports ? line + (refusal.line - 1 - imports) : line;
        result.refused.push_back(std::move(refusal));
    }
    if (!result.set)
        result.set = std::make_shared<const rules::RuleSet>();
    return result;
}

ContentRules CompileDatabaseRules(std::span<const std::string> lines) {
    std::vector<rules::Refusal> malformed;
    std::vector<RuleItem> items = RuleItemsOf(lines, malformed);
    return CompileRuleItems(items, std::move(malformed));
}

bool IsRuleFileName(std::string_view name) {
    const size_t dot = name.rfind('.');
    return dot != std::string_view::npos && dot > 0 &&
           (EqualsIgnoreCase(name.substr(dot), ".yar") || EqualsIgnoreCase(name.substr(dot), ".yara"));
}

std::string RefusalText(const rules::Refusal& refusal) {
    std::string text = refusal.source;
    if (refusal.line != 0)
        text += ":" + std::to_string(refusal.line);
    if (!refusal.rule.empty())
        text += ": rule " + refusal.rule;
    return text + ": " + refusal.reason;
}

}  // namespace pellora
