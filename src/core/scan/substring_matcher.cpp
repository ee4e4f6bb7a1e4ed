#include "core/scan/substring_matcher.h"

#include <algorithm>

#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

uint32_t SubstringMatcher::Add(std::string_view piece) {
    // Folded the way Windows compares names, then with the ASCII letters small again: folded
    // text has no small ASCII letters, so the small letters' columns serve both cases.
    pieces_.push_back(ToLowerAscii(FoldOrdinal(piece)));
    return static_cast<uint32_t>(pieces_.size() - 1);
}

bool SubstringMatcher::Build() {
    // Columns: 0 for every byte no piece uses (it always leads back to the start), one per used
    // byte, capitals sharing the column of their small letter.
    std::fill(std::begin(column_), std::end(column_), uint16_t{0});
    columns_ = 1;
    for (const std::string& piece : pieces_) {
        for (unsigned char c : piece) {
            if (column_[c] == 0)
                column_[c] = static_cast<uint16_t>(columns_++);
        }
    }
    for (int c = 'A'; c <= 'Z'; ++c)
        column_[c] = column_[c - 'A' + 'a'];
    // Every byte of a piece is at most one node: the bound decides before anything is allocated.
    size_t nodeBound = 1;
    for (const std::string& piece : pieces_)
        nodeBound += piece.size();
    if (nodeBound > kMaxTableEntries / columns_)
        return false;

    // The trie of the pieces.
    next_.assign(columns_, kNone);
    firstPiece_.assign(1, kNone);
    nextPiece_.assign(pieces_.size(), kNone);
    for (uint32_t id = 0; id < pieces_.size(); ++id) {
        if (pieces_[id].empty())
            continue;
        uint32_t node = 0;
        for (unsigned char c : pieces_[id]) {
            size_t slot = static_cast<size_t>(node) * columns_ + column_[c];
            if (next_[slot] == kNone) {
                uint32_t child = static_cast<uint32_t>(firstPiece_.size());
                firstPiece_.push_back(kNone);
                next_.resize(next_.size() + columns_, kNone);
                next_[slot] = child;
            }
            node = next_[slot];
        }
        nextPiece_[id] = firstPiece_[node];
        firstPiece_[node] = id;
    }

    // Breadth first: a node's failure node is shallower, so its transitions are complete when
    // the node's missing ones are copied from it.
    size_t nodes = firstPiece_.size();
    std::vector<uint32_t> failure(nodes, 0);
    dictionaryLink_.assign(nodes, kNone);
    outputNode_.assign(nodes, kNone);
    std::vector<uint32_t> order{0};
    order.reserve(nodes);
    for (size_t head = 0; head < order.size(); ++head) {
        uint32_t node = order[head];
        for (uint32_t column = 0; column < columns_; ++column) {
            size_t slot = static_cast<size_t>(node) * columns_ + column;
            uint32_t child = next_[slot];
            uint32_t viaFailure = node == 0 ? 0 : next_[static_cast<size_t>(failure[node]) * columns_ + column];
            if (child == kNone) {
                next_[slot] = viaFailure;
                continue;
            }
            failure[child] = viaFailure;
            dictionaryLink_[child] = firstPiece_[viaFailure] != kNone ? viaFailure : dictionaryLink_[viaFailure];
            outputNode_[child] = firstPiece_[child] != kNone ? child : dictionaryLink_[child];
            order.push_back(child);
        }
    }
    seen_.assign(pieces_.size(), 0);
    stamp_ = 0;
    return true;
}

}  // namespace pellora
