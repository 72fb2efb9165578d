#pragma once
// Where a job's messages and notifications go in the console program: progress
// becomes a bar on the terminal, and the message box a line that the caller
// prints once the job has told its outcome.

#include <chrono>
#include <cstddef>
#include <string>

#include "job_state.h"

class ConsoleJobSink : public JobNotificationSink {
public:
    // `showProgress`: draw the bar on standard error at each progress post.
    explicit ConsoleJobSink(bool showProgress);

    void post(WindowHandle window, unsigned message) override;
    // Keeps "Caption: text" for message(), ending the bar's line. Nobody
    // needs to dismiss it.
    void showMessage(WindowHandle owner, const std::string& text, const std::string& caption) override;
    // The command line asks nothing: its options said what to do. Yes.
    bool askYesNo(WindowHandle, const std::string&, const std::string&) override { return true; }

    // The job's message as one line, without its line end.
    const std::string& message() const { return message_; }

private:
    void drawProgress();
    void endProgress();

    bool showProgress_;
    std::chrono::steady_clock::time_point start_;
    std::size_t drawnWidth_ = 0;  // 0 when no bar is on the line
    std::string message_;
};
