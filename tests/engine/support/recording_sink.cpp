#include "recording_sink.h"

void RecordingSink::post(WindowHandle window, unsigned message)
{
    events.push_back({JobEvent::Post, window, message, {}, {}, jobState.busy});
}

void RecordingSink::showMessage(WindowHandle owner, const std::string& text, const std::string& caption)
{
    events.push_back({JobEvent::Message, owner, 0, text, caption, jobState.busy});
}

bool RecordingSink::askYesNo(WindowHandle owner, const std::string& text, const std::string& caption)
{
    events.push_back({JobEvent::Question, owner, 0, text, caption, jobState.busy});
    return answer;
}

int RecordingSink::posts(unsigned message) const
{
    int count = 0;
    for (const JobEvent& event : events)
        count += event.kind == JobEvent::Post && event.message == message;
    return count;
}

std::vector<JobEvent> RecordingSink::messages() const
{
    std::vector<JobEvent> boxes;
    for (const JobEvent& event : events)
        if (event.kind == JobEvent::Message)
            boxes.push_back(event);
    return boxes;
}
