#pragma once
// What a split in place leaves on disk, and how any of it is brought back to
// a step boundary. A split in place cuts its input from the end: pieces N-1
// down to 1 are copied out of it, each committed before the input is cut
// below it, and at last the input, one piece long, is renamed to piece 0. A
// join gives the input its pieces back in the other direction. Between two
// steps the disk holds the boundary state "the input holds pieces 0..m-1,
// pieces m..N-1 lie whole and durable beside it"; a cut anywhere else leaves
// one of the states engine/README.md lists, which Settle brings back to a
// boundary without losing a byte.

#include <cstdint>
#include <optional>
#include <string>

#include "copy_buffer.h"
#include "file_system.h"
#include "join_journal.h"

// The set of a split in place, as its journal records it.
struct InPlaceSet {
    std::string input;  // the input's path; the pieces are named after it
    std::int64_t partSize = 0;
    std::int64_t lastSize = 0;
    std::int64_t count = 0;
    std::string countText;

    // The set `journal` records, for the input at `inputPath`.
    static InPlaceSet Of(const std::string& inputPath, const Journal& journal);
    std::int64_t offset(std::int64_t index) const { return index * partSize; }
    std::int64_t length(std::int64_t index) const { return index == count - 1 ? lastSize : partSize; }
    std::int64_t originalSize() const { return offset(count - 1) + lastSize; }
    std::string piece(std::int64_t index) const;
};

// How Settle ended: at a boundary, the input holding `held` pieces; or not,
// with the file concerned and why. `damaged`: what is on disk is not what the
// journal records, and nothing was changed.
struct Settled {
    std::int64_t held = 0;
    bool failed = false;
    bool damaged = false;
    std::string file;
    std::string reason;
};

// Brings what an interrupted split in place (or a join undoing one) left back
// to a boundary: the input open for cutting at `input`, the journal locked.
// Splitting (the journal not undoing): a piece the input still holds whole
// is kept only when its bytes are the input's, byte for byte, and is then made
// durable; any piece below the lowest such run is removed, since the input
// holds its bytes; then the input is cut to the pieces it alone holds. Being
// undone: every piece there must be whole, and the input is cut back to the
// pieces before the lowest one. Only the input's bytes that a whole, durable
// piece also holds are ever cut, and only pieces whose bytes the input holds
// are removed.
Settled Settle(const InPlaceSet& set, File& input, const Journal& journal, CopyBuffer& buffer);

// Deletes the set's checksum list, when it is there, and commits that; true
// when it is gone.
bool RemoveListOf(const InPlaceSet& set);
