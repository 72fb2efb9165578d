#include <windows.h>

#include "../job_state.h"
#include "text.h"

namespace {

class WindowSink : public JobNotificationSink {
public:
    void post(WindowHandle window, unsigned message) override
    {
        PostMessageW(static_cast<HWND>(window), message, 0, 0);
    }

    void showMessage(WindowHandle owner, const std::string& text, const std::string& caption) override
    {
        MessageBoxW(static_cast<HWND>(owner), ToWidePath(text).c_str(), ToWidePath(caption).c_str(), MB_OK);
    }

    bool askYesNo(WindowHandle owner, const std::string& text, const std::string& caption) override
    {
        return MessageBoxW(static_cast<HWND>(owner), ToWidePath(text).c_str(), ToWidePath(caption).c_str(),
                           MB_YESNO | MB_ICONQUESTION) == IDYES;
    }
};

}  // namespace

JobNotificationSink& platformNotificationSink()
{
    static WindowSink sink;
    return sink;
}
