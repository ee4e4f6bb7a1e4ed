// Small text helpers shared by the core. Letter case is folded for ASCII only, as the
// program's comparisons of type words, extensions and key names need.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pellora {

std::string ToLowerAscii(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
// Position of `needle` in `haystack` compared without regard to ASCII case, or npos.
size_t FindIgnoreCase(std::string_view haystack, std::string_view needle);
bool StartsWith(std::string_view text, std::string_view prefix);
bool EndsWith(std::string_view text, std::string_view suffix);
// Replaces every occurrence of `from` (any ASCII case) by `to`.
std::string ReplaceAllIgnoreCase(std::string_view text, std::string_view from, std::string_view to);
std::string TrimSpaces(std::string_view text);
// The leading numeric text read as a number (blanks skipped, optional sign, digits, optional
// fraction); anything else counts as 0. Like the classic Val().
double LeadingNumber(std::string_view text);
// Whole-number part of LeadingNumber.
int64_t LeadingInteger(std::string_view text);
// Strict whole number of 0 or more (digits only, surrounding blanks allowed).
bool ParseWholeNumber(std::string_view text, int64_t& value);
std::string JoinLines(const std::vector<std::string>& lines, std::string_view separator);

}  // namespace pellora
