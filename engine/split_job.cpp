#include "split_job.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "checksum_list.h"
#include "copy_bytes.h"
#include "file_system.h"
#include "job_messages.h"
#include "job_state.h"
#include "join_journal.h"
#include "list_writer.h"
#include "piece_names.h"
#include "progress.h"
#include "in_place_split.h"
#include "split_journal.h"
#include "split_piece.h"

namespace {

using namespace job_messages;


// Sets of more pieces than this are checked for names in the way as each
// piece is created, so that a count of a billion does not cost a billion
// look-ups before the first byte.
constexpr std::int64_t kMostNamesCheckedFirst = 100000;

// The first name of the set that is taken already, by anything at all but
// what an interrupted split of the same input left (`claimed`): its list's
// (when it gets one), then its pieces'.
std::optional<std::string> FirstPieceInTheWay(const std::string& piecesOriginal, std::int64_t pieceCount,
                                              const std::string& countText, bool withList,
                                              const std::set<std::string>& claimed)
{
    const auto taken = [&](const std::string& name) { return claimed.count(name) == 0 && fileSystem().exists(name); };
    if (withList && taken(ChecksumListPath(piecesOriginal)))
        return ChecksumListPath(piecesOriginal);
    for (std::int64_t index = 0; index < std::min(pieceCount, kMostNamesCheckedFirst); ++index) {
        std::string name = PieceName(piecesOriginal, index, countText);
        if (taken(name))
            return name;
    }
    return std::nullopt;
}


// The input is still the file that was read, whole: the same file with the
// same size and last write time, nothing after its last byte, no other
// program has opened it for writing since (which a coarse timestamp would not
// tell), and its path still names it.
std::optional<SplitFailure> CheckInputUnchanged(const SplitInput& input, CopyBuffer& buffer)
{
    const std::optional<FileIdentity> now = input.file.identity();
    const std::optional<FileIdentity> named = fileSystem().identityAt(input.path);
    if (input.file.read(buffer.data(), 1) != 0 || now != input.opened)
        return SplitFailure{kSplitInputChanged, input.path, "it changed while it was being split"};
    if (!input.file.untouchedByWriters())
        return SplitFailure{kSplitInputChanged, input.path,
                            "another program opened it for writing while it was being split"};
    if (named != input.opened)
        return SplitFailure{kSplitInputChanged, input.path, "it was moved or replaced while it was being split"};
    return std::nullopt;
}

// Writes every piece, each named in the journal before it is created, and,
// when `list` is there, its line, then the whole original's line; makes their
// names durable, and checks, as the last step before the input may go, that
// it is still what was read. Nothing is deleted here.
std::optional<SplitFailure> WritePiecesAndList(const SplitInput& input, std::int64_t partSize,
                                               std::int64_t pieceCount, const std::string& countText,
                                               ListWriter* list, OpenJournal& journal, CreatedPieces& created)
{
    std::optional<SplitFailure> failure;
    const std::string listPath = ChecksumListPath(input.piecesOriginal);
    const std::int64_t fileSize = input.opened.size;
    ProgressPacer progress(fileSize);
    ByteMover mover(progress);
    Sha256 pieceHash;
    Sha256 wholeHash;
    std::optional<HashLanes> lanes;  // after the hashes: ended before them
    if (list && fileSize >= HashLanes::kLeastBytesWorthLanes)
        lanes.emplace(2);
    const CopyHashes hashes = list ? CopyHashes{&pieceHash, &wholeHash, lanes ? &*lanes : nullptr} : CopyHashes{};
    for (std::int64_t index = 0; index < pieceCount; ++index) {
        const std::int64_t pieceBytes = std::min(partSize, fileSize - index * partSize);
        const std::string name = PieceName(input.piecesOriginal, index, countText);
        if (!RecordPieceBegun(journal, index))
            return WriteFailure(journal.path);
        if ((failure = WritePiece(input, name, pieceBytes, mover, hashes, created)))
            return failure;
        hashes.settle();  // both hashes: the whole one too, once the last piece is in
        if (list && !list->add({pieceHash.finish(), LeafOf(name)}))
            return WriteFailure(listPath);
    }
    if (list && (!list->add({wholeHash.finish(), LeafOf(input.path)}) || !list->finish()))
        return WriteFailure(listPath);
    if (!fileSystem().commitFolder(input.piecesOriginal))
        return WriteFailure(input.piecesOriginal);
    return CheckInputUnchanged(input, mover.buffer());
}

// The same, with the list this run creates when `withList`, which a failure
// records in `created` with the pieces.
std::optional<SplitFailure> WriteAllPieces(const SplitInput& input, std::int64_t partSize, std::int64_t pieceCount,
                                           const std::string& countText, bool withList, OpenJournal& journal,
                                           CreatedPieces& created)
{
    std::optional<SplitFailure> failure;
    std::unique_ptr<ListWriter> list;
    if (withList && !(list = StartList(input, partSize, countText, false, created, failure)))
        return failure;
    failure = WritePiecesAndList(input, partSize, pieceCount, countText, list.get(), journal, created);
    if (failure && list)
        RecordList(*list, ChecksumListPath(input.piecesOriginal), created);
    return failure;
}

// What an interrupted split of this input left: its journal, locked, and the
// path its pieces are named after.
struct Leftover {
    std::string piecesOriginal;
    OpenJournal journal;
};

// What lies at the journal's name of pieces named after `piecesOriginal`
// before the split starts: nothing, the journal of an interrupted split of
// this input (added to `leftovers`), or a refusal naming the file there.
std::optional<JobResult> LookAtJournal(const std::string& splitPath, const std::string& piecesOriginal,
                                       const FileIdentity& opened, std::vector<Leftover>& leftovers)
{
    const std::string journalPath = JournalPath(piecesOriginal);
    FoundJournal found = FindJournal(journalPath);
    switch (found.found) {
    case JournalFound::None:
        return std::nullopt;
    case JournalFound::InUse:
        return RefuseJob(FileInUseByAnotherJob(journalPath), kSplitCaption, journalPath, found.reason);
    case JournalFound::Damaged:
        // A journal whose text never reached the disk: the split that created
        // it was cut before its first piece. It is taken back like any other.
        if (found.open.file) {
            found.open.journal = Journal{};
            found.open.journal.kind = JournalKind::Split;
            leftovers.push_back({piecesOriginal, std::move(found.open)});
            return std::nullopt;
        }
        break;
    case JournalFound::OtherVersion:
        break;
    case JournalFound::Read:
        if (found.open.journal.kind != JournalKind::Split)
            break;
        if (!SplitJournalProvesInput(found.open.journal, opened))
            return RefuseJob(SplitJournalOfChangedInput(journalPath, splitPath), kSplitCaption, journalPath,
                             "the file it records has changed since");
        leftovers.push_back({piecesOriginal, std::move(found.open)});
        return std::nullopt;
    }
    return RefuseJob(SplitJournalUnfit(journalPath, splitPath), kSplitCaption, journalPath,
                     found.reason.empty() ? "it records another job" : found.reason);
}

// True when the file at `journalPath` is the journal of one of `leftovers`.
bool SameJournal(const std::vector<Leftover>& leftovers, const std::string& journalPath)
{
    const std::optional<FileIdentity> there = fileSystem().identityAt(journalPath);
    for (const Leftover& leftover : leftovers) {
        const std::optional<FileIdentity> found =
            leftover.journal.file ? leftover.journal.file->identity() : std::nullopt;
        if (there && found && there->sameFileAs(*found))
            return true;
    }
    return false;
}

// The journal of this run, as it is created before the list and the first piece.
Journal SplitJournal(const std::string& splitPath, const FileIdentity& opened, std::int64_t partSize,
                     std::int64_t pieceCount, const std::string& countText, bool withList)
{
    Journal journal;
    journal.kind = JournalKind::Split;
    journal.originalLeaf = LeafOf(splitPath);
    journal.countText = countText;
    journal.partSize = partSize;
    journal.lastSize = opened.size - (pieceCount - 1) * partSize;
    journal.outputFolder = RecordedInputFolder(splitPath, jobState.intoFolder);
    journal.keep = jobState.keep;
    journal.modified = ModifiedToUtcNanoseconds(opened.modified);
    journal.input = RecordedInput(opened);
    journal.withList = withList;
    return journal;
}

// A run that failed or was stopped takes back its pieces and list, commits
// their folder, then deletes its journal; the journal stays while a name it
// claims is still there, so that a split started again takes that back.
void TakeBackRun(const std::string& piecesOriginal, CreatedPieces& created, OpenJournal& journal)
{
    created.removeAll(piecesOriginal);
    if (!created.anyLeft(piecesOriginal, journal.journal))
        RemoveJournal(journal);
}

// Every piece is whole and durable: the input's bytes are safe elsewhere.
// Under --keep it stays; otherwise it is deleted while still open and
// guarded, so that no writer gets in between the last check and the deletion
// (the close of a file only read then changes nothing), and the deletion is
// committed. Only then is the journal deleted.
JobResult FinishSplit(const std::string& splitPath, std::unique_ptr<File> input, const FileIdentity& opened,
                      OpenJournal& journal)
{
    std::string file;
    std::string reason;
    bool settled = true;
    if (!jobState.keep) {
        const bool removed = fileSystem().removeIfSame(splitPath, opened);
        if (!removed) {
            file = splitPath;
            reason = fileSystem().lastError();
        }
        input->close();
        settled = removed && fileSystem().commitFolder(splitPath);
        if (removed && !settled) {
            file = journal.path;
            reason = fileSystem().lastError();
        }
    }
    input.reset();
    // An input whose deletion may not last keeps the journal, so that a
    // split started again knows the pieces for its own.
    if (settled && !RemoveJournal(journal) && file.empty()) {
        file = journal.path;
        reason = fileSystem().lastError();
    }
    JobResult result = FinishJob(JobOutcome::Succeeded, kSplitSucceeded, kSplitCaption, file, reason);
    result.kept = jobState.keep;
    return result;
}

// The folder the pieces go into (--into) is there and is a folder.
bool IntoFolderFits(const std::string& folder)
{
    return fileSystem().exists(folder) && !fileSystem().openForReading(folder);
}

}  // namespace

namespace {

// A part size the pieces' disk cannot store (FAT: 4 GiB less one byte) is
// refused, naming the first piece and the largest file that disk holds.
// Asked only of a part size that makes two pieces or more.
std::optional<JobResult> RefusePieceTooLargeForDisk(const std::string& piecesOriginal, std::int64_t partSize,
                                                    std::int64_t fileSize)
{
    if (partSize <= 0 || partSize >= fileSize)
        return std::nullopt;
    const std::int64_t pieceCount = fileSize / partSize + (fileSize % partSize != 0 ? 1 : 0);
    const std::string firstPiece = PieceName(piecesOriginal, 0, Int64ToDecimal(pieceCount));
    const std::int64_t largest = fileSystem().largestFileSize(firstPiece);
    if (partSize <= largest)
        return std::nullopt;
    return RefuseJob(SplitPartTooLargeForDisk(Int64ToDecimal(partSize), firstPiece, Int64ToDecimal(largest)),
                     kSplitCaption, firstPiece, "the disk holds files of at most " + Int64ToDecimal(largest) + " bytes");
}

// True when the forward split fits: the disk holds the pieces beside the
// whole input (or cannot tell its room), or its copies of whole blocks share
// the input's extents and take no room. The room is the volume's free bytes
// and, where it tells them, the bytes its folder has for this process: on
// Windows the free bytes are the drive letter's, which a folder mounted from
// another volume does not share.
bool RoomForBoth(const std::string& piecesOriginal, std::int64_t partSize, std::int64_t fileSize,
                 std::int64_t freeBytes)
{
    const std::int64_t available = fileSystem().volumeAvailableBytes(piecesOriginal);
    const bool fits = freeBytes == FREE_QUERY_FAILED || fileSize < freeBytes;
    if (fits && (available == FREE_QUERY_FAILED || fileSize < available))
        return true;
    const std::int64_t block = jobState.intoFolder.empty() ? fileSystem().extentSharingBlock(piecesOriginal) : 0;
    return block > 0 && partSize > 0 && partSize % block == 0;
}

// A split in place may be asked of this run: it keeps no copy and leaves the
// pieces beside the input, and it was not turned off.
bool InPlacePossible()
{
    return jobState.inPlace != InPlaceChoice::Never && !jobState.keep && jobState.intoFolder.empty();
}

// Why this split cannot go in place: too little room for one piece, the list
// and the journal; or the window's question answered No (no message then).
std::optional<JobResult> RefuseInPlace(const InPlaceStart& start)
{
    const std::int64_t needed = InPlaceRoomNeeded(start);
    const std::int64_t available = fileSystem().volumeAvailableBytes(start.path);
    if (available != FREE_QUERY_FAILED && available < needed)
        return RefuseJob(SplitInPlaceNoSpace(start.path, Int64ToDecimal(needed), Int64ToDecimal(available)),
                         kSplitCaption, start.path,
                         "it needs " + Int64ToDecimal(needed) + " bytes free, and " + Int64ToDecimal(available) +
                             " are available");
    if (jobState.inPlace == InPlaceChoice::WhenShort && !AskJobQuestion(SplitInPlaceQuestion(start.path), kSplitCaption)) {
        JobResult declined;
        declined.file = start.path;
        declined.reason = "the split in place was declined";
        return declined;
    }
    return std::nullopt;
}

}  // namespace

unsigned SplitThreadProc(void*)
{
    SplitFile(jobState.splitPath);
    return 0;
}

JobResult SplitFile(std::string splitPath)
{
    const std::int64_t partSize = jobState.partSize;
    BusyScope busy;
    const std::string& intoFolder = jobState.intoFolder;
    const std::string piecesOriginal = intoFolder.empty() ? splitPath : PiecesOriginalPath(splitPath, intoFolder);
    const std::int64_t freeBytes = fileSystem().volumeFreeBytes(piecesOriginal);

    // Guarded against other programs' writes until it is deleted: the pieces
    // are its bytes as they were read.
    GuardedFile guarded = fileSystem().openGuarded(splitPath);
    if (guarded.inUseForWriting)
        return RefuseJob(SplitInputInUse(splitPath), kSplitCaption, splitPath, fileSystem().lastError());
    std::unique_ptr<File> input = std::move(guarded.file);
    const std::optional<FileIdentity> opened = input ? input->identity() : std::nullopt;
    if (!opened || opened->size < 0)
        return RefuseJob(kSplitNotOpened, kSplitCaption, splitPath, fileSystem().lastError());
    // Held for the whole run, so that no join takes this file for a finished
    // one and deletes pieces that this split has not committed yet.
    if (!input->lockExclusive())
        return RefuseJob(FileInUseByAnotherJob(splitPath), kSplitCaption, splitPath, fileSystem().lastError());
    // A split in place of this input that was cut short goes on as it began.
    if (std::optional<JobResult> resumed = GoOnSplittingInPlace(splitPath, partSize, input, *opened))
        return *resumed;
    if (!intoFolder.empty() && !IntoFolderFits(intoFolder))
        return RefuseJob(SplitIntoNotAFolder(intoFolder), kSplitCaption, intoFolder, "it is not a folder");
    // This run's journal's place, and, for a split into a folder, the one
    // beside the input, where a split cut short without --into left its own
    // (unless it is the same file, as under --into of the input's own folder).
    std::vector<Leftover> leftovers;
    if (std::optional<JobResult> refused = LookAtJournal(splitPath, piecesOriginal, *opened, leftovers))
        return *refused;
    if (piecesOriginal != splitPath && !SameJournal(leftovers, JournalPath(splitPath)))
        if (std::optional<JobResult> refused = LookAtJournal(splitPath, splitPath, *opened, leftovers))
            return *refused;
    const std::int64_t fileSize = opened->size;
    // Before the space it takes: no room helps a piece its disk cannot hold.
    if (std::optional<JobResult> refused = RefusePieceTooLargeForDisk(piecesOriginal, partSize, fileSize))
        return *refused;
    const bool roomForBoth = RoomForBoth(piecesOriginal, partSize, fileSize, freeBytes);
    const bool inPlaceWanted = jobState.inPlace == InPlaceChoice::Always || !roomForBoth;
    if (!roomForBoth && !InPlacePossible())
        return RefuseJob(kSplitNoSpace, kSplitCaption);
    if (partSize <= 0)
        return RefuseJob(kSplitInvalidSize, kSplitCaption);
    if (partSize >= fileSize)
        return RefuseJob(kSplitSizeNotBelowFile, kSplitCaption);
    // A join reads the count as a signed 32-bit number.
    const std::int64_t pieceCount = fileSize / partSize + (fileSize % partSize != 0 ? 1 : 0);
    if (pieceCount > std::numeric_limits<std::int32_t>::max())
        return RefuseJob(kSplitInvalidSize, kSplitCaption);
    const std::string countText = Int64ToDecimal(pieceCount);
    const std::string firstPiece = PieceName(piecesOriginal, 0, countText);
    const bool withList = jobState.writeList;
    std::set<std::string> claimed;
    for (const Leftover& leftover : leftovers)
        claimed.merge(ClaimedNames(leftover.piecesOriginal, leftover.journal.journal));
    if (const std::optional<std::string> inTheWay =
            FirstPieceInTheWay(piecesOriginal, pieceCount, countText, withList, claimed))
        return RefuseJob(SplitPieceInTheWay(*inTheWay), kSplitCaption, *inTheWay, "a file of that name exists");
    const InPlaceStart inPlace{splitPath, partSize, pieceCount, countText, withList};
    const bool goInPlace = inPlaceWanted && InPlacePossible() && fileSystem().isPlainName(splitPath);
    if (inPlaceWanted && !goInPlace && !roomForBoth)
        return RefuseJob(SplitInPlaceNotPlain(splitPath), kSplitCaption, splitPath, "it has another name");
    if (goInPlace && !fileSystem().keepsFileIds(splitPath))
        return RefuseJob(SplitInPlaceIdsNotStable(splitPath), kSplitCaption, splitPath, fileSystem().lastError());
    if (goInPlace) {
        if (std::optional<JobResult> refused = RefuseInPlace(inPlace))
            return *refused;
    }

    // What an interrupted split of this very input left is its own: taken
    // back before this run starts anew.
    std::string file;
    std::string reason;
    for (Leftover& leftover : leftovers)
        if (!TakeBackInterruptedSplit(leftover.piecesOriginal, leftover.journal, file, reason))
            return FinishJob(JobOutcome::Failed, kSplitFailed, kSplitCaption, file, reason);
    if (goInPlace) {
        Journal recorded = SplitJournal(splitPath, *opened, partSize, pieceCount, countText, withList);
        recorded.kind = JournalKind::InPlaceSplit;
        return SplitInPlace(inPlace, std::move(input), *opened, recorded);
    }
    std::optional<OpenJournal> journal =
        CreateJournal(JournalPath(piecesOriginal),
                      SplitJournal(splitPath, *opened, partSize, pieceCount, countText, withList), reason);
    if (!journal)
        return FinishJob(JobOutcome::Failed, kSplitFailed, kSplitCaption, JournalPath(piecesOriginal), reason);

    CreatedPieces created;
    std::optional<SplitFailure> failure =
        WriteAllPieces(SplitInput{*input, splitPath, *opened, piecesOriginal}, partSize, pieceCount, countText,
                       withList, *journal, created);
    if (failure) {
        input.reset();
        TakeBackRun(piecesOriginal, created, *journal);
        return FinishJob(failure->stopped ? JobOutcome::Stopped : JobOutcome::Failed, failure->message, kSplitCaption,
                         failure->file, failure->reason);
    }
    JobResult result = FinishSplit(splitPath, std::move(input), *opened, *journal);
    result.resultPath = firstPiece;
    result.pieceCount = static_cast<std::int32_t>(pieceCount);
    return result;
}
