#pragma once
// What a join checks the bytes it takes against: the set's checksum list,
// when it has one. Each piece is hashed as it is read (piece 0 before it is
// renamed, the others as they are appended), and the whole original's hash
// grows with the pieces in order, so that its own line is checked in the
// same pass; a list made by a split in place has no such line, and then the
// pieces' own lines are all there is to check.

#include <cstdint>
#include <optional>
#include <string>

#include "checksum_list.h"
#include "copy_buffer.h"
#include "copy_bytes.h"
#include "file_system.h"

class ListCheck {
public:
    // A set without a list: nothing is checked, every piece passes.
    ListCheck() = default;
    // The list read beside the set, which fits it.
    explicit ListCheck(FoundList list);

    // True when the set has a list.
    bool active() const { return found_.found == ListFound::Read; }
    const std::string& listPath() const { return found_.path; }
    const SetFacts& facts() const { return found_.list.facts; }

    // The hashes to feed with piece `index` as it is copied: its own, and the
    // whole original's while every piece before it has been fed in order
    // (never when the list has no line for the whole original).
    CopyHashes hashesFor(std::int32_t index);
    // True when the bytes fed since the last call are those of piece `index`
    // (always without a list, never when the list has no line for it).
    // Starts the next piece afresh.
    bool pieceMatches(std::int32_t index);
    // Reads `count` bytes of `file` from `offset` and hashes them as piece
    // `index` (so that pieceMatches tells). False when a read fails; the
    // reason is then in fileSystem().lastError().
    bool hashRange(File& file, std::int64_t offset, std::int64_t count, std::int32_t index, CopyBuffer& buffer);
    // True when every piece has been fed in order and the whole original's
    // hash is its line's; always without a list, and with a list that has no
    // line for the whole original (one made in place): nothing is checked
    // then beyond each piece's own line.
    bool wholeMatches();
    // The reason line of a piece that did not match.
    std::string mismatchReason() const { return "its SHA-256 is not the one \"" + found_.path + "\" gives"; }
    // Deletes the list while it is still the file that was read, unchanged, and commits
    // its folder; true without a list.
    bool removeList();

private:
    // Waits until the lanes, when there are any, have hashed every byte fed.
    void settle();

    FoundList found_;
    Sha256 piece_;
    Sha256 whole_;
    // The two hashes' own threads, with a list of a set large enough alone.
    std::optional<HashLanes> lanes_;
    std::int32_t wholeNext_ = 0;  // the piece the whole hash takes next
    bool fedWhole_ = false;       // the bytes since the last check went to the whole hash too
};
