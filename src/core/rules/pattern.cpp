#include "core/rules/pattern.h"

namespace pellora::rules {

struct Program {};

Pattern::Pattern() = default;
Pattern::Pattern(const Pattern&) = default;
Pattern& Pattern::operator=(const Pattern&) = default;
Pattern::Pattern(Pattern&&) noexcept = default;
Pattern& Pattern::operator=(Pattern&&) noexcept = default;
Pattern::~Pattern() = default;

std::variant<Pattern, PatternError> Pattern::CompileHex(std::string_view) {
    return PatternError{0, "not yet"};
}

std::variant<Pattern, PatternError> Pattern::CompileRegex(std::string_view, RegexFlags) {
    return PatternError{0, "not yet"};
}

void Pattern::MatchesAround(std::span<const uint8_t>, size_t, size_t, const MatchSink&) const {}
void Pattern::MatchesAll(std::span<const uint8_t>, const MatchSink&) const {}
bool Pattern::Search(std::string_view) const {
    return false;
}
size_t Pattern::ProgramSize() const {
    return 0;
}

}  // namespace pellora::rules
