#pragma once
// The split job: cuts one file into numbered pieces and, once every byte of it
// is safely in them, deletes it.

#include <string>

#include "job_result.h"

// Thread procedure of a split: runs SplitFile on a copy of `jobState.splitPath`.
// The parameter is ignored. Returns 0.
unsigned SplitThreadProc(void* parameter);

// Splits the file at `splitPath` into pieces of `jobState.partSize` bytes next
// to it, named as PieceName says. Checks, in order, that the file opens and is
// not open for writing in another program (where the platform can tell), that
// its volume has more free bytes than the file holds, that the piece size is
// positive, below the file's length and makes at most 2,147,483,647 pieces,
// and that no piece name is taken, nor the checksum list's when
// `jobState.writeList`; a failed check shows its message and touches no file
// (Refused). Otherwise it creates the list new (when asked) and every piece,
// posting progress, gives each the input's permissions and last write time,
// keeps the input's holes as holes, commits each to disk, and writes each
// piece's SHA-256 line, then the whole input's, and commits the list. It deletes the input only
// when every piece is whole and durable, their names committed, and the input
// is still the file that was read, unchanged and opened for writing by no
// other program since; then it shows the success message
// (Succeeded, with the input named when it could not be deleted). On any
// failure it deletes the pieces it made, keeps the input and shows the failure
// message (Failed). Posts WM_JOB_FINISHED after the message of a run that
// reached its copy phase. `busy` is 1 throughout and 0 on return.
JobResult SplitFile(std::string splitPath);
