// Text at the Windows boundary: the core speaks UTF-8, the wide (W) API UTF-16, the program's
// files the system's ANSI code page.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace pellora::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);
std::string AnsiToUtf8(std::string_view ansi);
std::string Utf8ToAnsi(std::string_view utf8);

}  // namespace pellora::win32
