#pragma once
// How a join acts on the states a join of its own left behind (a crash, a
// kill, a power cut, a piece that could not be deleted), and nothing else:
// each takes a survey that found its state (join_survey.h).

#include <cstdint>

#include "job_result.h"
#include "join_survey.h"

// Interrupted: the journal proves the output, which holds the first k whole
// pieces. Deletes the pieces the output already holds at their places, byte
// for byte (kept ones, that could not be deleted), then cuts the output back
// to the pieces gone, whatever its tail holds (the next piece holds it whole),
// and appends the rest. Refuses, touching nothing, when the first piece still
// to append has no room.
JobResult ResumeJoin(const PieceSet& set, JoinSurvey& survey, std::int64_t freeBytes);

// Finishing: the output holds every remaining piece at its place, byte for
// byte, at the set's full length. Commits it, removes the journal if any, and
// deletes those pieces; the output's bytes are never touched.
JobResult FinishJoin(const PieceSet& set, JoinSurvey& survey);

// FinishedJournal: removes the journal of a join that is done.
JobResult ForgetFinishedJoin(JoinSurvey& survey);

// StaleJournal, CopyingFirstPiece: removes the private file the journal names,
// then the journal, leaving the set as it was before that join. False, with
// the file that stays in `file`, when one cannot be removed.
bool ClearStaleJoin(const PieceSet& set, JoinSurvey& survey);
