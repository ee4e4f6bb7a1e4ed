// modCrypt: the scrambling of database lines. Each character is shifted by an amount that
// depends on its position (mod 6) and on K, derived from the character-code sum of the key.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pellora {

inline constexpr const char* kDatabaseKey = "52907316448";

// Unlocks one scrambled line (single-byte codes). Positions whose result falls outside 0-255
// are dropped; later positions keep their own place in the pattern.
std::string UnlockText(std::string_view text, std::string_view key);

// The scrambled form of `text`, such that UnlockText gives it back. Nothing when a character
// cannot be scrambled; `badPosition` (0-based) then names the first such character.
std::optional<std::string> LockText(std::string_view text, std::string_view key, size_t* badPosition = nullptr);

}  // namespace pellora
