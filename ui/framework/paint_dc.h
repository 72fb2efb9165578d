#pragma once
// CPaintDC: one paint cycle of a window, BeginPaint now and EndPaint when it
// goes out of scope.

#include <windows.h>

class CPaintDC {
public:
    explicit CPaintDC(HWND window) : m_window(window) { m_hDC = BeginPaint(window, &m_ps); }
    ~CPaintDC() { EndPaint(m_window, &m_ps); }
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    HDC m_hDC;

private:
    HWND m_window;
    PAINTSTRUCT m_ps{};
};
