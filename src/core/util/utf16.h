// UTF-16 bytes to and from UTF-8, for the files Windows writes in UTF-16 (shell links, task
// definitions). Unpaired surrogates become U+FFFD, so hostile input always gives valid UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace pellora {

// `bytes` holds UTF-16 LE code units (an odd last byte is ignored).
std::string Utf16LeToUtf8(std::string_view bytes);
// As above for big-endian units.
std::string Utf16BeToUtf8(std::string_view bytes);
// UTF-8 to UTF-16 LE bytes; invalid UTF-8 bytes become U+FFFD.
std::string Utf8ToUtf16Le(std::string_view utf8);
// Appends the code point as UTF-8.
void AppendUtf8(std::string& out, char32_t codePoint);

}  // namespace pellora
