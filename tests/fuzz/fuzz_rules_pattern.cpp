// Hex strings and regular expressions: whatever the text, compiling ends with a pattern or a
// reason; a compiled pattern stays within its program limit, its matches lie inside the data
// and within the scan limit, and scanning by atoms finds exactly what the atom-less path finds.
// Input: one byte of options (bit 0 hex, 1 nocase, 2 dotAll, 3 wide, 4 ascii), the pattern up
// to a NUL byte, then the data.
#include <cctype>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "core/rules/pattern.h"
#include "fuzz/fuzz_check.h"

using namespace pellora::rules;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const uint8_t options = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t nul = rest.find('\0');
    const std::string_view body = rest.substr(0, nul);
    const std::string_view text = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());

    RegexFlags flags{.nocase = (options & 2) != 0,
                     .dotAll = (options & 4) != 0,
                     .wide = (options & 8) != 0,
                     .ascii = (options & 16) != 0};
    auto result = (options & 1) ? Pattern::CompileHex(body) : Pattern::CompileRegex(body, flags);
    if (const PatternError* error = std::get_if<PatternError>(&result)) {
        FUZZ_CHECK(!error->reason.empty());
        FUZZ_CHECK(error->column <= body.size());
        return 0;
    }
    const Pattern& pattern = std::get<Pattern>(result);
    FUZZ_CHECK(pattern.ProgramSize() <= kMaxProgramSize);
    (void)pattern.Search(text);

    std::map<size_t, size_t> all;
    pattern.MatchesAll(bytes, [&](size_t start, size_t length) {
        FUZZ_CHECK(length > 0 && length <= kMaxMatchLength && start + length <= text.size());
        FUZZ_CHECK(all.emplace(start, length).second);
    });
    if (pattern.Atoms().empty())
        return 0;
    std::map<size_t, size_t> viaAtoms;
    for (size_t a = 0; a < pattern.Atoms().size(); ++a) {
        const Atom& atom = pattern.Atoms()[a];
        FUZZ_CHECK(!atom.bytes.empty() && atom.bytes.size() <= 8);
        for (size_t at = 0; at + atom.bytes.size() <= text.size(); ++at) {
            bool hit = true;
            for (size_t i = 0; i < atom.bytes.size() && hit; ++i) {
                const unsigned char x = atom.bytes[i], y = text[at + i];
                hit = atom.nocase ? std::tolower(x) == std::tolower(y) : x == y;
            }
            if (!hit)
                continue;
            pattern.MatchesAround(bytes, a, at, [&](size_t start, size_t length) {
                auto [it, added] = viaAtoms.emplace(start, length);
                FUZZ_CHECK(it->second == length);
            });
        }
    }
    FUZZ_CHECK(viaAtoms == all);
    return 0;
}
