#include "progress_dlg.h"

#include "job_starter.h"
#include "job_state.h"
#include "resource.h"

const MessageMapEntry<ProgressDLG> ProgressDLG::messageMap[] = {
    MapMessage(WM_JOB_PROGRESS, &ProgressDLG::OnJobProgress),
    MapMessage(WM_JOB_FINISHED, &ProgressDLG::OnJobFinished),
};

ProgressDLG::ProgressDLG()
    : CDialog(IDD_PROGRESS, nullptr), m_hIcon(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)))
{
}

void ProgressDLG::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_PROGRESS, m_progressBar);
}

MessageResult ProgressDLG::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return RouteMessage(*this, messageMap, message, wParam, lParam);
}

BOOL ProgressDLG::OnInitDialog()
{
    CDialog::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    m_progressBar.Restart();
    jobState.exitWhenDone = 1;
    SetWindowText(JobCaption(m_kind));
    m_jobStarted = StartJob(m_kind, m_hWnd, m_path);
    return TRUE;
}

void ProgressDLG::OnOK()
{
    if (!m_jobStarted)
        CDialog::OnOK();
}

void ProgressDLG::OnCancel()
{
    if (!m_jobStarted)
        CDialog::OnCancel();
}

MessageResult ProgressDLG::OnJobProgress(WPARAM, LPARAM)
{
    m_progressBar.Advance();
    return 1;
}

MessageResult ProgressDLG::OnJobFinished(WPARAM, LPARAM)
{
    m_progressBar.Clear();
    return 1;
}
