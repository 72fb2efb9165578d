#include "vandrel_app.h"

#include <commctrl.h>

#include "command_line.h"
#include "job_result.h"
#include "job_starter.h"
#include "progress_dlg.h"
#include "vandrel_dlg.h"

CVandrelApp theApp;

namespace {

// Relative paths, on the command line among others, start from the program's folder.
void WorkInExecutableFolder()
{
    std::wstring folder = ExecutablePath();
    const std::size_t lastBackslash = folder.find_last_of(L'\\');
    if (lastBackslash == std::wstring::npos)
        return;
    folder.erase(lastBackslash);
    SetCurrentDirectoryW(folder.c_str());
}

}  // namespace

BOOL CVandrelApp::InitInstance()
{
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    CWinApp::InitInstance();
    WorkInExecutableFolder();

    if (m_argc < 2) {
        CVandrelDlg dialog;
        m_pMainWnd = &dialog;
        dialog.DoModal();
    } else {
        ProgressDLG dialog;
        const CommandLineRequest request = RequestFromCommandLine(m_lpCmdLine);
        dialog.m_kind = request.job == CommandLineJob::Verify ? JobKind::Verify : JobKind::Join;
        dialog.m_path = request.path;
        m_pMainWnd = &dialog;
        dialog.DoModal();
        // A job that ran ended the process with its own outcome; the window
        // closes only when the job could not start.
        m_exitCode = kExitFailed;
    }
    m_pMainWnd = nullptr;
    return FALSE;
}
