#pragma once
// The check of a set's pieces against its checksum list, which changes
// nothing: each piece is read once and hashed; during a join that did not
// finish, the pieces it has already taken are checked in the rebuilt file.

#include <string>
#include <vector>

#include "job_result.h"

enum class PieceVerdict {
    Ok,
    Damaged,     // its bytes or its size are not the listed ones
    Missing,
    Unreadable,  // it is there but could not be read
    InRebuiltFile,
    DamagedInRebuiltFile,
};

struct PieceCheck {
    std::string path;  // the piece's path, as the user's path spells it
    PieceVerdict verdict = PieceVerdict::Missing;
    std::string reason;  // for Unreadable: the operating system's reason
};

// The original's own line of the list, checked only once the pieces are
// joined: every piece gone and a file of the original's size at its path.
// A list made by a split in place has no such line: nothing can be said of
// the whole file beyond its pieces.
enum class WholeVerdict { NotChecked, Right, Damaged, NotListed };

struct SetCheck {
    // Succeeded: every piece right; Failed: one or more not right; Refused:
    // nothing was checked (no list, or one that does not fit, a join running).
    JobResult result;
    std::string originalPath;
    std::vector<PieceCheck> pieces;  // in index order; empty when refused
    WholeVerdict whole = WholeVerdict::NotChecked;
};

// True when the piece's bytes are where they belong and are right.
bool IsRight(PieceVerdict verdict);

// The verdict as the check prints it: "ok", "damaged", "missing", ...
const char* VerdictText(PieceVerdict verdict);

// Checks the set of `pieceOrList`: any one piece's path, or the path of the
// set's list (NAME.plit.sha256). Reads every piece once through fileSystem(),
// with progress over the bytes it reads, and writes, renames and deletes
// nothing. While a join's journal is there it holds the journal's lock, so no
// join starts meanwhile; a journal another job holds means a join is running,
// and the check is refused. Shows one "Check pieces" message: every piece
// right, the pieces not right one a line, or the refusal; posts
// WM_JOB_FINISHED after a check that read the pieces. `busy` is 1 throughout
// and 0 on return.
SetCheck VerifySet(std::string pieceOrList);

// Thread procedure of a check: runs VerifySet on a copy of
// `jobState.joinPath`, then ends the process with ExitStatus when
// `exitWhenDone` is set. The parameter is ignored. Returns 0.
unsigned VerifyThreadProc(void* parameter);
