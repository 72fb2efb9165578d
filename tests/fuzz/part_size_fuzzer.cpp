// The size `vandrel split` reads, under arbitrary text: an accepted size is a
// positive byte count, a refused one says why and names the text as typed,
// and any whole number with a unit, in any case and with blanks, reads as its
// count times the unit or is refused as too large; a decimal reads as its
// exact value rounded down to a whole byte, or is refused as too large or as
// less than a byte. And `--pieces N`: a size is given exactly when it makes N
// pieces, and the nearest counts a refusal names work while none between does.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "fuzz_check.h"
#include "part_size.h"
#include "piece_count.h"

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

// `whole`.`fraction` (the fraction's digits, up to 18 of them, as written
// with `digits` digits) with `unit`, against the exact value computed in 128 bits.
void CheckDecimal(std::uint64_t whole, std::uint64_t fraction, int digits, const Unit& unit)
{
    std::string fractionText = std::to_string(fraction);
    if (static_cast<int>(fractionText.size()) > digits)
        fractionText.resize(digits);
    fractionText.insert(0, digits - fractionText.size(), '0');
    __int128 scale = 1;
    for (int i = 0; i < digits; ++i)
        scale *= 10;
    const __int128 exact = static_cast<__int128>(whole) * unit.bytes +
                           static_cast<__int128>(std::stoull("0" + fractionText)) * unit.bytes / scale;

    const std::string text = std::to_string(whole) + "." + fractionText + unit.name;
    const PartSize size = ParsePartSize(text);
    if (exact == 0 || exact > std::numeric_limits<std::int64_t>::max()) {
        FUZZ_REQUIRE(!size.error.empty());
        FUZZ_REQUIRE(size.bytes == 0);
    } else {
        FUZZ_REQUIRE(size.error.empty());
        FUZZ_REQUIRE(size.bytes == static_cast<std::int64_t>(exact));
    }
}

std::int64_t PiecesOf(std::int64_t length, std::int64_t size) { return length / size + (length % size != 0); }

void CheckPieceCount(std::int64_t length, std::int64_t count)
{
    const PartSize size = PartSizeForPieceCount(length, count);
    const bool works = length >= 2 && count >= 2 && count <= length &&
                       PiecesOf(length, PiecesOf(length, count)) == count;
    FUZZ_REQUIRE(size.error.empty() == works);
    if (works) {
        FUZZ_REQUIRE(size.bytes == PiecesOf(length, count));
        return;
    }
    FUZZ_REQUIRE(size.bytes == 0);
    const std::size_t at = size.error.find("the nearest counts that work are ");
    if (at == std::string::npos)
        return;
    const char* numbers = size.error.c_str() + at + 33;
    char* end = nullptr;
    const std::int64_t below = std::strtoll(numbers, &end, 10);
    const std::int64_t above = std::strtoll(end + 5, nullptr, 10);
    FUZZ_REQUIRE(below < count && count < above);
    FUZZ_REQUIRE(PartSizeForPieceCount(length, below).error.empty());
    FUZZ_REQUIRE(PartSizeForPieceCount(length, above).error.empty());
    // Between them the sizes go from ceil(L/below) - 1 down to ceil(L/above) + 1,
    // so the size just below the smallest for `below` makes `above`.
    FUZZ_REQUIRE(PiecesOf(length, PiecesOf(length, below) - 1) == above);
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
    if (size >= 18) {
        std::uint64_t first = 0, second = 0;
        std::memcpy(&first, data, sizeof first);
        std::memcpy(&second, data + 8, sizeof second);
        const int shift = data[16] % 64;
        CheckDecimal(first >> shift, second, 1 + data[17] % 18, kUnits[data[17] / 18 % 5]);
        const auto length = static_cast<std::int64_t>(first >> 1 >> shift);
        CheckPieceCount(length, static_cast<std::int64_t>(second >> 1 >> (data[17] % 64)));
    }
    return 0;
}
