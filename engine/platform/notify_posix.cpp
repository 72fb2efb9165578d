#include <cstdio>

#include "../job_state.h"

namespace {

// Without windows a notification has nowhere to go, and a message is a line on
// the standard error stream that nobody needs to dismiss.
class ConsoleSink : public JobNotificationSink {
public:
    void post(WindowHandle, unsigned) override {}
    void showMessage(WindowHandle, const std::string& text, const std::string& caption) override
    {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
    bool askYesNo(WindowHandle, const std::string&, const std::string&) override { return true; }
};

}  // namespace

JobNotificationSink& platformNotificationSink()
{
    static ConsoleSink sink;
    return sink;
}
