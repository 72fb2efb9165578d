#include "in_place_split.h"

#include <algorithm>
#include <vector>

#include "checksum_list.h"
#include "copy_bytes.h"
#include "in_place_state.h"
#include "job_messages.h"
#include "job_state.h"
#include "list_writer.h"
#include "piece_names.h"
#include "progress.h"
#include "split_piece.h"

namespace {

using namespace job_messages;

// Pieces smaller than this are made in batches of about this many bytes,
// with one cut of the input (and one commit of their names) per batch; a
// larger piece is a batch of its own, so that the room the split takes
// beyond the file never passes one piece.
constexpr std::int64_t kBatchBytes = 8 << 20;
// What a piece may waste in its last block, and what its lines in the list
// and the journal take.
constexpr std::int64_t kRoomPerPiece = 4096 + 256;
// The journal's and the list's own text.
constexpr std::int64_t kRoomBesides = 64 << 10;

// One run of a split in place, as it goes.
struct InPlaceRun {
    const InPlaceSet& set;
    File& input;                  // open for cutting, locked
    const FileIdentity& original; // the input's permissions, and the original's last write time
    OpenJournal& journal;
    ListWriter* list;  // null without a list
    ProgressPacer& progress;
    ByteMover& mover;
    CreatedPieces& created;
    // The pieces the input holds (0..held-1); those from `held` on are whole
    // and durable beside it.
    std::int64_t held = 0;
    // The lowest piece of the batch under way that is whole, and the digests
    // of the batch's whole pieces, from its highest down.
    std::int64_t made = 0;
    std::vector<Sha256Digest> digests;
    // The thread the pieces are hashed on while they are copied, for a file
    // large enough to be worth it.
    HashLanes* lanes = nullptr;
};

// The hashes of one piece as the run copies it: none without a list.
CopyHashes PieceHashes(const InPlaceRun& run, Sha256& hash)
{
    return run.list ? CopyHashes{&hash, nullptr, run.lanes} : CopyHashes{};
}

// A lane for the pieces' hashes, when the list is written and the file is
// large enough for a thread to pay.
void StartLanes(std::optional<HashLanes>& lanes, const InPlaceSet& set, bool withList)
{
    if (withList && set.originalSize() >= HashLanes::kLeastBytesWorthLanes)
        lanes.emplace(1);
}

SplitInput InputOf(const InPlaceRun& run)
{
    return SplitInput{run.input, run.set.input, run.original, run.set.input};
}

// Pieces per batch: as many as fit in kBatchBytes and in the room the disk
// has beyond what the run needs anyway, at least one.
std::int64_t BatchPieces(const InPlaceSet& set)
{
    std::int64_t room = kBatchBytes;
    const std::int64_t available = fileSystem().volumeAvailableBytes(set.input);
    const std::int64_t besides = set.count * kRoomPerPiece + kRoomBesides;
    if (available != FREE_QUERY_FAILED)
        room = std::min(room, available - besides);
    return std::max<std::int64_t>(1, room / set.partSize);
}

// Makes piece `index` from the input's bytes at its place.
std::optional<SplitFailure> MakePiece(InPlaceRun& run, std::int64_t index)
{
    const std::string name = run.set.piece(index);
    if (!run.input.seek(run.set.offset(index)))
        return SplitFailure{kSplitFailed, run.set.input, fileSystem().lastError()};
    Sha256 hash;
    const CopyHashes hashes = PieceHashes(run, hash);
    std::optional<SplitFailure> failure =
        WritePiece(InputOf(run), name, run.set.length(index), run.mover, hashes, run.created);
    // The lane is done with `hash` before it goes, whatever became of the piece.
    hashes.settle();
    if (failure)
        return failure;
    run.digests.push_back(run.list ? hash.finish() : Sha256Digest{});
    run.made = index;
    return std::nullopt;
}

// Ends the batch at its whole pieces, from `run.made` up to `run.held`:
// commits their names, adds their lines, and cuts the input below them once
// no other program has opened it for writing.
std::optional<SplitFailure> FinishBatch(InPlaceRun& run)
{
    if (run.made >= run.held)
        return std::nullopt;
    if (!fileSystem().commitFolder(run.set.input))
        return WriteFailure(run.set.input);
    if (run.list) {
        const std::string listPath = ChecksumListPath(run.set.input);
        for (std::size_t at = 0; at < run.digests.size(); ++at) {
            const std::int64_t index = run.held - 1 - static_cast<std::int64_t>(at);
            if (!run.list->add({run.digests[at], LeafOf(run.set.piece(index))}))
                return WriteFailure(listPath);
        }
    }
    run.digests.clear();
    if (!run.input.untouchedByWriters())
        return SplitFailure{kSplitInputChanged, run.set.input,
                            "another program opened it for writing while it was being split"};
    if (!run.input.truncate(run.set.offset(run.made)))
        return WriteFailure(run.set.input);
    run.held = run.made;
    if (!run.input.flush())
        return WriteFailure(run.set.input);
    return std::nullopt;
}

// Cuts pieces held-1 down to 1 out of the input, a batch at a time.
std::optional<SplitFailure> CutPieces(InPlaceRun& run)
{
    const std::int64_t batch = BatchPieces(run.set);
    while (run.held > 1) {
        const std::int64_t lowest = std::max<std::int64_t>(1, run.held - batch);
        if (!RecordPiecesBegunDownTo(run.journal, lowest))
            return WriteFailure(run.journal.path);
        run.made = run.held;
        for (std::int64_t index = run.held - 1; index >= lowest; --index)
            if (std::optional<SplitFailure> failure = MakePiece(run, index))
                return failure;
        if (std::optional<SplitFailure> failure = FinishBatch(run))
            return failure;
    }
    return std::nullopt;
}

// The input, one piece long, becomes piece 0: its line ends the list, it
// gets the original's last write time back, and it is renamed, durably.
std::optional<SplitFailure> RenameToFirstPiece(InPlaceRun& run, const FileIdentity& opened)
{
    const std::string first = run.set.piece(0);
    if (run.list) {
        Sha256 hash;
        const std::string listPath = ChecksumListPath(run.set.input);
        const CopyHashes hashes = PieceHashes(run, hash);
        const bool hashed = HashRange(run.input, 0, run.set.length(0), hashes, run.mover.buffer());
        hashes.settle();
        if (!hashed)
            return SplitFailure{kSplitFailed, run.set.input, fileSystem().lastError()};
        if (!run.list->add({hash.finish(), LeafOf(first)}) || !run.list->finish())
            return WriteFailure(listPath);
    }
    if (!run.input.setModified(run.original.modified) || !run.input.flush())
        return WriteFailure(run.set.input);
    if (!run.input.untouchedByWriters())
        return SplitFailure{kSplitInputChanged, run.set.input,
                            "another program opened it for writing while it was being split"};
    const std::optional<FileIdentity> named = fileSystem().identityAt(run.set.input);
    if (!named || !named->sameFileAs(opened))
        return SplitFailure{kSplitInputChanged, run.set.input, "it was moved or replaced while it was being split"};
    if (!RecordPiecesBegunDownTo(run.journal, 0))
        return WriteFailure(run.journal.path);
    if (!fileSystem().renameNoReplace(run.set.input, first)) {
        SplitFailure failure = WriteFailure(first);
        if (fileSystem().exists(first))
            failure.message = SplitPieceInTheWay(first);
        return failure;
    }
    // On Windows the flush of the renamed file commits its new name.
    if (!fileSystem().commitFolder(first) || !run.input.flush())
        return WriteFailure(first);
    return std::nullopt;
}

// A split in place that ended between two steps: the input holds its first
// `run.held` pieces (or is piece 0 already, but for its journal).
JobResult Interrupted(const InPlaceRun& run, const SplitFailure& failure)
{
    const std::int64_t beside = std::max<std::int64_t>(run.held, 1);
    const std::string resumeWith = run.set.piece(beside);
    JobResult result = FinishJob(failure.stopped ? JobOutcome::Stopped : JobOutcome::Failed,
                                 SplitInPlaceInterrupted(failure.stopped, run.set.input, Int64ToDecimal(beside),
                                                         run.set.countText, resumeWith),
                                 kSplitCaption, failure.file, failure.reason);
    result.inPlace = true;
    result.piecesHeld = static_cast<std::int32_t>(beside);
    result.resumeWith = resumeWith;
    result.resultPath = run.set.input;
    result.pieceCount = static_cast<std::int32_t>(run.set.count);
    return result;
}

// A failure or stop in the middle of a batch keeps the batch's whole pieces
// and cuts the input below them; the piece cut short goes, since the input
// holds its bytes.
JobResult EndAtBoundary(InPlaceRun& run, const SplitFailure& failure)
{
    if (run.made > 0 && run.made - 1 >= 1 && run.held > 1)
        run.created.removeNamed(run.set.piece(run.made - 1));
    if (run.held > 0)
        FinishBatch(run);
    return Interrupted(run, failure);
}

// Cuts the pieces and renames the input; the outcome.
JobResult RunInPlace(InPlaceRun& run, const FileIdentity& opened, bool fresh)
{
    const std::int64_t wholeBefore = run.held;
    std::optional<SplitFailure> failure = CutPieces(run);
    if (failure && fresh && run.held == wholeBefore) {
        // Nothing was cut yet: the input is whole, and this run's files go.
        if (run.list)
            RecordList(*run.list, ChecksumListPath(run.set.input), run.created);
        run.created.removeAll(run.set.input);
        if (!run.created.anyLeft(run.set.input, run.journal.journal))
            RemoveJournal(run.journal);
        return FinishJob(failure->stopped ? JobOutcome::Stopped : JobOutcome::Failed,
                         failure->stopped ? SplitStopped(run.set.input) : failure->message, kSplitCaption,
                         failure->file, failure->reason);
    }
    if (!failure)
        failure = RenameToFirstPiece(run, opened);
    // A new name that may not last keeps the journal: a join of the set
    // then finds the input, or piece 0 that it became.
    if (failure)
        return EndAtBoundary(run, *failure);
    run.progress.advance(run.set.length(0));
    std::string file;
    std::string reason;
    if (!RemoveJournal(run.journal)) {
        file = run.journal.path;
        reason = fileSystem().lastError();
    }
    JobResult result = FinishJob(JobOutcome::Succeeded, kSplitSucceeded, kSplitCaption, file, reason);
    result.inPlace = true;
    result.resultPath = run.set.piece(0);
    result.pieceCount = static_cast<std::int32_t>(run.set.count);
    return result;
}

// The input opened again for cutting, the same file as `opened` (unchanged
// when `unchanged`), and locked; else the refusal.
std::unique_ptr<File> OpenToCut(const std::string& path, const FileIdentity& opened, bool unchanged,
                                std::optional<JobResult>& refused)
{
    GuardedFile guarded = fileSystem().openForCutting(path);
    if (guarded.inUseForWriting) {
        refused = RefuseJob(SplitInputInUse(path), kSplitCaption, path, fileSystem().lastError());
        return nullptr;
    }
    std::unique_ptr<File> input = std::move(guarded.file);
    const std::optional<FileIdentity> now = input ? input->identity() : std::nullopt;
    if (!now) {
        refused = RefuseJob(kSplitNotOpened, kSplitCaption, path, fileSystem().lastError());
        return nullptr;
    }
    if (unchanged ? *now != opened : !now->sameFileAs(opened)) {
        refused = RefuseJob(kSplitInputChanged, kSplitCaption, path, "it changed before it was split");
        return nullptr;
    }
    if (!input->lockExclusive()) {
        refused = RefuseJob(FileInUseByAnotherJob(path), kSplitCaption, path, fileSystem().lastError());
        return nullptr;
    }
    return input;
}

// The input's permissions and the original's last write time, as the
// journal records it, for the pieces.
FileIdentity OriginalOf(const FileIdentity& now, const Journal& journal)
{
    FileIdentity original = now;
    if (journal.modified)
        original.modified = UtcNanosecondsToModified(*journal.modified);
    return original;
}

// Writes the list of a resumed run anew: its header, then the lines of the
// pieces beside the input, read again, from the last down.
std::unique_ptr<ListWriter> ListAnew(const InPlaceSet& set, File& input, const FileIdentity& original,
                                     std::int64_t held, ByteMover& mover, CreatedPieces& created,
                                     std::optional<SplitFailure>& failure)
{
    const std::string listPath = ChecksumListPath(set.input);
    if (fileSystem().exists(listPath)) {
        const std::optional<FileIdentity> old = fileSystem().identityAt(listPath);
        if (!old || !fileSystem().removeIfSame(listPath, *old)) {
            failure = WriteFailure(listPath);
            return nullptr;
        }
    }
    FileIdentity whole = original;
    whole.size = set.originalSize();
    std::unique_ptr<ListWriter> list =
        StartList(SplitInput{input, set.input, whole, set.input}, set.partSize, set.countText, true, created, failure);
    for (std::int64_t index = set.count - 1; list && index >= held; --index) {
        Sha256 hash;
        std::unique_ptr<File> piece = fileSystem().openForReading(set.piece(index));
        if (!piece || !HashRange(*piece, 0, set.length(index), CopyHashes{&hash, nullptr, nullptr}, mover.buffer())) {
            failure = SplitFailure{kSplitFailed, set.piece(index), fileSystem().lastError()};
            return nullptr;
        }
        if (!list->add({hash.finish(), LeafOf(set.piece(index))})) {
            failure = WriteFailure(listPath);
            return nullptr;
        }
    }
    return list;
}

}  // namespace

std::int64_t InPlaceRoomNeeded(const InPlaceStart& start)
{
    return start.partSize + start.pieceCount * kRoomPerPiece + kRoomBesides;
}


JobResult SplitInPlace(const InPlaceStart& start, std::unique_ptr<File> input, const FileIdentity& opened,
                       const Journal& journal)
{
    input.reset();
    std::optional<JobResult> refused;
    std::unique_ptr<File> cut = OpenToCut(start.path, opened, true, refused);
    if (!cut)
        return *refused;
    std::string reason;
    std::optional<OpenJournal> open = CreateJournal(JournalPath(start.path), journal, reason);
    if (!open)
        return FinishJob(JobOutcome::Failed, kSplitFailed, kSplitCaption, JournalPath(start.path), reason);

    const InPlaceSet set = InPlaceSet::Of(start.path, journal);
    ProgressPacer progress(opened.size);
    ByteMover mover(progress);
    CreatedPieces created;
    std::optional<SplitFailure> failure;
    std::unique_ptr<ListWriter> list;
    if (start.withList &&
        !(list = StartList(SplitInput{*cut, start.path, opened, start.path}, start.partSize, start.countText, true,
                           created, failure))) {
        created.removeAll(start.path);
        if (!created.anyLeft(start.path, open->journal))
            RemoveJournal(*open);
        return FinishJob(JobOutcome::Failed, failure->message, kSplitCaption, failure->file, failure->reason);
    }
    std::optional<HashLanes> lanes;
    StartLanes(lanes, set, start.withList);
    InPlaceRun run{set, *cut, opened, *open, list.get(), progress, mover, created, set.count, set.count, {},
                   lanes ? &*lanes : nullptr};
    return RunInPlace(run, opened, true);
}

std::optional<JobResult> GoOnSplittingInPlace(const std::string& splitPath, std::int64_t partSize,
                                              std::unique_ptr<File>& input, const FileIdentity& opened)
{
    const std::string journalPath = JournalPath(splitPath);
    if (!fileSystem().exists(journalPath))
        return std::nullopt;
    FoundJournal found = FindJournal(journalPath, true);
    if (found.found != JournalFound::Read || found.open.journal.kind != JournalKind::InPlaceSplit)
        return std::nullopt;
    OpenJournal& journal = found.open;
    const InPlaceSet set = InPlaceSet::Of(splitPath, journal.journal);
    if (!journal.journal.input || !opened.sameFileAs(*journal.journal.input))
        return RefuseJob(SplitJournalOfChangedInput(journalPath, splitPath), kSplitCaption, journalPath,
                         "the file it records is not the one at its path");
    if (jobState.keep || !jobState.intoFolder.empty())
        return RefuseJob(SplitInPlaceOptions(splitPath), kSplitCaption, journalPath,
                         "a split in place is under way");
    if (partSize != set.partSize)
        return RefuseJob(SplitInPlacePartSize(splitPath, Int64ToDecimal(set.partSize)), kSplitCaption, journalPath,
                         "the split under way cuts pieces of " + Int64ToDecimal(set.partSize) + " bytes");
    if (journal.journal.undoing) {
        // A join that gave every piece back and could not delete its list or
        // journal left them beside the whole input: they go, and the split
        // starts afresh.
        if (!fileSystem().exists(set.piece(set.count - 1)) && opened.size == set.originalSize()) {
            if (!RemoveListOf(set) || !RemoveJournal(journal))
                return FinishJob(JobOutcome::Failed, kSplitFailed, kSplitCaption, journalPath,
                                 fileSystem().lastError());
            return std::nullopt;
        }
        return RefuseJob(SplitInPlaceBeingUndone(splitPath, set.piece(set.count - 1)), kSplitCaption, journalPath,
                         "a join of its pieces is under way");
    }
    input.reset();
    std::optional<JobResult> refused;
    std::unique_ptr<File> cut = OpenToCut(splitPath, opened, false, refused);
    if (!cut)
        return refused;

    ProgressPacer progress(set.originalSize());
    ByteMover mover(progress);
    const Settled settled = Settle(set, *cut, journal.journal, mover.buffer());
    if (settled.damaged)
        return RefuseJob(SplitInPlaceDamaged(journalPath, settled.file), kSplitCaption, settled.file,
                         settled.reason);
    if (settled.failed)
        return FinishJob(JobOutcome::Failed, kSplitFailed, kSplitCaption, settled.file, settled.reason);
    progress.advance(set.originalSize() - set.offset(settled.held));

    const FileIdentity original = OriginalOf(opened, journal.journal);
    CreatedPieces created;
    std::optional<SplitFailure> failure;
    std::unique_ptr<ListWriter> list;
    std::optional<HashLanes> lanes;
    StartLanes(lanes, set, journal.journal.withList);
    InPlaceRun run{set,      *cut,    original,     journal,      nullptr, progress,
                   mover,    created, settled.held, settled.held, {},      lanes ? &*lanes : nullptr};
    if (journal.journal.withList &&
        !(list = ListAnew(set, *cut, original, settled.held, mover, created, failure)))
        return Interrupted(run, *failure);
    run.list = list.get();
    return RunInPlace(run, opened, false);
}
