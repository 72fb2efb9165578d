#pragma once
// The piece size of `vandrel split`: a number with an optional unit, in the
// units of the window's list (binary multiples, MB when none is given), or the
// name of a disc or a file system.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

struct PartSize {
    std::int64_t bytes = 0;  // more than 0 when `error` is empty
    std::string error;       // why the text is refused, for the user
};

// A size by name: the largest piece that one such disc holds with room for
// its file system, or the largest file a FAT32 volume holds.
struct NamedSize {
    std::string_view name;
    std::int64_t bytes;
    std::string_view what;  // for --help: what the size fits
};

// Every named size, smallest first.
std::span<const NamedSize> NamedSizes();

// Reads "5", "5MB", "700 kb", "1.5GB", "0.25 gb", "4096B": digits, an optional
// point and more digits, optional blanks, then B, KB, MB or GB in any case;
// a fraction of a byte is dropped. Or a named size in any case (fat32, cd,
// dvd, dvd-dl, bd). Refuses, with a message naming the text, an empty,
// negative or non-numeric size, one that comes to 0 bytes, an unknown unit and
// a size beyond the signed 64-bit range of byte counts.
PartSize ParsePartSize(std::string_view text);
