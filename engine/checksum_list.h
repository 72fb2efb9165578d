#pragma once
// The checksum list that travels with every set: NAME.plit.sha256 beside the
// pieces, in the very format `sha256sum` writes and `sha256sum -c` checks (one
// line per piece in index order, then one for the whole original), below `#`
// comment lines that give the set's facts and how to join the pieces without
// Vandrel. A join checks every piece against it before it consumes the piece.
// Its name never parses as a piece and is not matched by NAME.*.plit.

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
    std::vector<ListLine> lines;  // as the text has them: the pieces in order, then the original
};

// Where the list of the set of `originalPath` lies: the original's path plus ".plit.sha256".
std::string ChecksumListPath(const std::string& originalPath);
// The original's path of the list at `listPath`; empty when it names no list.
std::optional<std::string> OriginalOfList(const std::string& listPath);

// The comment lines that open a list: the facts, how to check the pieces
// with sha256sum, and how to join them with `cat` or `copy /b`.
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

// Why `list` is not the list of `set`: another count or count spelling,
// other names, sizes that no set of this count has, a line missing or too
// many, its facts disagreeing with its lines. Empty when it fits.
std::optional<std::string> ListMisfit(const ChecksumList& list, const PieceSet& set);

// The length of piece `index` of the set the list describes.
std::int64_t ListedPieceSize(const SetFacts& facts, std::int32_t index);
