#include "job_result.h"

#include "job_state.h"

namespace {

JobResult ResultOf(JobOutcome outcome, std::string file, std::string reason)
{
    JobResult result;
    result.outcome = outcome;
    result.file = std::move(file);
    result.reason = std::move(reason);
    return result;
}

}  // namespace

JobResult RefuseJob(const std::string& text, const char* caption, std::string file, std::string reason)
{
    ShowJobMessage(text, caption);
    return ResultOf(JobOutcome::Refused, std::move(file), std::move(reason));
}

JobResult FinishJob(JobOutcome outcome, const std::string& text, const char* caption, std::string file,
                    std::string reason)
{
    ShowJobMessage(text, caption);
    PostJobNotification(WM_JOB_FINISHED);
    return ResultOf(outcome, std::move(file), std::move(reason));
}

int ExitStatus(JobOutcome outcome)
{
    switch (outcome) {
    case JobOutcome::Succeeded:
        return kExitSucceeded;
    case JobOutcome::Failed:
    case JobOutcome::Stopped:
        return kExitFailed;
    case JobOutcome::Refused:
        break;
    }
    return kExitRefused;
}
