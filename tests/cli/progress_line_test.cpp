#include <gtest/gtest.h>

#include "progress_line.h"

namespace {

TEST(ProgressLine, ShowsBarPercentageBytesSpeedAndTimeLeft)
{
    const std::int64_t mb = 1048576;
    EXPECT_EQ(FormatProgressLine(512 * mb, 1024 * mb, 2.0),
              "[############............]  50%  512.0 MB of 1.0 GB  256.0 MB/s  0:02 left");
}

TEST(ProgressLine, SpeedAndTimeLeftWaitUntilSomethingIsDone)
{
    EXPECT_EQ(FormatProgressLine(0, 1000, 5.0), "[........................]   0%  0 B of 1000 B  -- B/s  --:-- left");
    EXPECT_EQ(FormatProgressLine(500, 1000, 0.0), "[############............]  50%  500 B of 1000 B  -- B/s  --:-- left");
}

TEST(ProgressLine, CountsPastTheTotalShowAsComplete)
{
    // A join counts one read per piece beyond the total.
    EXPECT_EQ(FormatProgressLine(1010, 1000, 1.0), "[########################] 100%  1000 B of 1000 B  1000 B/s  0:00 left");
}

TEST(ProgressLine, AnEmptyJobIsComplete)
{
    EXPECT_EQ(FormatProgressLine(1, 0, 1.0).substr(0, 31), "[########################] 100%");
}

// The units of the piece size, GB the largest: a size never shows in a unit
// the user cannot type.
TEST(ProgressLine, BytesTakeTheLargestFittingUnitOfThePieceSize)
{
    EXPECT_EQ(FormatBytes(1023), "1023 B");
    EXPECT_EQ(FormatBytes(1024), "1.0 KB");
    EXPECT_EQ(FormatBytes(1536 * 1024), "1.5 MB");
    EXPECT_EQ(FormatBytes(3LL << 30), "3.0 GB");
    EXPECT_EQ(FormatBytes(3LL << 40), "3072.0 GB");
}

TEST(ProgressLine, DurationsShowHoursOnlyWhenThereAreAny)
{
    EXPECT_EQ(FormatDuration(0), "0:00");
    EXPECT_EQ(FormatDuration(61), "1:01");
    EXPECT_EQ(FormatDuration(3599), "59:59");
    EXPECT_EQ(FormatDuration(3600 + 62), "1:01:02");
}

}  // namespace
