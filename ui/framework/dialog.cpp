#include "dialog.h"

#include <cstring>

#include "win_app.h"

namespace {

// The resource type of a dialog's initialisation data.
constexpr WORD kDialogInitType = 240;

// Messages whose result the dialog procedure returns itself instead of
// through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message)
{
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

}  // namespace

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    control.Attach(GetDlgItem(pDX->m_dialog, id));
}

INT_PTR CDialog::DoModal()
{
    // Without a parent the dialog belongs to the application's main window,
    // which stays disabled while it is open.
    const CWinApp* app = AfxGetApp();
    const CWnd* parent = m_parent ? m_parent : (app && app->m_pMainWnd != this ? app->m_pMainWnd : nullptr);
    HWND owner = parent ? parent->GetSafeHwnd() : nullptr;
    return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog()
{
    ApplyInitialisationData();
    CDataExchange exchange{m_hWnd};
    DoDataExchange(&exchange);
    return TRUE;
}

// The initialisation data is a list of entries (control id, message, byte
// count, bytes), ended by a zero id. Each entry's bytes are a NUL-terminated
// string sent as lParam, as CB_ADDSTRING and LB_ADDSTRING take it.
void CDialog::ApplyInitialisationData()
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(m_templateId), MAKEINTRESOURCEW(kDialogInitType));
    if (!found)
        return;
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, found)));
    const DWORD size = SizeofResource(module, found);
    if (!data)
        return;
    constexpr DWORD kHeaderSize = 2 * sizeof(WORD) + sizeof(DWORD);
    DWORD at = 0;
    while (at + sizeof(WORD) <= size) {
        WORD id, message;
        DWORD length;
        std::memcpy(&id, data + at, sizeof id);
        if (id == 0 || at + kHeaderSize > size)
            break;
        std::memcpy(&message, data + at + sizeof(WORD), sizeof message);
        std::memcpy(&length, data + at + 2 * sizeof(WORD), sizeof length);
        at += kHeaderSize;
        if (length > size - at || length == 0 || data[at + length - 1] != 0)
            break;
        // The strings are in the executable's own code page, the one the template's texts use.
        const char* text = reinterpret_cast<const char*>(data + at);
        SendDlgItemMessageA(m_hWnd, id, message, 0, reinterpret_cast<LPARAM>(text));
        at += length;
    }
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
    }
    auto* dialog = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
    if (!dialog)
        return FALSE;
    const INT_PTR handled = dialog->HandleMessage(message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        dialog->m_hWnd = nullptr;
    }
    return handled;
}

INT_PTR CDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    MessageResult result = OnMessage(message, wParam, lParam);
    if (!result) {
        if (message == WM_INITDIALOG) {
            result = OnInitDialog();
        } else if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDOK) {
            OnOK();
            result = 0;
        } else if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            result = 0;
        } else {
            return FALSE;
        }
    }
    if (ReturnsResultDirectly(message))
        return *result;
    SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, *result);
    return TRUE;
}
