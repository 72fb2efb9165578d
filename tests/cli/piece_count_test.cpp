// `vandrel split --pieces N`: the size that makes exactly N pieces, or the
// counts that work instead.

#include <gtest/gtest.h>

#include "piece_count.h"

namespace {

std::int64_t PiecesOf(std::int64_t length, std::int64_t size) { return (length + size - 1) / size; }

// Every count up to the length of every short file: taken exactly when some
// size smaller than the file makes it, and then with the size ceil(L/N).
TEST(PieceCount, ShortFilesTakeExactlyTheCountsThatSomeSizeMakes)
{
    for (std::int64_t length = 1; length <= 200; ++length) {
        for (std::int64_t count = 1; count <= length; ++count) {
            bool someSizeMakesIt = false;
            for (std::int64_t size = 1; size < length; ++size)
                someSizeMakesIt = someSizeMakesIt || PiecesOf(length, size) == count;
            const PartSize size = PartSizeForPieceCount(length, count);
            if (someSizeMakesIt) {
                EXPECT_EQ(size.error, "") << length << " / " << count;
                EXPECT_EQ(size.bytes, (length + count - 1) / count) << length << " / " << count;
                EXPECT_EQ(PiecesOf(length, size.bytes), count);
            } else {
                EXPECT_EQ(size.bytes, 0) << length << " / " << count;
                EXPECT_NE(size.error, "") << length << " / " << count;
            }
        }
    }
}

TEST(PieceCount, RefusalsNameTheCountsThatWork)
{
    EXPECT_EQ(PartSizeForPieceCount(9, 4).error,
              "--pieces 4: a 9-byte file cannot be cut into 4 pieces of one size; it can be cut into 2, 3, 5 or 9");
    EXPECT_EQ(PartSizeForPieceCount(9, 12).error,
              "--pieces 12: a 9-byte file cannot be cut into 12 pieces of one size; a piece holds at least 1 byte, "
              "so it makes at most 9 pieces");
    // Too many counts work to list: the nearest below and above.
    EXPECT_EQ(PartSizeForPieceCount(1000, 41).error,
              "--pieces 41: a 1000-byte file cannot be cut into 41 pieces of one size; the nearest counts that "
              "work are 40 and 42");
    EXPECT_EQ(PartSizeForPieceCount(0, 3).error, "--pieces 3: a 0-byte file cannot be cut into pieces");
    EXPECT_EQ(PartSizeForPieceCount(1, 1).error, "--pieces 1: give a count of at least 2");
    EXPECT_EQ(PartSizeForPieceCount(5, 0).error, "--pieces 0: give a count of at least 2");
    EXPECT_NE(PartSizeForPieceCount(5, -2).error, "");
}

// The nearest counts named are themselves taken, and none lies between them and N.
TEST(PieceCount, TheNearestCountsNamedWorkAndNoneLiesCloser)
{
    for (const std::int64_t length : {1000LL, 4097LL, 1000003LL, 10LL * 1024 * 1024 * 1024 + 7}) {
        for (std::int64_t count = 2; count <= length && count < 200000; count = count * 3 / 2 + 1) {
            const PartSize size = PartSizeForPieceCount(length, count);
            const std::size_t at = size.error.find("are ");
            if (size.error.empty() || at == std::string::npos)
                continue;
            const std::int64_t below = std::stoll(size.error.substr(at + 4));
            const std::int64_t above = std::stoll(size.error.substr(size.error.find(" and ") + 5));
            EXPECT_LT(below, count);
            EXPECT_GT(above, count);
            EXPECT_EQ(PartSizeForPieceCount(length, below).error, "") << length << ": " << below;
            EXPECT_EQ(PartSizeForPieceCount(length, above).error, "") << length << ": " << above;
            for (std::int64_t between = below + 1; between < above; ++between)
                EXPECT_NE(PartSizeForPieceCount(length, between).error, "") << length << ": " << between;
        }
    }
}

TEST(PieceCount, LargeFilesCutIntoAFewPiecesOfOneSize)
{
    constexpr std::int64_t kLength = 9223372036854775807;  // the largest length there is
    EXPECT_EQ(PartSizeForPieceCount(kLength, 2).bytes, 4611686018427387904);
    EXPECT_EQ(PartSizeForPieceCount(kLength, 3).bytes, 3074457345618258603);
}

}  // namespace
