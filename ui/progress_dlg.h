#pragma once
// ProgressDLG: the small window of a join, or a check of pieces, started from
// the command line. It starts the job as it opens, takes the job's caption,
// and follows its progress; the job ends the process, with its outcome as the
// exit code.

#include <string>

#include "framework/dialog.h"
#include "job_progress_bar.h"
#include "job_starter.h"

class ProgressDLG : public CDialog {
public:
    ProgressDLG();

    // The job and its piece, set before the window runs.
    JobKind m_kind = JobKind::Join;
    std::wstring m_path;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    MessageResult OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Closing is ignored once the job has started: it would cut a join off
    // half way, or end the process with an exit code that is not the job's.
    // Only a job that could not start lets the window close.
    void OnOK() override;
    void OnCancel() override;

private:
    MessageResult OnJobProgress(WPARAM, LPARAM);
    MessageResult OnJobFinished(WPARAM, LPARAM);

    static const MessageMapEntry<ProgressDLG> messageMap[];

    HICON m_hIcon;
    JobProgressBar m_progressBar;
    bool m_jobStarted = false;
};
