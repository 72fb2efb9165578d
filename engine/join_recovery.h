#pragma once
// How a join acts on the states a join of its own left behind (a crash, a
// kill, a power cut, a piece that could not be deleted), and nothing else:
// each takes a survey that found its state (join_survey.h).

#include <cstdint>

#include "job_result.h"
#include "join_check.h"
#include "join_survey.h"

// Interrupted: the journal proves the output, which holds the first k whole
// pieces. Deletes the pieces the output already holds at their places, byte
// for byte (kept ones, that could not be deleted), then cuts the output back
// to the pieces gone, whatever its tail holds (the next piece holds it whole),
// and appends the rest. Refuses, touching nothing, when the first piece still
// to append has no room, and, with a checksum list, when the bytes the output
// holds of the pieces gone are not those their lines give (on a file system
// whose file numbers do not last, those bytes and a tail that piece k begins
// with are what proves the output).
JobResult ResumeJoin(const PieceSet& set, JoinSurvey& survey, std::int64_t freeBytes, ListCheck& check);

// Finishing: the output holds every remaining piece at its place, byte for
// byte, at the set's full length. With a checksum list, checks the whole
// output against it first. Commits it, removes the journal if any, the list,
// and deletes those pieces; the output's bytes are never touched.
JobResult FinishJoin(const PieceSet& set, JoinSurvey& survey, ListCheck& check);

// FinishedJournal: removes the journal of a join that is done, and its
// list once the output matches it.
JobResult ForgetFinishedJoin(const PieceSet& set, JoinSurvey& survey, ListCheck& check);

// StaleJournal, CopyingFirstPiece: removes the private file the journal names,
// then the journal, leaving the set as it was before that join. False, with
// the file that stays in `file`, when one cannot be removed.
bool ClearStaleJoin(const PieceSet& set, JoinSurvey& survey);
