// Unlocking of database lines, checked against vectors worked out by hand, and the scrambling
// the database tool builds on it. With the program's key the code sum is 577, so K = 9 and the
// shifts for positions 1..6 are -5, +3, -10, +2, -9, +7.
#include <gtest/gtest.h>

#include "core/database/unlock.h"

namespace pellora {
namespace {

TEST(UnlockText, ProgramKeyShiftsEachPositionByItsRowAndRestartsAtTheSeventh) {
    // Seven characters use the rows k = 1, 2, 3, 4, 5, 0, 1.
    EXPECT_EQ(UnlockText("ABCDEFG", kDatabaseKey), "<E9F<MB");
}

TEST(UnlockText, EmptyKeyGivesKZero) {
    EXPECT_EQ(UnlockText("abcdefg", ""), "e\\b]edk");
    EXPECT_EQ(UnlockText("", kDatabaseKey), "");
}

TEST(UnlockText, CodesOutsideTheByteRangeAreDroppedAndLaterPositionsKeepTheirRow) {
    // Position 1: 3 - 5 < 0; position 2: 253 + 3 > 255; position 3 keeps its own row (-10).
    EXPECT_EQ(UnlockText("\x03\xFDk", kDatabaseKey), "a");
    EXPECT_EQ(UnlockText("\x03"
                         "AB",
                         kDatabaseKey),
              "D8");
    // The edges 0 and 255 are kept.
    EXPECT_EQ(UnlockText(std::string_view("\x05", 1), kDatabaseKey), std::string(1, '\0'));
    EXPECT_EQ(UnlockText("A\xFC", kDatabaseKey), "<\xFF");
}

TEST(LockText, RoundTripsEveryByteItAccepts) {
    std::string all;
    for (int round = 0; round < 6; ++round) {
        for (int c = 32; c < 256; ++c)
            all += static_cast<char>(c);
        all += 'x';  // shifts the next round by one position
    }
    std::string accepted;
    for (size_t i = 0; i < all.size(); ++i) {
        std::string probe = accepted + all[i];
        if (LockText(probe, kDatabaseKey))
            accepted = probe;
    }
    std::optional<std::string> locked = LockText(accepted, kDatabaseKey);
    ASSERT_TRUE(locked);
    EXPECT_EQ(locked->size(), accepted.size());
    EXPECT_EQ(UnlockText(*locked, kDatabaseKey), accepted);
}

TEST(LockText, RefusesWhatUnlockWouldNotGiveBackAndNamesThePosition) {
    size_t bad = 99;
    // 0xFF at position 1 would have to be scrambled to 260.
    EXPECT_FALSE(LockText("\xFF", kDatabaseKey, &bad));
    EXPECT_EQ(bad, 0u);
    // Byte 2 at position 2 would need -1.
    EXPECT_FALSE(LockText("a\x02", kDatabaseKey, &bad));
    EXPECT_EQ(bad, 1u);
    // Byte 16 at position 2 scrambles to 13, a CR, which would split the line in the file.
    EXPECT_FALSE(LockText("a\x10", kDatabaseKey, &bad));
    EXPECT_EQ(bad, 1u);
}

}  // namespace
}  // namespace pellora
