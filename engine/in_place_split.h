#pragma once
// The split in place, for a disk that cannot hold a file and its pieces side
// by side: the input is cut from its end (in_place_state.h tells the steps
// and the states between them), so that it needs room for one piece, the list
// and the journal, never for a second copy.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "file_system.h"
#include "job_result.h"
#include "join_journal.h"

// What SplitFile has settled before a split in place starts: every check of
// a fresh split has passed, and no name of the set is taken.
struct InPlaceStart {
    std::string path;
    std::int64_t partSize = 0;
    std::int64_t pieceCount = 0;
    std::string countText;
    bool withList = false;
};

// The free bytes a split in place of `start` needs: one piece, the room
// each piece may waste in its last block, the list and the journal.
std::int64_t InPlaceRoomNeeded(const InPlaceStart& start);

// Splits the input of `start` in place. `input` is the input as SplitFile
// opened and locked it, read-only, as `opened`; it is closed and the file
// opened again for cutting (refused, touching nothing, when that fails, when
// another program has it open for writing, or when it is no longer `opened`).
// Creates `journal` (kind in-place split), the list (when `withList`), then,
// from the last piece down to piece 1, a batch at a time: names the batch's
// pieces in the journal, creates and fills each, commits it with the input's
// permissions and last write time, commits their names, adds their lines to
// the list, checks that no other program opened the input for writing, and
// cuts the input below them and commits it. At last it adds piece 0's line,
// commits the list, gives the input its last write time back, renames it to
// piece 0, commits that, and deletes the journal (Succeeded, `inPlace`,
// `resultPath` piece 0). A failure or a stop before the first cut takes back
// every file the run made, the input whole (Failed or Stopped, as a forward
// split's); after it, the run ends at a boundary, the input holding its first
// `piecesHeld` pieces and the others beside it, and says how to finish or
// undo it (Failed or Stopped, `inPlace`, `resumeWith` the first piece beside
// it). Posts progress over the whole original, piece 0 counted at its rename.
JobResult SplitInPlace(const InPlaceStart& start, std::unique_ptr<File> input, const FileIdentity& opened,
                       const Journal& journal);

// When the journal of a split in place of the input at `splitPath` lies
// beside it: goes on with that split and returns its result; empty when no
// such journal is there (or it is another job's, or in use: the forward
// split's checks tell). `input` is the input SplitFile opened, read-only,
// locked, as `opened`; it is closed when the journal is its split's. Refuses,
// touching nothing: an input that is not the one the journal records; a part
// size other than the journal's, naming it; --keep or --into; a join under
// way. Otherwise it brings what the interrupted run left to a boundary
// (Settle; what does not add up is refused, named), writes the list anew from
// the pieces there, and goes on as SplitInPlace does.
std::optional<JobResult> GoOnSplittingInPlace(const std::string& splitPath, std::int64_t partSize,
                                              std::unique_ptr<File>& input, const FileIdentity& opened);

struct PieceSet;

// When the journal of a split in place of the set of `set` lies beside it,
// gives the input its pieces back and returns the join's result; empty when
// no such journal is there, and when the split had ended but for the
// deletion of its journal, which is then deleted: the set is whole, and the
// join goes on as for any other set. Refuses, touching nothing: --keep or
// --into; an input that is not the one the journal records, or missing while
// piece 0 is not it; another program writing to the input; too little room
// for the largest piece. Otherwise it brings what the split left to a
// boundary (Settle), records in the journal that the pieces go back, and
// appends them to the input in order, each checked against its line of the
// list when the list has one, made durable, then deleted and its deletion
// committed; at last it gives the input the original's last write time and
// deletes the list and the journal (Succeeded, `resultPath` the input). A
// piece that does not match its line, a failure, or a stop cuts the input
// back to the pieces it held before that piece, and the journal stays (Failed
// or Stopped; a join of the piece goes on).
std::optional<JobResult> JoinSplitInPlace(const PieceSet& set);
