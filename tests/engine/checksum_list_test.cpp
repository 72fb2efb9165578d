// The checksum list: its text read back over odd names, times and line ends;
// what the reader refuses; the fit to a set; and that sha256sum and sh
// accept what it writes, byte for byte.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "checksum_list.h"
#include "engine_fixture.h"
#include "join_journal.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();

// Names that sha256sum escapes, that sh or cmd quote, or that look like a comment.
const std::vector<std::string> kOddLeaves = {
    "plain.bin",        "with space.bin",    "\xC3\xA9t\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC.bin",
    "back\\slash.bin",  "new\nline.bin",     "carriage\rreturn.bin",
    "  lead and trail ", "#hash.bin",        "\\starts.bin",
    "-dash.bin",        "quote's \"both\" $HOME `x` %i!.bin", "ends in newline\n",
};

// The list of `leaf` cut into `count` pieces, with digests that differ per line.
ChecksumList MakeList(const std::string& leaf, const std::string& countText, std::int64_t partSize,
                      std::int64_t originalSize, std::int64_t modified = 0, int digits = 9)
{
    ChecksumList list{{leaf, originalSize, modified, digits, partSize, countText}, {}};
    const std::int64_t count = DecimalToInt64(countText);
    for (std::int64_t index = 0; index < count; ++index)
        list.lines.push_back({Sha256Of("piece " + std::to_string(index)), PieceName(leaf, index, countText)});
    list.lines.push_back({Sha256Of("whole"), leaf});
    return list;
}

// The list a split in place writes of the same set: the pieces from the last
// to the first, no line for the whole.
ChecksumList MakeInPlaceList(const std::string& leaf, const std::string& countText, std::int64_t partSize,
                             std::int64_t originalSize, std::int64_t modified = 0, int digits = 9)
{
    ChecksumList list = MakeList(leaf, countText, partSize, originalSize, modified, digits);
    list.facts.madeInPlace = true;
    list.lines.pop_back();
    std::reverse(list.lines.begin(), list.lines.end());
    return list;
}

// The list of either kind.
ChecksumList MakeListOfKind(bool inPlace, const std::string& leaf, const std::string& countText,
                            std::int64_t partSize, std::int64_t originalSize, std::int64_t modified = 0, int digits = 9)
{
    return inPlace ? MakeInPlaceList(leaf, countText, partSize, originalSize, modified, digits)
                   : MakeList(leaf, countText, partSize, originalSize, modified, digits);
}

std::string TextOf(const ChecksumList& list)
{
    std::string text = FormatListHeader(list.facts);
    for (const ListLine& line : list.lines)
        text += FormatListLine(line);
    return text;
}

std::string Crlf(const std::string& text)
{
    std::string out;
    for (const char c : text)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

void ExpectSame(const ChecksumList& actual, const ChecksumList& expected, const std::string& label)
{
    EXPECT_EQ(actual.facts.originalLeaf, expected.facts.originalLeaf) << label;
    EXPECT_EQ(actual.facts.originalSize, expected.facts.originalSize) << label;
    EXPECT_EQ(actual.facts.modifiedUtcNs, expected.facts.modifiedUtcNs) << label;
    EXPECT_EQ(actual.facts.modifiedDigits, expected.facts.modifiedDigits) << label;
    EXPECT_EQ(actual.facts.partSize, expected.facts.partSize) << label;
    EXPECT_EQ(actual.facts.countText, expected.facts.countText) << label;
    EXPECT_EQ(actual.facts.madeInPlace, expected.facts.madeInPlace) << label;
    ASSERT_EQ(actual.lines.size(), expected.lines.size()) << label;
    for (std::size_t i = 0; i < actual.lines.size(); ++i) {
        EXPECT_EQ(actual.lines[i].digest, expected.lines[i].digest) << label << " line " << i;
        EXPECT_EQ(actual.lines[i].leaf, expected.lines[i].leaf) << label << " line " << i;
    }
}

std::optional<ChecksumList> Parse(const std::string& text, std::string& problem)
{
    problem.clear();
    return ParseChecksumList(text, problem);
}

// The header's "# key: value" line for `key`.
std::string FactLine(const std::string& text, const std::string& key)
{
    const std::size_t at = text.find("\n# " + key + ": ");
    return at == std::string::npos ? std::string() : text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

TEST(ChecksumList, ReadsBackWhatItWritesOverNamesTimesAndLineEnds)
{
    const struct {
        std::int64_t modified;
        int digits;
    } times[] = {{0, 9}, {-1, 9}, {1'765'102'272'123'456'789, 9}, {-86'400'000'000'000 * 365 * 70 - 100, 7},
                 {1'765'102'272'123'456'700, 7}, {kMax64, 9}, {kMin64, 9}, {951'782'400'000'000'000, 0}};
    for (const std::string& leaf : kOddLeaves) {
        for (const auto& time : times) {
            for (const auto& [countText, inPlace] : {std::pair{"3", false}, {"03", false}, {"3", true}, {"03", true}}) {
                const ChecksumList list = MakeListOfKind(inPlace, leaf, countText, 10, 25, time.modified, time.digits);
                for (const std::string& text : {TextOf(list), Crlf(TextOf(list))}) {
                    const std::string label = "name \"" + leaf + "\", time " + std::to_string(time.modified) +
                                              (text.find('\r') == std::string::npos ? ", LF" : ", CRLF") +
                                              (inPlace ? ", made in place" : "");
                    std::string problem;
                    const auto parsed = Parse(text, problem);
                    ASSERT_TRUE(parsed.has_value()) << label << ": " << problem;
                    ExpectSame(*parsed, list, label);
                }
            }
        }
    }
}

TEST(ChecksumList, WritesTheTimeAsUtcToItsDigits)
{
    const struct {
        std::int64_t modified;
        int digits;
        const char* text;
    } cases[] = {
        {0, 9, "1970-01-01 00:00:00.000000000 UTC"},
        {-1, 9, "1969-12-31 23:59:59.999999999 UTC"},
        {-1, 7, "1969-12-31 23:59:59.9999999 UTC"},
        {-1, 0, "1969-12-31 23:59:59 UTC"},
        {1'765'102'272'123'456'789, 9, "2025-12-07 10:11:12.123456789 UTC"},
        {1'765'102'272'123'456'789, 7, "2025-12-07 10:11:12.1234567 UTC"},
        {951'782'400'000'000'000, 0, "2000-02-29 00:00:00 UTC"},
        {-2'203'891'200'000'000'000, 3, "1900-03-01 00:00:00.000 UTC"},
        {kMax64, 9, "2262-04-11 23:47:16.854775807 UTC"},
        {kMin64, 9, "1677-09-21 00:12:43.145224192 UTC"},
    };
    for (const auto& c : cases) {
        const std::string text = FormatListHeader({"a", 2, c.modified, c.digits, 1, "2"});
        EXPECT_EQ(FactLine(text, "modified"), std::string("# modified: ") + c.text) << c.modified;
    }
}

TEST(ChecksumList, RefusesWhatNoListOfOursHolds)
{
    const std::string valid = TextOf(MakeList("orig.bin", "3", 10, 25));
    const auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = valid;
        return text.replace(text.find(from), from.size(), to);
    };
    const ChecksumList inPlace = MakeInPlaceList("orig.bin", "3", 10, 25);
    const std::string inPlaceValid = TextOf(inPlace);
    const auto inPlaceReplaced = [&](const std::string& from, const std::string& to) {
        std::string text = inPlaceValid;
        return text.replace(text.find(from), from.size(), to);
    };
    Journal journal;
    journal.originalLeaf = "orig.bin";
    journal.countText = "3";
    const std::string firstLine = FormatListLine(MakeList("orig.bin", "3", 10, 25).lines[0]);
    const struct {
        const char* label;
        std::string text;
        const char* problem;
    } cases[] = {
        {"empty", "", "it is empty"},
        {"a journal", FormatJournal(journal), "line 1: "},
        {"random bytes", std::string("\x8f\x01zq\xff\n\x13", 7), "line 1: "},
        {"a NUL", valid + std::string(1, '\0'), "NUL"},
        {"only comments", valid.substr(0, valid.find(firstLine)), "ends before its first checksum line"},
        {"only checksum lines", valid.substr(valid.find(firstLine)), "no \"# original:\" line"},
        {"a garbled hex digit", replaced(firstLine.substr(0, 5), firstLine.substr(0, 4) + "g"), "line 14: "},
        {"a short digest", replaced(firstLine.substr(0, 64), firstLine.substr(0, 63)), "line 14: "},
        {"one space", replaced(firstLine, std::string(firstLine).replace(64, 2, " ")), "line 14: "},
        {"a tab", replaced(firstLine, std::string(firstLine).replace(64, 2, "\t\t")), "line 14: "},
        {"no name", valid + std::string(64, 'a') + "  \n", "line 18: "},
        {"a bad escape", valid + "\\" + std::string(64, 'a') + "  x\\t\n", "line 18: "},
        {"a comment below", valid + "# later\n", "line 18: a comment below"},
        {"a second fact", replaced("# size: 25\n", "# size: 25\n# size: 25\n"), "line 4: a second \"size\""},
        {"a missing fact", replaced("# part size: 10\n", ""), "no \"# part size:\" line"},
        {"a negative size", replaced("# size: 25", "# size: -25"), "line 3: "},
        {"a part size of 0", replaced("# part size: 10", "# part size: 0"), "line 5: "},
        {"a size past 64 bits", replaced("# size: 25", "# size: 9223372036854775808"), "line 3: "},
        {"a count of 0", replaced("# pieces: 3", "# pieces: 0"), "line 6: "},
        {"a count past 32 bits", replaced("# pieces: 3", "# pieces: 2147483648"), "line 6: "},
        {"no such day", replaced("1970-01-01", "2023-02-29"), "line 4: "},
        {"no leap century", replaced("1970-01-01", "1900-02-29"), "line 4: "},
        {"hour 24", replaced("00:00:00.", "24:00:00."), "line 4: "},
        {"a leap second", replaced("00:00:00.", "23:59:60."), "line 4: "},
        {"ten digits", replaced(".000000000 UTC", ".0000000000 UTC"), "line 4: "},
        {"a bare dot", replaced(".000000000 UTC", ". UTC"), "line 4: "},
        {"no zone", replaced(" UTC", ""), "line 4: "},
        {"before 1677", replaced("1970-01-01 00:00:00.000000000", "1677-09-21 00:12:43.145224191"), "line 4: "},
        {"after 2262", replaced("1970-01-01 00:00:00.000000000", "2262-04-11 23:47:16.854775808"), "line 4: "},
        {"another way of splitting", inPlaceReplaced("# split: in place", "# split: forward"), "line 7: "},
        {"the way twice", inPlaceReplaced("# split: in place\n", "# split: in place\n# split: in place\n"),
         "line 8: a second \"split\""},
        {"a list made in place, only comments", inPlaceValid.substr(0, inPlaceValid.find(FormatListLine(inPlace.lines[0]))),
         "ends before its first checksum line"},
    };
    for (const auto& c : cases) {
        std::string problem;
        EXPECT_FALSE(Parse(c.text, problem).has_value()) << c.label;
        EXPECT_NE(problem.find(c.problem), std::string::npos) << c.label << ": " << problem;
    }
}

TEST(ChecksumList, ReadsWhatSha256sumAndEditorsAlsoWrite)
{
    const ChecksumList list = MakeList("orig.bin", "2", 10, 15);
    std::string text = TextOf(list);
    const std::string first = FormatListLine(list.lines[0]);
    std::string upper = first;
    for (std::size_t i = 0; i < 64; ++i)
        upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[i])));
    const struct {
        const char* label;
        std::string text;
    } cases[] = {
        {"no last line end", text.substr(0, text.size() - 1)},
        {"CRLF without the last", Crlf(text).substr(0, Crlf(text).size() - 2)},
        {"blank lines and notes", "# a note\n\n" + text + "\r\n\n"},
        {"a binary marker", std::string(text).replace(text.find(first) + 65, 1, "*")},
        {"upper-case hex", std::string(text).replace(text.find(first), first.size(), upper)},
        {"an escape it need not have", std::string(text).replace(text.find(first), 0, "\\")},
    };
    for (const auto& c : cases) {
        std::string problem;
        const auto parsed = Parse(c.text, problem);
        ASSERT_TRUE(parsed.has_value()) << c.label << ": " << problem;
        ExpectSame(*parsed, list, c.label);
    }
}

TEST(ChecksumList, ACutListIsRefusedOrMisfitsAtEveryByte)
{
    const PieceSet set{"some/dir/my orig\n.bin", "3", 3};
    for (const bool inPlace : {false, true}) {
        const std::string valid = TextOf(MakeListOfKind(inPlace, "my orig\n.bin", "3", 10, 25));
        for (const std::string& text : {valid, Crlf(valid)}) {
            const std::size_t lineEnd = text.find('\r') == std::string::npos ? 1 : 2;
            for (std::size_t cut = 0; cut < text.size(); ++cut) {
                std::string problem;
                const auto parsed = Parse(text.substr(0, cut), problem);
                if (!parsed) {
                    EXPECT_FALSE(problem.empty()) << cut;
                    continue;
                }
                const bool whole = cut >= text.size() - lineEnd;
                EXPECT_EQ(ListMisfit(*parsed, set).has_value(), !whole)
                    << "cut at " << cut << " of " << text.size() << (inPlace ? ", made in place" : "");
            }
        }
    }
}

// The list of a split in place cut at any byte, bare or followed by zeros
// that the disk never filled: read as a partial list it keeps exactly the
// lines that are whole, which fit the set with a line for each of its last
// pieces; nothing torn is read, and once the header is whole it always reads.
TEST(ChecksumList, APartialListKeepsItsWholeLinesAtEveryCut)
{
    const PieceSet set{"some/dir/my orig\n.bin", "3", 3};
    const ChecksumList list = MakeInPlaceList("my orig\n.bin", "3", 10, 25);
    const std::string header = FormatListHeader(list.facts);
    std::string text = header;
    std::vector<std::size_t> lineEnds;
    for (const ListLine& line : list.lines) {
        text += FormatListLine(line);
        lineEnds.push_back(text.size());
    }
    for (std::size_t cut = 0; cut <= text.size(); ++cut) {
        for (const std::size_t zeros : {0, 300}) {
            const std::string label = "cut at " + std::to_string(cut) + (zeros > 0 ? ", then zeros" : "");
            std::string problem;
            const auto parsed = ParsePartialChecksumList(text.substr(0, cut) + std::string(zeros, '\0'), problem);
            if (cut < header.size()) {
                // A torn header may read as a list without lines; never with one.
                if (parsed) {
                    EXPECT_TRUE(parsed->lines.empty()) << label;
                }
                continue;
            }
            ASSERT_TRUE(parsed.has_value()) << label << ": " << problem;
            const auto whole = static_cast<std::size_t>(
                std::count_if(lineEnds.begin(), lineEnds.end(), [&](std::size_t end) { return end <= cut; }));
            ASSERT_EQ(parsed->lines.size(), whole) << label;
            EXPECT_EQ(PartialListMisfit(*parsed, set), std::nullopt) << label;
            for (std::int32_t index = 0; index < 3; ++index) {
                const ListLine* line = PieceLine(*parsed, index);
                const bool held = index >= 3 - static_cast<std::int32_t>(whole);
                ASSERT_EQ(line != nullptr, held) << label << ", piece " << index;
                if (held) {
                    EXPECT_EQ(line->leaf, PieceName("my orig\n.bin", index, "3")) << label;
                    EXPECT_EQ(line->digest, Sha256Of("piece " + std::to_string(index))) << label;
                }
            }
            EXPECT_EQ(WholeLine(*parsed), nullptr) << label;
        }
    }
}

TEST(ChecksumList, MisfitNamesWhatDoesNotFitTheSet)
{
    const PieceSet set{"some/dir/orig.bin", "3", 3};
    const auto with = [](ChecksumList list, const std::function<void(ChecksumList&)>& change) {
        change(list);
        return list;
    };
    const ChecksumList fits = MakeList("orig.bin", "3", 10, 25);
    const ChecksumList inPlace = MakeInPlaceList("orig.bin", "3", 10, 25);
    const std::string wholeInPlace =
        "it was made by a split in place, which lists no whole original, yet a line names \"orig.bin\"";
    const struct {
        const char* label;
        ChecksumList list;
        std::optional<std::string> misfit;
    } cases[] = {
        {"fits", fits, std::nullopt},
        {"last piece of 1 byte", MakeList("orig.bin", "3", 10, 21), std::nullopt},
        {"last piece whole", MakeList("orig.bin", "3", 10, 30), std::nullopt},
        {"another count", MakeList("orig.bin", "4", 10, 35), "it is for a set of \"4\" pieces, not \"3\""},
        {"another spelling", MakeList("orig.bin", "03", 10, 25), "it is for a set of \"03\" pieces, not \"3\""},
        {"a piece line missing", with(fits, [](ChecksumList& l) { l.lines.erase(l.lines.begin() + 1); }),
         "it lists 2 pieces and the original, not 3 pieces and the original"},
        {"a line too many", with(fits, [](ChecksumList& l) { l.lines.push_back(l.lines.back()); }),
         "it lists 4 pieces and the original, not 3 pieces and the original"},
        {"pieces swapped", with(fits, [](ChecksumList& l) { std::swap(l.lines[0], l.lines[1]); }),
         "its line for piece 0 names \"orig.bin.1.3.plit\", not \"orig.bin.0.3.plit\""},
        {"another original's line", with(fits, [](ChecksumList& l) { l.lines.back().leaf = "other\n.bin"; }),
         "its last line names \"other\\n.bin\", not the original \"orig.bin\""},
        {"another original's fact", with(fits, [](ChecksumList& l) { l.facts.originalLeaf = "other.bin"; }),
         "it is for the original \"other.bin\", not \"orig.bin\""},
        {"too large", MakeList("orig.bin", "3", 10, 31), "no set of 3 pieces of 10 bytes makes an original of 31 bytes"},
        {"too small", MakeList("orig.bin", "3", 10, 20), "no set of 3 pieces of 10 bytes makes an original of 20 bytes"},
        // Three pieces whose whole passes 64 bits fit when those before the last hold less.
        {"the largest", MakeList("orig.bin", "3", kMax64 / 2, kMax64), std::nullopt},
        {"overflowing", MakeList("orig.bin", "3", kMax64 / 2 + 1, kMax64),
         "no set of 3 pieces of 4611686018427387904 bytes makes an original of 9223372036854775807 bytes"},
        {"the largest, too large", MakeList("orig.bin", "3", kMax64 / 3, kMax64),
         "no set of 3 pieces of 3074457345618258602 bytes makes an original of 9223372036854775807 bytes"},
        {"made in place", inPlace, std::nullopt},
        {"made in place, last piece whole", MakeInPlaceList("orig.bin", "3", 10, 30), std::nullopt},
        {"made in place, with a whole line",
         with(inPlace, [](ChecksumList& l) { l.lines.push_back({Sha256Of("whole"), "orig.bin"}); }), wholeInPlace},
        {"made in place, the whole line first",
         with(inPlace, [](ChecksumList& l) { l.lines.insert(l.lines.begin(), {Sha256Of("whole"), "orig.bin"}); }),
         wholeInPlace},
        {"a forward list said to be made in place", with(fits, [](ChecksumList& l) { l.facts.madeInPlace = true; }),
         wholeInPlace},
        {"made in place, not said so", with(inPlace, [](ChecksumList& l) { l.facts.madeInPlace = false; }),
         "it lists 2 pieces and the original, not 3 pieces and the original"},
        {"made in place, in index order",
         with(inPlace, [](ChecksumList& l) { std::reverse(l.lines.begin(), l.lines.end()); }),
         "its line for piece 0 names \"orig.bin.2.3.plit\", not \"orig.bin.0.3.plit\""},
        {"made in place, two lines swapped", with(inPlace, [](ChecksumList& l) { std::swap(l.lines[1], l.lines[2]); }),
         "its line for piece 0 names \"orig.bin.1.3.plit\", not \"orig.bin.0.3.plit\""},
        {"made in place, piece 0's line missing", with(inPlace, [](ChecksumList& l) { l.lines.pop_back(); }),
         "it lists only the last 2 of the 3 pieces: the split in place that writes it has not finished"},
        {"made in place, piece 1's line missing", with(inPlace, [](ChecksumList& l) { l.lines.erase(l.lines.begin() + 1); }),
         "it lists 2 pieces, not 3"},
        {"made in place, a line too many", with(inPlace, [](ChecksumList& l) { l.lines.push_back(l.lines.back()); }),
         "it lists 4 pieces, not 3"},
        {"made in place, another count", MakeInPlaceList("orig.bin", "4", 10, 35),
         "it is for a set of \"4\" pieces, not \"3\""},
        {"made in place, another original's fact",
         with(inPlace, [](ChecksumList& l) { l.facts.originalLeaf = "other.bin"; }),
         "it is for the original \"other.bin\", not \"orig.bin\""},
        {"made in place, too large", MakeInPlaceList("orig.bin", "3", 10, 31),
         "no set of 3 pieces of 10 bytes makes an original of 31 bytes"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ListMisfit(c.list, set), c.misfit) << c.label;
}

// The list of a split in place that did not finish: the lines of the last
// pieces, from the last down, fit; anything else a split in place never
// writes does not.
TEST(ChecksumList, PartialMisfitTakesTheLinesOfTheLastPiecesOnly)
{
    const PieceSet set{"some/dir/orig.bin", "3", 3};
    const ChecksumList inPlace = MakeInPlaceList("orig.bin", "3", 10, 25);
    const auto first = [&](std::size_t lines) {
        ChecksumList list = inPlace;
        list.lines.resize(lines);
        return list;
    };
    const auto with = [](ChecksumList list, const std::function<void(ChecksumList&)>& change) {
        change(list);
        return list;
    };
    ChecksumList forward = MakeList("orig.bin", "3", 10, 25);
    forward.lines.resize(2);
    const struct {
        const char* label;
        ChecksumList list;
        std::optional<std::string> misfit;
    } cases[] = {
        {"no line yet", first(0), std::nullopt},
        {"the last piece's line", first(1), std::nullopt},
        {"two lines", first(2), std::nullopt},
        {"every line", first(3), std::nullopt},
        {"a line too many", with(inPlace, [](ChecksumList& l) { l.lines.push_back(l.lines.back()); }),
         "it lists 4 pieces, not at most 3"},
        {"the last piece's line skipped", with(first(2), [](ChecksumList& l) { l.lines.erase(l.lines.begin()); }),
         "its line for piece 2 names \"orig.bin.1.3.plit\", not \"orig.bin.2.3.plit\""},
        {"in index order", with(forward, [](ChecksumList& l) { l.facts.madeInPlace = true; }),
         "its line for piece 2 names \"orig.bin.0.3.plit\", not \"orig.bin.2.3.plit\""},
        {"a whole line", with(first(1), [](ChecksumList& l) { l.lines.push_back({Sha256Of("whole"), "orig.bin"}); }),
         "it was made by a split in place, which lists no whole original, yet a line names \"orig.bin\""},
        {"not made in place", forward, "it was not made by a split in place"},
        {"another count", MakeInPlaceList("orig.bin", "4", 10, 35), "it is for a set of \"4\" pieces, not \"3\""},
        {"another original's fact", with(first(1), [](ChecksumList& l) { l.facts.originalLeaf = "other.bin"; }),
         "it is for the original \"other.bin\", not \"orig.bin\""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PartialListMisfit(c.list, set), c.misfit) << c.label;
}

TEST(ChecksumList, ListedPieceSizeIsThePartSizeOrTheRest)
{
    const SetFacts facts{"orig.bin", 25, 0, 9, 10, "3"};
    EXPECT_EQ(ListedPieceSize(facts, 0), 10);
    EXPECT_EQ(ListedPieceSize(facts, 1), 10);
    EXPECT_EQ(ListedPieceSize(facts, 2), 5);
    EXPECT_EQ(ListedPieceSize({"a", 7, 0, 9, 7, "01"}, 0), 7);
}

TEST(ChecksumList, ItsPathIsTheOriginalsWithItsOwnSuffix)
{
    EXPECT_EQ(ChecksumListPath("dir/movie.avi"), "dir/movie.avi.plit.sha256");
    EXPECT_FALSE(ParsePieceName(ChecksumListPath("dir/movie.avi")).has_value());
}

class ChecksumListFileTest : public EngineTest {
protected:
    PieceSet set() const { return {path("orig.bin"), "3", 3}; }
    std::string listPath() const { return ChecksumListPath(path("orig.bin")); }
};

TEST_F(ChecksumListFileTest, ReadsWhatIsAtTheListsPath)
{
    EXPECT_EQ(ReadChecksumList(set()).found, ListFound::None);

    const ChecksumList list = MakeList("orig.bin", "3", 10, 25);
    WriteFileBytes(listPath(), Crlf(TextOf(list)));
    FoundList found = ReadChecksumList(set());
    ASSERT_EQ(found.found, ListFound::Read) << found.reason;
    EXPECT_EQ(found.path, listPath());
    ExpectSame(found.list, list, "read");

    WriteFileBytes(listPath(), TextOf(list).substr(0, 200));
    found = ReadChecksumList(set());
    EXPECT_EQ(found.found, ListFound::Damaged);
    EXPECT_NE(found.reason.find("line "), std::string::npos) << found.reason;

    // Comments beyond what any list of three pieces holds.
    WriteFileBytes(listPath(), std::string(70 * 1024, '#') + "\n" + TextOf(list));
    found = ReadChecksumList(set());
    EXPECT_EQ(found.found, ListFound::Damaged);
    EXPECT_NE(found.reason.find("larger"), std::string::npos) << found.reason;
}

// A list a split in place was cut writing, its last line torn and a tail
// of zeros after it: whole, it is damaged; partial, its whole lines read.
TEST_F(ChecksumListFileTest, ATornListReadsOnlyAsAPartialList)
{
    const ChecksumList list = MakeInPlaceList("orig.bin", "3", 10, 25);
    const std::string text = TextOf(list);
    const std::string torn = text.substr(0, text.size() - 30) + std::string(4096, '\0');
    WriteFileBytes(listPath(), torn);
    EXPECT_EQ(ReadChecksumList(set()).found, ListFound::Damaged);
    const FoundList found = ReadPartialChecksumList(set());
    ASSERT_EQ(found.found, ListFound::Read) << found.reason;
    EXPECT_TRUE(found.identity.has_value());
    ChecksumList expected = list;
    expected.lines.pop_back();
    ExpectSame(found.list, expected, "partial");
    EXPECT_EQ(PartialListMisfit(found.list, set()), std::nullopt);
    EXPECT_EQ(ReadFileBytes(listPath()), torn);
}

TEST_F(ChecksumListFileTest, ReportsTheSystemsReasonWhenItCannotRead)
{
    WriteFileBytes(listPath(), TextOf(MakeList("orig.bin", "3", 10, 25)));
    for (const auto read : {ReadChecksumList, ReadPartialChecksumList}) {
        for (const IoCall call : {IoCall::OpenForReading, IoCall::Read}) {
            files_.failCall(call, 1, PathIs(listPath()));
            const FoundList found = read(set());
            EXPECT_EQ(found.found, ListFound::Unreadable) << IoCallName(call);
            EXPECT_EQ(found.reason, kInjectedFault) << IoCallName(call);
        }
    }
    EXPECT_EQ(ReadFileBytes(listPath()), TextOf(MakeList("orig.bin", "3", 10, 25)));
}

#ifndef _WIN32

// Runs `command` with sh in `folder`; the exit status, and its output in `output`.
int RunIn(const std::string& folder, const std::string& command, std::string* output = nullptr)
{
    WriteFileBytes(folder + "/../command.sh", "cd \"$VANDREL_TEST_DIR\" && " + command + "\n");
    setenv("VANDREL_TEST_DIR", folder.c_str(), 1);
    FILE* pipe = popen(("sh '" + folder + "/../command.sh' 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    std::string text;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        text.append(buffer, got);
    const int status = pclose(pipe);
    if (output)
        *output = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool HasSha256sum()
{
    return std::system("command -v sha256sum >/dev/null 2>&1") == 0;
}

// The header's command for sh, as it stands after "#   Linux:   ".
std::string LinuxJoinCommand(const std::string& text)
{
    const std::string mark = "\n#   Linux:   ";
    const std::size_t at = text.find(mark) + mark.size();
    return text.substr(at, text.find('\n', at) - at);
}

// The header's command that checks the pieces.
std::string CheckCommand(const std::string& text)
{
    const std::string mark = "# Check the pieces in this folder:  ";
    const std::size_t at = text.find(mark) + mark.size();
    return text.substr(at, text.find('\n', at) - at);
}

TEST_F(ChecksumListFileTest, Sha256sumChecksAndShJoinsWhatItWrites)
{
    if (!HasSha256sum())
        GTEST_SKIP() << "sha256sum is not installed";
    // A list made in place differs in its order and its check command, not in
    // how names are written: a few names that the command words differently.
    const std::vector<std::string> inPlaceLeaves = {"plain.bin", "new\nline.bin", "-dash.bin",
                                                    "quote's \"both\" $HOME `x` %i!.bin"};
    int made = 0;
    for (const std::string& leaf : kOddLeaves) {
        for (const auto& [countText, inPlace] : {std::pair{"4", false}, {"004", false}, {"4", true}}) {
            if (inPlace && std::find(inPlaceLeaves.begin(), inPlaceLeaves.end(), leaf) == inPlaceLeaves.end())
                continue;
            const std::string folder = path("set" + std::to_string(made++));
            fs::create_directory(PathFromUtf8(folder));
            const std::string original = MakeContent(1000, static_cast<std::uint32_t>(made));
            const std::vector<std::string> slices = Slices(original, 300);
            ChecksumList list{{leaf, 1000, 0, 9, 300, countText, inPlace}, {}};
            for (std::size_t index = 0; index < slices.size(); ++index) {
                const std::string name = PieceName(leaf, static_cast<std::int64_t>(index), countText);
                WriteFileBytes(folder + "/" + name, slices[index]);
                list.lines.push_back({Sha256Of(slices[index]), name});

                // sha256sum's own line for the piece, byte for byte.
                setenv("VANDREL_TEST_NAME", name.c_str(), 1);
                std::string own;
                EXPECT_EQ(RunIn(folder, "sha256sum -- \"$VANDREL_TEST_NAME\"", &own), 0);
                EXPECT_EQ(FormatListLine(list.lines.back()), own) << name;
            }
            if (inPlace)
                std::reverse(list.lines.begin(), list.lines.end());
            else
                list.lines.push_back({Sha256Of(original), leaf});
            const std::string text = TextOf(list);
            const std::string listLeaf = ChecksumListPath(leaf);
            WriteFileBytes(folder + "/" + listLeaf, text);
            EXPECT_EQ(ListMisfit(list, {folder + "/" + leaf, countText, 4}), std::nullopt) << leaf;
            setenv("VANDREL_TEST_NAME", listLeaf.c_str(), 1);
            const std::string label = "name \"" + leaf + "\", count " + countText + (inPlace ? ", made in place" : "");

            // Before the join: the header's check passes; without --ignore-missing
            // a forward list's whole line fails, while a list made in place has none.
            std::string output;
            EXPECT_EQ(RunIn(folder, CheckCommand(text), &output), 0) << label << "\n" << output;
            EXPECT_EQ(RunIn(folder, "sha256sum -c --ignore-missing -- \"$VANDREL_TEST_NAME\"", &output), 0)
                << label << "\n" << output;
            const int plain = RunIn(folder, "sha256sum -c -- \"$VANDREL_TEST_NAME\"", &output);
            if (inPlace) {
                EXPECT_EQ(plain, 0) << label << "\n" << output;
                EXPECT_EQ(CheckCommand(text).find("--ignore-missing"), std::string::npos) << label;
            } else {
                EXPECT_NE(plain, 0) << label;
                EXPECT_NE(output.find("WARNING: 1 listed file could not be read"), std::string::npos)
                    << label << "\n" << output;
            }

            // The header's own join command, then every line checks.
            EXPECT_EQ(RunIn(folder, LinuxJoinCommand(text), &output), 0) << label << "\n" << output;
            EXPECT_EQ(ReadFileBytes(folder + "/" + leaf), original) << label;
            EXPECT_EQ(RunIn(folder, "sha256sum -c --strict -- \"$VANDREL_TEST_NAME\"", &output), 0)
                << label << "\n" << output;
        }
    }
}

// The list a split in place writes as it cuts the pieces off its input: the
// fact that says so, the pieces' lines from the last to the first, each its
// piece's, no line for the whole; sha256sum -c checks it with and without
// --ignore-missing, and a join of the pieces checks against it.
TEST_F(ChecksumListFileTest, ASplitInPlaceListsItsPiecesFromTheLast)
{
    if (!HasSha256sum())
        GTEST_SKIP() << "sha256sum is not installed";
    const std::string folder = path("set");
    fs::create_directory(PathFromUtf8(folder));
    const std::string originalPath = folder + "/orig.bin";
    const std::string original = MakeContent(1000, 77);
    WriteFileBytes(originalPath, original);
    jobState.inPlace = InPlaceChoice::Always;
    runSplit(originalPath, 300);
    ASSERT_EQ(result_.outcome, JobOutcome::Succeeded) << result_.reason;
    ASSERT_TRUE(result_.inPlace);

    const std::string text = ReadFileBytes(ChecksumListPath(originalPath));
    std::string problem;
    const auto list = Parse(text, problem);
    ASSERT_TRUE(list.has_value()) << problem;
    EXPECT_TRUE(list->facts.madeInPlace);
    EXPECT_EQ(FactLine(text, "split"), "# split: in place");
    const std::vector<std::string> slices = Slices(original, 300);
    ASSERT_EQ(list->lines.size(), slices.size());
    for (std::size_t at = 0; at < slices.size(); ++at) {
        const std::size_t index = slices.size() - 1 - at;
        EXPECT_EQ(list->lines[at].leaf, PieceName("orig.bin", static_cast<std::int64_t>(index), "4")) << at;
        EXPECT_EQ(list->lines[at].digest, Sha256Of(slices[index])) << at;
    }
    EXPECT_EQ(ListMisfit(*list, {originalPath, "4", 4}), std::nullopt);

    std::string output;
    setenv("VANDREL_TEST_NAME", "orig.bin.plit.sha256", 1);
    EXPECT_EQ(RunIn(folder, CheckCommand(text), &output), 0) << output;
    EXPECT_EQ(RunIn(folder, "sha256sum -c --ignore-missing -- \"$VANDREL_TEST_NAME\"", &output), 0) << output;

    runJoin(folder + "/orig.bin.2.4.plit");
    EXPECT_EQ(result_.outcome, JobOutcome::Succeeded) << result_.reason;
    EXPECT_TRUE(result_.checked);
    EXPECT_EQ(ReadFileBytes(originalPath), original);
    EXPECT_FALSE(FileExists(ChecksumListPath(originalPath)));
    EXPECT_FALSE(FileExists(folder + "/orig.bin.0.4.plit"));
}

#endif

}  // namespace
