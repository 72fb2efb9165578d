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
};

}  // namespace

JobNotificationSink& platformNotificationSink()
{
    static ConsoleSink sink;
    return sink;
}
