// Atom choice: the short literal each string is searched by (see atoms.cpp).
#pragma once

#include <cstddef>
#include <string_view>

namespace pellora::rules {

inline constexpr size_t kAtomLength = 4;

struct AtomWindow {
    size_t offset = 0;
    size_t length = 0;
};

// A quality score for searching by `bytes`: higher is rarer in ordinary files.
int AtomQuality(std::string_view bytes, bool nocase);
// The best window of at most kAtomLength bytes inside `bytes` (the whole of it when shorter).
AtomWindow ChooseAtom(std::string_view bytes, bool nocase);

}  // namespace pellora::rules
