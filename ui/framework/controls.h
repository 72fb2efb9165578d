#pragma once
// Wrappers of the standard controls our dialogs bind by id: one line per
// message they send.

#include <windows.h>

#include <commctrl.h>

#include <string>

#include "wnd.h"

class CButton : public CWnd {};

class CEdit : public CWnd {};

class CComboBox : public CWnd {
public:
    int SetCurSel(int index) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
};

class CProgressCtrl : public CWnd {
public:
    void SetRange(short lower, short upper) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(lower, upper)); }
    void SetPos(int position) { SendMessage(PBM_SETPOS, static_cast<WPARAM>(position)); }
};

class CStatic : public CWnd {
public:
    // Creates the static control as child `id` of `parent`; false when the
    // platform refuses the window.
    bool Create(const std::wstring& text, DWORD style, const RECT& rect, HWND parent, int id)
    {
        m_hWnd = CreateWindowExW(0, L"STATIC", text.c_str(), style, rect.left, rect.top, rect.right - rect.left,
                                 rect.bottom - rect.top, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
        return m_hWnd != nullptr;
    }
};
