#pragma once
// One run of the program under test, started as a user's shell would start it.
// The destructor kills a run that is still alive, so no test leaves a process
// behind, whatever way it ends.

#include <windows.h>

#include <optional>
#include <string>

#include "wait.h"

namespace gui {

class AppProcess {
public:
    AppProcess() = default;
    ~AppProcess() { Kill(); }
    AppProcess(const AppProcess&) = delete;
    AppProcess& operator=(const AppProcess&) = delete;

    // Starts `exe` with the command line `"exe" arguments`, in `workingDirectory`
    // when it is not empty. Returns false when the process could not be created.
    bool Start(const std::wstring& exe, const std::wstring& arguments,
               const std::wstring& workingDirectory = L"");

    DWORD Id() const { return id_; }
    bool IsRunning() const;
    // The exit code once the process has ended within `timeout`; nothing otherwise.
    std::optional<DWORD> WaitForExit(Milliseconds timeout = kDefaultTimeout) const;
    // Ends the process at once if it still runs, and forgets it.
    void Kill();

private:
    HANDLE handle_ = nullptr;
    DWORD id_ = 0;
};

}  // namespace gui
