#pragma once
// Colours as they reach the screen, read back the way a screenshot would.

#include <windows.h>

#include <string>
#include <vector>

namespace gui {

// Which pixels of a width × height area have one colour, row by row.
struct PixelMask {
    int width = 0;
    int height = 0;
    std::vector<bool> set;

    bool operator==(const PixelMask& other) const = default;
    int Count() const;
    // The leftmost and rightmost columns with a pixel set; {-1, -1} when none is.
    std::pair<int, int> Columns() const;
};

// The pixels inside `window`'s client area that have exactly `colour`.
PixelMask PixelsOf(HWND window, COLORREF colour);
// How many pixels inside `window`'s client area have exactly `colour`.
int CountPixels(HWND window, COLORREF colour);

// The pixels that DrawTextW sets, in `font` and `colour` on a plain
// background of width × height, when it draws `text` with `format` in
// `area`; DT_MODIFYSTRING in `format` puts the text as drawn in `drawn`.
PixelMask TextPixels(const std::wstring& text, HFONT font, COLORREF colour, int width, int height, RECT area,
                     UINT format, std::wstring* drawn = nullptr);

}  // namespace gui
