#pragma once
// Colours as they reach the screen, read back the way a screenshot would.

#include <windows.h>

namespace gui {

// How many pixels inside `window`'s client area have exactly `colour`.
int CountPixels(HWND window, COLORREF colour);

}  // namespace gui
