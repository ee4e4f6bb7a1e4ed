// Hex strings and regular expressions of the rule language, compiled to a small program that
// is matched without backtracking.
//
// Guarantees (a contract, the way RE2 states its own):
//  - No backtracking. A pattern compiles to an NFA program of at most kMaxProgramSize
//    instructions (counted repetitions and jumps are expanded); matching simulates every thread
//    in lockstep (a Pike VM), so one run over n bytes costs at most O(n * program size) whatever
//    the pattern: /(a*)*b/ over a megabyte of `a` is one pass, not an exponential search.
//    Search() is one such run over the whole text. Finding the match at each possible start
//    costs one run of at most kMaxMatchLength bytes per start.
//  - The scan limit: a match spans at most kMaxMatchLength bytes (4096, as the language's
//    reference tool gives a regular expression). A longer one is not found. This includes a hex
//    string whose unbounded jump (`[n-]`, `[-]`) would have to cover more, which the reference
//    tool does find; no shipped rule has such a jump.
//  - Refused, with a column where it applies and a reason: syntax errors, group options
//    (`(?:`, `(?i)`; not part of the language), intervals beyond 32767 or empty (`{0}`), a
//    program over kMaxProgramSize (`(a{1000}){1000}`), nesting deeper than kMaxNesting, a
//    pattern whose shortest match exceeds the scan limit, one that can only match empty, and
//    text over 200,000 characters (refused before it is parsed).
//  - Semantics as the language documents them: at most one match per start offset, its length
//    given by leftmost-first priorities (greedy quantifiers prefer more, lazy ones less, an
//    alternative its left branch, a hex jump the shortest span); an empty winning match is no
//    match. Every start offset that matches is reported, overlapping ones included.
//  - `^` and `$` anchor at the start and the end of the data (the file), never at a line; `.`
//    excludes only the line feed, unless dotAll.
//  - `wide`: every byte of the pattern is followed by a zero byte, `\b` looks at UTF-16LE
//    characters. With `ascii` too, both forms are searched; where both match at one start the
//    plain form's match is the one reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace pellora::rules {

struct PatternError {
    size_t column = 0;  // 0-based offset into the body where the problem was seen
    std::string reason;
};

// A short literal that every match contains. nocase: ASCII letters match either case.
struct Atom {
    std::string bytes;
    bool nocase = false;
};

struct RegexFlags {
    bool nocase = false;  // `/i` or the `nocase` modifier
    bool dotAll = false;  // `/s`: `.` also matches a line feed
    bool wide = false;    // the `wide` modifier: each byte of the match followed by a zero byte
    bool ascii = true;    // with wide: also match the plain form (the `ascii wide` pair)
};

inline constexpr size_t kMaxProgramSize = 50000;  // instructions in one compiled program
inline constexpr size_t kMaxMatchLength = 4096;   // bytes a match may span from its start
inline constexpr size_t kMaxNesting = 200;        // groups and alternatives inside each other

struct CompiledPattern;

class Pattern {
  public:
    [[nodiscard]] static std::variant<Pattern, PatternError> CompileHex(std::string_view body);
    [[nodiscard]] static std::variant<Pattern, PatternError> CompileRegex(std::string_view body, RegexFlags flags);

    // Every match contains one of these (1 to 4 bytes; 1 to 8 for the wide form, zero bytes
    // included); empty: no usable atom, call MatchesAll instead.
    const std::vector<Atom>& Atoms() const { return atoms_; }

    using MatchSink = std::function<void(size_t start, size_t length)>;
    // For a hit of Atoms()[atom] at offset `at` in `data` (the whole file, for `^`, `$` and
    // `\b`): every match (start, length) that contains this hit, each start once per call. Hits
    // of several atoms, or of one atom twice inside a match, report that match again, always
    // with the same length: keep one per start.
    void MatchesAround(std::span<const uint8_t> data, size_t atom, size_t at, const MatchSink& sink) const;
    // Every match in `data`, each start once (for a pattern without atoms).
    void MatchesAll(std::span<const uint8_t> data, const MatchSink& sink) const;
    // Whether the pattern matches anywhere in `text` (the `matches` operator).
    [[nodiscard]] bool Search(std::string_view text) const;

    size_t ProgramSize() const;

    Pattern(const Pattern&);
    Pattern& operator=(const Pattern&);
    Pattern(Pattern&&) noexcept;
    Pattern& operator=(Pattern&&) noexcept;
    ~Pattern();

  private:
    Pattern();
    std::vector<Atom> atoms_;
    std::shared_ptr<const CompiledPattern> compiled_;
};

}  // namespace pellora::rules
