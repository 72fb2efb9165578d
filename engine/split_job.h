#pragma once
// The split job: cuts one file into numbered pieces and, once every byte of it
// is safely in them, deletes it.

#include <string>

#include "job_result.h"

// Thread procedure of a split: runs SplitFile on a copy of `jobState.splitPath`.
// The parameter is ignored. Returns 0.
unsigned SplitThreadProc(void* parameter);

// Splits the file at `splitPath` into pieces of `jobState.partSize` bytes,
// named as PieceName says, beside it or in `jobState.intoFolder`. Checks, in
// order, that the file opens and is not open for writing in another program
// (where the platform can tell), that the pieces' folder is a folder, that a
// journal at the pieces' journal name (and, for a split into a folder, at the
// input's) is absent or a split's of this input, unchanged (a journal whose
// text never reached the disk counts as one), that
// the pieces' volume has more free bytes than the file holds, that the piece
// size is positive, below the file's length, makes at most 2,147,483,647
// pieces and is no larger than the pieces' disk's largest file, and that no
// piece name is taken, nor the checksum list's when `jobState.writeList`,
// but for the names that journal claims; a failed check shows its message and
// touches no file (Refused). Otherwise it deletes what the journal claims and
// the journal, creates its own journal, the list new (when asked) and every
// piece, each named in the journal before it is created, posting progress,
// gives each the input's permissions and last write time, keeps the input's
// holes as holes, commits each to disk, and writes each piece's SHA-256 line,
// then the whole input's, and commits the list. Unless `jobState.keep`, it
// deletes the input only when every piece is whole and durable, their names
// committed, and the input is still the file that was read, unchanged and
// opened for writing by no other program since, and commits the deletion;
// then it deletes the journal and shows the success message (Succeeded, with
// the input or the journal named when it could not be deleted; `resultPath`
// the first piece, `pieceCount`, `kept`). On any failure, or a stop asked for
// (`jobState.stopRequested`: Stopped, between two chunks), it deletes the
// pieces and list it made, commits, deletes the journal, keeps the input and
// shows the failure or stop message. Posts WM_JOB_FINISHED after the message
// of a run that reached its copy phase. `busy` is 1 throughout and 0 on return.
JobResult SplitFile(std::string splitPath);
