#pragma once
// ProgressDLG: the small window of a join started from the command line. It
// starts the join as it opens and follows its progress; the join ends the
// process.

#include <string>

#include "framework/dialog.h"
#include "job_progress_bar.h"

class ProgressDLG : public CDialog {
public:
    ProgressDLG();

    // The piece to join, set before the window runs.
    std::wstring m_path;

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    MessageResult OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // Closing is ignored while the join runs: it would cut the join off half way.
    void OnOK() override;
    void OnCancel() override;

private:
    MessageResult OnJobProgress(WPARAM, LPARAM);
    MessageResult OnJobFinished(WPARAM, LPARAM);

    static const MessageMapEntry<ProgressDLG> messageMap[];

    HICON m_hIcon;
    JobProgressBar m_progressBar;
};
