#pragma once
// What a join finds on disk before it acts: one read-only survey of the
// pieces, the file at the original's path, the journal and the private file,
// named as one state. engine/README.md lists every state with how it arises,
// what the join does, and the test that proves it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "join_journal.h"
#include "join_plan.h"
#include "piece_names.h"

enum class JoinState {
    FreshSet,           // every piece, nothing at the original's path, no journal
    StaleJournal,       // the same beside an unlocked journal of a join that changed nothing
    CopyingFirstPiece,  // every piece, no output, a journal and the private file it names
    OutputInTheWay,     // piece 0 there, and a file at the original's path (or the private
                        // name) that no journal proves
    Interrupted,        // a journal proving the output, which holds pieces 0..k-1 whole;
                        // pieces k..N-1 all there
    Finishing,          // the output holds every byte, each remaining piece at its place
    FinishedJournal,    // a journal, no piece left, and the whole output it proves
    ForeignOutput,      // piece 0 gone, and a file at the original's path that nothing proves
    IdsNotStable,       // a journal names the output, on a file system that numbers files anew
    JournalInUse,       // another job holds the journal
    JournalUnfit,       // a journal of another set, version or output, or no journal at all
    JournalOfAnotherKind,
    PieceMissing,       // a piece does not open, nothing proves the rest
    PieceDoesNotFit,    // a piece's size cannot be that of its place
};

struct JoinSurvey {
    JoinState state = JoinState::PieceMissing;
    // Where the output is looked for: the folder the journal records, else
    // the one the join was asked to write into (jobState.intoFolder), else
    // beside the pieces.
    JoinPlace place;
    std::vector<Piece> pieces;     // the pieces there, measured, in index order
    std::int32_t firstIndex = 0;   // index of pieces.front()
    std::int64_t partSize = 0;
    std::int64_t lastSize = 0;     // known once a journal or the last piece tells it
    std::optional<OpenJournal> journal;  // found and locked; a state may leave it unread
    bool journalOfThisJoin = false;      // the journal was read, and records this set's join
    std::optional<FileIdentity> output;  // what is at the original's path
    std::optional<FileIdentity> privateFile;
    // Interrupted on a file system whose file numbers do not last: only the
    // checksum list, against the bytes the output holds, can prove it.
    bool outputToProveByList = false;
    std::string file;    // the file a refusal names
    std::string reason;  // and why, for the command line
};

// Looks at the set of `set` without changing any file (it locks the journal
// it finds, so that no other job acts on the set meanwhile). `withList`: the
// set has a checksum list, which may prove an output that file numbers cannot.
// `asked`: the place the join was asked to write to, which a journal of this
// set's join overrides with the folder it records.
JoinSurvey SurveyJoin(const PieceSet& set, bool withList, const JoinPlace& asked);
