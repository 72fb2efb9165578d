// The text the current-file label draws.

#include <gtest/gtest.h>

#include <string>

#include "current_file_label.h"

TEST(LabelText, ATextOfEightyUnitsOrFewerIsDrawnWhole)
{
    EXPECT_EQ(LabelText(L""), L"");
    EXPECT_EQ(LabelText(L"No file has been selected !"), L"No file has been selected !");
    const std::wstring eighty(80, L'a');
    EXPECT_EQ(LabelText(eighty), eighty);
}

TEST(LabelText, ALongerTextIsCutAfterEightyUnitsAndEndsInFourFullStops)
{
    const std::wstring path = L"C:\\" + std::wstring(77, L'd') + L"\\file.bin";
    const std::wstring drawn = LabelText(path);
    EXPECT_EQ(drawn, path.substr(0, 80) + L"....");
    EXPECT_EQ(LabelText(std::wstring(81, L'b')), std::wstring(80, L'b') + L"....");
}

TEST(LabelText, CountsUtf16UnitsSoASurrogatePairCountsTwice)
{
    // 79 letters and one character outside the basic plane make 81 units.
    const std::wstring text = std::wstring(79, L'x') + L"\U0001F600";
    EXPECT_EQ(LabelText(text).size(), 84u);
    EXPECT_EQ(LabelText(text).substr(0, 79), std::wstring(79, L'x'));
}
