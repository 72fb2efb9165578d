#pragma once
// The join job: rebuilds a split file from any one of its pieces, deleting
// each piece once its bytes are safely in the rebuilt file.

#include <string>

// Thread procedure of a join: runs JoinFiles on a copy of `jobState.joinPath`,
// then ends the process with exit code 0 when `exitWhenDone` is set. The
// parameter is ignored. Returns 0.
unsigned JoinThreadProc(void* parameter);

// Rebuilds the original file from the piece at `joinPath` and its siblings,
// whose names it derives from that one name (ParsePieceName). Refuses, touching
// no file, a name without a valid count, a missing piece and a volume with no
// more free bytes than the first piece holds. Otherwise it creates (or
// truncates) the original and appends the pieces in index order, posting
// progress; each piece is deleted only after the rebuilt file holds all of it,
// committed to disk. After any run every byte of the original is either in
// the rebuilt file or in a piece that still exists. Reports the outcome in
// one "File Joiner" message box. `busy` is 1 throughout and 0 on return.
void JoinFiles(std::string joinPath);
