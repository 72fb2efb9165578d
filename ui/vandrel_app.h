#pragma once
// CVandrelApp: starts Vandrel in one of its modes: the main window or, given
// a piece path, the join of that piece (or, after "/verify", the check of its
// pieces) in the progress window.

#include "framework/win_app.h"

class CVandrelApp : public CWinApp {
public:
    BOOL InitInstance() override;
    int ExitInstance() override { return m_exitCode; }

private:
    int m_exitCode = 0;
};

extern CVandrelApp theApp;
