#pragma once
// Wine settings that the tests need for as long as they run.

#include <string>

namespace gui {

// Tells Wine that no window manager will take the windows of `exeName`, as
// is the case on the tests' bare X display. Without it Wine waits two seconds
// for a window manager's answer each time one of the program's windows
// closes, the message boxes included, and the program stays blocked meanwhile.
// The setting is Wine's per-program one (AppDefaults); the destructor takes
// it away again unless it was there before.
class UnmanagedWindows {
public:
    explicit UnmanagedWindows(const std::wstring& exeName);
    ~UnmanagedWindows();
    UnmanagedWindows(const UnmanagedWindows&) = delete;
    UnmanagedWindows& operator=(const UnmanagedWindows&) = delete;

private:
    std::wstring keyPath_;
    bool added_ = false;
};

}  // namespace gui
