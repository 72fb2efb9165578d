#pragma once
// A dialog template's initialisation data: the items that fill its lists
// when it opens.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One entry: send `message` with `text` as lParam to control `controlId`.
struct DialogInitEntry {
    std::uint16_t controlId;
    std::uint16_t message;
    std::string text;
};

// The entries of `data`: records of control id (16 bits), message (16 bits),
// byte count (32 bits) and that many bytes holding a NUL-terminated string,
// ended by a zero id. Reading stops at the end mark, at the end of the data
// and at the first record that does not fit or whose bytes do not end in NUL.
std::vector<DialogInitEntry> ParseDialogInitData(const unsigned char* data, std::size_t size);
