#include "app_process.h"

#include <vector>

namespace gui {

bool AppProcess::Start(const std::wstring& exe, const std::wstring& arguments,
                       const std::wstring& workingDirectory)
{
    Kill();
    std::wstring commandLine = L"\"" + exe + L"\"";
    if (!arguments.empty()) {
        commandLine += L" " + arguments;
    }
    std::vector<wchar_t> writable(commandLine.begin(), commandLine.end());
    writable.push_back(L'\0');

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const wchar_t* directory = workingDirectory.empty() ? nullptr : workingDirectory.c_str();
    if (!CreateProcessW(exe.c_str(), writable.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory, &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    handle_ = info.hProcess;
    id_ = info.dwProcessId;
    // The program is ready for input once its first window takes messages.
    WaitForInputIdle(handle_, static_cast<DWORD>(kDefaultTimeout.count()));
    return true;
}

bool AppProcess::IsRunning() const
{
    return handle_ && WaitForSingleObject(handle_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> AppProcess::WaitForExit(Milliseconds timeout) const
{
    if (!handle_ || WaitForSingleObject(handle_, static_cast<DWORD>(timeout.count())) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(handle_, &code);
    return code;
}

void AppProcess::Kill()
{
    if (!handle_) {
        return;
    }
    if (IsRunning()) {
        TerminateProcess(handle_, 1);
        WaitForSingleObject(handle_, 5000);
    }
    CloseHandle(handle_);
    handle_ = nullptr;
    id_ = 0;
}

}  // namespace gui
