#include "file_dialog.h"

#include <algorithm>

#include "win_app.h"
#include "wnd.h"

namespace {
// Room for the longest path the platform accepts.
constexpr std::size_t kPathCapacity = 32768;
}  // namespace

CFileDialog::CFileDialog(DWORD flags, const wchar_t* filter) : m_file(kPathCapacity, L'\0')
{
    if (filter) {
        // The platform wants each part ended by a NUL and the list by a second one.
        m_filter = filter;
        std::replace(m_filter.begin(), m_filter.end(), L'|', L'\0');
        m_filter.push_back(L'\0');
    }
    m_ofn.lStructSize = sizeof m_ofn;
    m_ofn.lpstrFilter = filter ? m_filter.c_str() : nullptr;
    m_ofn.lpstrFile = m_file.data();
    m_ofn.nMaxFile = static_cast<DWORD>(m_file.size());
    m_ofn.Flags = flags | OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING;
    m_ofn.lpfnHook = HookProc;
    m_ofn.lCustData = reinterpret_cast<LPARAM>(this);
}

INT_PTR CFileDialog::DoModal()
{
    CWinApp* app = AfxGetApp();
    m_ofn.hwndOwner = app && app->m_pMainWnd ? app->m_pMainWnd->GetSafeHwnd() : nullptr;
    m_ofn.hInstance = GetModuleHandleW(nullptr);
    const BOOL chosen = GetOpenFileNameW(&m_ofn);
    m_hook = nullptr;
    if (!chosen)
        m_file.assign(m_file.size(), L'\0');
    return chosen ? IDOK : IDCANCEL;
}

void CFileDialog::SetControlText(int id, const wchar_t* text)
{
    // The hook is a child of the dialog proper, which owns the standard controls.
    SendMessageW(GetParent(m_hook), CDM_SETCONTROLTEXT, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(text));
}

UINT_PTR CALLBACK CFileDialog::HookProc(HWND hook, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_INITDIALOG)
        return 0;
    auto* dialog = reinterpret_cast<CFileDialog*>(reinterpret_cast<OPENFILENAMEW*>(lParam)->lCustData);
    dialog->m_hook = hook;
    return dialog->OnInitDialog();
}
