#pragma once
// The current-file label at the top of the main window: the chosen path in
// green, or "No file has been selected !" in red. It reaches across the
// window to its right margin and paints its own text; a path too long for it
// loses folders from its middle, never the file's name.

#include <memory>
#include <string>

#include "framework/controls.h"

class AStatic : public CStatic {
public:
    AStatic() = default;
    ~AStatic();
    AStatic(const AStatic&) = delete;
    AStatic& operator=(const AStatic&) = delete;

    // Creates the label's window and takes over its painting.
    bool Create(const std::wstring& text, DWORD style, const RECT& rect, HWND parent, int id);

    COLORREF m_textColor = 0;

private:
    void OnPaint();
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                         DWORD_PTR self);
};

// Draws `text` on one line in `area` of `dc`, with the DC's font and colours:
// whole when it fits, otherwise with an ellipsis in place of as much of its
// middle as it takes to fit, keeping its end (a path's file name). Returns the
// text as drawn.
std::wstring DrawLabelText(HDC dc, const std::wstring& text, RECT area);

// Replaces `label`, a child of `mainWindow`, with a new label showing `text`,
// red when `noFile` is not 0 and green otherwise, in the main window's font.
void SetCurrentFileLabel(std::unique_ptr<AStatic>& label, std::wstring text, int noFile, const CWnd& mainWindow);
