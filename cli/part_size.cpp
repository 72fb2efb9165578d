#include "part_size.h"

#include <cctype>
#include <limits>

#include "size_units.h"

namespace {

constexpr std::int64_t kMaxBytes = std::numeric_limits<std::int64_t>::max();

// The name of the largest piece a FAT32 volume holds: its files stop one byte
// short of 4 GiB, so "4GB" pieces do not fit there.
constexpr std::string_view kFat32Name = "fat32";
constexpr std::int64_t kFat32LargestFile = 4 * SizeUnitBytes("GB") - 1;

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

PartSize Refused(std::string_view text, const std::string& reason)
{
    return {0, "SIZE \"" + std::string(text) + "\" " + reason};
}

}  // namespace

PartSize ParsePartSize(std::string_view text)
{
    std::string_view rest = Trimmed(text);
    if (SameLetters(rest, kFat32Name))
        return {kFat32LargestFile, {}};
    if (!rest.empty() && rest.front() == '-')
        return Refused(text, "is negative: a piece must hold at least 1 byte");
    if (rest.empty() || !IsDigit(rest.front()))
        return Refused(text, "is not a number: give a whole number with an optional unit B, KB, MB or GB, or fat32");

    // Digits first, with the range checked as they accumulate.
    std::int64_t count = 0;
    bool tooLarge = false;
    for (; !rest.empty() && IsDigit(rest.front()); rest.remove_prefix(1)) {
        const int digit = rest.front() - '0';
        if (count > (kMaxBytes - digit) / 10)
            tooLarge = true;
        else
            count = count * 10 + digit;
    }
    if (!rest.empty() && (rest.front() == '.' || rest.front() == ','))
        return Refused(text, "is not a whole number: give it in a smaller unit");

    const std::string_view unitText = Trimmed(rest);
    std::int64_t unitBytes = 0;
    if (unitText.empty())
        unitBytes = kDefaultSizeUnit.bytes;
    for (const SizeUnit& unit : kSizeUnits)
        if (SameLetters(unitText, unit.name))
            unitBytes = unit.bytes;
    if (unitBytes == 0)
        return Refused(text, "has an unknown unit \"" + std::string(unitText) + "\": use B, KB, MB or GB");

    if (tooLarge || count > kMaxBytes / unitBytes)
        return Refused(text, "is too large");
    if (count == 0)
        return Refused(text, "is zero: a piece must hold at least 1 byte");
    return {count * unitBytes, {}};
}
