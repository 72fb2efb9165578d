#pragma once
// ProgressDLG: the small window of a join, or a check of pieces, started from
// the command line. It starts the job as it opens, takes the job's caption,
// and follows its progress; the job ends the process.

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
    // Closing is ignored while the job runs: it would cut a join off half way.
    void OnOK() override;
    void OnCancel() override;

private:
    MessageResult OnJobProgress(WPARAM, LPARAM);
    MessageResult OnJobFinished(WPARAM, LPARAM);

    static const MessageMapEntry<ProgressDLG> messageMap[];

    HICON m_hIcon;
    JobProgressBar m_progressBar;
};
