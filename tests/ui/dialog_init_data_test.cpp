// Reading a template's initialisation data, which fills the unit list.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "framework/dialog_init_data.h"

namespace {

using Bytes = std::vector<unsigned char>;

void AppendEntry(Bytes& data, std::uint16_t id, std::uint16_t message, const std::string& bytes)
{
    const auto length = static_cast<std::uint32_t>(bytes.size());
    for (int shift = 0; shift < 16; shift += 8)
        data.push_back(static_cast<unsigned char>(id >> shift));
    for (int shift = 0; shift < 16; shift += 8)
        data.push_back(static_cast<unsigned char>(message >> shift));
    for (int shift = 0; shift < 32; shift += 8)
        data.push_back(static_cast<unsigned char>(length >> shift));
    data.insert(data.end(), bytes.begin(), bytes.end());
}

void AppendEnd(Bytes& data)
{
    data.push_back(0);
    data.push_back(0);
}

std::vector<std::string> Texts(const Bytes& data)
{
    std::vector<std::string> texts;
    for (const DialogInitEntry& entry : ParseDialogInitData(data.data(), data.size()))
        texts.push_back(entry.text);
    return texts;
}

const std::string B("B\0", 2), KB("KB\0", 3), MB("MB\0", 3), GB("GB\0", 3);

}  // namespace

TEST(DialogInitData, ReadsTheUnitListsFourItemsInOrder)
{
    Bytes data;
    for (const std::string& unit : {B, KB, MB, GB})
        AppendEntry(data, 1006, 0x0143, unit);
    AppendEnd(data);

    const std::vector<DialogInitEntry> entries = ParseDialogInitData(data.data(), data.size());
    ASSERT_EQ(entries.size(), 4u);
    EXPECT_EQ(entries[0].controlId, 1006);
    EXPECT_EQ(entries[0].message, 0x0143);
    EXPECT_EQ(Texts(data), (std::vector<std::string>{"B", "KB", "MB", "GB"}));
}

TEST(DialogInitData, StopsAtTheEndMarkAndAtTheEndOfTheData)
{
    Bytes data;
    AppendEntry(data, 1006, 0x0143, B);
    AppendEnd(data);
    AppendEntry(data, 1006, 0x0143, KB);
    EXPECT_EQ(Texts(data), std::vector<std::string>{"B"});

    Bytes unended;
    AppendEntry(unended, 1006, 0x0143, B);
    EXPECT_EQ(Texts(unended), std::vector<std::string>{"B"});
    EXPECT_TRUE(ParseDialogInitData(nullptr, 0).empty());
}

TEST(DialogInitData, ARecordThatDoesNotFitOrIsNotATextEndsTheReading)
{
    Bytes overlong;
    AppendEntry(overlong, 1006, 0x0143, B);
    AppendEntry(overlong, 1006, 0x0143, KB);
    overlong.pop_back();  // the second record's bytes are one short of its count
    EXPECT_EQ(Texts(overlong), std::vector<std::string>{"B"});

    Bytes unterminated;
    AppendEntry(unterminated, 1006, 0x0143, "MB");
    AppendEntry(unterminated, 1006, 0x0143, GB);
    EXPECT_TRUE(Texts(unterminated).empty());

    Bytes cutHeader;
    AppendEntry(cutHeader, 1006, 0x0143, B);
    cutHeader.insert(cutHeader.end(), {0xEE, 0x03, 0x43});
    EXPECT_EQ(Texts(cutHeader), std::vector<std::string>{"B"});
}
