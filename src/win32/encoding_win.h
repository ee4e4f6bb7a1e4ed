// Text at the Windows boundary: the core speaks UTF-8, the wide (W) API UTF-16, the program's
// files the system's ANSI code page.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pellora::win32 {

// Conversion in pieces of at most `maxPiece` units, each cut on a character boundary (the
// largest piece the conversion calls take unless a smaller one is asked for, as tests do).
std::wstring ToWide(UINT codePage, std::string_view text, size_t maxPiece = SIZE_MAX);
std::string FromWide(UINT codePage, std::wstring_view text, size_t maxPiece = SIZE_MAX);

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace pellora::win32
