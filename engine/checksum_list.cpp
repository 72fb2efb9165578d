#include "checksum_list.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <map>

#include "file_system.h"
#include "join_journal.h"
#include "name_escape.h"
#include "vandrel_version.h"

namespace {

constexpr std::string_view kListSuffix = ".plit.sha256";
constexpr std::int64_t kNanosecondsPerSecond = 1'000'000'000;
constexpr std::int64_t kSecondsPerDay = 86'400;

// The facts' keys, as the comment lines spell them: "# key: value".
constexpr std::string_view kOriginalKey = "original";
constexpr std::string_view kSizeKey = "size";
constexpr std::string_view kModifiedKey = "modified";
constexpr std::string_view kPartSizeKey = "part size";
constexpr std::string_view kPiecesKey = "pieces";
constexpr std::string_view kFactKeys[] = {kOriginalKey, kSizeKey, kModifiedKey, kPartSizeKey, kPiecesKey};
// A fact only some lists have: how the split made the set. Without it the
// set was split forward, as by every version before the split in place.
constexpr std::string_view kSplitKey = "split";
constexpr std::string_view kSplitInPlace = "in place";
constexpr std::string_view kKnownKeys[] = {kOriginalKey, kSizeKey, kModifiedKey, kPartSizeKey, kPiecesKey, kSplitKey};

// What a list may hold besides its lines: the header, a few comments a user
// adds, blank lines. A line is its digest, two marks, the name (escaped, at
// most twice as long) and a CR LF.
constexpr std::int64_t kMostCommentBytes = 64 * 1024;
constexpr std::int64_t kLineOverhead = 64 + 2 + 1 + 2;
// However large the set, a list is read into memory whole; this is what a
// set of a few million pieces with names of a hundred bytes needs.
constexpr std::int64_t kMostListBytes = std::int64_t{1} << 30;

// ---- names, escaped as sha256sum escapes them

bool NeedsEscape(std::string_view name)
{
    return name.find_first_of("\\\n\r") != std::string_view::npos;
}


// ---- UTC civil time, by the proleptic Gregorian calendar's day arithmetic

std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

CivilDate CivilFromDays(std::int64_t days)
{
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    return {static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

bool IsLeapYear(std::int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(std::int64_t year, unsigned month)
{
    constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::int64_t PowerOfTen(int exponent)
{
    std::int64_t value = 1;
    while (exponent-- > 0)
        value *= 10;
    return value;
}

std::string Padded(std::int64_t value, int width)
{
    std::string digits = std::to_string(value);
    return std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(digits.size()))), '0') + digits;
}

// "YYYY-MM-DD HH:MM:SS.fffffffff UTC" with `digits` digits of a second, cut
// (towards the past) to them; no dot at all for none.
std::string FormatUtc(std::int64_t nanoseconds, int digits)
{
    digits = std::clamp(digits, 0, 9);
    std::int64_t seconds = nanoseconds / kNanosecondsPerSecond;
    std::int64_t fraction = nanoseconds % kNanosecondsPerSecond;
    if (fraction < 0) {
        fraction += kNanosecondsPerSecond;
        --seconds;
    }
    std::int64_t days = seconds / kSecondsPerDay;
    std::int64_t secondOfDay = seconds % kSecondsPerDay;
    if (secondOfDay < 0) {
        secondOfDay += kSecondsPerDay;
        --days;
    }
    const CivilDate date = CivilFromDays(days);
    std::string text = Padded(date.year, 4) + "-" + Padded(date.month, 2) + "-" + Padded(date.day, 2) + " " +
                       Padded(secondOfDay / 3600, 2) + ":" + Padded(secondOfDay / 60 % 60, 2) + ":" +
                       Padded(secondOfDay % 60, 2);
    if (digits > 0)
        text += "." + Padded(fraction / PowerOfTen(9 - digits), digits);
    return text + " UTC";
}

// Exactly `width` decimal digits at `at` into `value`, moving past them.
bool FixedDigits(std::string_view text, std::size_t& at, std::size_t width, std::int64_t& value)
{
    if (text.size() - at < width)
        return false;
    value = 0;
    for (const std::size_t end = at + width; at < end; ++at) {
        if (text[at] < '0' || text[at] > '9')
            return false;
        value = value * 10 + (text[at] - '0');
    }
    return true;
}

bool Literal(std::string_view text, std::size_t& at, std::string_view expected)
{
    if (text.substr(at, expected.size()) != expected)
        return false;
    at += expected.size();
    return true;
}

// Reads what FormatUtc writes; the time must be a valid date and second that
// nanoseconds since 1970 in 64 bits can hold.
bool ParseUtc(std::string_view text, std::int64_t& nanoseconds, int& digits)
{
    std::size_t at = 0;
    std::int64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    const bool fields = FixedDigits(text, at, 4, year) && Literal(text, at, "-") && FixedDigits(text, at, 2, month) &&
                        Literal(text, at, "-") && FixedDigits(text, at, 2, day) && Literal(text, at, " ") &&
                        FixedDigits(text, at, 2, hour) && Literal(text, at, ":") && FixedDigits(text, at, 2, minute) &&
                        Literal(text, at, ":") && FixedDigits(text, at, 2, second);
    if (!fields || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, static_cast<unsigned>(month)) ||
        hour > 23 || minute > 59 || second > 59)
        return false;
    digits = 0;
    std::int64_t fraction = 0;
    if (Literal(text, at, ".")) {
        while (at < text.size() && digits < 10 && text[at] >= '0' && text[at] <= '9') {
            fraction = fraction * 10 + (text[at++] - '0');
            ++digits;
        }
        if (digits == 0 || digits > 9)
            return false;
    }
    if (!Literal(text, at, " UTC") || at != text.size())
        return false;

    const std::int64_t seconds =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) * kSecondsPerDay + hour * 3600 +
        minute * 60 + second;
    const std::int64_t fractionNs = fraction * PowerOfTen(9 - digits);
    // Before 1970 the whole seconds alone may lie below the range that the
    // time with its fraction is in: count from the next second down instead.
    std::int64_t whole = 0;
    if (seconds < 0)
        return !__builtin_mul_overflow(seconds + 1, kNanosecondsPerSecond, &whole) &&
               !__builtin_add_overflow(whole, fractionNs - kNanosecondsPerSecond, &nanoseconds);
    return !__builtin_mul_overflow(seconds, kNanosecondsPerSecond, &whole) &&
           !__builtin_add_overflow(whole, fractionNs, &nanoseconds);
}

// ---- numbers

std::optional<std::int64_t> ByteCount(std::string_view text)
{
    std::int64_t value = 0;
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end || value < 0)
        return std::nullopt;
    return value;
}

bool IsCountText(std::string_view text)
{
    const std::int64_t count = DecimalToInt64(text);
    return count >= 1 && count <= std::numeric_limits<std::int32_t>::max() && text.find('.') == std::string_view::npos;
}

// ---- the join commands in the header

// A word sh reads as `text`, which holds no line break: bare when nothing in
// it is special, else in single quotes.
std::string ShellQuoted(std::string_view text)
{
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               std::string_view("._+-,@=:/").find(c) != std::string_view::npos;
    });
    if (plain)
        return std::string(text);
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A leaf that begins with "-" is taken for an option unless it has a folder.
std::string ShellSafeLeaf(std::string_view leaf)
{
    return leaf.substr(0, 1) == "-" ? "./" + std::string(leaf) : std::string(leaf);
}

std::string LeafWord(std::string_view leaf)
{
    return ShellQuoted(ShellSafeLeaf(leaf));
}

// A printf format that prints `text` exactly, line breaks included, in single quotes.
std::string PrintfFormat(std::string_view text)
{
    std::string out = "'";
    for (const char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '%': out += "%%"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\'': out += "'\\''"; break;
        default: out += c;
        }
    }
    return out + "'";
}

// cat for each piece in order into the original's name. A name with a line
// break cannot stand in a comment line: printf makes it, and a "/" (which no
// name holds) keeps the shell from dropping a trailing newline.
std::string ShellJoinCommand(const SetFacts& facts, std::int64_t count)
{
    const std::string loop = "for i in $(seq 0 " + std::to_string(count - 1) + "); do cat -- ";
    const std::string countLeaf = facts.countText + ".plit";
    if ((facts.originalLeaf + facts.countText).find_first_of("\n\r") != std::string::npos)
        return "n=$(printf -- " + PrintfFormat(facts.originalLeaf + "/") + "); c=$(printf -- " + PrintfFormat(countLeaf + "/") +
               "); " + loop + "\"${n%/}.$i.${c%/}\"; done > \"${n%/}\"";
    return loop + LeafWord(facts.originalLeaf) + ".$i." + ShellQuoted(countLeaf) + "; done > " +
           LeafWord(facts.originalLeaf);
}

// The cmd.exe loop variable: a letter that follows no "%" in the names, so
// that the loop replaces nothing in them.
char LoopLetter(const std::string& names)
{
    for (const char letter : std::string_view("ijknpqxyz")) {
        if (names.find(std::string("%") + letter) == std::string::npos)
            return letter;
    }
    return 'i';
}

// copy /b of piece 0 to the original's name, then each further piece
// appended: copy with no destination combines its sources into the first.
std::string WindowsJoinCommand(const SetFacts& facts, std::int64_t count)
{
    const std::string original = EscapedName(facts.originalLeaf);
    const std::string suffix = "." + EscapedName(facts.countText) + ".plit";
    const std::string loopVariable = std::string("%") + LoopLetter(original + suffix);
    std::string command = "copy /b \"" + original + ".0" + suffix + "\" \"" + original + "\"";
    if (count > 1)
        command += "  then  for /L " + loopVariable + " in (1,1," + std::to_string(count - 1) + ") do copy /b \"" +
                   original + "\" + \"" + original + "." + loopVariable + suffix + "\"";
    return command;
}

// ---- reading

struct TextLine {
    std::string_view text;
    std::size_t number;
};

// The text's lines without their LF or CR LF; a last line without either counts.
std::vector<TextLine> LinesOf(std::string_view text)
{
    std::vector<TextLine> lines;
    for (std::size_t at = 0, number = 1; at < text.size(); ++number) {
        std::size_t end = text.find('\n', at);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(at, end - at);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back({line, number});
        at = next;
    }
    return lines;
}

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char c)
{
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// Reads one line as sha256sum -c does: "\" first when the name is escaped,
// 64 hex digits, a space, a space or "*", the name.
std::optional<ListLine> ParseChecksumLine(std::string_view line, std::string& problem)
{
    const bool escaped = !line.empty() && line.front() == '\\';
    if (escaped)
        line.remove_prefix(1);
    if (line.size() < 64 || !std::all_of(line.begin(), line.begin() + 64, IsHexDigit)) {
        problem = "it is neither a comment nor a line of 64 hexadecimal digits and a name";
        return std::nullopt;
    }
    ListLine parsed;
    for (std::size_t i = 0; i < parsed.digest.size(); ++i)
        parsed.digest[i] = static_cast<std::uint8_t>(HexValue(line[2 * i]) * 16 + HexValue(line[2 * i + 1]));
    const std::string_view rest = line.substr(64);
    if (rest.size() < 3 || rest[0] != ' ' || (rest[1] != ' ' && rest[1] != '*')) {
        problem = "its digest is not followed by two spaces (or a space and \"*\") and a name";
        return std::nullopt;
    }
    const std::string_view name = rest.substr(2);
    std::optional<std::string> leaf = escaped ? UnescapedName(name) : std::string(name);
    if (!leaf) {
        problem = "its name has a \"\\\" that is no \"\\\\\", \"\\n\" or \"\\r\"";
        return std::nullopt;
    }
    parsed.leaf = std::move(*leaf);
    return parsed;
}

// Reads one "# key: value" fact into `facts`; empty when the value is good,
// else what is wrong with it.
std::optional<std::string> ReadFact(std::string_view key, std::string_view value, SetFacts& facts)
{
    if (key == kOriginalKey || key == kPiecesKey) {
        std::optional<std::string> text = UnescapedName(value);
        if (!text || text->empty())
            return "the name is empty or has a \"\\\" that is no \"\\\\\", \"\\n\" or \"\\r\"";
        if (key == kPiecesKey && !IsCountText(*text))
            return "the piece count is no number from 1 to 2147483647";
        (key == kOriginalKey ? facts.originalLeaf : facts.countText) = std::move(*text);
        return std::nullopt;
    }
    if (key == kSplitKey) {
        if (value != kSplitInPlace)
            return "the way of the split is no \"" + std::string(kSplitInPlace) + "\"";
        facts.madeInPlace = true;
        return std::nullopt;
    }
    if (key == kModifiedKey)
        return ParseUtc(value, facts.modifiedUtcNs, facts.modifiedDigits)
                   ? std::nullopt
                   : std::optional<std::string>("the time is no \"YYYY-MM-DD HH:MM:SS.fraction UTC\" within 1677 to 2262");
    const std::optional<std::int64_t> number = ByteCount(value);
    if (!number || (key == kPartSizeKey && *number == 0))
        return key == kSizeKey ? "the size is no number of bytes" : "the part size is no number of bytes above 0";
    (key == kSizeKey ? facts.originalSize : facts.partSize) = *number;
    return std::nullopt;
}

std::string Lined(std::size_t number, const std::string& what)
{
    return "line " + std::to_string(number) + ": " + what;
}

// How a name stands in a reason: quoted, its line breaks escaped.
std::string Quoted(std::string_view name)
{
    return "\"" + EscapedName(name) + "\"";
}

bool SizesFit(const SetFacts& facts, std::int64_t count)
{
    std::int64_t allButLast = 0;
    std::int64_t all = 0;
    if (facts.partSize <= 0 || __builtin_mul_overflow(count - 1, facts.partSize, &allButLast))
        return false;
    // A whole that overflows is larger than any size.
    const bool allFits = !__builtin_mul_overflow(count, facts.partSize, &all);
    return allButLast < facts.originalSize && (!allFits || facts.originalSize <= all);
}

// The most bytes the list of `set` can take: its lines with the longest
// name, escaped, plus room for the comments.
std::int64_t MostListBytes(const PieceSet& set)
{
    const std::string longestLeaf = LeafOf(PieceName(set.originalPath, set.pieceCount - 1, set.countText));
    const std::int64_t lineBytes = kLineOverhead + 2 * static_cast<std::int64_t>(longestLeaf.size());
    const std::int64_t lines = std::int64_t{set.pieceCount} + 1;
    return std::min(kMostListBytes, kMostCommentBytes + lines * lineBytes);
}

}  // namespace

std::string ChecksumListPath(const std::string& originalPath)
{
    return originalPath + std::string(kListSuffix);
}

std::optional<std::string> OriginalOfList(const std::string& listPath)
{
    const std::size_t suffix = kListSuffix.size();
    if (listPath.size() <= suffix || listPath.compare(listPath.size() - suffix, suffix, kListSuffix) != 0)
        return std::nullopt;
    return listPath.substr(0, listPath.size() - suffix);
}

std::string FormatListHeader(const SetFacts& facts)
{
    const std::string leaf = EscapedName(facts.originalLeaf);
    const std::int64_t count = DecimalToInt64(facts.countText);
    std::string text = "# Checksums of the pieces of \"" + leaf + "\", made by Vandrel " VANDREL_VERSION ".\n";
    text += "# " + std::string(kOriginalKey) + ": " + leaf + "\n";
    text += "# " + std::string(kSizeKey) + ": " + std::to_string(facts.originalSize) + "\n";
    text += "# " + std::string(kModifiedKey) + ": " + FormatUtc(facts.modifiedUtcNs, facts.modifiedDigits) + "\n";
    text += "# " + std::string(kPartSizeKey) + ": " + std::to_string(facts.partSize) + "\n";
    text += "# " + std::string(kPiecesKey) + ": " + EscapedName(facts.countText) + "\n";
    if (facts.madeInPlace)
        text += "# " + std::string(kSplitKey) + ": " + std::string(kSplitInPlace) + "\n";
    text += "#\n";
    const std::string listLeaf = facts.originalLeaf + std::string(kListSuffix);
    const std::string listWord = listLeaf.find_first_of("\n\r") == std::string::npos
                                     ? LeafWord(listLeaf)
                                     : "\"$(printf -- " + PrintfFormat(ShellSafeLeaf(listLeaf)) + ")\"";
    if (facts.madeInPlace) {
        text += "# Check the pieces in this folder:  sha256sum -c " + listWord + "\n";
        text += "#   (the split cut the pieces off the file's end: the last is listed first, and the joined file has no line)\n";
    } else {
        text += "# Check the pieces in this folder:  sha256sum -c --ignore-missing " + listWord + "\n";
        text += "#   (without --ignore-missing the last line, the whole file's, fails until the pieces are joined)\n";
    }
    text += "# On Windows: certutil -hashfile FILE SHA256   or   Get-FileHash FILE   and compare with the line below.\n";
    text += "# Join without Vandrel in this folder, pieces in order:\n";
    text += "#   Linux:   " + ShellJoinCommand(facts, count) + "\n";
    text += "#   Windows: " + WindowsJoinCommand(facts, count) + "\n";
    return text;
}

std::string FormatListLine(const ListLine& line)
{
    const bool escape = NeedsEscape(line.leaf);
    return (escape ? "\\" : "") + HexOf(line.digest) + "  " + (escape ? EscapedName(line.leaf) : line.leaf) + "\n";
}

namespace {

// Parses `text`; a list without checksum lines only when `linesNeeded` is false.
std::optional<ChecksumList> ParseList(std::string_view text, bool linesNeeded, std::string& problem)
{
    if (text.find('\0') != std::string_view::npos) {
        problem = "it holds a NUL byte, so it is no text";
        return std::nullopt;
    }
    ChecksumList list;
    std::map<std::string_view, std::size_t> factLines;
    std::size_t lastLine = 0;
    for (const TextLine& line : LinesOf(text)) {
        lastLine = line.number;
        if (line.text.empty())
            continue;
        if (line.text.front() == '#') {
            if (!list.lines.empty()) {
                problem = Lined(line.number, "a comment below the checksum lines");
                return std::nullopt;
            }
            for (const std::string_view key : kKnownKeys) {
                const std::string prefix = "# " + std::string(key) + ": ";
                if (line.text.substr(0, prefix.size()) != prefix)
                    continue;
                if (factLines.count(key) != 0) {
                    problem = Lined(line.number, "a second \"" + std::string(key) + "\"");
                    return std::nullopt;
                }
                if (const auto wrong = ReadFact(key, line.text.substr(prefix.size()), list.facts)) {
                    problem = Lined(line.number, *wrong);
                    return std::nullopt;
                }
                factLines[key] = line.number;
            }
            continue;
        }
        std::string why;
        std::optional<ListLine> parsed = ParseChecksumLine(line.text, why);
        if (!parsed) {
            problem = Lined(line.number, why);
            return std::nullopt;
        }
        list.lines.push_back(std::move(*parsed));
    }
    for (const std::string_view key : kFactKeys) {
        if (factLines.count(key) == 0) {
            problem = text.empty() ? "it is empty" : "it has no \"# " + std::string(key) + ":\" line";
            return std::nullopt;
        }
    }
    if (linesNeeded && list.lines.empty()) {
        problem = Lined(lastLine, "it ends before its first checksum line");
        return std::nullopt;
    }
    return list;
}

// Reads the list of `set` through fileSystem() with `parse`, within the most
// bytes that list can take.
FoundList ReadList(const PieceSet& set,
                   std::optional<ChecksumList> (*parse)(std::string_view text, std::string& problem))
{
    FoundList found;
    found.path = ChecksumListPath(set.originalPath);
    if (!fileSystem().exists(found.path))
        return found;
    const std::unique_ptr<File> file = fileSystem().openForReading(found.path);
    if (!file) {
        found.found = ListFound::Unreadable;
        found.reason = fileSystem().lastError();
        return found;
    }
    const std::int64_t most = MostListBytes(set);
    std::string text;
    text.reserve(static_cast<std::size_t>(std::clamp<std::int64_t>(file->size(), 0, most)));
    constexpr std::int64_t kChunk = 64 * 1024;
    for (;;) {
        const std::size_t at = text.size();
        text.resize(at + kChunk);
        const std::int64_t read = file->read(text.data() + at, kChunk);
        if (read < 0) {
            found.found = ListFound::Unreadable;
            found.reason = fileSystem().lastError();
            return found;
        }
        text.resize(at + static_cast<std::size_t>(read));
        if (read == 0)
            break;
        if (static_cast<std::int64_t>(text.size()) > most) {
            found.found = ListFound::Damaged;
            found.reason = "it is larger than the checksum list of " + std::to_string(set.pieceCount) + " pieces can be";
            return found;
        }
    }
    std::optional<ChecksumList> list = parse(text, found.reason);
    if (!list) {
        found.found = ListFound::Damaged;
        return found;
    }
    found.found = ListFound::Read;
    found.list = std::move(*list);
    found.identity = file->identity();
    return found;
}

}  // namespace

std::optional<ChecksumList> ParseChecksumList(std::string_view text, std::string& problem)
{
    return ParseList(text, true, problem);
}

std::optional<ChecksumList> ParsePartialChecksumList(std::string_view text, std::string& problem)
{
    text = text.substr(0, text.find('\0'));
    const std::size_t lastLineEnd = text.rfind('\n');
    text = text.substr(0, lastLineEnd == std::string_view::npos ? 0 : lastLineEnd + 1);
    return ParseList(text, false, problem);
}

FoundList ReadChecksumList(const PieceSet& set)
{
    return ReadList(set, ParseChecksumList);
}

FoundList ReadPartialChecksumList(const PieceSet& set)
{
    return ReadList(set, ParsePartialChecksumList);
}

namespace {

// Why a list for the set's count is not for its original, or of sizes that
// fit no set of its count.
std::optional<std::string> FactsMisfit(const SetFacts& facts, const PieceSet& set)
{
    const std::string original = LeafOf(set.originalPath);
    if (facts.originalLeaf != original)
        return "it is for the original " + Quoted(facts.originalLeaf) + ", not " + Quoted(original);
    if (!SizesFit(facts, set.pieceCount))
        return "no set of " + std::to_string(set.pieceCount) + " pieces of " + std::to_string(facts.partSize) +
               " bytes makes an original of " + std::to_string(facts.originalSize) + " bytes";
    return std::nullopt;
}

// Why the lines of pieces `first` to the last, each where the list's order
// puts it, do not all name their piece.
std::optional<std::string> MisnamedPiece(const ChecksumList& list, const PieceSet& set, std::int32_t first)
{
    for (std::int32_t index = first; index < set.pieceCount; ++index) {
        const std::string expected = LeafOf(PieceName(set.originalPath, index, set.countText));
        const ListLine* line = PieceLine(list, index);
        if (!line || line->leaf != expected)
            return "its line for piece " + std::to_string(index) + " names " + (line ? Quoted(line->leaf) : "nothing") +
                   ", not " + Quoted(expected);
    }
    return std::nullopt;
}

// Why a list made in place is not of `set`: a line for the whole original,
// which such a list never has.
std::optional<std::string> WholeLineInPlace(const ChecksumList& list, const PieceSet& set)
{
    const std::string original = LeafOf(set.originalPath);
    const bool named = std::any_of(list.lines.begin(), list.lines.end(),
                                   [&](const ListLine& line) { return line.leaf == original; });
    if (named)
        return "it was made by a split in place, which lists no whole original, yet a line names " + Quoted(original);
    return std::nullopt;
}

}  // namespace

const ListLine* PieceLine(const ChecksumList& list, std::int32_t index)
{
    const std::int64_t count = DecimalToInt64(list.facts.countText);
    const std::int64_t at = list.facts.madeInPlace ? count - 1 - index : index;
    if (index < 0 || at < 0 || at >= static_cast<std::int64_t>(list.lines.size()))
        return nullptr;
    return &list.lines[static_cast<std::size_t>(at)];
}

const ListLine* WholeLine(const ChecksumList& list)
{
    if (list.facts.madeInPlace || list.lines.empty())
        return nullptr;
    return &list.lines.back();
}

std::optional<std::string> ListMisfit(const ChecksumList& list, const PieceSet& set)
{
    const SetFacts& facts = list.facts;
    if (facts.countText != set.countText)
        return "it is for a set of " + Quoted(facts.countText) + " pieces, not " + Quoted(set.countText);
    const std::string original = LeafOf(set.originalPath);
    if (facts.madeInPlace) {
        if (const std::optional<std::string> whole = WholeLineInPlace(list, set))
            return whole;
        if (list.lines.size() < static_cast<std::size_t>(set.pieceCount) && !PartialListMisfit(list, set))
            return "it lists only the last " + std::to_string(list.lines.size()) + " of the " +
                   std::to_string(set.pieceCount) + " pieces: the split in place that writes it has not finished";
        if (list.lines.size() != static_cast<std::size_t>(set.pieceCount))
            return "it lists " + std::to_string(list.lines.size()) + " pieces, not " + std::to_string(set.pieceCount);
    } else {
        const std::int64_t listed = static_cast<std::int64_t>(list.lines.size()) - 1;
        if (listed != set.pieceCount)
            return "it lists " + std::to_string(std::max<std::int64_t>(listed, 0)) + " pieces and the original, not " +
                   std::to_string(set.pieceCount) + " pieces and the original";
    }
    if (const std::optional<std::string> misnamed = MisnamedPiece(list, set, 0))
        return misnamed;
    if (const ListLine* whole = WholeLine(list); whole && whole->leaf != original)
        return "its last line names " + Quoted(whole->leaf) + ", not the original " + Quoted(original);
    return FactsMisfit(facts, set);
}

std::optional<std::string> PartialListMisfit(const ChecksumList& list, const PieceSet& set)
{
    const SetFacts& facts = list.facts;
    if (!facts.madeInPlace)
        return "it was not made by a split in place";
    if (facts.countText != set.countText)
        return "it is for a set of " + Quoted(facts.countText) + " pieces, not " + Quoted(set.countText);
    if (const std::optional<std::string> whole = WholeLineInPlace(list, set))
        return whole;
    if (list.lines.size() > static_cast<std::size_t>(set.pieceCount))
        return "it lists " + std::to_string(list.lines.size()) + " pieces, not at most " +
               std::to_string(set.pieceCount);
    const auto first = static_cast<std::int32_t>(set.pieceCount - static_cast<std::int64_t>(list.lines.size()));
    if (const std::optional<std::string> misnamed = MisnamedPiece(list, set, first))
        return misnamed;
    return FactsMisfit(facts, set);
}

std::int64_t ListedPieceSize(const SetFacts& facts, std::int32_t index)
{
    const std::int64_t count = DecimalToInt64(facts.countText);
    if (index < count - 1)
        return facts.partSize;
    return facts.originalSize - facts.partSize * (count - 1);
}
