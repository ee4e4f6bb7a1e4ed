// One Aho-Corasick automaton over the atoms of every string of a rule set (see automaton.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The scanning loop's step must be inlined into it, whatever the compiler's size heuristics say.
#if defined(__GNUC__)
#define PELLORA_ALWAYS_INLINE [[gnu::always_inline]] inline
#define PELLORA_NOINLINE [[gnu::noinline]]
#else
#define PELLORA_ALWAYS_INLINE inline
#define PELLORA_NOINLINE
#endif

namespace pellora::rules {

class Automaton {
  public:
    // Adds a keyword of 1 to kMaxKeywordLength bytes (longer ones are cut); `nocase` also adds
    // every ASCII case variant. Hits report `id`.
    void Add(std::string_view bytes, bool nocase, uint32_t id);
    // Builds the transition table; false (and an empty automaton) when it would exceed
    // maxStates. Adding after Build is not allowed.
    [[nodiscard]] bool Build(size_t maxStates, size_t denseStates);

    // Calls onHit(id, end) for every occurrence of every keyword, `end` being the offset just past
    // it; overlapping occurrences all count. Occurrences are reported out of order.
    template <class OnHit>
    void Scan(std::span<const uint8_t> data, OnHit&& onHit) const {
        if (dense_.empty())
            return;
        const uint8_t* bytes = data.data();
        size_t size = data.size();
        if (size < 4 * kLaneMinimum) {
            uint32_t entry = 0;
            for (size_t i = 0; i < size; ++i)
                Step(entry, bytes[i], i, 0, onHit);
            return;
        }
        // Four independent runs over consecutive quarters, interleaved so that their table reads
        // overlap in time (each read depends on the one before in its own run). Each lane starts
        // kMaxKeywordLength-1 bytes before its quarter, from the root, so it sees every keyword
        // that ends inside its quarter; hits that end before the quarter belong to the lane before.
        constexpr size_t kLead = kMaxKeywordLength - 1;
        size_t quarter = size / 4;
        size_t from[4] = {0, quarter, 2 * quarter, 3 * quarter};
        size_t to[4] = {quarter, 2 * quarter, 3 * quarter, size};
        const uint8_t* lane[4] = {bytes, bytes + from[1] - kLead, bytes + from[2] - kLead, bytes + from[3] - kLead};
        size_t common = quarter - kLead;
        uint32_t e0 = 0, e1 = 0, e2 = 0, e3 = 0;
        const uint32_t* dense = dense_.data();
        const uint32_t denseCount = denseCount_;
        const uint8_t *lane0 = lane[0], *lane1 = lane[1], *lane2 = lane[2], *lane3 = lane[3];
        for (size_t n = 0; n < common; ++n) {
            e0 = Next(dense, denseCount, e0, lane0[n]);
            e1 = Next(dense, denseCount, e1, lane1[n]);
            e2 = Next(dense, denseCount, e2, lane2[n]);
            e3 = Next(dense, denseCount, e3, lane3[n]);
            if ((e0 | e1 | e2 | e3) & 1u) [[unlikely]]
                ReportLanes(e0, e1, e2, e3, n, from, onHit);
        }
        uint32_t entries[4] = {e0, e1, e2, e3};
        for (size_t k = 0; k < 4; ++k) {
            size_t start = k == 0 ? common : from[k] - kLead + common;
            for (size_t i = start; i < to[k]; ++i)
                Step(entries[k], bytes[i], i, from[k], onHit);
        }
    }

    size_t StateCount() const { return outputStart_.empty() ? 0 : outputStart_.size() - 1; }
    size_t Length() const;

    static constexpr size_t kMaxKeywordLength = 8;  // longer keywords are refused by Add

  private:
    static constexpr size_t kLaneMinimum = 1024;

    // The entry after `entry` (a state times 2, plus its has-output bit) on `byte`.
    PELLORA_ALWAYS_INLINE uint32_t Next(const uint32_t* dense,
                                        uint32_t denseCount,
                                        uint32_t entry,
                                        uint8_t byte) const {
        uint32_t state = entry >> 1;
        if (state < denseCount) [[likely]]
            return dense[(size_t{state} << 8) | byte];
        return SparseStep(state, byte);
    }
    // The lanes' reports, out of the scanning loop so that its states stay in registers.
    template <class OnHit>
    PELLORA_NOINLINE void ReportLanes(uint32_t e0,
                                      uint32_t e1,
                                      uint32_t e2,
                                      uint32_t e3,
                                      size_t n,
                                      const size_t (&from)[4],
                                      OnHit& onHit) const {
        constexpr size_t kLead = kMaxKeywordLength - 1;
        Report(e0, n, from[0], onHit);
        Report(e1, from[1] - kLead + n, from[1], onHit);
        Report(e2, from[2] - kLead + n, from[2], onHit);
        Report(e3, from[3] - kLead + n, from[3], onHit);
    }
    template <class OnHit>
    PELLORA_ALWAYS_INLINE void Report(uint32_t entry, size_t i, size_t reportFrom, OnHit& onHit) const {
        if ((entry & 1u) && i >= reportFrom) {
            uint32_t state = entry >> 1;
            for (uint32_t o = outputStart_[state]; o < outputStart_[state + 1]; ++o)
                onHit(outputs_[o], i + 1);
        }
    }
    template <class OnHit>
    PELLORA_ALWAYS_INLINE void Step(uint32_t& entry, uint8_t byte, size_t i, size_t reportFrom, OnHit& onHit) const {
        entry = Next(dense_.data(), denseCount_, entry, byte);
        Report(entry, i, reportFrom, onHit);
    }

    struct Keyword {
        std::string bytes;
        uint32_t id;
    };
    std::vector<Keyword> keywords_;
    // An entry is (target state * 2) | 1 when the target reports something.
    // Inlined too: a call inside the scanning loop would push its lane states out of registers.
    PELLORA_ALWAYS_INLINE uint32_t SparseStep(uint32_t state, uint8_t byte) const {
        while (state >= denseCount_) {
            size_t index = state - denseCount_;
            for (uint32_t i = sparseStart_[index]; i < sparseStart_[index + 1]; ++i) {
                if (sparse_[i].first == byte)
                    return sparse_[i].second;
                if (sparse_[i].first > byte)
                    break;
            }
            state = failure_[index];
        }
        return dense_[size_t{state} * 256 + byte];
    }

    uint32_t denseCount_ = 0;                           // states 0 .. denseCount_-1 have a full row
    std::vector<uint32_t> dense_;                       // state * 256 + byte -> entry
    std::vector<uint32_t> sparseStart_;                 // per state from denseCount_, into sparse_
    std::vector<std::pair<uint8_t, uint32_t>> sparse_;  // (byte, entry), sorted by byte
    std::vector<uint32_t> failure_;                     // per state from denseCount_
    std::vector<uint32_t> outputStart_;                 // per state, into outputs_
    std::vector<uint32_t> outputs_;
};

}  // namespace pellora::rules
