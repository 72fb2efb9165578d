// The piece size the main window hands to a split, from number and unit.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "piece_size.h"

TEST(PieceSizeFromNumberAndUnit, MultipliesByTheUnitsFactor)
{
    EXPECT_EQ(PieceSizeFromNumberAndUnit(7, "B"), 7);
    EXPECT_EQ(PieceSizeFromNumberAndUnit(2, "KB"), 2048);
    EXPECT_EQ(PieceSizeFromNumberAndUnit(5, "MB"), 5242880);
    EXPECT_EQ(PieceSizeFromNumberAndUnit(3, "GB"), 3221225472);
    EXPECT_EQ(PieceSizeFromNumberAndUnit(0, "MB"), 0);
}

TEST(PieceSizeFromNumberAndUnit, AnUnknownUnitGivesZero)
{
    EXPECT_EQ(PieceSizeFromNumberAndUnit(5, ""), 0);
    EXPECT_EQ(PieceSizeFromNumberAndUnit(5, "mb"), 0);
    EXPECT_EQ(PieceSizeFromNumberAndUnit(5, "TB"), 0);
    EXPECT_EQ(PieceSizeFromNumberAndUnit(5, "MB "), 0);
}

TEST(PieceSizeFromNumberAndUnit, AProductOutsideTheSigned64BitRangeGivesZeroInsteadOfWrapping)
{
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    // The largest numbers that still fit, and the first that do not.
    EXPECT_EQ(PieceSizeFromNumberAndUnit(kMax / 1073741824, "GB"), kMax / 1073741824 * 1073741824);
    EXPECT_EQ(PieceSizeFromNumberAndUnit(kMax / 1073741824 + 1, "GB"), 0);
    EXPECT_EQ(PieceSizeFromNumberAndUnit(kMax / 1024 + 1, "KB"), 0);
    EXPECT_EQ(PieceSizeFromNumberAndUnit(kMax, "MB"), 0);
    EXPECT_EQ(PieceSizeFromNumberAndUnit(kMax, "B"), kMax);
    // Wrapped, 17179869185 GB would become a plausible 1 GiB.
    EXPECT_EQ(PieceSizeFromNumberAndUnit(17179869185, "GB"), 0);
}
