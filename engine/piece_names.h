#pragma once
// The piece naming scheme, Vandrel's one on-disk format: piece i of a file at
// path P cut into N pieces is named "P.i.N.plit" and holds the bytes
// [i*S, min((i+1)*S, L)) of the original, with no header of any kind.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Plain decimal text of `value`: digits, with a leading "-" when negative.
std::string Int64ToDecimal(std::int64_t value);

// Reads a signed integer the way an input string stream does: leading white
// space skipped, an optional sign, then digits up to the first non-digit; the
// rest is ignored. 0 when no number can be read or it leaves the 64-bit range.
std::int64_t DecimalToInt64(std::string_view text);
// The same for window text, which is first converted with ToNarrowPath.
std::int64_t DecimalToInt64(const std::wstring& text);

// The name of piece `index` of the file at `originalPath`, whose count is
// written as `countText` (verbatim, so that any piece's spelling is kept).
std::string PieceName(const std::string& originalPath, std::int64_t index, const std::string& countText);

// What a join learns from the name of one chosen piece.
struct PieceSet {
    std::string originalPath;  // the file to rebuild
    std::string countText;     // the count as written in the chosen name
    std::int32_t pieceCount;   // that count, always at least 1
};

// Parses the name of any one piece: drops its last extension, whatever it is,
// reads the count from the next field and drops the index field unread. Dots
// are searched in the whole path, directories included. Empty when the count
// is not a number from 1 to 2,147,483,647.
std::optional<PieceSet> ParsePieceName(const std::string& chosenPath);
