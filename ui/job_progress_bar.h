#pragma once
// The progress bar of a window that runs jobs: one step per WM_JOB_PROGRESS
// over a range of 0 to 100, back to 0 when a job starts or finishes.

#include "framework/controls.h"

class JobProgressBar : public CProgressCtrl {
public:
    // Before a job starts: range 0 to 100, position 0.
    void Restart()
    {
        m_progressPos = 0;
        SetRange(0, 100);
        SetPos(0);
    }
    // One more step; a position past 100 shows as a full bar.
    void Advance() { SetPos(++m_progressPos); }
    void Clear()
    {
        m_progressPos = 0;
        SetPos(0);
    }

private:
    int m_progressPos = 0;
};
