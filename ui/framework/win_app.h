#pragma once
// CWinApp: the one application object of the process. Its constructor makes
// it the global application; the entry point fills its members, runs
// InitInstance, and ends the process with ExitInstance's code.

#include <windows.h>

#include <string>

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp() = default;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Runs the application.
    virtual BOOL InitInstance() { return TRUE; }
    // The process's exit code, asked for once InitInstance has returned.
    virtual int ExitInstance() { return 0; }

    // The raw command-line text after the program name and the blanks after it.
    std::wstring m_lpCmdLine;
    // The number of command-line arguments, the program name included.
    int m_argc = 0;
    // The application's name: the executable's file name without extension.
    std::wstring m_pszAppName;
    // The window that owns the application's dialogs, such as the file chooser.
    CWnd* m_pMainWnd = nullptr;
};

// The application object, or nullptr before it is constructed.
CWinApp* AfxGetApp();

// The full path of the running executable.
std::wstring ExecutablePath();

// The text of `commandLine` after its first token, the program name (quoted or
// not), and the blanks that follow it.
std::wstring CommandLineAfterProgramName(const wchar_t* commandLine);
