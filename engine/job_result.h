#pragma once
// What a job tells its front end besides its message box: how it ended, as a
// value, and the file and the operating system's reason behind a failure.

#include <cstdint>
#include <string>
#include <vector>

enum class JobOutcome {
    Refused,    // a check failed; nothing was written or deleted
    Failed,     // the copy started and did not complete; see the job's contract for what is left
    Succeeded,  // every byte reached its new home
    Stopped,    // asked to stop (jobState.stopRequested), it stopped at a safe point
};

struct JobResult {
    JobOutcome outcome = JobOutcome::Refused;
    // For Refused and Failed: the file concerned and why, when the job knows.
    // For Succeeded: a file that should have been deleted and was not, and why.
    std::string file;
    std::string reason;
    // A join: whether each piece it took was checked against the set's
    // checksum list (false for a set without one), and, when pieces were
    // missing, every one of them (the message names the first alone).
    bool checked = false;
    std::vector<std::string> missingPieces;
    // Where the result is, for the outcome line: the rebuilt file of a join,
    // the first piece of a split; and the set's count of pieces. Set by a
    // job that got as far as knowing them.
    std::string resultPath;
    std::int32_t pieceCount = 0;
    // The job copied and kept its input (jobState.keep).
    bool kept = false;
    // A split that cut its input in place. When it failed or was stopped
    // part way, the input holds its first `piecesHeld` pieces and a join of
    // `resumeWith` (the first piece beside it) gives the whole file back.
    bool inPlace = false;
    // A stopped join: the rebuilt file (`resultPath`) holds the first
    // `piecesHeld` pieces, and a join of `resumeWith` finishes it. A split in
    // place cut short: see `inPlace`.
    std::int32_t piecesHeld = 0;
    std::string resumeWith;
};

// The exit status of a process that ran one job, the same for `vandrel` and
// Vandrel.exe: 0 succeeded, 1 failed (or stopped: the command line then
// answers with the signal's own status), 2 refused.
constexpr int kExitSucceeded = 0;
constexpr int kExitFailed = 1;
constexpr int kExitRefused = 2;
int ExitStatus(JobOutcome outcome);

// Shows a refusal of the job's checks under `caption` and returns it.
JobResult RefuseJob(const std::string& text, const char* caption, std::string file = {}, std::string reason = {});

// Ends a job that reached its copy phase: shows `text` under `caption`, then
// posts WM_JOB_FINISHED, and returns `outcome` with the file and reason.
JobResult FinishJob(JobOutcome outcome, const std::string& text, const char* caption, std::string file = {},
                    std::string reason = {});
