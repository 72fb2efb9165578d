#include "split_journal.h"

#include "checksum_list.h"
#include "path_text.h"
#include "piece_names.h"

FileIdentity RecordedInput(const FileIdentity& identity)
{
    FileIdentity recorded;
    recorded.volume = identity.volume;
    recorded.fileId = identity.fileId;
    recorded.size = identity.size;
    recorded.modified = ModifiedToUtcNanoseconds(identity.modified);
    return recorded;
}

bool SplitJournalProvesInput(const Journal& journal, const std::optional<FileIdentity>& now)
{
    return journal.kind == JournalKind::Split && journal.input && now && RecordedInput(*now) == *journal.input;
}

std::string PiecesOriginalPath(const std::string& inputPath, const std::string& piecesFolder)
{
    const bool separated = !piecesFolder.empty() && (piecesFolder.back() == '/' || piecesFolder.back() == '\\');
    return piecesFolder + (separated ? "" : "/") + LeafOf(inputPath);
}

std::string RecordedInputFolder(const std::string& inputPath, const std::string& piecesFolder)
{
    const std::string inputFolder = FolderPartOf(inputPath);
    return piecesFolder.empty() ? "." : AbsolutePathOf(inputFolder.empty() ? "." : inputFolder);
}

std::string InputPathOf(const std::string& piecesOriginal, const Journal& journal)
{
    return journal.outputFolder == "." ? piecesOriginal : PiecesOriginalPath(piecesOriginal, journal.outputFolder);
}

std::set<std::string> ClaimedNames(const std::string& piecesOriginal, const Journal& journal)
{
    std::set<std::string> names;
    const std::int64_t first = journal.lowestBegun();
    for (std::int64_t index = first; index < first + journal.piecesBegun; ++index)
        names.insert(PieceName(piecesOriginal, index, journal.countText));
    if (journal.withList)
        names.insert(ChecksumListPath(piecesOriginal));
    return names;
}

bool TakeBackInterruptedSplit(const std::string& piecesOriginal, OpenJournal& journal, std::string& file,
                              std::string& reason)
{
    const std::set<std::string> claimed = ClaimedNames(piecesOriginal, journal.journal);
    for (const std::string& name : claimed) {
        file = name;
        if (!fileSystem().exists(name))
            continue;
        const std::optional<FileIdentity> there = fileSystem().identityAt(name);
        if (!there || !fileSystem().removeIfSame(name, *there)) {
            reason = fileSystem().lastError();
            return false;
        }
    }
    file = piecesOriginal;
    if (!claimed.empty() && !fileSystem().commitFolder(file)) {
        reason = fileSystem().lastError();
        return false;
    }
    file = journal.path;
    if (!RemoveJournal(journal)) {
        reason = fileSystem().lastError();
        return false;
    }
    return true;
}

std::optional<std::string> SplitLeftPiecesOf(const std::string& originalPath)
{
    const FoundJournal found = FindJournal(JournalPath(originalPath));
    if (found.found != JournalFound::Read)
        return std::nullopt;
    std::string inputPath = InputPathOf(originalPath, found.open.journal);
    if (!SplitJournalProvesInput(found.open.journal, fileSystem().identityAt(inputPath)))
        return std::nullopt;
    return inputPath;
}
