#pragma once
// A notification sink that records every post and every message box of a job,
// in order, and answers each box and question at once.

#include <string>
#include <vector>

#include "job_state.h"

struct JobEvent {
    enum Kind { Post, Message, Question };
    Kind kind;
    WindowHandle window;
    unsigned message;     // for a post: WM_JOB_PROGRESS or WM_JOB_FINISHED
    std::string text;     // for a message box or a question
    std::string caption;  // for a message box
    int busy;             // jobState.busy while the event happened
};

class RecordingSink : public JobNotificationSink {
public:
    void post(WindowHandle window, unsigned message) override;
    void showMessage(WindowHandle owner, const std::string& text, const std::string& caption) override;
    // Records the question and answers `answer`.
    bool askYesNo(WindowHandle owner, const std::string& text, const std::string& caption) override;

    bool answer = true;

    std::vector<JobEvent> events;

    // How many posts of `message` were recorded.
    int posts(unsigned message) const;
    // The message boxes alone, in order.
    std::vector<JobEvent> messages() const;
};
