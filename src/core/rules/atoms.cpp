// Atom choice.
//
// The scanner never looks for a whole string directly. It runs every file once through one
// multi-pattern automaton (automaton.cpp) that knows a short piece of each string, its atom, and
// verifies the whole string only where an atom occurs. The automaton's speed does not depend on
// the atoms, but the number of verifications does: an atom that occurs everywhere (`\0\0\0\0`,
// four spaces, `\xFF\xFF`) turns the scan into a string-by-string comparison at every offset.
// So each string is searched by the window of at most four bytes that is least likely to occur
// in ordinary files:
//
//  - each byte earns points: zero bytes almost nothing (they fill padding, wide text and
//    headers), the other common fillers (0xFF, 0x20, 0xCC, 0x90) little, letters of a nocase
//    string a little less than other bytes (each stands for two);
//  - distinct bytes earn a bonus, so `abab` loses to `abcd`, and a run of one byte loses most;
//  - a longer window beats a shorter one whenever its extra byte is not a filler.
//
// Worked example: the wide string "cmd.exe" is the bytes `c\0m\0d\0.\0e\0x\0e\0`. Every window of
// four bytes holds two zeros; `c\0m\0` scores 16+0+16+0 plus two distinct-byte bonuses... and so
// do the others, so the first wins: hits of `c\0m\0` are rare outside wide text. For the hex
// string `{ 00 00 00 00 E8 ?? ?? ?? ?? }` the pattern engine offers the literal `00 00 00 00 E8`,
// whose windows `00 00 00 00` and `00 00 00 E8` score 0 and 16+bonus: the second is searched.
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
    if (bytes.size() <= kAtomLength)
        return AtomWindow{0, bytes.size()};
    AtomWindow best{0, kAtomLength};
    int bestScore = -1;
    for (size_t offset = 0; offset + kAtomLength <= bytes.size(); ++offset) {
        int score = AtomQuality(bytes.substr(offset, kAtomLength), nocase);
        if (score > bestScore) {
            bestScore = score;
            best.offset = offset;
        }
    }
    return best;
}

}  // namespace pellora::rules
