// Finds which of many pieces of text occur in a text, without regard to case (ordinal over
// Unicode, as Windows compares names; util/case_fold.h), in one pass
// over the text (an Aho-Corasick automaton). The scan's "cook" and "regs" items are such pieces,
// looked for in every row of the cookie and registry listings: with the automaton a listing is
// read once for all items instead of once per item.
//
// The automaton is a complete transition table over the bytes the pieces use (ASCII letters of
// both cases share one column, every other byte one column of its own), so each byte of a text
// costs one table step. A text with bytes beyond ASCII is folded first; ASCII text needs no
// copy.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/util/case_fold.h"

namespace pellora {

class SubstringMatcher {
  public:
    // Adds a piece; returns its number (0, 1, ... in the order added). An empty piece is never
    // found.
    uint32_t Add(std::string_view piece);
    // Builds the automaton; call once, after the last Add. False, and nothing built, when the
    // table would exceed kMaxTableEntries (pieces of a damaged or enormous database): the caller
    // then compares row by row.
    [[nodiscard]] bool Build();
    static constexpr size_t kMaxTableEntries = size_t{1} << 25;
    size_t PieceCount() const { return pieces_.size(); }

    // Calls found(piece number) once for every piece that occurs in `text`.
    template <typename Found>
    void FindIn(std::string_view text, Found&& found) {
        if (!IsAscii(text)) {
            FoldOrdinalInto(text, folded_);
            text = folded_;
        }
        ++stamp_;
        uint32_t state = 0;
        for (unsigned char c : text) {
            state = next_[static_cast<size_t>(state) * columns_ + column_[c]];
            for (uint32_t node = outputNode_[state]; node != kNone; node = dictionaryLink_[node]) {
                for (uint32_t piece = firstPiece_[node]; piece != kNone; piece = nextPiece_[piece]) {
                    if (seen_[piece] == stamp_)
                        continue;
                    seen_[piece] = stamp_;
                    found(piece);
                }
            }
        }
    }

  private:
    static constexpr uint32_t kNone = UINT32_MAX;

    std::vector<std::string> pieces_;  // folded, ASCII letters small
    uint16_t column_[256] = {};
    uint32_t columns_ = 1;
    std::vector<uint32_t> next_;            // node * columns_ + column -> node
    std::vector<uint32_t> firstPiece_;      // per node: first piece ending exactly here
    std::vector<uint32_t> nextPiece_;       // per piece: next piece ending at the same node
    std::vector<uint32_t> dictionaryLink_;  // per node: nearest shorter suffix node where a piece ends
    std::vector<uint32_t> outputNode_;      // per node: itself when a piece ends here, else its dictionary link
    std::vector<uint64_t> seen_;            // per piece: stamp of the last text it was reported for
    uint64_t stamp_ = 0;
    std::string folded_;  // the current text, folded, when it is not ASCII
};

}  // namespace pellora
