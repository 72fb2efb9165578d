#pragma once
// What a join knows of the pieces it measured and the output it appends to,
// and the measurements its survey and its copy phase share.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "copy_buffer.h"
#include "file_system.h"
#include "join_check.h"
#include "join_journal.h"
#include "join_place.h"
#include "job_result.h"
#include "piece_names.h"

// A piece as the join measured it.
struct Piece {
    std::string name;
    FileIdentity identity;
};

// Where the output stands and what to append to it.
struct JoinPlan {
    JoinPlace place;               // where the output and the journal lie
    bool keep = false;             // a copy: no piece, and not the list, is deleted
    OpenJournal journal;           // open and locked for the whole run
    std::unique_ptr<File> output;  // open and locked
    bool outputNamed = true;       // false while the output is still the private file
    std::int32_t firstIndex = 0;   // index of `pieces.front()`; the output holds the pieces before it
    std::int64_t partSize = 0;
    std::int64_t deletedEnd = 0;   // end of the highest piece whose bytes only the output holds
    std::int64_t renamedBytes = 0; // bytes of a piece 0 that became the output by a rename
    std::vector<Piece> pieces;     // the pieces still to append, in index order
    ListCheck* check = nullptr;   // what each piece is checked against; never null
};

// Shows a refusal under the join's caption.
JobResult RefuseJoin(const std::string& text, std::string file = {}, std::string reason = {});
// A failure before the first byte was appended, with nothing of the set lost.
JobResult FailJoin(const std::string& file, std::string reason);

// The success of a join whose output at `place` is whole: the message, and
// the rebuilt file, the set's count and whether the pieces were kept, for the
// outcome line; `file` and `reason` tell a file left behind, when there is one.
JobResult JoinSucceeded(const PieceSet& set, const JoinPlace& place, bool keep, std::string file = {},
                        std::string reason = {});

// Measures pieces `first` up to (not including) `end` of `set`, up to the
// first that does not open; `stop` is then its index, else `end`.
std::vector<Piece> MeasurePieces(const PieceSet& set, std::int32_t first, std::int32_t end, std::int32_t& stop);
// The index of the first piece from `first` on that exists, or `end`.
std::int32_t FirstExistingPiece(const PieceSet& set, std::int32_t first, std::int32_t end);

// The first of `pieces`, the first of them at index `firstIndex`, whose size
// is not that of its place: `partSize`, the last piece `lastSize` (or, while
// that is 0, unknown, 1 to `partSize`). Null when every one fits.
const Piece* FirstMisfitOfPlace(const PieceSet& set, const std::vector<Piece>& pieces, std::int32_t firstIndex,
                                std::int64_t partSize, std::int64_t lastSize);

// The last write time every piece has, when they agree on one.
std::optional<std::int64_t> AgreedModification(const std::vector<Piece>& pieces);

// The end of a join whose output holds every byte durably, its name
// included: the journal goes (when there is one), then the checksum list,
// then the pieces left, the last first, each only while it is still the file
// that was measured and once the names before it are durable, so that a cut
// never leaves a gap. A journal that records an output in another folder
// goes last instead: it alone tells a later join where the output is. Under
// `keep` the journal alone goes. Empty when all went; else the file that stayed.
std::optional<std::string> RemoveLeftovers(const PieceSet& set, OpenJournal* journal, ListCheck& check,
                                           const std::vector<Piece>& pieces, bool keep = false);

// True when `count` bytes of `output` from `outputOffset` are, byte for byte,
// those of the piece at `name` from its start.
bool OutputHoldsPiece(File& output, std::int64_t outputOffset, const std::string& name, std::int64_t count,
                      CopyBuffer& buffer);
