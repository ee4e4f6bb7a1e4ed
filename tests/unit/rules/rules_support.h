// Helpers of the rule engine's tests: the shipped rule sets, one-rule compiles, scans of text.
#pragma once

#include <stdio.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
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

// The reference tool's matches (`<rule> <file name>`) of the rule files over `target` (a file or
// a folder, walked), or nothing with `error` set when it fails.
inline std::set<std::string> ReferenceMatches(const std::vector<std::filesystem::path>& ruleFiles,
                                              const std::filesystem::path& target,
                                              std::string& error) {
    std::string command = "yara -w -r";
    for (const auto& file : ruleFiles)
        command += " '" + file.string() + "'";
    command += " '" + target.string() + "' 2>&1";
    std::set<std::string> matches;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        error = "cannot run the reference tool";
        return {};
    }
    char line[4096];
    std::string output;
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        output += text;
        text.erase(text.find_last_not_of("\r\n") + 1);
        size_t space = text.find(' ');
        if (space != std::string::npos)
            matches.insert(text.substr(0, space) + " " +
                           std::filesystem::path(text.substr(space + 1)).filename().string());
    }
    if (::pclose(pipe) != 0) {
        error = "the reference tool failed: " + output.substr(0, 2000);
        return {};
    }
    return matches;
}

// The lines of `a` missing from `b`, at most 40, one per line.
inline std::string Missing(const std::set<std::string>& a, const std::set<std::string>& b, const std::string& label) {
    std::string text;
    size_t count = 0;
    for (const std::string& line : a)
        if (!b.count(line) && count++ < 40)
            text += "  " + label + ": " + line + "\n";
    return text;
}

}  // namespace pellora::rules::test
