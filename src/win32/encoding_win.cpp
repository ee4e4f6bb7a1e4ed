// The conversion calls take an int count; a text of 2 GiB or more is converted in pieces cut at
// character boundaries, never cut short or turned into an empty text.
#include "win32/encoding_win.h"

#include <algorithm>
#include <climits>
#include <cstdint>

namespace pellora::win32 {

namespace {

constexpr size_t kMaxPiece = INT_MAX / 2;

// Length of the first piece of `text` of at most `maxPiece` bytes that ends on a character
// boundary of the code page.
size_t NarrowPiece(UINT codePage, std::string_view text, size_t maxPiece) {
    if (text.size() <= maxPiece)
        return text.size();
    if (codePage == CP_UTF8) {
        // Continuation bytes (10xxxxxx) belong to the character before them.
        auto continues = [&text](size_t at) { return (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80; };
        size_t end = maxPiece;
        while (end > 0 && continues(end))
            --end;
        if (end == 0) {
            // A piece shorter than one character takes that whole character.
            end = maxPiece;
            while (end < text.size() && continues(end))
                ++end;
        }
        return end;
    }
    // A double-byte code page's lead byte takes the next byte with it.
    size_t end = 0;
    while (end < text.size()) {
        size_t step = IsDBCSLeadByteEx(codePage, static_cast<BYTE>(text[end])) ? 2 : 1;
        if (end > 0 && end + step > maxPiece)
            break;
        end = std::min(end + step, text.size());
    }
    return end;
}

size_t WidePiece(std::wstring_view text, size_t maxPiece) {
    if (text.size() <= maxPiece)
        return text.size();
    // A high surrogate stays with the low one after it.
    const wchar_t last = text[maxPiece - 1];
    if (last < 0xD800 || last > 0xDBFF)
        return maxPiece;
    return maxPiece > 1 ? maxPiece - 1 : 2;
}

}  // namespace

std::wstring ToWide(UINT codePage, std::string_view text, size_t maxPiece) {
    std::wstring out;
    while (!text.empty()) {
        const size_t piece = NarrowPiece(codePage, text, std::min(maxPiece, kMaxPiece));
        const int length = static_cast<int>(piece);
        int n = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(n));
        if (n > 0)
            MultiByteToWideChar(codePage, 0, text.data(), length, out.data() + at, n);
        text.remove_prefix(piece);
    }
    return out;
}

std::string FromWide(UINT codePage, std::wstring_view text, size_t maxPiece) {
    std::string out;
    while (!text.empty()) {
        const size_t piece = WidePiece(text, std::min(maxPiece, kMaxPiece));
        const int length = static_cast<int>(piece);
        int n = WideCharToMultiByte(codePage, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
        const size_t at = out.size();
        out.resize(at + static_cast<size_t>(n));
        if (n > 0)
            WideCharToMultiByte(codePage, 0, text.data(), length, out.data() + at, n, nullptr, nullptr);
        text.remove_prefix(piece);
    }
    return out;
}

std::wstring Widen(std::string_view utf8) {
    return ToWide(CP_UTF8, utf8);
}

std::string Narrow(std::wstring_view wide) {
    return FromWide(CP_UTF8, wide);
}

std::string AnsiToUtf8(std::string_view ansi) {
    return Narrow(ToWide(CP_ACP, ansi));
}

std::string Utf8ToAnsi(std::string_view utf8) {
    return FromWide(CP_ACP, Widen(utf8));
}

}  // namespace pellora::win32
