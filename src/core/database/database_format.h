// The lines of the reference database beside the classic signature items, agreed in this one
// place: the reserved lines ("@", skipped by every scan) and the rule items.
//
// Reserved lines: "@serial N" is line 2 (core/database/database_trust.h). The trailer
// "@end items=N sha256=HEX" is the last line; `pellora-db lock` writes it. N counts the signature
// items before it (every line after the version line that is neither a comment "#" nor a reserved
// line "@"; rule items included), HEX is the SHA-256, in lower-case hex, of the unlocked lines
// before it in the file's own single-byte codes (before any code-page conversion), each followed
// by one LF. Line ends in the file (CR LF or LF) therefore do not count, every other byte does.
//
// A database whose lines hold a reserved line must end in a trailer that matches what precedes it;
// one that does not was cut short or damaged and is refused. A database without any reserved
// line is of the older format: it is used, but nothing can prove it whole.
//
// Rule items: "rule|<rule text>|<set>|<source file>:<line>", one content rule each (its text with
// its file's imports before it). Every field is escaped: line breaks, "|", "%" and every byte
// below 0x20 or above 0x7E become "%XX" (two upper-case hex digits), so the line is printable
// ASCII, the same in every code page, survives the scrambling at every position, and older
// readers see four fields of an unknown kind (the first four letters "rule" select none of the
// classic kinds), which they count and never match.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pellora {

inline constexpr std::string_view kTrailerKeyword = "@end";
inline constexpr std::string_view kRuleTypeWord = "rule";

// True when `line` is a trailer line ("@end" followed by a blank or nothing).
bool IsTrailerLine(std::string_view line);

// The trailer for the unlocked `lines` (version line first) that precede it.
std::string TrailerLine(std::span<const std::string> lines);

struct DatabaseIntegrity {
    enum class Result {
        Whole,      // the trailer matches; `items` is its count
        Unchecked,  // the older format: no reserved line at all
        Damaged,    // `detail`: why
    };
    Result result = Result::Damaged;
    std::string detail;
    size_t items = 0;
};

// Whether the unlocked lines of a database (version line first, trailer last) are whole.
DatabaseIntegrity CheckDatabaseIntegrity(std::span<const std::string> lines);
// The same for the bytes of a locked database (DataBase.ref, a download).
DatabaseIntegrity CheckLockedDatabaseIntegrity(std::string_view lockedBytes);

// ---- rule items ---------------------------------------------------------------------------------

struct RuleItem {
    std::string text;    // the rule's text, imports first
    std::string set;     // the rule set's name ("ditekshen", "elastic", ...)
    std::string source;  // "<source file>:<line>"
};

std::string EscapeRuleField(std::string_view text);
// Nothing when a "%" is not followed by two hex digits.
std::optional<std::string> UnescapeRuleField(std::string_view text);

// True when the line's type word is "rule" (any letter case).
bool IsRuleItemLine(std::string_view line);
std::string RuleItemLine(const RuleItem& item);
// The item of a rule line; nothing when it is not one (another kind, not four fields, an empty
// text or set, a bad escape).
std::optional<RuleItem> ParseRuleItem(std::string_view line);

}  // namespace pellora
