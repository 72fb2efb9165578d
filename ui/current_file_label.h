#pragma once
// The current-file label at the top of the main window: the chosen path in
// green, or "No file has been selected !" in red. It paints its own text.

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

// The text the label draws: at most 80 UTF-16 units, a longer text cut there
// and followed by "....".
std::wstring LabelText(std::wstring text);

// Replaces `label`, a child of `mainWindow`, with a new label showing `text`,
// red when `noFile` is not 0 and green otherwise, in the main window's font.
void SetCurrentFileLabel(std::unique_ptr<AStatic>& label, std::wstring text, int noFile, const CWnd& mainWindow);
