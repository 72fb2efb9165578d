#include "job_report.h"

int ExitStatus(JobOutcome outcome)
{
    switch (outcome) {
    case JobOutcome::Succeeded:
        return kExitSucceeded;
    case JobOutcome::Failed:
        return kExitFailed;
    case JobOutcome::Refused:
        break;
    }
    return kExitRefused;
}

JobReport FormatJobReport(const std::string& message, const JobResult& result, const std::string& whatWasKept)
{
    const bool succeeded = result.outcome == JobOutcome::Succeeded;
    JobReport report;
    (succeeded ? report.output : report.error) = message + "\n";
    if (result.file.empty())
        return report;
    const std::string reason = result.reason.empty() ? "" : ": " + result.reason;
    if (succeeded)
        report.error += "vandrel: warning: " + result.file + " " + whatWasKept + reason + "\n";
    else
        report.error += "vandrel: " + result.file + reason + "\n";
    return report;
}
