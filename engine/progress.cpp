#include "progress.h"

#include "job_state.h"

ProgressPacer::ProgressPacer(std::int64_t totalBytes)
    : step_(totalBytes / 100 > 0 ? totalBytes / 100 : 1)
{
    jobState.totalBytes = totalBytes;
    jobState.bytesDone = 0;
}

void ProgressPacer::advance(std::int64_t bytes)
{
    const std::int64_t before = jobState.bytesDone;
    const std::int64_t after = before + bytes;
    jobState.bytesDone = after;
    for (std::int64_t posts = after / step_ - before / step_; posts > 0; --posts)
        PostJobNotification(WM_JOB_PROGRESS);
}
