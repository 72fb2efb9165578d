#pragma once
// The journal of a job: a few lines of text beside the pieces, created new,
// written and committed before the job changes anything. It records the set's
// facts that no file's size tells (the part size, when only the last piece is
// left) and, above all, which file is the job's output, so that a later join
// writes into, cuts or renames a file only when a record of its own proves it.
//
// It is locked for as long as its job runs: only an unlocked journal can be
// stale. Its name never ends in ".plit" and never parses as a piece.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "file_system.h"

enum class JournalKind { Join, Split, InPlaceSplit };

struct Journal {
    JournalKind kind = JournalKind::Join;
    std::string originalLeaf;  // the original's leaf name
    std::string countText;     // the count exactly as the pieces spell it
    std::int64_t partSize = 0;
    std::int64_t lastSize = 0;
    // The job's other folder, "." for the journal's own: a join's output
    // folder, relative to the pieces' folder for a folder inside it, else
    // absolute (join_place.h); a split's input folder, absolute when the
    // pieces went elsewhere (split_journal.h).
    std::string outputFolder = ".";
    // A copy (--keep): the job keeps its input. A later join that takes the
    // job up keeps the pieces and the list too, whatever it was asked.
    bool keep = false;
    // The last write time the pieces agree on, which the rebuilt file takes.
    std::optional<std::int64_t> modified;
    // The name a copied piece 0 is written under before it becomes the output;
    // empty when piece 0 is renamed.
    std::string privateLeaf;
    // The file that is or becomes the output (volume and file id): piece 0
    // when it is renamed, else the private file once created. Written before
    // the first byte is appended.
    std::optional<FileIdentity> output;
    // A split's alone: the input as it was opened (volume, file id, size and
    // last write time, the time as UTC nanoseconds), whether it writes the
    // checksum list, and how many pieces it began: each piece's index is
    // appended, durable, before the piece is created.
    std::optional<FileIdentity> input;
    bool withList = false;
    std::int64_t piecesBegun = 0;
    // A split in place's alone: a join is giving the input its pieces back.
    // Its pieces are begun from the last: piecesBegun counts N-1 downwards.
    bool undoing = false;

    // The length of the whole original.
    std::int64_t originalSize(std::int32_t pieceCount) const { return partSize * (pieceCount - 1) + lastSize; }
    // A split's: the lowest index of the pieces it began (0 when none, or,
    // in place, the count), which begin from 0 up, or in place from the last down.
    std::int64_t lowestBegun() const;
};

// Where the journal of the set of `originalPath` lies (beside the pieces), and
// the private name a copied piece 0 is written under (beside the output).
std::string JournalPath(const std::string& originalPath);
std::string PrivateOutputPath(const std::string& originalPath);
// The last component of `path`.
std::string LeafOf(const std::string& path);

// The journal as text, and back. ParseJournal tells a journal of another
// version apart from one that is no journal at all (empty, torn, garbage). A
// torn last line, which only the output's record can be, is taken as absent.
std::string FormatJournal(const Journal& journal);
enum class JournalText { Read, OtherVersion, Damaged };
JournalText ParseJournal(std::string_view text, Journal& journal);

// A journal file open and locked by this run.
struct OpenJournal {
    std::string path;
    std::unique_ptr<File> file;
    Journal journal;
};

// What is at a journal's path, as a survey finds it.
enum class JournalFound { None, InUse, Damaged, OtherVersion, Read };
struct FoundJournal {
    JournalFound found = JournalFound::None;
    OpenJournal open;  // locked when found is Read or Damaged
    std::string reason;
};

// Opens and locks the journal at `path` and reads it; nothing is written.
// `forUpdate`: opened for reading and writing, so that the job that takes it
// up can append to it (RecordPiecesBegunDownTo, RecordUndoing).
FoundJournal FindJournal(const std::string& path, bool forUpdate = false);

// Creates the journal at `path` new, locks it, writes `journal`, and makes it
// durable, its name included. Empty, with the operating system's `reason` and
// no file left behind, when any step fails.
std::optional<OpenJournal> CreateJournal(const std::string& path, const Journal& journal, std::string& reason);

// Adds the output's identity to an open journal, durable before it returns.
bool RecordOutput(OpenJournal& journal, const FileIdentity& output);

// Appends to a split's open journal that piece `index` is about to be
// created, durable before it returns.
bool RecordPieceBegun(OpenJournal& journal, std::int64_t index);

// Appends to a split in place's open journal that every piece from the
// last one not yet recorded down to `lowest` is about to be created, durable
// before it returns (one commit for them all); nothing when they all are.
bool RecordPiecesBegunDownTo(OpenJournal& journal, std::int64_t lowest);

// Appends to a split in place's open journal that a join gives the input
// its pieces back from now on, durable before it returns.
bool RecordUndoing(OpenJournal& journal);

// Closes and deletes the journal, then commits its folder.
bool RemoveJournal(OpenJournal& journal);
