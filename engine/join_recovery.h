#pragma once
// How a join takes up a set whose join was cut short (by a crash, a kill, a
// power cut): the states the join itself leaves behind, and nothing else.

#include <cstdint>
#include <optional>

#include "job_result.h"
#include "join_plan.h"

// Checks a set whose piece 0 is gone: an interrupted join of it can go on when
// the original's path holds the first k whole pieces (and perhaps a beginning
// of the next, which that piece holds whole), pieces 0..k-1 are gone and
// pieces k..N-1 all exist and fit; with only the last piece left, the part size
// is the one the output carries (RecordPartSize), or else the one size the
// bytes bear out. Then the output is open, locked and cut back to the k
// pieces. Anything else is refused as a set that misses its piece 0.
Checked CheckInterruptedJoin(const PieceSet& set, std::int64_t freeBytes);

// The end of a join cut short between its last deletions: the last piece is
// gone, and the file at the original's path holds each piece still there at
// its place, byte for byte, with a last piece's worth after them. Those pieces
// are then deleted (nothing else is touched) and the join has succeeded.
// Empty when the set is in no such state.
std::optional<JobResult> FinishInterruptedJoin(const PieceSet& set);
