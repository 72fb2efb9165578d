#include "part_size.h"

#include <cctype>
#include <limits>

#include "file_size_limit.h"
#include "size_units.h"

namespace {

constexpr std::int64_t kMaxBytes = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMiB = SizeUnitBytes("MB");

// A disc's piece is a whole number of MiB that leaves its file system room
// (e.g. a CD of 80 minutes holds 737,280,000 bytes; 700 MiB is 734,003,200).
// FAT32's files stop one byte short of 4 GiB, so "4GB" pieces do not fit there.
constexpr NamedSize kNamedSizes[] = {
    {"cd", 700 * kMiB, "a CD (700 MB)"},
    {"fat32", kFatLargestFile, "the largest file of a FAT32 disk (4 GB less one byte)"},
    {"dvd", 4480 * kMiB, "a DVD (4480 MB)"},
    {"dvd-dl", 8140 * kMiB, "a dual-layer DVD (8140 MB)"},
    {"bd", 23800 * kMiB, "a Blu-ray disc (23800 MB)"},
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

bool SameLetters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string_view TakeDigits(std::string_view& rest)
{
    std::size_t count = 0;
    while (count < rest.size() && IsDigit(rest[count]))
        ++count;
    const std::string_view digits = rest.substr(0, count);
    rest.remove_prefix(count);
    return digits;
}

// The whole number `digits` times `unitBytes`; -1 beyond kMaxBytes.
std::int64_t WholeBytes(std::string_view digits, std::int64_t unitBytes)
{
    std::int64_t count = 0;
    for (const char c : digits) {
        const int digit = c - '0';
        if (count > (kMaxBytes - digit) / 10)
            return -1;
        count = count * 10 + digit;
    }
    return count > kMaxBytes / unitBytes ? -1 : count * unitBytes;
}

// The whole bytes in the fraction 0.`digits` of `unitBytes`, exactly: the
// digits are multiplied by the unit from the last one on, and the carry out
// of the first is the whole part.
std::int64_t FractionBytes(std::string_view digits, std::int64_t unitBytes)
{
    std::int64_t carry = 0;
    for (auto digit = digits.rbegin(); digit != digits.rend(); ++digit)
        carry = ((*digit - '0') * unitBytes + carry) / 10;
    return carry;
}

// The names of `table`'s rows as a list in words: "a, b or c".
template <typename Table>
std::string NamesInWords(const Table& table)
{
    std::string names;
    for (const auto& row : table)
        names += std::string(row.name) + (&row == &table[std::size(table) - 2] ? " or " : ", ");
    names.resize(names.size() - 2);
    return names;
}

std::string UnitNames()
{
    return NamesInWords(kSizeUnits);
}

std::string SizeNames()
{
    return NamesInWords(kNamedSizes);
}

PartSize Refused(std::string_view text, const std::string& reason)
{
    return {0, "SIZE \"" + std::string(text) + "\" " + reason};
}

}  // namespace

std::span<const NamedSize> NamedSizes() { return kNamedSizes; }

PartSize ParsePartSize(std::string_view text)
{
    std::string_view rest = Trimmed(text);
    for (const NamedSize& size : kNamedSizes)
        if (SameLetters(rest, size.name))
            return {size.bytes, {}};
    if (!rest.empty() && rest.front() == '-')
        return Refused(text, "is negative: a piece must hold at least 1 byte");
    if (rest.empty() || !IsDigit(rest.front()))
        return Refused(text, "is not a number: give a number with an optional unit " + UnitNames() + ", or " +
                                 SizeNames());

    const std::string_view whole = TakeDigits(rest);
    std::string_view fraction;
    if (!rest.empty() && rest.front() == '.') {
        rest.remove_prefix(1);
        fraction = TakeDigits(rest);
        if (fraction.empty())
            return Refused(text, "has no digit after its point: write e.g. 1.5GB");
    }
    if (!rest.empty() && rest.front() == ',')
        return Refused(text, "has a comma: write a fraction with a point, e.g. 1.5GB");

    const std::string_view unitText = Trimmed(rest);
    std::int64_t unitBytes = unitText.empty() ? kDefaultSizeUnit.bytes : 0;
    for (const SizeUnit& unit : kSizeUnits)
        if (SameLetters(unitText, unit.name))
            unitBytes = unit.bytes;
    if (unitBytes == 0)
        return Refused(text, "has an unknown unit \"" + std::string(unitText) + "\": use " + UnitNames());

    const std::int64_t wholeBytes = WholeBytes(whole, unitBytes);
    const std::int64_t fractionBytes = FractionBytes(fraction, unitBytes);
    if (wholeBytes < 0 || wholeBytes > kMaxBytes - fractionBytes)
        return Refused(text, "is too large");
    if (wholeBytes + fractionBytes == 0)
        return Refused(text, fraction.empty() ? "is zero: a piece must hold at least 1 byte"
                                              : "is less than 1 byte: a piece must hold at least 1 byte");
    return {wholeBytes + fractionBytes, {}};
}
