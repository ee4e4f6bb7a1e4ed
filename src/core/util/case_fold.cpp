// The upper-case table as ranges: most scripts keep their cases either as a block at a fixed
// distance (Latin a-z, Cyrillic, Armenian) or as alternating upper/lower pairs (Latin
// Extended, Coptic); the rest are single mappings. The Wine tests compare every code unit of
// the Basic Multilingual Plane with the system's own comparison.
#include "core/util/case_fold.h"

#include <algorithm>
#include <iterator>

namespace pellora {

namespace {

enum class Shape : unsigned char {
    Offset,     // every unit of the range moves by `delta`
    PairsEven,  // upper case on even code points, its lower case right after it
    PairsOdd,   // upper case on odd code points
};

struct Range {
    char16_t first;
    char16_t last;
    Shape shape;
    int delta;  // for Offset
};

// Sorted by `first`, not overlapping.
constexpr Range kRanges[] = {
    {0x0061, 0x007A, Shape::Offset, -32},
    {0x00E0, 0x00F6, Shape::Offset, -32},
    {0x00F8, 0x00FE, Shape::Offset, -32},
    {0x00FF, 0x00FF, Shape::Offset, 0x0178 - 0x00FF},
    {0x0100, 0x012F, Shape::PairsEven, 0},
    {0x0132, 0x0137, Shape::PairsEven, 0},
    {0x0139, 0x0148, Shape::PairsOdd, 0},
    {0x014A, 0x0177, Shape::PairsEven, 0},
    {0x0179, 0x017E, Shape::PairsOdd, 0},
    {0x0180, 0x0180, Shape::Offset, 0x0243 - 0x0180},
    {0x0182, 0x0185, Shape::PairsEven, 0},
    {0x0187, 0x0188, Shape::PairsOdd, 0},
    {0x018B, 0x018C, Shape::PairsOdd, 0},
    {0x0191, 0x0192, Shape::PairsOdd, 0},
    {0x0195, 0x0195, Shape::Offset, 0x01F6 - 0x0195},
    {0x0198, 0x0199, Shape::PairsEven, 0},
    {0x019A, 0x019A, Shape::Offset, 0x023D - 0x019A},
    {0x019E, 0x019E, Shape::Offset, 0x0220 - 0x019E},
    {0x01A0, 0x01A5, Shape::PairsEven, 0},
    {0x01A7, 0x01A8, Shape::PairsOdd, 0},
    {0x01AC, 0x01AD, Shape::PairsEven, 0},
    {0x01AF, 0x01B0, Shape::PairsOdd, 0},
    {0x01B3, 0x01B6, Shape::PairsOdd, 0},
    {0x01B8, 0x01B9, Shape::PairsEven, 0},
    {0x01BC, 0x01BD, Shape::PairsEven, 0},
    {0x01BF, 0x01BF, Shape::Offset, 0x01F7 - 0x01BF},
    {0x01C6, 0x01C6, Shape::Offset, -2},
    {0x01C9, 0x01C9, Shape::Offset, -2},
    {0x01CC, 0x01CC, Shape::Offset, -2},
    {0x01CD, 0x01DC, Shape::PairsOdd, 0},
    {0x01DD, 0x01DD, Shape::Offset, 0x018E - 0x01DD},
    {0x01DE, 0x01EF, Shape::PairsEven, 0},
    {0x01F3, 0x01F3, Shape::Offset, -2},
    {0x01F4, 0x01F5, Shape::PairsEven, 0},
    {0x01F8, 0x021F, Shape::PairsEven, 0},
    {0x0222, 0x0233, Shape::PairsEven, 0},
    {0x023B, 0x023C, Shape::PairsOdd, 0},
    {0x023F, 0x0240, Shape::Offset, 0x2C7E - 0x023F},
    {0x0241, 0x0242, Shape::PairsOdd, 0},
    {0x0246, 0x024F, Shape::PairsEven, 0},
    {0x0250, 0x0250, Shape::Offset, 0x2C6F - 0x0250},
    {0x0251, 0x0251, Shape::Offset, 0x2C6D - 0x0251},
    {0x0252, 0x0252, Shape::Offset, 0x2C70 - 0x0252},
    {0x0253, 0x0253, Shape::Offset, 0x0181 - 0x0253},
    {0x0254, 0x0254, Shape::Offset, 0x0186 - 0x0254},
    {0x0256, 0x0257, Shape::Offset, 0x0189 - 0x0256},
    {0x0259, 0x0259, Shape::Offset, 0x018F - 0x0259},
    {0x025B, 0x025B, Shape::Offset, 0x0190 - 0x025B},
    {0x025C, 0x025C, Shape::Offset, 0xA7AB - 0x025C},
    {0x0260, 0x0260, Shape::Offset, 0x0193 - 0x0260},
    {0x0261, 0x0261, Shape::Offset, 0xA7AC - 0x0261},
    {0x0263, 0x0263, Shape::Offset, 0x0194 - 0x0263},
    {0x0265, 0x0265, Shape::Offset, 0xA78D - 0x0265},
    {0x0266, 0x0266, Shape::Offset, 0xA7AA - 0x0266},
    {0x0268, 0x0268, Shape::Offset, 0x0197 - 0x0268},
    {0x0269, 0x0269, Shape::Offset, 0x0196 - 0x0269},
    {0x026A, 0x026A, Shape::Offset, 0xA7AE - 0x026A},
    {0x026B, 0x026B, Shape::Offset, 0x2C62 - 0x026B},
    {0x026C, 0x026C, Shape::Offset, 0xA7AD - 0x026C},
    {0x026F, 0x026F, Shape::Offset, 0x019C - 0x026F},
    {0x0271, 0x0271, Shape::Offset, 0x2C6E - 0x0271},
    {0x0272, 0x0272, Shape::Offset, 0x019D - 0x0272},
    {0x0275, 0x0275, Shape::Offset, 0x019F - 0x0275},
    {0x027D, 0x027D, Shape::Offset, 0x2C64 - 0x027D},
    {0x0280, 0x0280, Shape::Offset, 0x01A6 - 0x0280},
    {0x0282, 0x0282, Shape::Offset, 0xA7C5 - 0x0282},
    {0x0283, 0x0283, Shape::Offset, 0x01A9 - 0x0283},
    {0x0287, 0x0287, Shape::Offset, 0xA7B1 - 0x0287},
    {0x0288, 0x0288, Shape::Offset, 0x01AE - 0x0288},
    {0x0289, 0x0289, Shape::Offset, 0x0244 - 0x0289},
    {0x028A, 0x028B, Shape::Offset, 0x01B1 - 0x028A},
    {0x028C, 0x028C, Shape::Offset, 0x0245 - 0x028C},
    {0x0292, 0x0292, Shape::Offset, 0x01B7 - 0x0292},
    {0x029D, 0x029D, Shape::Offset, 0xA7B2 - 0x029D},
    {0x029E, 0x029E, Shape::Offset, 0xA7B0 - 0x029E},
    {0x0370, 0x0373, Shape::PairsEven, 0},
    {0x0376, 0x0377, Shape::PairsEven, 0},
    {0x037B, 0x037D, Shape::Offset, 0x03FD - 0x037B},
    {0x03AC, 0x03AC, Shape::Offset, 0x0386 - 0x03AC},
    {0x03AD, 0x03AF, Shape::Offset, 0x0388 - 0x03AD},
    {0x03B1, 0x03C1, Shape::Offset, -32},
    {0x03C3, 0x03CB, Shape::Offset, -32},
    {0x03CC, 0x03CC, Shape::Offset, 0x038C - 0x03CC},
    {0x03CD, 0x03CE, Shape::Offset, 0x038E - 0x03CD},
    {0x03D7, 0x03D7, Shape::Offset, 0x03CF - 0x03D7},
    {0x03D8, 0x03EF, Shape::PairsEven, 0},
    {0x03F2, 0x03F2, Shape::Offset, 0x03F9 - 0x03F2},
    {0x03F3, 0x03F3, Shape::Offset, 0x037F - 0x03F3},
    {0x03F7, 0x03F8, Shape::PairsOdd, 0},
    {0x03FA, 0x03FB, Shape::PairsEven, 0},
    {0x0430, 0x044F, Shape::Offset, -32},
    {0x0450, 0x045F, Shape::Offset, -80},
    {0x0460, 0x0481, Shape::PairsEven, 0},
    {0x048A, 0x04BF, Shape::PairsEven, 0},
    {0x04C1, 0x04CE, Shape::PairsOdd, 0},
    {0x04CF, 0x04CF, Shape::Offset, 0x04C0 - 0x04CF},
    {0x04D0, 0x052F, Shape::PairsEven, 0},
    {0x0561, 0x0586, Shape::Offset, -48},
    {0x10D0, 0x10FA, Shape::Offset, 0x1C90 - 0x10D0},
    {0x10FD, 0x10FF, Shape::Offset, 0x1CBD - 0x10FD},
    {0x13F8, 0x13FD, Shape::Offset, -8},
    {0x1D79, 0x1D79, Shape::Offset, 0xA77D - 0x1D79},
    {0x1D7D, 0x1D7D, Shape::Offset, 0x2C63 - 0x1D7D},
    {0x1D8E, 0x1D8E, Shape::Offset, 0xA7C6 - 0x1D8E},
    {0x1E00, 0x1E95, Shape::PairsEven, 0},
    {0x1EA0, 0x1EFF, Shape::PairsEven, 0},
    {0x1F00, 0x1F07, Shape::Offset, 8},
    {0x1F10, 0x1F15, Shape::Offset, 8},
    {0x1F20, 0x1F27, Shape::Offset, 8},
    {0x1F30, 0x1F37, Shape::Offset, 8},
    {0x1F40, 0x1F45, Shape::Offset, 8},
    {0x1F51, 0x1F51, Shape::Offset, 8},
    {0x1F53, 0x1F53, Shape::Offset, 8},
    {0x1F55, 0x1F55, Shape::Offset, 8},
    {0x1F57, 0x1F57, Shape::Offset, 8},
    {0x1F60, 0x1F67, Shape::Offset, 8},
    {0x1F70, 0x1F71, Shape::Offset, 0x1FBA - 0x1F70},
    {0x1F72, 0x1F75, Shape::Offset, 0x1FC8 - 0x1F72},
    {0x1F76, 0x1F77, Shape::Offset, 0x1FDA - 0x1F76},
    {0x1F78, 0x1F79, Shape::Offset, 0x1FF8 - 0x1F78},
    {0x1F7A, 0x1F7B, Shape::Offset, 0x1FEA - 0x1F7A},
    {0x1F7C, 0x1F7D, Shape::Offset, 0x1FFA - 0x1F7C},
    {0x1F80, 0x1F87, Shape::Offset, 8},
    {0x1F90, 0x1F97, Shape::Offset, 8},
    {0x1FA0, 0x1FA7, Shape::Offset, 8},
    {0x1FB0, 0x1FB1, Shape::Offset, 8},
    {0x1FB3, 0x1FB3, Shape::Offset, 9},
    {0x1FC3, 0x1FC3, Shape::Offset, 9},
    {0x1FD0, 0x1FD1, Shape::Offset, 8},
    {0x1FE0, 0x1FE1, Shape::Offset, 8},
    {0x1FE5, 0x1FE5, Shape::Offset, 7},
    {0x1FF3, 0x1FF3, Shape::Offset, 9},
    {0x214E, 0x214E, Shape::Offset, 0x2132 - 0x214E},
    {0x2170, 0x217F, Shape::Offset, -16},
    {0x2183, 0x2184, Shape::PairsOdd, 0},
    {0x24D0, 0x24E9, Shape::Offset, -26},
    {0x2C30, 0x2C5F, Shape::Offset, -48},
    {0x2C60, 0x2C61, Shape::PairsEven, 0},
    {0x2C65, 0x2C65, Shape::Offset, 0x023A - 0x2C65},
    {0x2C66, 0x2C66, Shape::Offset, 0x023E - 0x2C66},
    {0x2C67, 0x2C6C, Shape::PairsOdd, 0},
    {0x2C72, 0x2C73, Shape::PairsEven, 0},
    {0x2C75, 0x2C76, Shape::PairsOdd, 0},
    {0x2C80, 0x2CE3, Shape::PairsEven, 0},
    {0x2CEB, 0x2CEE, Shape::PairsOdd, 0},
    {0x2CF2, 0x2CF3, Shape::PairsEven, 0},
    {0x2D00, 0x2D25, Shape::Offset, 0x10A0 - 0x2D00},
    {0x2D27, 0x2D27, Shape::Offset, 0x10C7 - 0x2D27},
    {0x2D2D, 0x2D2D, Shape::Offset, 0x10CD - 0x2D2D},
    {0xA640, 0xA66D, Shape::PairsEven, 0},
    {0xA680, 0xA69B, Shape::PairsEven, 0},
    {0xA722, 0xA72F, Shape::PairsEven, 0},
    {0xA732, 0xA76F, Shape::PairsEven, 0},
    {0xA779, 0xA77C, Shape::PairsOdd, 0},
    {0xA77E, 0xA787, Shape::PairsEven, 0},
    {0xA78B, 0xA78C, Shape::PairsOdd, 0},
    {0xA790, 0xA793, Shape::PairsEven, 0},
    {0xA794, 0xA794, Shape::Offset, 0xA7C4 - 0xA794},
    {0xA796, 0xA7A9, Shape::PairsEven, 0},
    {0xA7B4, 0xA7C3, Shape::PairsEven, 0},
    {0xA7C7, 0xA7CA, Shape::PairsOdd, 0},
    {0xA7D0, 0xA7D1, Shape::PairsEven, 0},
    {0xA7D6, 0xA7D9, Shape::PairsEven, 0},
    {0xA7F5, 0xA7F6, Shape::PairsOdd, 0},
    {0xAB53, 0xAB53, Shape::Offset, 0xA7B3 - 0xAB53},
    {0xAB70, 0xABBF, Shape::Offset, 0x13A0 - 0xAB70},
    {0xFF41, 0xFF5A, Shape::Offset, -32},
};

// One code point from UTF-8 at `pos`; advances `pos`. Nothing for a malformed sequence (the
// caller keeps that byte as it is).
bool DecodeOne(std::string_view text, size_t& pos, char32_t& out) {
    unsigned char lead = static_cast<unsigned char>(text[pos]);
    size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
    if (length == 0 || pos + length > text.size())
        return false;
    char32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (size_t i = 1; i < length; ++i) {
        unsigned char next = static_cast<unsigned char>(text[pos + i]);
        if ((next & 0xC0) != 0x80)
            return false;
        value = (value << 6) | (next & 0x3F);
    }
    pos += length;
    out = value;
    return true;
}

void Encode(char32_t value, std::string& out) {
    if (value < 0x80) {
        out += static_cast<char>(value);
    } else if (value < 0x800) {
        out += static_cast<char>(0xC0 | (value >> 6));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else if (value < 0x10000) {
        out += static_cast<char>(0xE0 | (value >> 12));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (value >> 18));
        out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (value & 0x3F));
    }
}

}  // namespace

char16_t UpcaseOrdinal(char16_t unit) {
    auto it = std::upper_bound(std::begin(kRanges), std::end(kRanges), unit,
                               [](char16_t value, const Range& range) { return value < range.first; });
    if (it == std::begin(kRanges))
        return unit;
    const Range& range = *std::prev(it);
    if (unit > range.last)
        return unit;
    switch (range.shape) {
        case Shape::Offset:
            return static_cast<char16_t>(unit + range.delta);
        case Shape::PairsEven:
            return (unit & 1) ? static_cast<char16_t>(unit - 1) : unit;
        case Shape::PairsOdd:
            return (unit & 1) ? unit : static_cast<char16_t>(unit - 1);
    }
    return unit;
}

void FoldOrdinalInto(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        unsigned char byte = static_cast<unsigned char>(text[pos]);
        if (byte < 0x80) {
            out += (byte >= 'a' && byte <= 'z') ? static_cast<char>(byte - 32) : static_cast<char>(byte);
            ++pos;
            continue;
        }
        char32_t value = 0;
        if (!DecodeOne(text, pos, value)) {
            out += static_cast<char>(byte);
            ++pos;
            continue;
        }
        // Code points beyond the plane are two UTF-16 units, which the system leaves as they are.
        Encode(value < 0x10000 ? UpcaseOrdinal(static_cast<char16_t>(value)) : value, out);
    }
}

std::string FoldOrdinal(std::string_view text) {
    std::string out;
    FoldOrdinalInto(text, out);
    return out;
}

bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

bool ContainsOrdinalIgnoreCase(std::string_view haystack, std::string_view needle) {
    return FoldOrdinal(haystack).find(FoldOrdinal(needle)) != std::string::npos;
}

bool EqualsOrdinalIgnoreCase(std::string_view a, std::string_view b) {
    return FoldOrdinal(a) == FoldOrdinal(b);
}

bool StartsWithOrdinalIgnoreCase(std::string_view text, std::string_view prefix) {
    std::string foldedText = FoldOrdinal(text);
    std::string foldedPrefix = FoldOrdinal(prefix);
    return foldedText.compare(0, foldedPrefix.size(), foldedPrefix) == 0;
}

}  // namespace pellora
