#pragma once
// The join job: rebuilds a split file from any one of its pieces, deleting
// each piece once its bytes are safely in the rebuilt file.

#include <string>

#include "job_result.h"

// Thread procedure of a join: runs JoinFiles on a copy of `jobState.joinPath`,
// then, when `exitWhenDone` is set, ends the process with the join's
// ExitStatus (0 succeeded, 1 failed, 2 refused). The parameter is ignored.
// Returns 0.
unsigned JoinThreadProc(void* parameter);

// Rebuilds the original file from the piece at `joinPath` and its siblings,
// whose names it derives from that one name (ParsePieceName). With the set's
// checksum list beside the pieces, no piece is renamed or deleted before its
// bytes matched its line: a damaged piece stops the join, kept and named
// (Refused when the set is back as it was, else Failed with the output holding
// the pieces taken), and the whole file's line is checked before the journal,
// the list and the last pieces go (`checked` is then true). Refuses, touching
// no file (Refused): a list that cannot be read or does not fit the set; a
// name without a valid count; a missing piece (`missingPieces` names them all);
// a piece whose size does not fit the set (pieces 0..N-2 of one size, the last
// one from 1 byte to that size); a file already at the original's path; a
// volume with no more free bytes than the first piece holds. When piece 0 is
// gone and the original's path holds the first k whole pieces of an
// interrupted join (perhaps with a beginning of piece k, which that piece
// still holds), it cuts that file back to the k pieces and goes on. The output
// is created new and locked for the whole run; pieces are appended in index
// order, posting progress, and each is deleted only once its bytes are durable
// in the output and its name still reaches the file that was read (Succeeded,
// with a piece named when one could not be deleted). On a failure the output
// is cut back to the pieces already deleted, or removed when it holds none and
// this run made it (Failed). Shows one "File Joiner" message; posts
// WM_JOB_FINISHED after the message of a run that reached its copy phase.
// `busy` is 1 throughout and 0 on return.
JobResult JoinFiles(std::string joinPath);
