#pragma once
// CVandrelDlg: the main window. The user chooses a file or a piece (with the
// chooser, or by dropping it on the window), enters the piece size, starts a
// split or a join and watches its progress; a new action, and closing the
// window, are refused while a job runs.

#include <memory>
#include <string>

#include "current_file_label.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "job_progress_bar.h"
#include "job_starter.h"

class CVandrelDlg : public CDialog {
public:
    CVandrelDlg();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    MessageResult OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Enter, Escape, the close box and Alt+F4 end the window, but not while a job runs.
    void OnOK() override;
    void OnCancel() override;

private:
    MessageResult OnSysCommand(WPARAM command, LPARAM);
    MessageResult OnPaint(WPARAM, LPARAM);
    MessageResult OnQueryDragIcon(WPARAM, LPARAM);
    MessageResult OnJobProgress(WPARAM, LPARAM);
    MessageResult OnJobFinished(WPARAM, LPARAM);
    MessageResult OnDropFiles(WPARAM drop, LPARAM);
    void OnSelectSplitFile();
    void OnSelectJoinFile();
    void OnStartSplit();
    void OnStartJoin();
    void OnMore();

    // True, after the refusal box captioned with `kind`'s operation, while a job runs.
    bool RefusedWhileBusy(JobKind kind);
    void SelectFile(JobKind kind);
    void SetCurrentFile(const std::wstring& path);
    void Start(JobKind kind, std::int64_t partSize);
    void ShowAbout();
    void ClearSelection();

    static const MessageMapEntry<CVandrelDlg> messageMap[];

    HICON m_hIcon;
    CButton m_selectSplitButton;
    CButton m_startJoinButton;
    CEdit m_sizeEdit;
    CComboBox m_unitList;
    CButton m_startSplitButton;
    CButton m_selectJoinButton;
    JobProgressBar m_progressBar;
    CButton m_moreButton;
    // The path chosen last; two blanks when none is.
    std::wstring m_currentFile;
    std::unique_ptr<AStatic> m_currentFileLabel;
};
