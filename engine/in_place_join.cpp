// The join of a set split in place: the input takes its pieces back.

#include <algorithm>
#include <map>

#include "checksum_list.h"
#include "copy_bytes.h"
#include "in_place_split.h"
#include "in_place_state.h"
#include "job_messages.h"
#include "job_state.h"
#include "join_plan.h"
#include "piece_names.h"
#include "progress.h"

namespace {

using namespace job_messages;

// The digests the set's list gives, by leaf name: the lines of the pieces
// made so far, whole (a line torn by a cut, or a tail of zeros, is left out).
// Empty when there is no list or it is no partial list of this set.
std::map<std::string, Sha256Digest> ListedDigests(const PieceSet& set)
{
    std::map<std::string, Sha256Digest> digests;
    const FoundList found = ReadPartialChecksumList(set);
    if (found.found != ListFound::Read || PartialListMisfit(found.list, set))
        return digests;
    for (const ListLine& line : found.list.lines)
        digests[line.leaf] = line.digest;
    return digests;
}

// The join as it goes: the input holds pieces 0..held-1.
struct Undo {
    const InPlaceSet& set;
    File& input;
    OpenJournal& journal;
    ProgressPacer& progress;
    ByteMover& mover;
    std::map<std::string, Sha256Digest> listed;
    std::int64_t held = 0;
    // A piece deleted whose deletion could not be committed, and why.
    std::string file;
    std::string reason;
};

// Cuts the input back to the pieces it held before piece `held` went in,
// durably, so that the piece (still there) is its bytes' one home again.
void CutBack(Undo& undo)
{
    if (undo.input.truncate(undo.set.offset(undo.held)))
        undo.input.flush();
}

// The join stopped or failed with the input holding `undo.held` pieces.
JobResult EndedAt(Undo& undo, JobOutcome outcome, const std::string& text, const std::string& file,
                  const std::string& reason)
{
    CutBack(undo);
    JobResult result = FinishJob(outcome, text, kJoinCaption, file, reason);
    result.resultPath = undo.set.input;
    result.pieceCount = static_cast<std::int32_t>(undo.set.count);
    result.piecesHeld = static_cast<std::int32_t>(undo.held);
    result.resumeWith = undo.set.piece(undo.held);
    return result;
}

// Appends piece `undo.held` to the input, checks it against its line, makes
// it durable, then deletes the piece and commits that; empty on success.
std::optional<JobResult> TakeBackPiece(Undo& undo)
{
    const std::string name = undo.set.piece(undo.held);
    std::unique_ptr<File> piece = fileSystem().openForReading(name);
    const std::optional<FileIdentity> identity = piece ? piece->identity() : std::nullopt;
    if (!identity || !undo.input.seek(undo.set.offset(undo.held)))
        return EndedAt(undo, JobOutcome::Failed, kJoinFailed, name, fileSystem().lastError());
    Sha256 hash;
    switch (undo.mover.copy(*piece, undo.input, undo.set.length(undo.held), CopyHashes{&hash, nullptr, nullptr})) {
    case CopyResult::Copied:
        break;
    case CopyResult::Stopped:
        return EndedAt(undo, JobOutcome::Stopped,
                       JoinStopped(undo.set.input, static_cast<int>(undo.held), static_cast<int>(undo.set.count),
                                   name),
                       {}, {});
    case CopyResult::EndedEarly:
        return EndedAt(undo, JobOutcome::Failed, kJoinFailed, name, "it became shorter while it was being joined");
    case CopyResult::ReadFailed:
        return EndedAt(undo, JobOutcome::Failed, kJoinFailed, name, fileSystem().lastError());
    case CopyResult::WriteFailed:
        return EndedAt(undo, JobOutcome::Failed, kJoinFailed, undo.set.input, fileSystem().lastError());
    }
    const auto line = undo.listed.find(LeafOf(name));
    if (line != undo.listed.end() && hash.finish() != line->second)
        return EndedAt(undo, JobOutcome::Failed, JoinPieceDamaged(name), name,
                       "its SHA-256 is not the one \"" + ChecksumListPath(undo.set.input) + "\" gives");
    if (!undo.input.flush())
        return EndedAt(undo, JobOutcome::Failed, kJoinFailed, undo.set.input, fileSystem().lastError());
    piece.reset();
    // From here the input holds the piece's bytes too: a failure leaves both.
    ++undo.held;
    if (!fileSystem().removeIfSame(name, *identity)) {
        JobResult result = FinishJob(JobOutcome::Failed, JoinFileNotDeleted(name, undo.set.input), kJoinCaption, name,
                                     fileSystem().lastError());
        result.resultPath = undo.set.input;
        return result;
    }
    // A deletion that may not last leaves at worst a piece the input holds.
    if (!fileSystem().commitFolder(name) && undo.file.empty()) {
        undo.file = name;
        undo.reason = fileSystem().lastError();
    }
    return std::nullopt;
}

// Every piece is in: the input is the original again, with its last write
// time; the list and the journal go.
JobResult Finish(Undo& undo)
{
    std::string file = undo.file;
    std::string reason = undo.reason;
    const auto note = [&](const std::string& path) {
        if (file.empty()) {
            file = path;
            reason = fileSystem().lastError();
        }
    };
    if (undo.journal.journal.modified &&
        !(undo.input.setModified(UtcNanosecondsToModified(*undo.journal.journal.modified)) && undo.input.flush()))
        note(undo.set.input);
    // The journal claims the list: it goes only once the list is gone.
    if (!RemoveListOf(undo.set) || !RemoveJournal(undo.journal))
        note(fileSystem().exists(ChecksumListPath(undo.set.input)) ? ChecksumListPath(undo.set.input)
                                                                  : undo.journal.path);
    JobResult result = FinishJob(JobOutcome::Succeeded, kJoinSucceeded, kJoinCaption, file, reason);
    result.resultPath = undo.set.input;
    result.pieceCount = static_cast<std::int32_t>(undo.set.count);
    return result;
}

}  // namespace

bool RemoveListOf(const InPlaceSet& set)
{
    const std::string listPath = ChecksumListPath(set.input);
    if (!fileSystem().exists(listPath))
        return true;
    const std::optional<FileIdentity> list = fileSystem().identityAt(listPath);
    return list && fileSystem().removeIfSame(listPath, *list) && fileSystem().commitFolder(listPath);
}

namespace {

// The input opened for cutting, the file the journal records, locked; else the refusal.
std::unique_ptr<File> OpenInput(const InPlaceSet& set, const OpenJournal& journal, std::optional<JobResult>& refused)
{
    GuardedFile guarded = fileSystem().openForCutting(set.input);
    if (guarded.inUseForWriting) {
        refused = RefuseJoin(FileInUseByAnotherJob(set.input), set.input, fileSystem().lastError());
        return nullptr;
    }
    std::unique_ptr<File> input = std::move(guarded.file);
    const std::optional<FileIdentity> now = input ? input->identity() : std::nullopt;
    if (!now || !journal.journal.input || !now->sameFileAs(*journal.journal.input)) {
        refused = RefuseJoin(SplitInPlaceDamaged(journal.path, set.input), set.input,
                             now ? "it is not the file the journal records" : fileSystem().lastError());
        return nullptr;
    }
    if (!input->lockExclusive()) {
        refused = RefuseJoin(FileInUseByAnotherJob(set.input), set.input, fileSystem().lastError());
        return nullptr;
    }
    return input;
}

}  // namespace

std::optional<JobResult> JoinSplitInPlace(const PieceSet& set)
{
    const std::string journalPath = JournalPath(set.originalPath);
    if (!fileSystem().exists(journalPath))
        return std::nullopt;
    FoundJournal found = FindJournal(journalPath, true);
    const Journal& recorded = found.open.journal;
    if (found.found != JournalFound::Read || recorded.kind != JournalKind::InPlaceSplit ||
        recorded.originalLeaf != LeafOf(set.originalPath) || recorded.countText != set.countText)
        return std::nullopt;
    const InPlaceSet inPlace = InPlaceSet::Of(set.originalPath, recorded);
    if (!fileSystem().exists(set.originalPath)) {
        // The split renamed its input to piece 0 and was cut before it
        // deleted its journal: the set is whole.
        const std::optional<FileIdentity> first = fileSystem().identityAt(inPlace.piece(0));
        if (recorded.lowestBegun() == 0 && first && recorded.input && first->sameFileAs(*recorded.input)) {
            if (!RemoveJournal(found.open))
                return FailJoin(journalPath, fileSystem().lastError());
            return std::nullopt;
        }
        return RefuseJoin(SplitInPlaceDamaged(journalPath, set.originalPath), set.originalPath, "it is missing");
    }
    if (jobState.keep || !jobState.intoFolder.empty())
        return RefuseJoin(JoinInPlaceOptions(set.originalPath), journalPath, "the set was split in place");
    const std::int64_t available = fileSystem().volumeAvailableBytes(set.originalPath);
    if (available != FREE_QUERY_FAILED && available <= inPlace.partSize)
        return RefuseJob(kJoinNoSpace, kJoinCaption, set.originalPath,
                         "the disk has room for " + Int64ToDecimal(available) + " more bytes, and the largest piece "
                         "takes " + Int64ToDecimal(inPlace.partSize));
    std::optional<JobResult> refused;
    std::unique_ptr<File> input = OpenInput(inPlace, found.open, refused);
    if (!input)
        return refused;

    ProgressPacer progress(inPlace.originalSize());
    ByteMover mover(progress);
    const Settled settled = Settle(inPlace, *input, recorded, mover.buffer());
    if (settled.damaged)
        return RefuseJoin(SplitInPlaceDamaged(journalPath, settled.file), settled.file, settled.reason);
    if (settled.failed)
        return FailJoin(settled.file, settled.reason);
    if (!recorded.undoing && !RecordUndoing(found.open))
        return FailJoin(journalPath, fileSystem().lastError());
    progress.advance(std::min(inPlace.offset(settled.held), inPlace.originalSize()));

    Undo undo{inPlace, *input, found.open, progress, mover, ListedDigests(set), settled.held, {}, {}};
    while (undo.held < inPlace.count)
        if (std::optional<JobResult> ended = TakeBackPiece(undo))
            return ended;
    return Finish(undo);
}
