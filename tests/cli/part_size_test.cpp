#include <gtest/gtest.h>

#include "part_size.h"

namespace {

std::int64_t BytesOf(const char* text)
{
    const PartSize size = ParsePartSize(text);
    EXPECT_EQ(size.error, "") << text;
    return size.bytes;
}

std::string RefusalOf(const char* text)
{
    const PartSize size = ParsePartSize(text);
    EXPECT_EQ(size.bytes, 0) << text;
    EXPECT_NE(size.error, "") << text;
    return size.error;
}

TEST(PartSize, UnitsAreBinaryMultiplesInAnyCase)
{
    EXPECT_EQ(BytesOf("4096B"), 4096);
    EXPECT_EQ(BytesOf("3KB"), 3 * 1024);
    EXPECT_EQ(BytesOf("3kb"), 3 * 1024);
    EXPECT_EQ(BytesOf("5Mb"), 5 * 1048576);
    EXPECT_EQ(BytesOf("2gB"), 2LL * 1073741824);
    EXPECT_EQ(BytesOf("1b"), 1);
}

TEST(PartSize, NoUnitMeansMegabytes)
{
    EXPECT_EQ(BytesOf("5"), 5 * 1048576);
    EXPECT_EQ(BytesOf("007"), 7 * 1048576);
}

TEST(PartSize, BlanksAroundAndBeforeTheUnitAreAllowed)
{
    EXPECT_EQ(BytesOf(" 700 KB "), 700 * 1024);
    EXPECT_EQ(BytesOf("1\tGB"), 1073741824);
}

// The largest file FAT32 holds: a "4GB" piece would be one byte too big for it.
TEST(PartSize, Fat32IsOneByteShortOfFourGigabytes)
{
    EXPECT_EQ(BytesOf("fat32"), 4294967295);
    EXPECT_EQ(BytesOf(" FAT32 "), 4294967295);
    EXPECT_EQ(BytesOf("4GB") - BytesOf("Fat32"), 1);
    EXPECT_NE(RefusalOf("fat").find("is not a number"), std::string::npos);
    EXPECT_NE(RefusalOf("fat32GB").find("is not a number"), std::string::npos);
    EXPECT_NE(RefusalOf("2fat32").find("unknown unit"), std::string::npos);
}

TEST(PartSize, TheLargestSizesThatFitAreTaken)
{
    EXPECT_EQ(BytesOf("9223372036854775807B"), INT64_MAX);
    EXPECT_EQ(BytesOf("8589934591GB"), 8589934591LL * 1073741824);
}

TEST(PartSize, SizesBeyondSixtyFourBitsAreRefused)
{
    EXPECT_EQ(RefusalOf("9223372036854775808B"), "SIZE \"9223372036854775808B\" is too large");
    EXPECT_EQ(RefusalOf("8589934592GB"), "SIZE \"8589934592GB\" is too large");
    EXPECT_EQ(RefusalOf("8796093022208"), "SIZE \"8796093022208\" is too large");
    EXPECT_EQ(RefusalOf("99999999999999999999999999KB"), "SIZE \"99999999999999999999999999KB\" is too large");
}

TEST(PartSize, ZeroAndNegativeSizesAreRefused)
{
    EXPECT_NE(RefusalOf("0").find("is zero"), std::string::npos);
    EXPECT_NE(RefusalOf("0GB").find("is zero"), std::string::npos);
    EXPECT_NE(RefusalOf("-5").find("is negative"), std::string::npos);
    EXPECT_NE(RefusalOf(" -1KB").find("is negative"), std::string::npos);
}

TEST(PartSize, TextThatIsNoWholeNumberIsRefused)
{
    for (const char* text : {"", "   ", "abc", "KB", "+5", "x5"})
        EXPECT_NE(RefusalOf(text).find("is not a number"), std::string::npos) << text;
    EXPECT_NE(RefusalOf("1.5GB").find("not a whole number"), std::string::npos);
    EXPECT_NE(RefusalOf("1,5").find("not a whole number"), std::string::npos);
}

TEST(PartSize, UnknownUnitsAreNamed)
{
    EXPECT_EQ(RefusalOf("5TB"), "SIZE \"5TB\" has an unknown unit \"TB\": use B, KB, MB or GB");
    EXPECT_EQ(RefusalOf("5 K"), "SIZE \"5 K\" has an unknown unit \"K\": use B, KB, MB or GB");
    EXPECT_NE(RefusalOf("5MBs").find("unknown unit \"MBs\""), std::string::npos);
    EXPECT_NE(RefusalOf("5 M B").find("unknown unit"), std::string::npos);
}

}  // namespace
