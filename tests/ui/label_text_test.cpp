// The text the current-file label draws: whole when it fits, otherwise a path
// that keeps its start and its file's name with an ellipsis between them.

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "current_file_label.h"

namespace {

// A memory DC with the main window's font at its size on a 96-dpi screen.
class LabelText : public ::testing::Test {
protected:
    void SetUp() override
    {
        dc = CreateCompatibleDC(nullptr);
        font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"MS Sans Serif");
        ASSERT_TRUE(dc && font);
        SelectObject(dc, font);
    }
    void TearDown() override
    {
        DeleteDC(dc);
        DeleteObject(font);
    }

    int Width(const std::wstring& text) const
    {
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        return size.cx;
    }

    std::wstring Drawn(const std::wstring& text, int width) const { return DrawLabelText(dc, text, {0, 0, width, 20}); }

    HDC dc = nullptr;
    HFONT font = nullptr;
};

const std::wstring kLongPath = L"Z:\\tmp\\vandrel\\Vidéos de famille tournées pendant les longues vacances au bord de la "
                               L"mer\\Été 2026\\film été.avi";

bool EndsWith(const std::wstring& text, const std::wstring& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

TEST_F(LabelText, ATextThatFitsIsDrawnWhole)
{
    for (const std::wstring& text : {std::wstring(), std::wstring(L"No file has been selected !"),
                                     std::wstring(L"C:\\Users\\ana\\Documents\\report.pdf"), kLongPath}) {
        SCOPED_TRACE(std::string(text.begin(), text.end()));
        EXPECT_EQ(Drawn(text, Width(text) + 1), text);
    }
    // Eighty characters and more are no limit of their own.
    const std::wstring path = L"C:\\" + std::wstring(150, L'd') + L"\\file.bin";
    EXPECT_EQ(Drawn(path, Width(path) + 1), path);
}

// Whatever the width, a path too long for it keeps its file's name whole and
// its drive, loses folders from the middle, and fits.
TEST_F(LabelText, ALongPathLosesItsMiddleAndKeepsItsFileName)
{
    for (const int width : {200, 300, 480, Width(kLongPath) - 1}) {
        SCOPED_TRACE(width);
        const std::wstring drawn = Drawn(kLongPath, width);
        EXPECT_NE(drawn, kLongPath);
        EXPECT_TRUE(EndsWith(drawn, L"\\film été.avi")) << std::string(drawn.begin(), drawn.end());
        EXPECT_EQ(drawn.substr(0, 3), L"Z:\\");
        const std::size_t ellipsis = drawn.find(L"...");
        ASSERT_NE(ellipsis, std::wstring::npos);
        EXPECT_LT(ellipsis, drawn.size() - std::wstring(L"\\film été.avi").size());
        EXPECT_LE(Width(drawn), width);
    }
}

}  // namespace
