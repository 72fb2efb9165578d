#pragma once
// The split job: cuts one file into numbered pieces and, once every byte of it
// is safely in them, deletes it.

#include <string>

// Thread procedure of a split: runs SplitFile on a copy of `jobState.splitPath`.
// The parameter is ignored. Returns 0.
unsigned SplitThreadProc(void* parameter);

// Splits the file at `splitPath` into pieces of `jobState.partSize` bytes next
// to it, named as PieceName says. Checks, in order, that the file opens, that
// its volume has more free bytes than the file holds, and that the piece size
// is positive, below the file's length and makes at most 2,147,483,647 pieces;
// a failed check shows its message and touches no file. Otherwise it writes
// every piece, posting progress, and deletes the input only when each piece
// has been written, committed to disk, closed and confirmed as a plain file of
// the right length. Reports the outcome in one "File Splitter" message box,
// then posts WM_JOB_FINISHED. `busy` is 1 throughout and 0 on return.
void SplitFile(std::string splitPath);
