#pragma once
// What `vandrel` prints and returns once a job has ended.

#include <string>

#include "job_result.h"

// The program's exit statuses.
constexpr int kExitSucceeded = 0;
constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;

int ExitStatus(JobOutcome outcome);

// The text for each stream, every line ended.
struct JobReport {
    std::string output;
    std::string error;
};

// The job's message (as "Caption: text") on standard output for a success and
// on standard error otherwise; then, on standard error, the file concerned and
// the reason, "vandrel: FILE: REASON". After a success, a file that could not
// be deleted is told as a warning: "vandrel: warning: FILE WHATWASKEPT: REASON".
JobReport FormatJobReport(const std::string& message, const JobResult& result, const std::string& whatWasKept);
