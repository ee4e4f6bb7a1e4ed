// Windows compares file names, key names and value names "ordinally, ignoring case": each UTF-16
// code unit is mapped through the system's upper-case table and the results are compared as
// numbers. No locale, no normalisation, no expansion ("ß" stays "ß"). This is the same fold,
// portable, so the core decides identity the way the system does for every script, not only
// for ASCII ("ÉMILE" is the folder "Émile").
#pragma once

#include <string>
#include <string_view>

namespace pellora {

// The system's upper-case form of one UTF-16 code unit (surrogates map to themselves).
char16_t UpcaseOrdinal(char16_t unit);
// UTF-8 text with every UTF-16 unit upper-cased as above; invalid bytes are kept as they are.
std::string FoldOrdinal(std::string_view utf8);
// The same into `out` (replacing what it held), so a caller folding many texts keeps one buffer.
void FoldOrdinalInto(std::string_view utf8, std::string& out);
// True when every byte is below 0x80; such text folds by the ASCII letters alone.
bool IsAscii(std::string_view text);
// Whether `needle` occurs in `haystack`, both folded as above.
bool ContainsOrdinalIgnoreCase(std::string_view haystack, std::string_view needle);
bool EqualsOrdinalIgnoreCase(std::string_view a, std::string_view b);
bool StartsWithOrdinalIgnoreCase(std::string_view text, std::string_view prefix);

}  // namespace pellora
