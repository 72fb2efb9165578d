#pragma once
// What a user does to the program's windows, done with window messages from
// outside. Clicks are posted, not sent: a click that opens a modal box would
// otherwise keep the test waiting for that box to close.

#include <windows.h>

#include <string>
#include <vector>

namespace gui {

// Clicks button `id` of `dialog` (BM_CLICK posted to the button).
void ClickButton(HWND dialog, int id);
// Presses a dialog's button by its command (WM_COMMAND posted to the dialog),
// as Enter or Escape would: IDOK, IDCANCEL.
void PressCommand(HWND dialog, int id);
// The close box or Alt+F4 (WM_SYSCOMMAND SC_CLOSE, posted).
void PressCloseBox(HWND window);
// A plain WM_CLOSE, posted.
void PostClose(HWND window);
// A key pressed and released on `window` (posted WM_KEYDOWN / WM_KEYUP).
void PressKey(HWND window, UINT virtualKey);

// Replaces the text of an edit control, or of a combo box's edit field.
void SetText(HWND control, const std::wstring& text);
// Selects the item of combo box `id` of `dialog` whose text is `item`, and
// tells the dialog as a user's choice would (CBN_SELCHANGE). False when the
// list has no such item.
bool SelectComboItem(HWND dialog, int id, const std::wstring& item);
// The items of combo box `id` of `dialog`, in list order.
std::vector<std::wstring> ComboItems(HWND dialog, int id);
// The position of a progress bar (PBM_GETPOS).
int ProgressPosition(HWND bar);

}  // namespace gui
