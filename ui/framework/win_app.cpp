#include "win_app.h"

namespace {

CWinApp* theApplication = nullptr;

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

}  // namespace

CWinApp::CWinApp()
{
    theApplication = this;
}

CWinApp* AfxGetApp()
{
    return theApplication;
}

std::wstring ExecutablePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

std::wstring CommandLineAfterProgramName(const wchar_t* commandLine)
{
    const wchar_t* p = commandLine;
    // The program name runs to the first blank outside double quotes.
    bool quoted = false;
    for (; *p && (quoted || !IsBlank(*p)); ++p) {
        if (*p == L'"')
            quoted = !quoted;
    }
    while (IsBlank(*p))
        ++p;
    return p;
}
