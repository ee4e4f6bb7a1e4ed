// Helpers of the rule engine's tests: the shipped rule sets, one-rule compiles, scans of text.
#pragma once

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/rules/rules.h"

namespace pellora::rules::test {

inline std::filesystem::path DataDir() {
    return std::filesystem::path(PELLORA_DATA_DIR);
}

inline std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Every .yar file below `folder`, named relative to the rules folder, in a stable order.
inline std::vector<Source> ReadSources(const std::filesystem::path& folder) {
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file() && entry.path().extension() == ".yar")
            paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    std::vector<Source> sources;
    for (const auto& path : paths)
        sources.push_back(
            Source{std::filesystem::relative(path, folder.parent_path()).generic_string(), ReadText(path)});
    return sources;
}

inline std::string Describe(const std::vector<Refusal>& refusals) {
    std::string text;
    for (const Refusal& r : refusals)
        text += r.source + ":" + std::to_string(r.line) + " " + r.rule + ": " + r.reason + "\n";
    return text;
}

// Compiles one source that must compile without refusals.
inline std::shared_ptr<const RuleSet> CompileOk(const std::string& text) {
    std::vector<Refusal> refusals;
    Source source{"test.yar", text};
    auto set = RuleSet::Compile(std::span<const Source>(&source, 1), refusals);
    EXPECT_TRUE(refusals.empty()) << Describe(refusals) << text;
    return set;
}

inline std::vector<uint8_t> Bytes(std::string_view text) {
    return std::vector<uint8_t>(text.begin(), text.end());
}

// The names of the rules matching `data`.
inline std::vector<std::string> Matching(const RuleSet& set, std::string_view data) {
    std::vector<uint8_t> bytes = Bytes(data);
    std::vector<std::string> names;
    for (size_t index : set.Scan(bytes))
        names.push_back(set.Rules()[index].name);
    return names;
}

inline bool Matches(const std::string& rule, std::string_view data) {
    auto set = CompileOk(rule);
    return !Matching(*set, data).empty();
}

}  // namespace pellora::rules::test
