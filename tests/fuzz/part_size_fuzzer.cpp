// The size `vandrel split` reads, under arbitrary text: an accepted size is a
// positive byte count, a refused one says why and names the text as typed,
// and any whole number with a unit, in any case and with blanks, reads as its
// count times the unit or is refused as too large.

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "fuzz_check.h"
#include "part_size.h"

namespace {

struct Unit {
    const char* name;
    std::int64_t bytes;
};
constexpr Unit kUnits[] = {{"", 1048576}, {"B", 1}, {"KB", 1024}, {"MB", 1048576}, {"GB", 1073741824}};

void CheckAnyText(const std::string& text)
{
    const PartSize size = ParsePartSize(text);
    if (size.error.empty()) {
        FUZZ_REQUIRE(size.bytes > 0);
    } else {
        FUZZ_REQUIRE(size.bytes == 0);
        FUZZ_REQUIRE(size.error.compare(0, text.size() + 8, "SIZE \"" + text + "\" ") == 0);
        FUZZ_REQUIRE(size.error.size() > text.size() + 8);
    }
}

// `count` with unit `unit`, its letters in the case bits of `caseBits` say,
// and blanks chosen by `blanks`.
void CheckNumberWithUnit(std::uint64_t count, const Unit& unit, std::uint32_t caseBits, std::uint32_t blanks)
{
    std::string unitText = unit.name;
    for (std::size_t i = 0; i < unitText.size(); ++i)
        if (caseBits >> i & 1)
            unitText[i] = static_cast<char>(unitText[i] - 'A' + 'a');
    const char* blankChoice[] = {"", " ", "\t", "  \t"};
    const std::string text = std::string(blankChoice[blanks & 3]) + std::to_string(count) +
                             blankChoice[blanks >> 2 & 3] + unitText + blankChoice[blanks >> 4 & 3];

    const PartSize size = ParsePartSize(text);
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (count == 0 || count > kMax / static_cast<std::uint64_t>(unit.bytes)) {
        FUZZ_REQUIRE(!size.error.empty());
        FUZZ_REQUIRE(size.bytes == 0);
    } else {
        FUZZ_REQUIRE(size.error.empty());
        FUZZ_REQUIRE(size.bytes == static_cast<std::int64_t>(count) * unit.bytes);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CheckAnyText(std::string(reinterpret_cast<const char*>(data), size));

    if (size >= 10) {
        std::uint64_t count = 0;
        std::memcpy(&count, data, sizeof count);
        // Small counts matter as much as large ones: the ninth byte picks the width.
        count >>= data[8] % 64;
        CheckNumberWithUnit(count, kUnits[data[9] % 5], data[9] / 5, size > 10 ? data[10] : 0);
    }
    return 0;
}
