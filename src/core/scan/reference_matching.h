// The per-row tests of the listing kinds, written exactly as the scan's rules state them: one
// signature object against one listing row. The scan answers these tests for all items at once
// from indexes (listing_matches.h); these plain forms are the reference the indexes are checked
// against, and the scan falls back on them, row by row, for an item whose query was not indexed.
#pragma once

#include <string_view>

namespace pellora {

// Kind "file": the file name of `path` (after its last "\") against a pattern of a base, a dot
// and an extension, "*" allowed in either part. Both are split at their last dot; a name
// without a dot never matches; a pattern without a dot is an extension with an empty base.
// Comparisons are case-sensitive.
bool FilePatternMatchesPath(std::string_view pattern, std::string_view path);

// Kinds "cook" and "regs": `text` contains `piece`, compared without regard to case the way
// Windows compares names (ordinal, over all of Unicode). An empty piece never matches (it would
// otherwise find every cookie or registry key).
bool ContainsPiece(std::string_view text, std::string_view piece);

// Kind "fold" in the file/folder scan: `row` is the folder itself or a path below it. "C:\Bad"
// is not found by "C:\Badger\x.txt"; a folder written with a trailing "\" finds what lies below.
bool IsFolderOrBelow(std::string_view row, std::string_view folder);

}  // namespace pellora
