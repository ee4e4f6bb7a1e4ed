// Atom choice.
//
// The scanner never looks for a whole string directly. It runs every file once through one
// multi-pattern automaton (automaton.cpp) that knows a short piece of each string, its atom, and
// verifies the whole string only where an atom occurs. The automaton's speed hardly depends on
// the atoms, but the number of verifications does: an atom that occurs everywhere (`\0\0\0\0`,
// four spaces, `\xFF\xFF`, a common word) turns the scan into string-by-string comparisons.
// So each string is searched by the window of its bytes least likely to occur in ordinary files:
//
//  - up to eight bytes long: a longer atom is rarer, and strings that share a word (dozens of
//    rules contain "Content" or "Software\Microsoft") still get atoms of their own; a nocase
//    string's atom has at most four bytes, since each letter doubles the automaton's keywords;
//  - each byte earns points: zero bytes almost nothing (they fill padding, wide text and
//    headers), the other common fillers (0xFF, 0x20, 0xCC, 0x90, 0x01) little, the letters of a
//    nocase string a little less than other bytes;
//  - distinct bytes earn a bonus, and a window of one repeated byte loses half its score.
//
// Worked example: the wide string "cmd.exe" is the 14 bytes `c\0m\0d\0.\0e\0x\0e\0`. Every window
// of eight holds four zeros (4 points) and four characters (64 points), plus 4 per distinct byte:
// `c\0m\0d\0.\0` has five distinct bytes and wins over `.\0e\0x\0e\0`, which has four. For the
// ascii string "Software\\Microsoft\\Windows\\CurrentVersion\\Run" the first window
// `Software` already has the highest score a window of letters can get, so it is kept; a
// window holding a backslash would score the same and lose only by coming later.
#include "core/rules/atoms.h"

#include <array>

namespace pellora::rules {
namespace {

int ByteScore(unsigned char byte, bool nocase) {
    switch (byte) {
        case 0x00:
            return 1;
        case 0x20:
        case 0xFF:
        case 0xCC:
        case 0x90:
        case 0x01:
            return 6;
        default:
            break;
    }
    bool letter = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z');
    if (nocase && letter)
        return 13;
    return 16;
}

}  // namespace

int AtomQuality(std::string_view bytes, bool nocase) {
    int score = 0;
    std::array<bool, 256> seen{};
    int distinct = 0;
    for (char c : bytes) {
        auto byte = static_cast<unsigned char>(c);
        score += ByteScore(byte, nocase);
        if (!seen[byte]) {
            seen[byte] = true;
            ++distinct;
        }
    }
    score += 4 * distinct;
    if (bytes.size() > 1 && distinct == 1)
        score /= 2;
    return score;
}

AtomWindow ChooseAtom(std::string_view bytes, bool nocase) {
    size_t length = nocase ? kNocaseAtomLength : kAtomLength;
    if (bytes.size() <= length)
        return AtomWindow{0, bytes.size()};
    AtomWindow best{0, length};
    int bestScore = -1;
    for (size_t offset = 0; offset + length <= bytes.size(); ++offset) {
        int score = AtomQuality(bytes.substr(offset, length), nocase);
        if (score > bestScore) {
            bestScore = score;
            best.offset = offset;
        }
    }
    return best;
}

}  // namespace pellora::rules
