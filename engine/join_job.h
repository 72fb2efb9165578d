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
// whose names it derives from that one name (ParsePieceName), beside the
// pieces or, with `jobState.intoFolder`, in that folder (which must exist:
// else Refused, naming it). With the set's
// checksum list beside the pieces, no piece is renamed or deleted before its
// bytes matched its line: a damaged piece stops the join, kept and named
// (Refused when the set is back as it was, else Failed with the output holding
// the pieces taken), and the whole file's line is checked before the journal,
// the list and the last pieces go (`checked` is then true). Refuses, touching
// no file (Refused): a list that cannot be read or does not fit the set; a
// name without a valid count; a missing piece (`missingPieces` names them all);
// a piece whose size does not fit the set (pieces 0..N-2 of one size, the last
// one from 1 byte to that size); a file already at the output's path; a
// rebuilt file larger than the file system of its folder holds
// (largestFileSize), naming both sizes; a volume with no more free bytes than
// the first piece holds (than the whole original, under keep or for another
// volume). When piece 0 is
// gone and the original's path holds the first k whole pieces of an
// interrupted join (perhaps with a beginning of piece k, which that piece
// still holds), it cuts that file back to the k pieces and goes on. The output
// is created new and locked for the whole run; pieces are appended in index
// order, posting progress, and each is deleted only once its bytes are durable
// in the output and its name still reaches the file that was read (Succeeded,
// with a piece named when one could not be deleted; `resultPath` and
// `pieceCount` set). On a failure the output
// is cut back to the pieces already deleted, or removed when it holds none and
// this run made it (Failed).
//
// `jobState.keep`: a copy. Piece 0 is copied, never renamed, and no piece
// nor the list is deleted; the journal records it, and a later join that
// takes such a join up keeps the pieces too, whatever it was asked (`kept`).
// `jobState.intoFolder`: the output and its private file in that folder, the
// journal beside the pieces recording it; piece 0 is copied there, and a
// piece is deleted only once the output's bytes and name are durable in it.
// A later join of a remaining piece goes on into the folder the journal
// records; asked for another folder, it refuses, naming the journal's.
// `jobState.stopRequested`: the join stops at the end of the chunk it is
// copying (Stopped): the output is cut back to its whole pieces and made
// durable, the journal stays, and `piecesHeld`, `resumeWith` (the first piece
// not in the output, whose join finishes it) and `resultPath` tell where it
// stands; an output that holds no piece yet is removed, leaving the set as it
// was (`piecesHeld` 0). A stop asked for once every byte is in the output is
// not heeded: the final deletions finish.
//
// Shows one "File Joiner" message; posts
// WM_JOB_FINISHED after the message of a run that reached its copy phase.
// `busy` is 1 throughout and 0 on return.
JobResult JoinFiles(std::string joinPath);
