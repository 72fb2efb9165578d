#pragma once
// Where a job's messages and notifications go in the console program: each
// message box becomes one line, and progress a bar on the terminal.

#include <chrono>
#include <cstddef>
#include <string>

#include "job_state.h"

// The program's exit statuses.
constexpr int kExitSucceeded = 0;
constexpr int kExitCopyFailed = 1;
constexpr int kExitRefused = 2;

class ConsoleJobSink : public JobNotificationSink {
public:
    // `showProgress`: draw the bar on standard error at each progress post.
    explicit ConsoleJobSink(bool showProgress);

    void post(WindowHandle window, unsigned message) override;
    // Prints "Caption: text": an outcome of success on standard output, every
    // other message on standard error. Nobody needs to dismiss it.
    void showMessage(WindowHandle owner, const std::string& text, const std::string& caption) override;

    // The status of the job that ran: succeeded, failed in its copy phase
    // (it posted WM_JOB_FINISHED after a failure message), or refused during
    // its checks (a message and no WM_JOB_FINISHED).
    int exitStatus() const;

private:
    void drawProgress();
    void endProgress();

    bool showProgress_;
    std::chrono::steady_clock::time_point start_;
    std::size_t drawnWidth_ = 0;  // 0 when no bar is on the line
    bool succeeded_ = false;
    bool finished_ = false;
};
