#pragma once
// CDialog: a modal dialog run from a dialog template of the executable. One
// static dialog procedure stores the object at WM_INITDIALOG and hands each
// message to the object's message map (OnMessage), then to the defaults here.

#include <windows.h>

#include "message_map.h"
#include "wnd.h"

// What DoDataExchange binds controls against: the dialog's window.
struct CDataExchange {
    HWND m_dialog;
};

// Binds `control` to the dialog's control `id`.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
public:
    CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}
    virtual ~CDialog() = default;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Runs the dialog until EndDialog; returns its result, or -1 when the
    // dialog could not be created.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result) { ::EndDialog(m_hWnd, result); }

protected:
    // Fills the unit lists and other controls from the template's
    // initialisation data, then runs DoDataExchange. TRUE gives the focus to
    // the first tab stop.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange*) {}
    // The class's message map; nothing when it has no row for the message.
    virtual MessageResult OnMessage(UINT, WPARAM, LPARAM) { return DefaultHandling; }
    // Enter and Escape (and with it the close box and Alt+F4) end the dialog.
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void ApplyInitialisationData();

    UINT m_templateId;
    CWnd* m_parent;
};
