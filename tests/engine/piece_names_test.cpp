// Number text, piece names and the parse of a chosen piece, and the UTF-8 path
// conversion they rest on.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "piece_names.h"
#include "platform/text.h"

namespace {

constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();

TEST(NumberText, Int64ToDecimalWritesPlainDecimal)
{
    const struct {
        std::int64_t value;
        const char* text;
    } cases[] = {
        {0, "0"},
        {10, "10"},
        {-5, "-5"},
        {2147483648, "2147483648"},
        {kMax64, "9223372036854775807"},
        {kMin64, "-9223372036854775808"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Int64ToDecimal(c.value), c.text) << c.value;
}

TEST(NumberText, DecimalToInt64ReadsLikeAStream)
{
    const struct {
        const char* text;
        std::int64_t value;
    } cases[] = {
        {"", 0},
        {"abc", 0},
        {"  42", 42},
        {"\t\n 7", 7},
        {"12a", 12},
        {"-5", -5},
        {"+8", 8},
        {"007", 7},
        {"1.5", 1},
        {"0x10", 0},
        {"- 5", 0},
        {"-", 0},
        {"+", 0},
        {"--1", 0},
        {" ", 0},
        {"9223372036854775807", kMax64},
        {"9223372036854775808", 0},
        {"9223372036854775808abc", 0},
        {"99999999999999999999999", 0},
        {"-9223372036854775808", kMin64},
        {"-9223372036854775809", 0},
        {"-00000000000000000000009223372036854775808", kMin64},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DecimalToInt64(std::string_view(c.text)), c.value) << '"' << c.text << '"';
}

TEST(NumberText, DecimalToInt64ReadsWindowText)
{
    EXPECT_EQ(DecimalToInt64(std::wstring(L"  42")), 42);
    EXPECT_EQ(DecimalToInt64(std::wstring(L"12 MB")), 12);
    EXPECT_EQ(DecimalToInt64(std::wstring(L"-5")), -5);
    EXPECT_EQ(DecimalToInt64(std::wstring(L"")), 0);
    // Digits of other scripts are no decimal digits.
    EXPECT_EQ(DecimalToInt64(std::wstring(L"\u0661\u0662")), 0);
    EXPECT_EQ(DecimalToInt64(std::wstring(L"\u00e95")), 0);
}

TEST(PieceNames, IndexAndCountAreWrittenWithoutPadding)
{
    EXPECT_EQ(PieceName("C:\\data\\movie.avi", 0, "3"), "C:\\data\\movie.avi.0.3.plit");
    EXPECT_EQ(PieceName("x", 10, "12"), "x.10.12.plit");
    EXPECT_EQ(PieceName("archive.tar.gz", 1, "2"), "archive.tar.gz.1.2.plit");
    EXPECT_EQ(PieceName("a.bin", 2, "03"), "a.bin.2.03.plit");
}

TEST(PieceNames, AnyPieceGivesTheSet)
{
    const struct {
        const char* chosen;
        const char* originalPath;
        const char* countText;
        std::int32_t count;
    } cases[] = {
        {"C:\\data\\movie.avi.1.3.plit", "C:\\data\\movie.avi", "3", 3},
        {"C:\\data\\movie.avi.0.3.plit", "C:\\data\\movie.avi", "3", 3},
        {"C:\\data\\movie.avi.2.3.plit", "C:\\data\\movie.avi", "3", 3},
        // The count text is kept verbatim.
        {"C:\\data\\a.bin.0.03.plit", "C:\\data\\a.bin", "03", 3},
        {"C:\\data\\a.bin.0.3x.plit", "C:\\data\\a.bin", "3x", 3},
        {"a.bin.0. 3.plit", "a.bin", " 3", 3},
        // The index text is never read, the last extension never tested.
        {"C:\\data\\a.bin.x.2.plit", "C:\\data\\a.bin", "2", 2},
        {"C:\\data\\movie.avi.1.3.txt", "C:\\data\\movie.avi", "3", 3},
        // Dots are searched in the whole path.
        {"C:\\my.dir\\movie.2.plit", "C:\\my", "2", 2},
        {"/home/u/my.dir/movie.2.plit", "/home/u/my", "2", 2},
        {"a.0.2147483647.plit", "a", "2147483647", 2147483647},
        {"a.0.1.plit", "a", "1", 1},
    };
    for (const auto& c : cases) {
        const std::optional<PieceSet> set = ParsePieceName(c.chosen);
        ASSERT_TRUE(set.has_value()) << c.chosen;
        EXPECT_EQ(set->originalPath, c.originalPath) << c.chosen;
        EXPECT_EQ(set->countText, c.countText) << c.chosen;
        EXPECT_EQ(set->pieceCount, c.count) << c.chosen;
    }
    const std::optional<PieceSet> set = ParsePieceName("C:\\data\\a.bin.0.03.plit");
    ASSERT_TRUE(set);
    EXPECT_EQ(PieceName(set->originalPath, 2, set->countText), "C:\\data\\a.bin.2.03.plit");
}

TEST(PieceNames, NamesWithoutAValidCountAreRefused)
{
    for (const char* chosen : {
             "C:\\data\\a.bin.plit",
             "C:\\data\\movie",
             "",
             ".",
             "a.bin.0.2147483648.plit",
             "a.bin.0.9223372036854775808.plit",
             "a.bin.0.-3.plit",
             "a.bin.0.-2147483648.plit",
             "a.bin.0.0.plit",
             "a.bin.0.x3.plit",
             "/tmp/my.dir/movie",
         })
        EXPECT_FALSE(ParsePieceName(chosen).has_value()) << '"' << chosen << '"';
}

TEST(PieceNames, APathWithoutDotsIsItsOwnCount)
{
    // No dot at all: the whole path is the count text, and cutting leaves it whole.
    const std::optional<PieceSet> set = ParsePieceName("12");
    ASSERT_TRUE(set);
    EXPECT_EQ(set->originalPath, "12");
    EXPECT_EQ(set->countText, "12");
    EXPECT_EQ(set->pieceCount, 12);
}

TEST(PathText, NonAsciiNamesRoundTripThroughUtf8)
{
    // Cyrillic, CJK, and an emoji outside the Basic Multilingual Plane.
    const std::wstring wide = L"C:\\\u0414\u0430\u0447\u0430\\\u6587\u4ef6 \U0001F600.bin";
    const std::string utf8 = "C:\\\xD0\x94\xD0\xB0\xD1\x87\xD0\xB0\\\xE6\x96\x87\xE4\xBB\xB6 \xF0\x9F\x98\x80.bin";
    EXPECT_EQ(ToNarrowPath(wide), utf8);
    EXPECT_EQ(ToWidePath(utf8), wide);
    EXPECT_EQ(ToWidePath(ToNarrowPath(wide)), wide);
    EXPECT_EQ(ToNarrowPath(L""), "");
    EXPECT_EQ(ToWidePath(""), L"");
}

// Bytes that begin no UTF-8 sequence (F5 to FF) are malformed, never the lead
// of a three-byte character.
TEST(PathText, BytesThatLeadNoSequenceBecomeReplacementCharacters)
{
    for (const std::string malformed : {"\xF8\x80\x80", "\xFF\xBF\xBF", "\xF5\x80\x80\x80"}) {
        const std::wstring wide = ToWidePath(malformed);
        ASSERT_FALSE(wide.empty());
        for (const wchar_t c : wide)
            EXPECT_EQ(static_cast<unsigned>(c), 0xFFFDu);
    }
}

TEST(PathText, LoneSurrogateBecomesReplacementCharacter)
{
    const std::wstring lone(1, static_cast<wchar_t>(0xD800));
    EXPECT_EQ(ToNarrowPath(L"a" + lone + L"b"), "a\xEF\xBF\xBD" "b");
}

}  // namespace
