#pragma once
// The piece size of `vandrel split`: a whole number with an optional unit, in
// the units of the window's list (binary multiples, MB when none is given).

#include <cstdint>
#include <string>
#include <string_view>

struct PartSize {
    std::int64_t bytes = 0;  // more than 0 when `error` is empty
    std::string error;       // why the text is refused, for the user
};

// Reads "5", "5MB", "700 kb", "2GB", "4096B": digits, optional blanks, then
// B, KB, MB or GB in any case; or "fat32" in any case, 4 GiB less one byte,
// the largest file a FAT32 volume holds. Refuses, with a message naming the
// text, an empty, negative, fractional or non-numeric size, 0, an unknown
// unit and a size beyond the signed 64-bit range of byte counts.
PartSize ParsePartSize(std::string_view text);
