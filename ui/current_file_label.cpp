#include "current_file_label.h"

#include <commctrl.h>

#include <vector>

#include "framework/paint_dc.h"
#include "resource.h"

namespace {

constexpr COLORREF kNoFileColor = RGB(200, 0, 0);
constexpr COLORREF kChosenFileColor = RGB(0, 155, 0);
// In pixels of the main window's client area, on the line of "Current file : ";
// the right edge follows the window's width.
constexpr int kLabelLeft = 80;
constexpr int kLabelTop = 10;
constexpr int kLabelHeight = 20;
// The text's distance from the label's top left corner.
constexpr int kTextInset = 2;
constexpr DWORD kLabelStyle = WS_CHILD | WS_VISIBLE | SS_LEFT;
constexpr UINT kLabelTextFormat = DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS | DT_MODIFYSTRING;
// DT_MODIFYSTRING may write up to four characters more than the text has.
constexpr std::size_t kEllipsisRoom = 4;

// The label's place in the client area of `mainWindow`, in pixels: beside
// "Current file : ", from its fixed left edge to the dialog's right margin:
// the template's width (the client area's, mapped to pixels) less the margin
// its frames keep on the left.
RECT CurrentFileLabelRect(HWND mainWindow)
{
    RECT margin{0, 0, VANDREL_DIALOG_MARGIN, 0};
    MapDialogRect(mainWindow, &margin);
    RECT client{};
    GetClientRect(mainWindow, &client);
    return {kLabelLeft, kLabelTop, client.right - margin.right, kLabelTop + kLabelHeight};
}

}  // namespace

std::wstring DrawLabelText(HDC dc, const std::wstring& text, RECT area)
{
    std::vector<wchar_t> drawn(text.begin(), text.end());
    drawn.resize(text.size() + kEllipsisRoom + 1, L'\0');
    DrawTextW(dc, drawn.data(), static_cast<int>(text.size()), &area, kLabelTextFormat);
    return drawn.data();
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
    RECT area{};
    GetClientRect(m_hWnd, &area);
    area.left += kTextInset;
    area.top += kTextInset;
    SetBkMode(paint.m_hDC, TRANSPARENT);
    SelectObject(paint.m_hDC, GetFont());
    SetTextColor(paint.m_hDC, m_textColor);
    DrawLabelText(paint.m_hDC, GetWindowText(), area);
}

void SetCurrentFileLabel(std::unique_ptr<AStatic>& label, std::wstring text, int noFile, const CWnd& mainWindow)
{
    HFONT font = mainWindow.GetFont();
    label.reset();
    label = std::make_unique<AStatic>();
    label->m_textColor = noFile ? kNoFileColor : kChosenFileColor;
    label->Create(text, kLabelStyle, CurrentFileLabelRect(mainWindow.m_hWnd), mainWindow.m_hWnd, IDC_CURRENT_FILE);
    label->SetFont(font, TRUE);
    RedrawWindow(mainWindow.m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
}
