// Atom choice: the short literals a pattern is searched by.
//
// The scanner finds every atom of every string in one pass with a multi-pattern automaton and
// runs a pattern's program only where one of its atoms hit, so a pattern's atoms must be such
// that every match contains one of them, and as rare in ordinary files as possible: long, with
// few zero or 0xFF bytes (runs of those fill executables) and with varied bytes.
//
// Each node of the tree reports two things, bottom up:
//  - its exact strings, when it can only match a few short strings: `(V|v)` gives {"V","v"},
//    `[CS]` gives {"C","S"}, `\b` gives {""};
//  - its best atom set: a set of strings of which every match of the node contains one.
// A sequence multiplies the exact strings of neighbouring items while the product stays small,
// so /\.proxy[CS]2/ yields the strings ".proxyC2" and ".proxyS2", and takes from each the best
// window of at most `maxLength` bytes ("roxy" scores higher than ".pro"); it then keeps the
// best of those windows and of its items' own atom sets. An alternation unites its branches'
// sets (all branches must have one), a repetition keeps its body's set when it runs at least
// once, anything optional has none. A set's score is its weakest atom's, less a little for
// each doubling of its size.
//
// At the top the chosen set comes from a "holder": one item, or a run of items, of the
// pattern's outermost sequence. Every match passes through the holder, and the holder's part of
// the match contains the atom, which is what lets the matcher find the starts of matches
// backwards from an atom hit (see pattern.cpp).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "core/rules/pattern_syntax.h"

namespace pellora::rules::detail {

struct AtomChoice {
    std::vector<std::string> atoms;
    // For each atom, its offset from the start of the holder when the holder is a run of
    // single-byte items; npos otherwise.
    std::vector<size_t> offsets;
    size_t holderFirst = 0, holderLast = 0;  // items of the outermost sequence
    int score = 0;
};

// `items` is the outermost sequence; nothing when no item or run gives a set.
[[nodiscard]] std::optional<AtomChoice> ChooseAtoms(const std::vector<const Node*>& items,
                                                    bool nocase,
                                                    size_t maxLength);

int AtomScore(std::string_view atom);

}  // namespace pellora::rules::detail
