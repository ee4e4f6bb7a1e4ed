// pellora-cli rules: match content rules against files as the rule language's reference tool
// does ("<rule> <path>" per match), and list the rules the reference database carries, by set,
// with the ones the program refused.
#include <map>

#include <nlohmann/json.hpp>

#include "cli/cli_runner.h"
#include "core/database/database_rules.h"
#include "core/scan/rule_files.h"

namespace pellora::cli {

namespace {

using Json = nlohmann::ordered_json;

// Files over this are skipped and named, as the content scan skips them.
constexpr uint64_t kMatchFileLimit = 64ull * 1024 * 1024;
// No rule file is larger than this (the largest shipped one is a few MiB).
constexpr uint64_t kRuleFileLimit = 64ull * 1024 * 1024;

Json RefusalsJson(const std::vector<rules::Refusal>& refused) {
    Json array = Json::array();
    for (const rules::Refusal& refusal : refused)
        array.push_back(
            {{"source", refusal.source}, {"line", refusal.line}, {"rule", refusal.rule}, {"reason", refusal.reason}});
    return array;
}

// The set of a compiled rule: its source's name up to the first "/".
std::string SetOf(const std::string& source) {
    return source.substr(0, source.find('/'));
}

}  // namespace

int CliRunner::RulesMatch(const Options& options) {
    FileSystemPort& files = ports_.files;
    const std::optional<uint32_t> rulesAttributes = files.GetAttributes(options.rulesPath);
    if (!rulesAttributes) {
        Fail("cannot read the rules " + options.rulesPath);
        return kExitError;
    }
    const std::vector<std::string> ruleFiles = (*rulesAttributes & file_attr::kDirectory)
                                                   ? FilesBelow(files, ui_, options.rulesPath, true)
                                                   : std::vector<std::string>{options.rulesPath};
    if (ruleFiles.empty()) {
        Fail("no .yar or .yara file below " + options.rulesPath);
        return kExitError;
    }
    std::vector<rules::Source> sources;
    for (const std::string& path : ruleFiles) {
        std::optional<std::string> text = files.ReadFileUpTo(path, kRuleFileLimit);
        if (!text) {
            Fail("cannot read the rule file " + path);
            return kExitError;
        }
        sources.push_back({path, std::move(*text)});
    }
    std::vector<rules::Refusal> refused;
    std::shared_ptr<const rules::RuleSet> set = rules::RuleSet::Compile(sources, refused);
    for (const rules::Refusal& refusal : refused)
        err_.Write("pellora-cli: rule refused: " + RefusalText(refusal) + "\n");

    bool failed = false;
    Json matches = Json::array();
    Json skipped = Json::array();
    size_t filesMatched = 0;
    auto matchFile = [&](const std::string& path) {
        std::vector<FindEntry> entry;
        if (!files.FindEntries(path, entry) || entry.size() != 1) {
            Fail("cannot read " + path);
            failed = true;
            return;
        }
        if (entry.front().size > kMatchFileLimit) {
            Fail("skipped (over 64 MiB): " + path);
            skipped.push_back(path);
            return;
        }
        std::optional<std::string> bytes = files.ReadFileUpTo(path, kMatchFileLimit);
        if (!bytes) {
            Fail("cannot read " + path);
            skipped.push_back(path);
            return;
        }
        ++filesMatched;
        const std::span<const uint8_t> data(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size());
        for (size_t index : set->Scan(data)) {
            const rules::RuleInfo& rule = set->Rules()[index];
            Print(rule.name + " " + path);
            matches.push_back({{"rule", rule.name}, {"path", path}, {"family", rule.family}, {"tags", rule.tags}});
        }
    };
    for (const std::string& path : options.matchPaths) {
        const std::optional<uint32_t> attributes = files.GetAttributes(path);
        if (!attributes) {
            Fail("cannot read " + path);
            failed = true;
        } else if (*attributes & file_attr::kDirectory) {
            for (const std::string& file : FilesBelow(files, ui_, path, false)) {
                if (interrupted_)
                    return kExitError;
                matchFile(file);
            }
        } else {
            matchFile(path);
        }
        if (interrupted_)
            return kExitError;
    }
    if (!options.jsonPath.empty()) {
        Json report{{"rules", set->Rules().size()},
                    {"refused", RefusalsJson(refused)},
                    {"files", filesMatched},
                    {"matches", std::move(matches)},
                    {"skipped", std::move(skipped)}};
        if (!WriteJson(options.jsonPath, report.dump(2) + "\n"))
            failed = true;
    }
    if (failed)
        return kExitError;
    return refused.empty() ? kExitClean : kExitFound;
}

int CliRunner::RulesList() {
    if (!StartUp(true))
        return kExitError;
    const ContentRules& loaded = app_.state().contentRules;
    // Every set the items name, with its rules in database order; sets of refused rules only too.
    std::map<std::string, std::vector<const rules::RuleInfo*>> sets;
    for (const rules::RuleInfo& rule : loaded.set->Rules())
        sets[SetOf(rule.source)].push_back(&rule);
    for (const rules::Refusal& refusal : loaded.refused) {
        if (refusal.source != kRuleItemsSource)
            sets.try_emplace(SetOf(refusal.source));
    }
    for (const auto& [name, members] : sets) {
        size_t refused = 0;
        for (const rules::Refusal& refusal : loaded.refused)
            refused += refusal.source != kRuleItemsSource && SetOf(refusal.source) == name;
        Print("set " + name + ": " + std::to_string(members.size()) + " rules, " + std::to_string(refused) +
              " refused");
        for (const rules::RuleInfo* rule : members)
            Print("  " + rule->name + (rule->isPrivate ? " (private)" : "") + "  " + rule->family);
    }
    if (sets.empty())
        Print("The reference database holds no content rules.");
    for (const rules::Refusal& refusal : loaded.refused)
        Print("refused: " + RefusalText(refusal));
    return loaded.refused.empty() ? kExitClean : kExitFound;
}

}  // namespace pellora::cli
