#include "console_job_sink.h"

#include "console.h"
#include "job_messages.h"
#include "progress_line.h"

namespace {

// The two outcomes of success; every other message reports a refusal or a failure.
bool IsSuccessMessage(const std::string& text)
{
    return text == job_messages::kSplitSucceeded || text == job_messages::kJoinSucceeded;
}

}  // namespace

ConsoleJobSink::ConsoleJobSink(bool showProgress)
    : showProgress_(showProgress), start_(std::chrono::steady_clock::now())
{
}

void ConsoleJobSink::post(WindowHandle, unsigned message)
{
    if (message == WM_JOB_PROGRESS && showProgress_)
        drawProgress();
    if (message == WM_JOB_FINISHED)
        finished_ = true;
}

void ConsoleJobSink::showMessage(WindowHandle, const std::string& text, const std::string& caption)
{
    endProgress();
    succeeded_ = IsSuccessMessage(text);
    WriteText(succeeded_ ? OutputStream::Output : OutputStream::Error, caption + ": " + text + "\n");
}

int ConsoleJobSink::exitStatus() const
{
    if (!finished_)
        return kExitRefused;
    return succeeded_ ? kExitSucceeded : kExitCopyFailed;
}

// Redraws the bar in place; blanks cover what a longer line left behind.
void ConsoleJobSink::drawProgress()
{
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start_;
    const std::string line = FormatProgressLine(jobState.bytesDone, jobState.totalBytes, elapsed.count());
    const std::size_t width = line.size();
    WriteText(OutputStream::Error,
              "\r" + line + std::string(drawnWidth_ > width ? drawnWidth_ - width : 0, ' '));
    drawnWidth_ = width;
}

// Leaves the last state of the bar on its own line.
void ConsoleJobSink::endProgress()
{
    if (drawnWidth_ == 0)
        return;
    WriteText(OutputStream::Error, "\n");
    drawnWidth_ = 0;
}
