#pragma once
// The fixture of the main-window tests: Vandrel.exe started without an
// argument, its window found, and the user's steps on it.

#include <string>

#include "file_chooser.h"
#include "screen.h"
#include "user_input.h"
#include "vandrel_test.h"

namespace ids {
constexpr int kSelectSplit = 1000;
constexpr int kSelectJoin = 1001;
constexpr int kStartSplit = 1002;
constexpr int kUnitList = 1006;
constexpr int kSizeEdit = 1007;
constexpr int kStartJoin = 1008;
constexpr int kProgressBar = 1010;
constexpr int kMore = 1011;
constexpr int kCurrentFileLabel = 2000;
}  // namespace ids

inline const std::wstring kNoFile = L"No file has been selected !";
inline const std::wstring kSplitter = L"File Splitter";
inline const std::wstring kJoiner = L"File Joiner";
inline const std::wstring kSplit = L"File splitting completed successfully";
inline const std::wstring kJoined = L"File joining completed successfully";
inline const std::wstring kBusy = L"One action in progress please wait!";
constexpr COLORREF kRed = RGB(200, 0, 0);
constexpr COLORREF kGreen = RGB(0, 155, 0);

class MainWindowTest : public VandrelTest {
protected:
    void SetUp() override
    {
        Start(L"");
        window = gui::WaitForTopLevel(app.Id(), L"Vandrel 2.1", gui::kDialogClass);
        ASSERT_TRUE(window) << "no main window \"Vandrel 2.1\"";
    }

    // Clicks a select button and picks `path` in the chooser it opens.
    void Choose(int selectButton, const std::wstring& path)
    {
        gui::ClickButton(window, selectButton);
        HWND chooser = gui::WaitForChooser(app.Id());
        ASSERT_TRUE(chooser) << "no file chooser";
        ASSERT_TRUE(gui::ChooseFile(chooser, path));
    }

    void EnterSize(const std::wstring& number, const std::wstring& unit)
    {
        gui::SetText(gui::Child(window, ids::kSizeEdit), number);
        ASSERT_TRUE(gui::SelectComboItem(window, ids::kUnitList, unit));
    }

    // ExpectMessage for a job's own box. The job clears `busy` only after its
    // box has gone, so the next action waits a moment for that.
    void ExpectJobMessage(const std::wstring& caption, const std::wstring& text)
    {
        ExpectMessage(caption, text);
        gui::Pause(gui::Milliseconds(100));
    }

    // The label is made anew at every change, so it is looked up each time.
    HWND Label() const { return gui::Child(window, ids::kCurrentFileLabel); }
    std::wstring LabelText() const { return gui::TextOf(Label()); }
    int BarPosition() const { return gui::ProgressPosition(gui::Child(window, ids::kProgressBar)); }

    // Waits until the label reads `text`; the label's value after the wait.
    std::wstring WaitForLabel(const std::wstring& text) const
    {
        gui::WaitFor([&] { return LabelText() == text; });
        return LabelText();
    }

    // Waits until the label's pixels in `colour` are those of `text` drawn as
    // the label draws it: one line in the window's font, 2 pixels in from its
    // corner, a path too long for it with an ellipsis in its middle. Returns
    // the text as drawn.
    std::wstring ExpectLabelDraws(const std::wstring& text, COLORREF colour) const
    {
        HDC screen = GetDC(nullptr);
        const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
        ReleaseDC(nullptr, screen);
        // The main window's template font: 8 points of "Microsoft Sans Serif", weight 400.
        HFONT font = CreateFontW(-MulDiv(8, dpi, 72), 0, 0, 0, 400, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0, 0,
                                 L"Microsoft Sans Serif");
        const RECT label = gui::RectInParent(Label(), window);
        const int width = label.right - label.left;
        const int height = label.bottom - label.top;
        std::wstring drawn;
        const gui::PixelMask expected =
            gui::TextPixels(text, font, colour, width, height, {2, 2, width, height},
                            DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS | DT_MODIFYSTRING, &drawn);
        DeleteObject(font);
        EXPECT_GT(expected.Count(), 0);
        gui::PixelMask painted;
        EXPECT_TRUE(gui::WaitFor([&] { return (painted = gui::PixelsOf(Label(), colour)) == expected; }))
            << "the label does not draw \"" << std::string(drawn.begin(), drawn.end()) << "\"; its pixels span columns "
            << painted.Columns().first << " to " << painted.Columns().second << ", the text's "
            << expected.Columns().first << " to " << expected.Columns().second;
        return drawn;
    }

    // Waits until the label shows text in `colour` and none in `other`.
    bool LabelPaintedIn(COLORREF colour, COLORREF other) const
    {
        return gui::WaitFor(
            [&] { return gui::CountPixels(Label(), colour) > 0 && gui::CountPixels(Label(), other) == 0; });
    }

    HWND window = nullptr;
};
