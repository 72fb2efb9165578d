#pragma once
// What every split, forward or in place, does to make one piece: create it
// new, fill it from the input, give it the input's permissions and last write
// time and commit it; and the record of what one run made, so that a failed
// run takes back its own files and nothing else.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "copy_bytes.h"
#include "file_system.h"
#include "join_journal.h"
#include "list_writer.h"
#include "split_journal.h"

// Why the copy phase stopped: the file concerned and the reason, for the
// command line; `message` is what the window shows.
struct SplitFailure {
    std::string message;
    std::string file;
    std::string reason;
    bool stopped = false;  // asked to stop: not a failure, but taken back as one
};

// The file being split, as it was when it was opened.
struct SplitInput {
    File& file;
    const std::string& path;
    const FileIdentity& opened;
    // The input's leaf in the folder the pieces and list go to.
    const std::string& piecesOriginal;
};

// The pieces one run has made, so that a failed run can take them back.
class CreatedPieces {
public:
    void add(std::string name, FileIdentity identity) { pieces_.push_back({std::move(name), identity}); }

    // A name the journal claimed whose file this run did not create: another
    // program's file was there first.
    void disown(std::string name) { disowned_.push_back(std::move(name)); }

    // Deletes every piece of this run that is still as it was written, then
    // commits their folder.
    void removeAll(const std::string& piecesOriginal)
    {
        for (const Piece& piece : pieces_)
            fileSystem().removeIfSame(piece.name, piece.identity);
        if (!pieces_.empty())
            fileSystem().commitFolder(piecesOriginal);
        pieces_.clear();
    }

    // Deletes the piece of this run named `name`, while it is still as it was
    // written, and forgets it.
    void removeNamed(const std::string& name)
    {
        for (const Piece& piece : pieces_)
            if (piece.name == name)
                fileSystem().removeIfSame(piece.name, piece.identity);
        pieces_.erase(std::remove_if(pieces_.begin(), pieces_.end(), [&](const Piece& piece) { return piece.name == name; }),
                      pieces_.end());
    }

    // True when a name `journal` claims, and that is not disowned, is still there.
    bool anyLeft(const std::string& piecesOriginal, const Journal& journal) const
    {
        for (const std::string& name : ClaimedNames(piecesOriginal, journal))
            if (std::find(disowned_.begin(), disowned_.end(), name) == disowned_.end() && fileSystem().exists(name))
                return true;
        return false;
    }

private:
    struct Piece {
        std::string name;
        FileIdentity identity;
    };
    std::vector<Piece> pieces_;
    std::vector<std::string> disowned_;
};

// The failure of a write to `file`, with the operating system's reason.
SplitFailure WriteFailure(const std::string& file);

// Creates the piece `name`, fills it and closes it. Whatever becomes of it, a
// piece that was created is recorded in `created`, as it was last seen.
std::optional<SplitFailure> WritePiece(const SplitInput& input, const std::string& name, std::int64_t pieceBytes,
                                       ByteMover& mover, CopyHashes hashes, CreatedPieces& created);

// A failed run takes back its list as it last wrote it.
void RecordList(ListWriter& list, const std::string& path, CreatedPieces& created);

// The set's checksum list, created new with its header before the first
// piece (`madeInPlace`: for a split in place); empty, with `failure` set (and what it made recorded in `created`),
// when it cannot be.
std::unique_ptr<ListWriter> StartList(const SplitInput& input, std::int64_t partSize, const std::string& countText,
                                      bool madeInPlace, CreatedPieces& created, std::optional<SplitFailure>& failure);
