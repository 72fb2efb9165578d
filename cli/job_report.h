#pragma once
// What `vandrel` prints and returns once a job has ended.

#include <string>

#include "job_result.h"
#include "verify_set.h"

// The text for each stream, every line ended.
struct JobReport {
    std::string output;
    std::string error;
};

// The job's message (as "Caption: text") on standard output for a success and
// on standard error otherwise; then, on standard error, the file concerned and
// the reason, "vandrel: FILE: REASON". After a success, a file that could not
// be deleted is told as a warning: "vandrel: warning: FILE WHATWASKEPT: REASON".
// For a join, then: when more than one piece was missing, each is named; and
// when the join took pieces without checking them, standard error says there
// was no list at `listPath`, the set's checksum list.
JobReport FormatJobReport(const std::string& message, const JobResult& result, const std::string& whatWasKept,
                          const std::string& listPath = {});

// What `vandrel verify` prints: one line per piece on standard output,
// "PIECE: VERDICT", the original's own line when it was checked, then the
// first line of the check's message (standard output when every piece is
// right, standard error otherwise). A refusal as FormatJobReport tells it.
JobReport FormatVerifyReport(const std::string& message, const SetCheck& check);
