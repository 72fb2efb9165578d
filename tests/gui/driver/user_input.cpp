#include "user_input.h"

#include <commctrl.h>

#include "window_query.h"

namespace gui {

void ClickButton(HWND dialog, int id)
{
    PostMessageW(Child(dialog, id), BM_CLICK, 0, 0);
}

void PressCommand(HWND dialog, int id)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Child(dialog, id)));
}

void PressCloseBox(HWND window)
{
    PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

void PostClose(HWND window)
{
    PostMessageW(window, WM_CLOSE, 0, 0);
}

void PressKey(HWND window, UINT virtualKey)
{
    const UINT scanCode = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC);
    PostMessageW(window, WM_KEYDOWN, virtualKey, 1 | (scanCode << 16));
    PostMessageW(window, WM_KEYUP, virtualKey, 1 | (scanCode << 16) | (3u << 30));
}

void SetText(HWND control, const std::wstring& text)
{
    SendBounded(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool SelectComboItem(HWND dialog, int id, const std::wstring& item)
{
    HWND combo = Child(dialog, id);
    const LRESULT index =
        SendBounded(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(item.c_str()));
    if (index == CB_ERR || SendBounded(combo, CB_SETCURSEL, index) != index) {
        return false;
    }
    SendBounded(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
    return true;
}

std::vector<std::wstring> ComboItems(HWND dialog, int id)
{
    HWND combo = Child(dialog, id);
    std::vector<std::wstring> items;
    const LRESULT count = SendBounded(combo, CB_GETCOUNT);
    for (LRESULT i = 0; i < count; ++i) {
        std::wstring text(static_cast<size_t>(SendBounded(combo, CB_GETLBTEXTLEN, i)) + 1, L'\0');
        text.resize(static_cast<size_t>(
            SendBounded(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()))));
        items.push_back(text);
    }
    return items;
}

int ProgressPosition(HWND bar)
{
    return static_cast<int>(SendBounded(bar, PBM_GETPOS));
}

}  // namespace gui
