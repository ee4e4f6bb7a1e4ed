// The syntax tree that both pattern languages of the rule language parse into, and their two
// parsers.
//
// A hex string and a regular expression describe the same kind of thing: a sequence of byte
// sets, with choices, repetitions and zero-width tests. So both become one small tree:
//
//   { 4D 5A [2-4] ( 50 | 51 ?2 ) }   ->  Concat( {4D}, {5A}, Repeat(any, 2..4, lazy),
//                                                Alt( {50}, Concat({51}, {02 12 22 .. F2}) ) )
//   /ab+?\b/i                        ->  Concat( {a A}, Repeat({b B}, 1..inf, lazy), WordBoundary )
//
// A byte set is a 256-bit set, so a nibble wildcard, a class, `.`, a case-folded letter and a
// literal byte are all the same node. Hex jumps are lazy repetitions of "any byte" (the
// language gives a jump the shortest span that lets the rest match), alternatives prefer their
// left branch. The parsers refuse what the language does not allow, with the column.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/rules/pattern.h"

namespace pellora::rules::detail {

// 256 bits, one per byte value.
struct ByteSet {
    std::array<uint64_t, 4> bits{};
    bool Has(uint8_t b) const { return (bits[b >> 6] >> (b & 63)) & 1; }
    void Add(uint8_t b) { bits[b >> 6] |= uint64_t{1} << (b & 63); }
    void AddRange(uint8_t lo, uint8_t hi) {
        for (unsigned b = lo; b <= hi; ++b)
            Add(static_cast<uint8_t>(b));
    }
    void AddSet(const ByteSet& other) {
        for (size_t i = 0; i < 4; ++i)
            bits[i] |= other.bits[i];
    }
    void Invert() {
        for (uint64_t& word : bits)
            word = ~word;
    }
    size_t Count() const;
    bool operator==(const ByteSet&) const = default;
};

enum class Assertion : uint8_t {
    kStart,        // `^`: the start of the data
    kEnd,          // `$`: the end of the data
    kWord,         // `\b`
    kNotWord,      // `\B`
    kWideWord,     // `\b` between UTF-16LE characters (the `wide` form)
    kWideNotWord,  // `\B` between UTF-16LE characters
};

struct Node {
    enum class Kind : uint8_t { kBytes, kConcat, kAlt, kRepeat, kAssert, kEmpty };
    Kind kind = Kind::kEmpty;
    ByteSet set;                              // kBytes
    std::vector<Node> children;               // kConcat, kAlt; kRepeat has exactly one
    uint32_t min = 0, max = 0;                // kRepeat
    bool unbounded = false;                   // kRepeat: no upper bound
    bool greedy = true;                       // kRepeat
    Assertion assertion = Assertion::kStart;  // kAssert
};

inline constexpr uint32_t kMaxRepeat = 32767;

// `body` is the text between `{` and `}`.
[[nodiscard]] std::optional<Node> ParseHex(std::string_view body, PatternError& error);
// `body` is the text between `/` and `/`; nocase and dotAll shape the byte sets.
[[nodiscard]] std::optional<Node> ParseRegex(std::string_view body, const RegexFlags& flags, PatternError& error);

// The same pattern over UTF-16LE text: every byte followed by a zero byte.
Node WideForm(const Node& node);
// The pattern read from its end: used to find where matches can start from a hit in the middle.
Node Reversed(const Node& node);

// Bounds of the length of a match; max is capped at `cap` (also for an unbounded pattern).
size_t MinLength(const Node& node, size_t cap);
size_t MaxLength(const Node& node, size_t cap);

}  // namespace pellora::rules::detail
