// The entry point of a GUI program built on the framework: it fills the
// application object from the command line and runs it.

#include <windows.h>

#include <shellapi.h>

#include "win_app.h"

namespace {

// The executable's base name without its extension.
std::wstring ApplicationName()
{
    std::wstring name = ExecutablePath();
    name.erase(0, name.find_last_of(L"\\/") + 1);
    const std::size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot > 0)
        name.erase(dot);
    return name;
}

int ArgumentCount(const wchar_t* commandLine)
{
    int count = 0;
    if (LPWSTR* arguments = CommandLineToArgvW(commandLine, &count))
        LocalFree(arguments);
    return count;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    const wchar_t* commandLine = GetCommandLineW();
    app->m_lpCmdLine = CommandLineAfterProgramName(commandLine);
    app->m_argc = ArgumentCount(commandLine);
    app->m_pszAppName = ApplicationName();
    app->InitInstance();
    return app->ExitInstance();
}
