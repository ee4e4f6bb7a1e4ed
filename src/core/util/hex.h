// Bytes as hexadecimal text (upper-case digits) and back (either case).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pellora {

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// 0 to 15, or -1 for a character that is not a hex digit.
int HexDigitValue(char c);

std::string ToHex(std::string_view bytes);
// A number in lower-case hexadecimal without leading zeros ("0" for zero), as the caches' keys
// spell volume serials, file ids, sizes and times.
std::string NumberToHex(uint64_t value);
// Nothing for an odd length or a character that is not a hex digit.
std::optional<std::string> FromHex(std::string_view hex);

}  // namespace pellora
