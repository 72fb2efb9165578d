#pragma once
// The copy phase of a join, from a plan that its start or its resume made.

#include "job_result.h"
#include "join_plan.h"
#include "piece_names.h"

// Appends each piece of `plan` to its output, makes it durable, then deletes
// the piece. A private output takes the original's name once it holds piece
// 0, durable. The last piece but one stays until the last is durable too, so
// that a join cut short always leaves a piece whose size is the part size. A
// piece is deleted only when its bytes in the output are durable and its name
// still reaches the file that was measured; one that cannot be deleted stops
// the join right after it (Failed, naming it; the journal stays for the next
// join). At the end: every byte durable, the journal removed, then the
// remaining pieces (Succeeded). On a failure the output is cut back to the end
// of the highest piece deleted, never below; an output that holds no piece
// gone from its name is removed (or, a renamed piece 0, renamed back) together
// with the journal, leaving the set as it was (Failed). Under `plan.keep`
// nothing but the journal is deleted. Asked to stop (the copy ends Stopped),
// the output is cut back to the whole pieces appended, made durable, and the
// journal stays (Stopped, with `piecesHeld` and `resumeWith`); one that holds
// no piece yet is taken back as on a failure.
JobResult AppendPieces(const PieceSet& set, JoinPlan& plan);
