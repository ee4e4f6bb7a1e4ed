// Hex strings and regular expressions of the rule language, compiled to a small program that
// is matched in time linear in the data.
//
// Guarantees (stated as a contract, the way RE2 states its own):
//  - No backtracking. A pattern compiles to an NFA program of at most kMaxProgramSize
//    instructions; matching simulates it breadth-first (a Pike VM), so every position of the
//    data is visited at most once per program instruction for one start offset. A match never
//    extends beyond kMaxMatchLength bytes from its start: the simulation stops there.
//  - Refused, with a column and a reason: syntax errors, back-references and look-arounds
//    (which the language does not have), a program larger than kMaxProgramSize (counted
//    repetitions are expanded, so `(abc){1000}{1000}` is refused), nesting deeper than
//    kMaxNesting, and a hex string without a single byte to anchor on.
//  - Matches follow the language's documented semantics: for every start offset at most one
//    match, whose length is decided by leftmost-first priorities (greedy quantifiers prefer
//    more, lazy ones less, an alternation prefers its left branch). Every start offset that
//    matches is reported, overlapping ones included.
//  - `^` and `$` anchor at the start and the end of the data (the file), never at a line.
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

struct Program;

class Pattern {
  public:
    [[nodiscard]] static std::variant<Pattern, PatternError> CompileHex(std::string_view body);
    [[nodiscard]] static std::variant<Pattern, PatternError> CompileRegex(std::string_view body, RegexFlags flags);

    // Every match contains one of these; empty: no usable atom (use MatchesAll).
    const std::vector<Atom>& Atoms() const { return atoms_; }

    using MatchSink = std::function<void(size_t start, size_t length)>;
    // For a hit of Atoms()[atom] at offset `at` in `data`: every match (start, length) that
    // contains this hit, each start once.
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
    std::shared_ptr<const Program> program_;
};

}  // namespace pellora::rules
