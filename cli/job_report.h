#pragma once
// What `vandrel` prints and returns once a job has ended.

#include <string>

#include "job_result.h"
#include "shell_quote.h"
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

// How a split or a join was asked for, as its outcome line and the commands
// that finish a stopped job repeat it.
struct JobRequest {
    bool join = false;
    std::string input;  // FILE or PIECE as given
    bool keep = false;
    std::string intoFolder;
    // A split's part size as a SIZE argument that asks for it again, e.g.
    // "700MB", and whether it writes no checksum list.
    std::string partSizeText;
    bool noList = false;
};

// The line after a split's or a join's own message when it succeeded: where
// the result is and how many pieces, e.g. "vandrel: 10 pieces in "/mnt/usb"
// (movie.avi kept)", "vandrel: 10 pieces in "." (split in place)" or
// "vandrel: "movie.avi" rebuilt from 10 pieces (pieces kept)"; empty when the
// job did not tell where its result is.
std::string FormatOutcomeLine(const JobResult& result, const JobRequest& request);

// What `vandrel` prints, on standard error, for a job that stopped when asked:
// a join says what the rebuilt file holds and the one command that finishes
// it, e.g. "vandrel: the join stopped: "movie.avi" holds 28 of 52 pieces;
// run: vandrel join 'movie.avi.28.52.plit'", the command as `shell` takes it;
// a split gives the job's own message, or, when it has none, says that the
// file is whole where it was; then "vandrel: FILE: REASON" for a file the job
// names (a piece it could not remove), and for a split in place cut short the
// line of FormatInPlaceWaysOut.
JobReport FormatStoppedReport(const std::string& message, const JobResult& result, const JobRequest& request,
                              Shell shell = kNativeShell);

// For a split in place that failed or stopped part way (its input holds its
// first pieces, the others lie beside it), the line on standard error with
// the two commands that end that state, as `shell` takes them: one finishes
// the split, the other gives the whole file back, e.g. "vandrel: to finish
// the split, run: vandrel split --in-place 'movie.avi' 700MB; to get the
// whole file back, run: vandrel join 'movie.avi.7.10.plit'". Empty for any
// other outcome.
std::string FormatInPlaceWaysOut(const JobResult& result, const JobRequest& request, Shell shell = kNativeShell);
