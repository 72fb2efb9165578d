#pragma once
// `vandrel split --pieces N`: the piece size that cuts a file into N pieces.

#include <cstdint>
#include <string>

#include "part_size.h"

// The piece size S = ceil(length / count), when the file of `length` bytes
// in pieces of S bytes makes exactly `count` pieces, at least 2 (a split's
// piece is smaller than its file). Otherwise refused, naming the counts that
// work: every one of them for a short file (e.g. "a 9-byte file ... can be cut
// into 2, 3, 5 or 9"), else the nearest below and above `count`.
PartSize PartSizeForPieceCount(std::int64_t length, std::int64_t count);
