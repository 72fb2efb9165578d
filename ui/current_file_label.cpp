#include "current_file_label.h"

#include <commctrl.h>

#include "framework/paint_dc.h"
#include "resource.h"

namespace {

constexpr std::size_t kLongestLabelText = 80;
constexpr COLORREF kNoFileColor = RGB(200, 0, 0);
constexpr COLORREF kChosenFileColor = RGB(0, 155, 0);
// In pixels of the main window's client area, on the line of "Current file : ".
constexpr RECT kLabelRect{80, 10, 200, 30};
constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | SS_WORDELLIPSIS | SS_LEFT;

}  // namespace

std::wstring LabelText(std::wstring text)
{
    if (text.size() > kLongestLabelText) {
        text.resize(kLongestLabelText);
        text += L"....";
    }
    return text;
}

AStatic::~AStatic()
{
    if (m_hWnd) {
        RemoveWindowSubclass(m_hWnd, SubclassProc, 0);
        DestroyWindow(m_hWnd);
    }
}

bool AStatic::Create(const std::wstring& text, DWORD style, const RECT& rect, HWND parent, int id)
{
    if (!CStatic::Create(text, style, rect, parent, id))
        return false;
    SetWindowSubclass(m_hWnd, SubclassProc, 0, reinterpret_cast<DWORD_PTR>(this));
    return true;
}

LRESULT CALLBACK AStatic::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                       DWORD_PTR self)
{
    if (message == WM_PAINT) {
        reinterpret_cast<AStatic*>(self)->OnPaint();
        return 0;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

void AStatic::OnPaint()
{
    CPaintDC paint(m_hWnd);
    const std::wstring text = LabelText(GetWindowText());
    HDC dc = GetDC(m_hWnd);
    SetBkMode(dc, TRANSPARENT);
    SelectObject(dc, GetFont());
    SetTextColor(dc, m_textColor);
    TextOutW(dc, 2, 2, text.c_str(), static_cast<int>(text.size()));
    ReleaseDC(m_hWnd, dc);
}

void SetCurrentFileLabel(std::unique_ptr<AStatic>& label, std::wstring text, int noFile, const CWnd& mainWindow)
{
    HFONT font = mainWindow.GetFont();
    label.reset();
    label = std::make_unique<AStatic>();
    label->m_textColor = noFile ? kNoFileColor : kChosenFileColor;
    label->Create(text, kLabelStyle, kLabelRect, mainWindow.m_hWnd, IDC_CURRENT_FILE);
    label->SetFont(font, TRUE);
    RedrawWindow(mainWindow.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
}
