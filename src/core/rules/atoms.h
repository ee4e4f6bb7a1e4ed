// Atom choice: the short literal each string is searched by (see atoms.cpp).
#pragma once

#include <cstddef>
#include <string_view>

namespace pellora::rules {

// Atoms are at most this long; at most kNocaseAtomLength for nocase strings, each of whose letters
// doubles the automaton's keywords.
inline constexpr size_t kAtomLength = 8;
inline constexpr size_t kNocaseAtomLength = 4;

struct AtomWindow {
    size_t offset = 0;
    size_t length = 0;
};

// A quality score for searching by `bytes`: higher is rarer in ordinary files.
int AtomQuality(std::string_view bytes, bool nocase);
// The best window of at most kAtomLength (nocase: kNocaseAtomLength) bytes inside `bytes`.
AtomWindow ChooseAtom(std::string_view bytes, bool nocase);

}  // namespace pellora::rules
