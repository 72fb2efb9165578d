#include "dialog.h"

#include "dialog_init_data.h"
#include "resource_types.h"
#include "win_app.h"

namespace {

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

// The items of the unit list and other lists come from the template's
// initialisation data, a resource of its own under the template's id.
void CDialog::ApplyInitialisationData()
{
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(m_templateId), MAKEINTRESOURCEW(RT_DIALOG_INIT));
    if (!found)
        return;
    const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
    if (!data)
        return;
    // The strings are in the executable's own code page, the one its template texts use.
    for (const DialogInitEntry& entry : ParseDialogInitData(data, SizeofResource(module, found)))
        SendDlgItemMessageA(m_hWnd, entry.controlId, entry.message, 0, reinterpret_cast<LPARAM>(entry.text.c_str()));
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
