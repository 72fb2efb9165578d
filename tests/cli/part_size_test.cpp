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
    for (const char* text : {".5GB", "-.5", "1..5", "1.5.2"})
        EXPECT_NE(RefusalOf(text), "") << text;
    EXPECT_NE(RefusalOf("1,5").find("has a comma"), std::string::npos);
    EXPECT_NE(RefusalOf("1.").find("no digit after its point"), std::string::npos);
    EXPECT_NE(RefusalOf("1.GB").find("no digit after its point"), std::string::npos);
}

// A fraction counts in its unit and is rounded down to a whole byte, exactly,
// however many digits it has.
TEST(PartSize, DecimalsAreRoundedDownToAWholeByte)
{
    const struct {
        const char* text;
        std::int64_t bytes;
    } cases[] = {
        {"1.5GB", 1610612736},
        {"1.5", 1572864},
        {"0.5 kb", 512},
        {"0.001KB", 1},           // 1.024 bytes
        {"0.0009765625KB", 1},    // exactly 1 byte
        {"0.0009765624KB", 0},    // a hair less: refused below
        {"2.99B", 2},
        {"1.000000000000000000000000001B", 1},
        {"0.1GB", 107374182},     // 107,374,182.4
        {"0.9999999999999999999999GB", 1073741823},
        {"700.0MB", 734003200},
        {"8589934591.9999999999999GB", 9223372036854775807},  // the last byte that fits
    };
    for (const auto& c : cases) {
        const PartSize size = ParsePartSize(c.text);
        if (c.bytes == 0)
            EXPECT_NE(size.error.find("less than 1 byte"), std::string::npos) << c.text;
        else
            EXPECT_EQ(size.bytes, c.bytes) << c.text << ": " << size.error;
    }
    EXPECT_EQ(RefusalOf("0.5B"), "SIZE \"0.5B\" is less than 1 byte: a piece must hold at least 1 byte");
    EXPECT_EQ(RefusalOf("0.000"), "SIZE \"0.000\" is less than 1 byte: a piece must hold at least 1 byte");
    EXPECT_EQ(RefusalOf("8589934592.0GB"), "SIZE \"8589934592.0GB\" is too large");
}

// Each disc's piece leaves room for its file system on the smallest disc of its kind.
TEST(PartSize, NamedSizesFitTheirDiscs)
{
    const struct {
        const char* name;
        std::int64_t bytes;
        std::int64_t disc;
    } cases[] = {
        {"cd", 734003200, 737280000},
        {"dvd", 4697620480, 4707319808},
        {"dvd-dl", 8535408640, 8543666176},
        {"bd", 24956108800, 25025314816},
        {"fat32", 4294967295, 4294967296},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(BytesOf(c.name), c.bytes) << c.name;
        EXPECT_LT(BytesOf(c.name), c.disc) << c.name;
    }
    EXPECT_EQ(BytesOf(" DVD-DL "), 8535408640);
    EXPECT_EQ(BytesOf("Bd"), 24956108800);
    EXPECT_EQ(std::size(NamedSizes()), std::size(cases));
    for (const char* text : {"dvd dl", "dvd-", "cd2", "2cd", "dvd_dl"})
        EXPECT_NE(RefusalOf(text), "") << text;
    EXPECT_NE(RefusalOf("x").find("fat32, dvd, dvd-dl or bd"), std::string::npos);
}

TEST(PartSize, UnknownUnitsAreNamed)
{
    EXPECT_EQ(RefusalOf("5TB"), "SIZE \"5TB\" has an unknown unit \"TB\": use B, KB, MB or GB");
    EXPECT_EQ(RefusalOf("5 K"), "SIZE \"5 K\" has an unknown unit \"K\": use B, KB, MB or GB");
    EXPECT_NE(RefusalOf("5MBs").find("unknown unit \"MBs\""), std::string::npos);
    EXPECT_NE(RefusalOf("5 M B").find("unknown unit"), std::string::npos);
}

}  // namespace
