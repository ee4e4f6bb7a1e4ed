// The multi-pattern automaton.
//
// Aho-Corasick finds every occurrence of many keywords in one left-to-right pass, touching each
// byte of a file once, whatever the number of keywords. It is a trie of the keywords whose every
// node also knows its "failure": the longest proper suffix of the node's text that is itself a
// node. Here the failures are folded into a complete transition table (a deterministic
// automaton): for each state and each byte the next state is stored directly, so the scanning
// loop is one table read per byte, with no failure chasing at run time. A full row costs 1 KiB,
// so only the shallow states (the first in breadth-first order, where the scan spends nearly
// all its time) get one; a deeper state keeps its few children sorted and its failure, and a
// byte that is none of its children continues from the failure, which is shallower.
//
// Worked example with the keywords `he`, `she`, `his` and `hers`. The trie has the states
// "", h, he, her, hers, hi, his, s, sh, she. The failure of "she" is "he" (its longest suffix
// in the trie), so the state "she" reports both `she` and `he`: outputs are inherited along
// failures when the table is built. The failure of "her" is "" (neither "er" nor "r" is a
// state), and the transition from "she" on `r` is therefore the transition from "he" on `r`:
// "her". Scanning `ushers` goes "", "", s, sh, she (reports she, he), her, hers (reports hers).
//
// Each table entry stores the target state times 2, plus 1 when the target reports something,
// so the loop tests one bit to know whether to look at the outputs. Keywords with `nocase` enter the trie in every case
// variant of their letters (an atom has at most four bytes, so at most 16 variants).
#include "core/rules/automaton.h"

#include <algorithm>

namespace pellora::rules {
namespace {

bool IsLetter(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

void Automaton::Add(std::string_view bytes, bool nocase, uint32_t id) {
    bytes = bytes.substr(0, kMaxKeywordLength);
    if (!nocase) {
        keywords_.push_back(Keyword{std::string(bytes), id});
        return;
    }
    std::vector<size_t> letters;
    for (size_t i = 0; i < bytes.size(); ++i)
        if (IsLetter(static_cast<unsigned char>(bytes[i])))
            letters.push_back(i);
    size_t variants = size_t{1} << std::min<size_t>(letters.size(), 16);
    for (size_t mask = 0; mask < variants; ++mask) {
        std::string variant(bytes);
        for (size_t j = 0; j < letters.size() && j < 16; ++j) {
            char& c = variant[letters[j]];
            c = static_cast<char>((mask >> j) & 1 ? (c | 0x20) : (c & ~0x20));
        }
        keywords_.push_back(Keyword{std::move(variant), id});
    }
}

bool Automaton::Build(size_t maxStates, size_t denseStates) {
    // The trie, with sparse children while building.
    struct Node {
        std::vector<std::pair<uint8_t, uint32_t>> children;
        std::vector<uint32_t> outputs;
        uint32_t failure = 0;
    };
    std::vector<Node> nodes(1);
    auto childOf = [&](uint32_t state, uint8_t byte) -> uint32_t {
        for (auto [b, child] : nodes[state].children)
            if (b == byte)
                return child;
        return 0;
    };
    for (const Keyword& keyword : keywords_) {
        uint32_t state = 0;
        for (char c : keyword.bytes) {
            auto byte = static_cast<uint8_t>(c);
            if (uint32_t child = childOf(state, byte)) {
                state = child;
                continue;
            }
            if (nodes.size() >= maxStates) {
                keywords_.clear();
                return false;
            }
            auto child = static_cast<uint32_t>(nodes.size());
            nodes[state].children.emplace_back(byte, child);
            nodes.emplace_back();
            state = child;
        }
        nodes[state].outputs.push_back(keyword.id);
    }
    keywords_.clear();
    keywords_.shrink_to_fit();

    // Breadth-first order: a node's failure is shallower, so it is complete before the node.
    std::vector<uint32_t> order{0};
    for (size_t k = 0; k < order.size(); ++k) {
        uint32_t state = order[k];
        for (auto [byte, child] : nodes[state].children) {
            uint32_t failure = 0;
            if (state != 0) {
                uint32_t f = nodes[state].failure;
                for (;;) {
                    if (uint32_t next = childOf(f, byte)) {
                        failure = next;
                        break;
                    }
                    if (f == 0)
                        break;
                    f = nodes[f].failure;
                }
            }
            nodes[child].failure = failure;
            const auto& inherited = nodes[failure].outputs;
            nodes[child].outputs.insert(nodes[child].outputs.end(), inherited.begin(), inherited.end());
            order.push_back(child);
        }
    }
    // Renumber in that order, so that the dense states are the shallow ones.
    size_t count = nodes.size();
    std::vector<uint32_t> number(count);
    for (size_t k = 0; k < count; ++k)
        number[order[k]] = static_cast<uint32_t>(k);
    outputStart_.assign(count + 1, 0);
    outputs_.clear();
    for (size_t k = 0; k < count; ++k) {
        const auto& outputs = nodes[order[k]].outputs;
        outputStart_[k + 1] = outputStart_[k] + static_cast<uint32_t>(outputs.size());
        outputs_.insert(outputs_.end(), outputs.begin(), outputs.end());
    }
    auto entry = [&](uint32_t node) {
        uint32_t k = number[node];
        return (k << 1) | (outputStart_[k + 1] != outputStart_[k] ? 1u : 0u);
    };
    denseCount_ = static_cast<uint32_t>(std::min(count, std::max<size_t>(denseStates, 1)));
    dense_.assign(size_t{denseCount_} * 256, 0);
    for (uint32_t k = 0; k < denseCount_; ++k) {
        const Node& node = nodes[order[k]];
        uint32_t* row = &dense_[size_t{k} * 256];
        if (k != 0) {
            const uint32_t* failureRow = &dense_[size_t{number[node.failure]} * 256];
            std::copy(failureRow, failureRow + 256, row);
        }
        for (auto [byte, child] : node.children)
            row[byte] = entry(child);
    }
    sparseStart_.assign(count - denseCount_ + 1, 0);
    failure_.assign(count - denseCount_, 0);
    sparse_.clear();
    for (size_t k = denseCount_; k < count; ++k) {
        Node& node = nodes[order[k]];
        std::sort(node.children.begin(), node.children.end());
        for (auto [byte, child] : node.children)
            sparse_.emplace_back(byte, entry(child));
        sparseStart_[k - denseCount_ + 1] = static_cast<uint32_t>(sparse_.size());
        failure_[k - denseCount_] = number[node.failure];
    }
    return true;
}

size_t Automaton::Length() const {
    return (dense_.size() + sparseStart_.size() + failure_.size() + outputStart_.size() + outputs_.size()) *
               sizeof(uint32_t) +
           sparse_.size() * sizeof(std::pair<uint8_t, uint32_t>);
}

}  // namespace pellora::rules
