#include "join_journal.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <vector>

#include "copy_buffer.h"
#include "name_escape.h"
#include "piece_names.h"

namespace {

constexpr std::string_view kHeader = "vandrel journal ";
constexpr std::string_view kVersion = "1";
// A journal is a few hundred bytes; anything much larger is no journal of ours.
constexpr std::int64_t kMostJournalBytes = 64 * 1024;

const std::map<JournalKind, std::string_view> kKindNames = {
    {JournalKind::Join, "join"}, {JournalKind::Split, "split"}, {JournalKind::InPlaceSplit, "in-place-split"}};


template <typename Number>
std::optional<Number> NumberOf(std::string_view text)
{
    Number value{};
    const char* const end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

std::string Line(std::string_view key, std::string_view value)
{
    return std::string(key) + " " + std::string(value) + "\n";
}

std::string OutputLine(const FileIdentity& output)
{
    return Line("output", std::to_string(output.volume) + " " + std::to_string(output.fileId));
}

std::string InputLine(const FileIdentity& input)
{
    return Line("input", std::to_string(input.volume) + " " + std::to_string(input.fileId) + " " +
                             std::to_string(input.size) + " " + std::to_string(input.modified));
}

// "VOLUME FILEID SIZE MODIFIED", as InputLine writes it.
std::optional<FileIdentity> InputOf(std::string_view text)
{
    std::vector<std::string_view> words;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t space = std::min(text.find(' ', at), text.size());
        words.push_back(text.substr(at, space - at));
        at = space + 1;
    }
    if (words.size() != 4)
        return std::nullopt;
    const auto volume = NumberOf<std::uint64_t>(words[0]);
    const auto fileId = NumberOf<std::uint64_t>(words[1]);
    const auto size = NumberOf<std::int64_t>(words[2]);
    const auto modified = NumberOf<std::int64_t>(words[3]);
    if (!volume || !fileId || !size || !modified)
        return std::nullopt;
    FileIdentity input;
    input.volume = *volume;
    input.fileId = *fileId;
    input.size = *size;
    input.modified = *modified;
    return input;
}

// The index of the next piece a split's journal records as begun: counting
// up from 0, or, in place, down from the last.
std::int64_t BegunNext(const Journal& journal)
{
    return journal.kind == JournalKind::InPlaceSplit ? journal.lowestBegun() - 1 : journal.piecesBegun;
}

bool AppendLine(OpenJournal& journal, const std::string& text)
{
    return journal.file->write(text.data(), static_cast<std::int64_t>(text.size())) && journal.file->flush();
}

// Reads one "key value" line into `journal`; false when it is not one.
bool ReadField(std::string_view key, std::string_view value, Journal& journal)
{
    const std::optional<std::string> text = UnescapedName(value);
    if (!text)
        return false;
    if (key == "kind") {
        for (const auto& [kind, name] : kKindNames) {
            if (name == *text) {
                journal.kind = kind;
                return true;
            }
        }
        return false;
    }
    if (key == "original")
        journal.originalLeaf = *text;
    else if (key == "count")
        journal.countText = *text;
    else if (key == "output-folder")
        journal.outputFolder = *text;
    else if (key == "private")
        journal.privateLeaf = *text;
    else if (key == "keep" && (*text == "yes" || *text == "no"))
        journal.keep = *text == "yes";
    else if (key == "list" && (*text == "yes" || *text == "no"))
        journal.withList = *text == "yes";
    else if (key == "input" && InputOf(*text))
        journal.input = InputOf(*text);
    else if (key == "piece") {
        // Appended in order: each one more than the last, or, in place, one less.
        const std::optional<std::int64_t> index = NumberOf<std::int64_t>(*text);
        if (!index || *index != BegunNext(journal))
            return false;
        ++journal.piecesBegun;
    } else if (key == "undo" && *text == "yes" && journal.kind == JournalKind::InPlaceSplit)
        journal.undoing = true;
    else if (key == "part-size" || key == "last-size" || key == "modified") {
        const std::optional<std::int64_t> number = NumberOf<std::int64_t>(*text);
        if (!number)
            return false;
        (key == "part-size" ? journal.partSize : key == "last-size" ? journal.lastSize : journal.modified.emplace()) =
            *number;
    } else if (key == "output") {
        const std::size_t space = text->find(' ');
        const auto volume = NumberOf<std::uint64_t>(std::string_view(*text).substr(0, space));
        const auto fileId = space == std::string::npos ? std::nullopt
                                                       : NumberOf<std::uint64_t>(std::string_view(*text).substr(space + 1));
        if (!volume || !fileId)
            return false;
        journal.output = FileIdentity{*volume, *fileId};
    } else {
        return false;
    }
    return true;
}

}  // namespace

std::int64_t Journal::lowestBegun() const
{
    return kind == JournalKind::InPlaceSplit ? DecimalToInt64(countText) - piecesBegun : 0;
}

std::string JournalPath(const std::string& originalPath)
{
    return originalPath + ".plit.journal";
}

std::string PrivateOutputPath(const std::string& originalPath)
{
    return originalPath + ".plit.part";
}

std::string LeafOf(const std::string& path)
{
    // A backslash separates folders on Windows alone; elsewhere it is a
    // letter of a name, as in a file called "a\b.bin".
#ifdef _WIN32
    const std::size_t slash = path.find_last_of("/\\");
#else
    const std::size_t slash = path.find_last_of('/');
#endif
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FormatJournal(const Journal& journal)
{
    std::string text = std::string(kHeader) + std::string(kVersion) + "\n";
    text += Line("kind", kKindNames.at(journal.kind));
    text += Line("original", EscapedName(journal.originalLeaf));
    text += Line("count", EscapedName(journal.countText));
    text += Line("part-size", std::to_string(journal.partSize));
    text += Line("last-size", std::to_string(journal.lastSize));
    text += Line("output-folder", EscapedName(journal.outputFolder));
    text += Line("keep", journal.keep ? "yes" : "no");
    if (journal.modified)
        text += Line("modified", std::to_string(*journal.modified));
    if (!journal.privateLeaf.empty())
        text += Line("private", EscapedName(journal.privateLeaf));
    if (journal.output)
        text += OutputLine(*journal.output);
    if (journal.input) {
        text += InputLine(*journal.input);
        text += Line("list", journal.withList ? "yes" : "no");
    }
    Journal counted = journal;
    for (counted.piecesBegun = 0; counted.piecesBegun < journal.piecesBegun; ++counted.piecesBegun)
        text += Line("piece", std::to_string(BegunNext(counted)));
    if (journal.undoing)
        text += Line("undo", "yes");
    return text;
}

JournalText ParseJournal(std::string_view text, Journal& journal)
{
    const std::size_t headerEnd = text.find('\n');
    if (headerEnd == std::string_view::npos || text.substr(0, kHeader.size()) != kHeader)
        return JournalText::Damaged;
    if (text.substr(kHeader.size(), headerEnd - kHeader.size()) != kVersion)
        return JournalText::OtherVersion;

    // The fields the journal is created with come first, written and made
    // durable at once; only the output's record (a join's) or a piece's (a
    // split's) is added later, so a line that does not read after them is
    // that record, torn by a cut.
    journal = Journal{};
    std::vector<std::string> seen;
    bool outputTorn = false;
    for (std::size_t at = headerEnd + 1; at < text.size() && !outputTorn;) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos)
            break;
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        const std::size_t space = line.find(' ');
        const std::string_view key = line.substr(0, space);
        const bool read = space != std::string_view::npos && ReadField(key, line.substr(space + 1), journal);
        if (read)
            seen.emplace_back(key);
        else if (key == "kind")
            return JournalText::OtherVersion;  // a kind this version does not know
        else
            outputTorn = true;
    }
    for (const char* required : {"kind", "original", "count", "part-size", "last-size", "output-folder", "keep"}) {
        if (std::find(seen.begin(), seen.end(), required) == seen.end())
            return JournalText::Damaged;
    }
    const bool split = journal.kind == JournalKind::Split || journal.kind == JournalKind::InPlaceSplit;
    if (split && (!journal.input || std::find(seen.begin(), seen.end(), "list") == seen.end()))
        return JournalText::Damaged;
    if (outputTorn && !split)
        journal.output.reset();
    return JournalText::Read;
}

FoundJournal FindJournal(const std::string& path, bool forUpdate)
{
    FoundJournal found;
    if (!fileSystem().exists(path))
        return found;
    found.open.path = path;
    found.open.file = forUpdate ? fileSystem().openForUpdate(path) : fileSystem().openForReading(path);
    if (!found.open.file) {
        found.found = JournalFound::Damaged;
        found.reason = fileSystem().lastError();
        return found;
    }
    if (!found.open.file->lockExclusive()) {
        found.found = JournalFound::InUse;
        found.reason = fileSystem().lastError();
        return found;
    }
    const std::int64_t size = found.open.file->size();
    std::string text(static_cast<std::size_t>(std::clamp<std::int64_t>(size, 0, kMostJournalBytes)), '\0');
    const bool whole = size >= 0 && size <= kMostJournalBytes &&
                       found.open.file->read(text.data(), static_cast<std::int64_t>(text.size())) == size;
    if (!whole) {
        found.found = JournalFound::Damaged;
        found.reason = size < 0 ? fileSystem().lastError() : "it is not a journal of this program";
        return found;
    }
    switch (ParseJournal(text, found.open.journal)) {
    case JournalText::Read:
        found.found = JournalFound::Read;
        break;
    case JournalText::OtherVersion:
        found.found = JournalFound::OtherVersion;
        found.reason = "it was written by another version of this program";
        break;
    case JournalText::Damaged:
        found.found = JournalFound::Damaged;
        found.reason = "it is not a journal of this program";
        break;
    }
    return found;
}

std::optional<OpenJournal> CreateJournal(const std::string& path, const Journal& journal, std::string& reason)
{
    OpenJournal open{path, fileSystem().createNew(path), journal};
    if (!open.file) {
        reason = fileSystem().lastError();
        return std::nullopt;
    }
    const std::string text = FormatJournal(journal);
    // A name such as aux.bin.plit.journal reaches a Windows device.
    if (open.file->isRegularFile() && open.file->lockExclusive() && open.file->write(text.data(), static_cast<std::int64_t>(text.size())) &&
        open.file->flush() && fileSystem().commitFolder(path))
        return open;
    reason = fileSystem().lastError();
    RemoveJournal(open);
    return std::nullopt;
}

bool RecordOutput(OpenJournal& journal, const FileIdentity& output)
{
    const std::string line = OutputLine(output);
    if (!journal.file->write(line.data(), static_cast<std::int64_t>(line.size())) || !journal.file->flush())
        return false;
    journal.journal.output = FileIdentity{output.volume, output.fileId};
    return true;
}

bool RecordPieceBegun(OpenJournal& journal, std::int64_t index)
{
    if (!AppendLine(journal, Line("piece", std::to_string(index))))
        return false;
    journal.journal.piecesBegun = index + 1;
    return true;
}

bool RecordPiecesBegunDownTo(OpenJournal& journal, std::int64_t lowest)
{
    Journal counted = journal.journal;
    std::string lines;
    for (; BegunNext(counted) >= lowest; ++counted.piecesBegun)
        lines += Line("piece", std::to_string(BegunNext(counted)));
    if (lines.empty())
        return true;
    if (!AppendLine(journal, lines))
        return false;
    journal.journal.piecesBegun = counted.piecesBegun;
    return true;
}

bool RecordUndoing(OpenJournal& journal)
{
    if (!AppendLine(journal, Line("undo", "yes")))
        return false;
    journal.journal.undoing = true;
    return true;
}

bool RemoveJournal(OpenJournal& journal)
{
    if (!journal.file)
        return false;
    const std::optional<FileIdentity> identity = IdentityOrNamed(*journal.file, journal.path);
    // Windows deletes a file only once every handle to it is closed, and a
    // name pending deletion cannot be created anew: close it first.
    journal.file->close();
    journal.file.reset();
    return identity && fileSystem().removeIfSame(journal.path, *identity) && fileSystem().commitFolder(journal.path);
}
