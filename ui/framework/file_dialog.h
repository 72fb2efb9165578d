#pragma once
// CFileDialog: the platform's open-file dialog, explorer style, with a hook
// through which a subclass adjusts the dialog as it opens (OnInitDialog).

#include <windows.h>

#include <commdlg.h>

#include <string>
#include <vector>

class CFileDialog {
public:
    // `filter` lists description|pattern| pairs separated by vertical bars;
    // nullptr lists every file. The owner is the application's main window.
    CFileDialog(DWORD flags, const wchar_t* filter);
    virtual ~CFileDialog() = default;
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;

    // IDOK when a file was chosen, IDCANCEL otherwise (a failure of the dialog included).
    INT_PTR DoModal();
    OPENFILENAMEW& GetOFN() { return m_ofn; }
    // The full path chosen; empty until a file was chosen.
    std::wstring GetPathName() const { return m_file.data(); }

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    void SetControlText(int id, const wchar_t* text);

private:
    static UINT_PTR CALLBACK HookProc(HWND hook, UINT message, WPARAM wParam, LPARAM lParam);

    OPENFILENAMEW m_ofn{};
    std::wstring m_filter;
    std::vector<wchar_t> m_file;
    HWND m_hook = nullptr;
};
