#include "wnd.h"

#include "win_app.h"

std::wstring CWnd::GetWindowText() const
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(m_hWnd)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(::GetWindowTextW(m_hWnd, text.data(), static_cast<int>(text.size()))));
    return text;
}

int CWnd::MessageBox(const wchar_t* text, const wchar_t* caption, UINT type) const
{
    return ::MessageBoxW(m_hWnd, text, caption ? caption : AfxGetApp()->m_pszAppName.c_str(), type);
}
