#include "core/database/unlock.h"

#include <cmath>

namespace pellora {

namespace {

int KeyShift(std::string_view key) {
    double sum = 0;
    for (unsigned char c : key) sum += c;
    // Product first, then the division, in double precision: the order is part of the format.
    return static_cast<int>(std::floor((sum * 0.1) / 6));
}

// Shift added to a scrambled code at 1-based position i.
int Delta(size_t position, int k) {
    switch (position % 6) {
        case 1: return -k + 4;
        case 2: return k - 6;
        case 3: return -k - 1;
        case 4: return k - 7;
        case 5: return -k;
        default: return k - 2;
    }
}

}  // namespace

std::string UnlockText(std::string_view text, std::string_view key) {
    const int k = KeyShift(key);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        int code = static_cast<unsigned char>(text[i]) + Delta(i + 1, k);
        if (code >= 0 && code <= 255) out += static_cast<char>(code);
    }
    return out;
}

std::optional<std::string> LockText(std::string_view text, std::string_view key, size_t* badPosition) {
    const int k = KeyShift(key);
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        int code = static_cast<unsigned char>(text[i]) - Delta(i + 1, k);
        // CR and LF would split the line when the file is read back.
        if (code < 0 || code > 255 || code == '\r' || code == '\n') {
            if (badPosition) *badPosition = i;
            return std::nullopt;
        }
        out += static_cast<char>(code);
    }
    return out;
}

}  // namespace pellora
