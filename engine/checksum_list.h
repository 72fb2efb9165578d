#pragma once
// The checksum list that travels with every set: NAME.plit.sha256 beside the
// pieces, in the very format `sha256sum` writes and `sha256sum -c` checks (one
// line per piece in index order, then one for the whole original; for a set
// split in place, one line per piece from the last to the first and none for
// the original), below `#` comment lines that give the set's facts and how to
// join the pieces without Vandrel. A join checks every piece against it
// before it consumes the piece. Its name never parses as a piece and is not
// matched by NAME.*.plit.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "file_system.h"
#include "piece_names.h"
#include "sha256.h"

// What the list's comments record of the set and its original.
struct SetFacts {
    std::string originalLeaf;          // the original's leaf name
    std::int64_t originalSize = 0;     // its length in bytes
    std::int64_t modifiedUtcNs = 0;    // its last write time, nanoseconds since 1970-01-01 UTC
    int modifiedDigits = 9;            // the digits of a second that time was taken with (9, or 7 on Windows)
    std::int64_t partSize = 0;
    std::string countText;             // the piece count as the pieces' names spell it
    // Made by a split in place: one line per piece, from the last piece to
    // the first as they were made, and no line for the whole original.
    bool madeInPlace = false;
};

// One `sha256sum` line: a digest and the leaf name it is for.
struct ListLine {
    Sha256Digest digest{};
    std::string leaf;
};

struct ChecksumList {
    SetFacts facts;
    // As the text has them: the pieces in order, then the original; or, made
    // in place, the pieces from the last to the first. PieceLine and
    // WholeLine say which line is which.
    std::vector<ListLine> lines;
};

// The line of piece `index`: where the list's order puts it (the index'th, or
// counted from the last piece down in a list made in place); null when the
// list is too short to hold it. Whether that line names the piece is
// ListMisfit's (or PartialListMisfit's) question.
const ListLine* PieceLine(const ChecksumList& list, std::int32_t index);
// The whole original's line, the last one; null in a list made in place,
// which has none, and in a list without lines.
const ListLine* WholeLine(const ChecksumList& list);

// Where the list of the set of `originalPath` lies: the original's path plus ".plit.sha256".
std::string ChecksumListPath(const std::string& originalPath);
// The original's path of the list at `listPath`; empty when it names no list.
std::optional<std::string> OriginalOfList(const std::string& listPath);

// The comment lines that open a list: the facts (with a "# split: in place"
// line for a list made in place), how to check the pieces with sha256sum,
// and how to join them with `cat` or `copy /b`.
std::string FormatListHeader(const SetFacts& facts);
// One line as sha256sum writes it, its name escaped as sha256sum escapes it
// ("\" first on the line, then "\\" for a backslash, "\n" for a newline and
// "\r" for a carriage return), ending in "\n".
std::string FormatListLine(const ListLine& line);

// Reads a list's text, LF or CRLF line ends; empty, with `problem` saying
// which line and why, when it is no list that FormatListHeader and
// FormatListLine could have written (a missing or garbled fact, a line that
// is no checksum line).
std::optional<ChecksumList> ParseChecksumList(std::string_view text, std::string& problem);
// Reads the list a split in place may have been cut while writing: only the
// lines that are whole, those before its last line end and before any NUL
// byte (the rest is a line torn by the cut, or a tail the disk never filled);
// no checksum line at all is fine. Empty, with `problem`, when those lines
// are no list (its header torn included).
std::optional<ChecksumList> ParsePartialChecksumList(std::string_view text, std::string& problem);

// What is at a list's path.
enum class ListFound { None, Read, Unreadable, Damaged };
struct FoundList {
    ListFound found = ListFound::None;
    std::string path;
    ChecksumList list;
    std::string reason;  // for Unreadable and Damaged: the operating system's reason, or the parser's problem
    std::optional<FileIdentity> identity;  // for Read: the file as it was read
};

// Reads the list of the set of `set` through fileSystem(); nothing is written.
FoundList ReadChecksumList(const PieceSet& set);
// The same with ParsePartialChecksumList: the list of a split in place that
// did not finish.
FoundList ReadPartialChecksumList(const PieceSet& set);

// Why `list` is not the list of `set`: another count or count spelling,
// other names, sizes that no set of this count has, a line missing or too
// many or out of its order (the list of a split in place that has not
// finished says so), its facts disagreeing with its lines (a list made in
// place with a line for the whole original). Empty when it fits.
std::optional<std::string> ListMisfit(const ChecksumList& list, const PieceSet& set);
// The same for the list of a split in place that did not finish: made in
// place, the lines of pieces N-1 down to some k, none for the original, and
// no more; no line at all fits too. Empty when it fits: PieceLine then gives
// each piece's line it has, null for the others.
std::optional<std::string> PartialListMisfit(const ChecksumList& list, const PieceSet& set);

// The length of piece `index` of the set the list describes.
std::int64_t ListedPieceSize(const SetFacts& facts, std::int32_t index);
