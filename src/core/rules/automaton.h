// One Aho-Corasick automaton over the atoms of every string of a rule set (see automaton.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pellora::rules {

class Automaton {
  public:
    // Adds a keyword; `nocase` also adds every ASCII case variant. Hits report `id`.
    void Add(std::string_view bytes, bool nocase, uint32_t id);
    // Builds the transition table; false (and an empty automaton) when it would exceed
    // maxStates. Adding after Build is not allowed.
    [[nodiscard]] bool Build(size_t maxStates, size_t denseStates);

    // Calls onHit(id, end) for every occurrence of every keyword, `end` being the offset just past
    // it; overlapping occurrences all count.
    template <class OnHit>
    void Scan(std::span<const uint8_t> data, OnHit&& onHit) const {
        if (dense_.empty())
            return;
        const uint32_t* dense = dense_.data();
        const uint32_t denseCount = denseCount_;
        uint32_t state = 0;
        const uint8_t* bytes = data.data();
        size_t size = data.size();
        for (size_t i = 0; i < size; ++i) {
            uint32_t entry = state < denseCount ? dense[size_t{state} * 256 + bytes[i]] : SparseStep(state, bytes[i]);
            state = entry >> 1;
            if (entry & 1u) {
                for (uint32_t o = outputStart_[state]; o < outputStart_[state + 1]; ++o)
                    onHit(outputs_[o], i + 1);
            }
        }
    }

    size_t StateCount() const { return outputStart_.empty() ? 0 : outputStart_.size() - 1; }
    size_t Length() const;

  private:
    struct Keyword {
        std::string bytes;
        uint32_t id;
    };
    std::vector<Keyword> keywords_;
    // An entry is (target state * 2) | 1 when the target reports something.
    uint32_t SparseStep(uint32_t state, uint8_t byte) const;

    uint32_t denseCount_ = 0;                           // states 0 .. denseCount_-1 have a full row
    std::vector<uint32_t> dense_;                       // state * 256 + byte -> entry
    std::vector<uint32_t> sparseStart_;                 // per state from denseCount_, into sparse_
    std::vector<std::pair<uint8_t, uint32_t>> sparse_;  // (byte, entry), sorted by byte
    std::vector<uint32_t> failure_;                     // per state from denseCount_
    std::vector<uint32_t> outputStart_;                 // per state, into outputs_
    std::vector<uint32_t> outputs_;
};

}  // namespace pellora::rules
