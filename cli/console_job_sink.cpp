#include "console_job_sink.h"

#include "console.h"
#include "progress_line.h"

ConsoleJobSink::ConsoleJobSink(bool showProgress)
    : showProgress_(showProgress), start_(std::chrono::steady_clock::now())
{
}

void ConsoleJobSink::post(WindowHandle, unsigned message)
{
    if (message == WM_JOB_PROGRESS && showProgress_)
        drawProgress();
}

void ConsoleJobSink::showMessage(WindowHandle, const std::string& text, const std::string& caption)
{
    endProgress();
    message_ = caption + ": " + text;
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
