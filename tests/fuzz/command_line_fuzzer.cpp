// The piece path a join started from the shell works on, under arbitrary
// command lines (UTF-16 code units, as Windows passes them): the path is a
// trimmed part of the text, a path quoted by the shell comes back whole, and
// the narrow path handed to the job is valid UTF-8 that widens back to it.

#include <cstdint>
#include <string>

#include "command_line.h"
#include "fuzz_check.h"
#include "piece_names.h"
#include "platform/text.h"

namespace {

bool IsWhiteSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }

bool IsQuotedAtBothEnds(const std::wstring& text)
{
    return text.size() >= 2 && text.front() == L'"' && text.back() == L'"';
}

// True when `text` is well-formed UTF-8 of Unicode scalar values.
bool IsValidUtf8(const std::string& text)
{
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        std::size_t length = 0;
        char32_t value = 0;
        if (lead < 0x80)
            length = 1, value = lead;
        else if ((lead & 0xE0) == 0xC0)
            length = 2, value = lead & 0x1F;
        else if ((lead & 0xF0) == 0xE0)
            length = 3, value = lead & 0x0F;
        else if ((lead & 0xF8) == 0xF0)
            length = 4, value = lead & 0x07;
        else
            return false;
        if (at + length > text.size())
            return false;
        for (std::size_t i = 1; i < length; ++i) {
            const auto next = static_cast<unsigned char>(text[at + i]);
            if ((next & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (next & 0x3F);
        }
        constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return false;
        at += length;
    }
    return true;
}

// `wide` with every code unit that is no scalar value made U+FFFD.
std::wstring WithReplacements(std::wstring wide)
{
    for (wchar_t& c : wide)
        if ((c >= 0xD800 && c <= 0xDFFF) || static_cast<std::uint32_t>(c) > 0x10FFFF)
            c = 0xFFFD;
    return wide;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::wstring commandLine;
    for (std::size_t at = 0; at + 1 < size; at += 2)
        commandLine += static_cast<wchar_t>(data[at] | data[at + 1] << 8);

    const std::wstring path = PiecePathFromCommandLine(commandLine);
    FUZZ_REQUIRE(commandLine.find(path) != std::wstring::npos);
    FUZZ_REQUIRE(path.empty() || (!IsWhiteSpace(path.front()) && !IsWhiteSpace(path.back())));

    // As the shell passes it, quoted and with blanks around, the path comes
    // back whole; unquoted, too, unless quotes stand at both of its ends.
    FUZZ_REQUIRE(PiecePathFromCommandLine(L" \t\"" + path + L"\"\r\n") == path);
    if (!IsQuotedAtBothEnds(path))
        FUZZ_REQUIRE(PiecePathFromCommandLine(L"  " + path + L" ") == path);

    // What the join receives.
    const std::string narrow = ToNarrowPath(path);
    FUZZ_REQUIRE(IsValidUtf8(narrow));
    FUZZ_REQUIRE(ToWidePath(narrow) == WithReplacements(path));
    if (const auto set = ParsePieceName(narrow))
        FUZZ_REQUIRE(narrow.compare(0, set->originalPath.size(), set->originalPath) == 0);
    return 0;
}
