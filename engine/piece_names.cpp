#include "piece_names.h"

#include <cctype>
#include <limits>

#include "platform/text.h"

std::string Int64ToDecimal(std::int64_t value)
{
    return std::to_string(value);
}

std::int64_t DecimalToInt64(std::string_view text)
{
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-'))
        negative = text[at++] == '-';
    if (at == text.size() || !std::isdigit(static_cast<unsigned char>(text[at])))
        return 0;

    // Accumulate as a negative number, whose range holds the most negative value too.
    constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
        const int digit = text[at] - '0';
        if (value < (lowest + digit) / 10)
            return 0;
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    return value == lowest ? 0 : -value;
}

std::int64_t DecimalToInt64(const std::wstring& text)
{
    return DecimalToInt64(ToNarrowPath(text));
}

std::string PieceName(const std::string& originalPath, std::int64_t index, const std::string& countText)
{
    return originalPath + "." + Int64ToDecimal(index) + "." + countText + ".plit";
}

namespace {

// Keeps the text before the last "." of the whole string; no dot, no change.
std::string Cut(const std::string& path)
{
    const auto dot = path.rfind('.');
    return dot == std::string::npos ? path : path.substr(0, dot);
}

}  // namespace

std::optional<PieceSet> ParsePieceName(const std::string& chosenPath)
{
    const std::string withoutExtension = Cut(chosenPath);
    const auto dot = withoutExtension.rfind('.');
    std::string countText = dot == std::string::npos ? withoutExtension : withoutExtension.substr(dot + 1);

    // A join reads the count as a signed 32-bit number; a negative count would
    // name no piece at all, so it is as invalid as none.
    const std::int64_t count = DecimalToInt64(countText);
    if (count <= 0 || count > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;

    return PieceSet{Cut(Cut(withoutExtension)), std::move(countText), static_cast<std::int32_t>(count)};
}
