// The multi-pattern automaton against a naive search: every occurrence of every keyword,
// overlapping ones and those across the boundaries of the interleaved lanes included, with full
// rows for all states or only for a few.
#include <algorithm>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "core/rules/automaton.h"

namespace pellora::rules {
namespace {

using namespace std::string_literals;
using Hits = std::vector<std::pair<uint32_t, size_t>>;

bool EqualsAt(const std::string& data, size_t at, const std::string& keyword, bool nocase) {
    for (size_t i = 0; i < keyword.size(); ++i) {
        char a = data[at + i], b = keyword[i];
        if (nocase && std::isalpha(static_cast<unsigned char>(a)) && std::isalpha(static_cast<unsigned char>(b)))
            a = static_cast<char>(std::tolower(a)), b = static_cast<char>(std::tolower(b));
        if (a != b)
            return false;
    }
    return true;
}

TEST(RuleAutomaton, FindsWhatANaiveSearchFinds) {
    std::mt19937 random(7);
    // A small alphabet, so that keywords overlap and occur often.
    const std::string alphabet = "abAB\0\xff"s;
    auto pick = [&](size_t length) {
        std::string s;
        for (size_t i = 0; i < length; ++i)
            s += alphabet[random() % alphabet.size()];
        return s;
    };
    for (size_t dense : {size_t{1}, size_t{3}, size_t{100000}}) {
        std::vector<std::pair<std::string, bool>> keywords;
        Automaton automaton;
        for (uint32_t id = 0; id < 60; ++id) {
            keywords.emplace_back(pick(1 + random() % Automaton::kMaxKeywordLength), id % 5 == 0);
            automaton.Add(keywords.back().first, keywords.back().second, id);
        }
        ASSERT_TRUE(automaton.Build(1 << 20, dense));
        for (size_t size : {size_t{0}, size_t{5}, size_t{4095}, size_t{4096}, size_t{4099}, size_t{20011}}) {
            std::string data = pick(size);
            Hits expected, found;
            for (uint32_t id = 0; id < keywords.size(); ++id) {
                const auto& [keyword, nocase] = keywords[id];
                for (size_t at = 0; at + keyword.size() <= data.size(); ++at)
                    if (EqualsAt(data, at, keyword, nocase))
                        expected.emplace_back(id, at + keyword.size());
            }
            automaton.Scan(std::span(reinterpret_cast<const uint8_t*>(data.data()), data.size()),
                           [&](uint32_t id, size_t end) { found.emplace_back(id, end); });
            std::sort(expected.begin(), expected.end());
            std::sort(found.begin(), found.end());
            ASSERT_EQ(found, expected) << "size " << size << ", dense states " << dense;
        }
    }
}

TEST(RuleAutomaton, RefusesMoreStatesThanAllowed) {
    Automaton automaton;
    for (uint32_t id = 0; id < 100; ++id)
        automaton.Add("k" + std::to_string(id * 7919), false, id);
    EXPECT_FALSE(automaton.Build(50, 16));
    uint32_t hits = 0;
    std::string data = "k0 k7919";
    automaton.Scan(std::span(reinterpret_cast<const uint8_t*>(data.data()), data.size()),
                   [&](uint32_t, size_t) { ++hits; });
    EXPECT_EQ(hits, 0u);
}

}  // namespace
}  // namespace pellora::rules
