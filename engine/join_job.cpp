#include "join_job.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "copy_bytes.h"
#include "file_system.h"
#include "job_messages.h"
#include "job_state.h"
#include "piece_names.h"
#include "progress.h"

namespace {

using namespace job_messages;

// A piece as the checks measured it.
struct Piece {
    std::string name;
    FileIdentity identity;
};

// What the checks decided: where the output stands and what to append to it.
struct JoinPlan {
    std::unique_ptr<File> output;  // open and locked
    bool outputCreated = false;    // made by this run, so it may be removed again
    std::int32_t firstIndex = 0;   // index of `pieces.front()`; the output holds the pieces before it
    std::int64_t partSize = 0;
    std::vector<Piece> pieces;     // the pieces still to append, in index order
};

// A refusal of the checks, or the plan that passed them.
struct Checked {
    std::optional<JoinPlan> plan;
    JobResult refusal;
};

Checked Refuse(const std::string& text, std::string file = {}, std::string reason = {})
{
    return Checked{std::nullopt, RefuseJob(text, kJoinCaption, std::move(file), std::move(reason))};
}

// The output could not be made or prepared: a failure of the copy phase,
// reported as one, with nothing appended and no piece touched.
Checked FailBeforeCopy(const std::string& originalPath)
{
    return Checked{std::nullopt, FinishJob(JobOutcome::Failed, kJoinFailed, kJoinCaption, originalPath,
                                           fileSystem().lastError())};
}

// Measures pieces `first`..N-1 of `set`. Empty when one does not open; then
// `missing` is its index.
std::optional<std::vector<Piece>> MeasurePieces(const PieceSet& set, std::int32_t first, std::int32_t& missing)
{
    std::vector<Piece> pieces;
    for (std::int32_t index = first; index < set.pieceCount; ++index) {
        std::string name = PieceName(set.originalPath, index, set.countText);
        std::unique_ptr<File> piece = fileSystem().openForReading(name);
        const std::optional<FileIdentity> identity = piece ? piece->identity() : std::nullopt;
        if (!identity || identity->size < 0) {
            missing = index;
            return std::nullopt;
        }
        pieces.push_back({std::move(name), *identity});
    }
    return pieces;
}

// The first of `pieces` (the last ones of their set) whose size
// cannot be that of its place: every piece but the last holds `partSize`
// bytes, the last one from 1 to `partSize`.
const Piece* FirstMisfit(const std::vector<Piece>& pieces, std::int64_t partSize)
{
    for (std::size_t at = 0; at < pieces.size(); ++at) {
        const std::int64_t size = pieces[at].identity.size;
        const bool last = at + 1 == pieces.size();
        if (last ? size < 1 || size > partSize : size != partSize)
            return &pieces[at];
    }
    return nullptr;
}

// True when each of `count` bytes of the output from `outputOffset` is either
// the byte of `piece` from `pieceOffset` or zero: after a power cut a file may
// keep its new length with zeros where its unflushed bytes were.
bool HoldsPieceOrZeros(File& output, std::int64_t outputOffset, File& piece, std::int64_t pieceOffset,
                       std::int64_t count, CopyBuffer& buffer)
{
    constexpr std::int64_t kHalf = CopyBuffer::kSize / 2;
    char* const ours = buffer.data();
    char* const theirs = buffer.data() + kHalf;
    if (!output.seek(outputOffset) || !piece.seek(pieceOffset))
        return false;
    for (std::int64_t done = 0; done < count;) {
        const std::int64_t want = std::min(count - done, kHalf);
        if (output.read(ours, want) != want || piece.read(theirs, want) != want)
            return false;
        for (std::int64_t at = 0; at < want; ++at) {
            if (ours[at] != theirs[at] && ours[at] != 0)
                return false;
        }
        done += want;
    }
    return true;
}

// True when the output's bytes from `from` on are the first bytes of the
// pieces still to append, taken end to end (or zeros in their place): what an
// interrupted join appended after the last piece it deleted. Nothing else may
// be cut away.
bool TailIsInPieces(File& output, std::int64_t from, const std::vector<Piece>& pieces, CopyBuffer& buffer)
{
    std::int64_t left = output.size() - from;
    for (const Piece& piece : pieces) {
        if (left <= 0)
            break;
        const std::int64_t count = std::min(left, piece.identity.size);
        std::unique_ptr<File> file = fileSystem().openForReading(piece.name);
        if (!file || !HoldsPieceOrZeros(output, from, *file, 0, count, buffer))
            return false;
        from += count;
        left -= count;
    }
    return left == 0;
}

// When only the last piece is left, the part size is not on disk as any file's
// size: it is the one that makes the output hold N-1 whole pieces plus a
// beginning of the last. Empty when no size or more than one fits.
std::optional<std::int64_t> PartSizeBeforeLastPiece(File& output, const std::vector<Piece>& pieces,
                                                    std::int32_t wholePieces, CopyBuffer& buffer)
{
    constexpr std::int64_t kMostCandidates = 64;
    const std::int64_t length = output.size();
    const std::int64_t last = pieces.front().identity.size;
    // length = wholePieces * S + t, with 0 <= t <= last and S >= last.
    const std::int64_t firstTail = length % wholePieces;
    const std::int64_t lastTail = std::min(last, length - wholePieces * last);
    if (length < 0 || lastTail < firstTail || (lastTail - firstTail) / wholePieces >= kMostCandidates)
        return std::nullopt;

    std::optional<std::int64_t> found;
    for (std::int64_t tail = firstTail; tail <= lastTail; tail += wholePieces) {
        const std::int64_t partSize = (length - tail) / wholePieces;
        if (!TailIsInPieces(output, length - tail, pieces, buffer))
            continue;
        if (found)
            return std::nullopt;  // ambiguous
        found = partSize;
    }
    return found;
}

// Checks a set whose piece 0 exists: every piece present and of a size that
// fits, no file at the original's path, and room for the first piece.
Checked CheckWholeSet(const PieceSet& set, std::int64_t freeBytes)
{
    std::int32_t missing = 0;
    std::optional<std::vector<Piece>> pieces = MeasurePieces(set, 0, missing);
    if (!pieces)
        return Refuse(JoinPieceNotFound(PieceName(set.originalPath, missing, set.countText)));
    const std::int64_t partSize = pieces->front().identity.size;
    if (const Piece* misfit = FirstMisfit(*pieces, partSize))
        return Refuse(JoinPieceDoesNotFit(misfit->name), misfit->name, "its size does not fit the set");
    if (fileSystem().exists(set.originalPath))
        return Refuse(JoinOutputInTheWay(set.originalPath), set.originalPath, "a file of that name exists");
    // The first piece of a set is its largest.
    if (freeBytes != FREE_QUERY_FAILED && partSize >= freeBytes)
        return Refuse(kJoinNoSpace);

    JoinPlan plan;
    plan.output = fileSystem().createNew(set.originalPath);
    if (!plan.output)
        return FailBeforeCopy(set.originalPath);
    plan.outputCreated = true;
    if (!plan.output->lockExclusive()) {
        // Another job opened the new file already: it is theirs now.
        return Refuse(JoinOutputInUse(set.originalPath), set.originalPath, fileSystem().lastError());
    }
    plan.partSize = partSize;
    plan.pieces = std::move(*pieces);
    return Checked{std::move(plan), {}};
}

// Checks a set whose piece 0 is gone: an interrupted join of it can go on when
// the original's path holds the first k whole pieces (and perhaps a beginning
// of the next), pieces 0..k-1 are gone and pieces k..N-1 all exist and fit.
// Anything else is a set that misses its piece 0.
Checked CheckInterruptedJoin(const PieceSet& set, std::int64_t freeBytes)
{
    const std::string firstName = PieceName(set.originalPath, 0, set.countText);
    auto refuseAsNotFound = [&] { return Refuse(JoinPieceNotFound(firstName)); };
    if (!fileSystem().exists(set.originalPath))
        return refuseAsNotFound();

    std::int32_t first = 1;
    while (first < set.pieceCount && !fileSystem().exists(PieceName(set.originalPath, first, set.countText)))
        ++first;
    if (first == set.pieceCount)
        return refuseAsNotFound();

    JoinPlan plan;
    plan.output = fileSystem().openForUpdate(set.originalPath);
    if (!plan.output)
        return refuseAsNotFound();
    if (!plan.output->lockExclusive())
        return Refuse(JoinOutputInUse(set.originalPath), set.originalPath, fileSystem().lastError());
    const std::optional<FileIdentity> output = plan.output->identity();

    std::int32_t missing = 0;
    std::optional<std::vector<Piece>> pieces = MeasurePieces(set, first, missing);
    if (!pieces || !output)
        return refuseAsNotFound();
    for (const Piece& piece : *pieces) {
        if (piece.identity.sameFileAs(*output))
            return refuseAsNotFound();
    }

    CopyBuffer buffer;
    const bool onlyLast = first == set.pieceCount - 1;
    const std::optional<std::int64_t> partSize = onlyLast
        ? PartSizeBeforeLastPiece(*plan.output, *pieces, first, buffer)
        : std::optional<std::int64_t>(pieces->front().identity.size);
    if (!partSize || FirstMisfit(*pieces, *partSize))
        return refuseAsNotFound();
    const std::int64_t whole = std::int64_t{first} * *partSize;
    if (plan.output->size() < whole || !TailIsInPieces(*plan.output, whole, *pieces, buffer))
        return refuseAsNotFound();
    if (freeBytes != FREE_QUERY_FAILED && pieces->front().identity.size >= freeBytes)
        return Refuse(kJoinNoSpace);

    // The tail past the whole pieces is held whole by the pieces still there.
    if (!plan.output->truncate(whole))
        return FailBeforeCopy(set.originalPath);
    plan.firstIndex = first;
    plan.partSize = *partSize;
    plan.pieces = std::move(*pieces);
    return Checked{std::move(plan), {}};
}

// The copy phase of a plan: appends each piece, commits the output, then
// deletes the piece. The last piece but one stays until the last is committed
// too, so that a join cut short always leaves a piece whose size is the part
// size. A piece is deleted only when its bytes in the output are durable and
// its name still reaches the file that was read, unchanged.
class PieceAppender {
public:
    PieceAppender(const PieceSet& set, JoinPlan& plan) : set_(set), plan_(plan), firstKept_(plan.firstIndex) {}

    JobResult run()
    {
        std::int64_t totalBytes = 0;
        for (const Piece& piece : plan_.pieces)
            totalBytes += piece.identity.size;
        ProgressPacer progress(totalBytes);
        std::int64_t expectedLength = std::int64_t{plan_.firstIndex} * plan_.partSize;

        for (std::size_t at = 0; at < plan_.pieces.size(); ++at) {
            const Piece& piece = plan_.pieces[at];
            const std::int32_t index = plan_.firstIndex + static_cast<std::int32_t>(at);
            if (!append(piece, progress))
                return failed();
            expectedLength += piece.identity.size;
            if (!plan_.output->flush() || !plan_.output->isRegularFile() || plan_.output->size() != expectedLength)
                return failedAt(set_.originalPath);
            if (index < set_.pieceCount - 2)
                remove(at);
        }

        // Every byte is durable in the output; once its name is too, the last
        // two pieces may go, and only then is the join a success.
        if (!fileSystem().commitFolder(set_.originalPath))
            return failedAt(set_.originalPath);
        const std::size_t count = plan_.pieces.size();
        if (count >= 2)
            remove(count - 2);
        remove(count - 1);
        fileSystem().commitFolder(set_.originalPath);
        if (!plan_.output->close())
            return FinishJob(JobOutcome::Succeeded, kJoinSucceeded, kJoinCaption, set_.originalPath,
                             fileSystem().lastError());
        return FinishJob(JobOutcome::Succeeded, kJoinSucceeded, kJoinCaption, leftover_, leftoverReason_);
    }

private:
    // Appends all of `piece` as it was measured: the same file, no byte more or less.
    bool append(const Piece& piece, ProgressPacer& progress)
    {
        std::unique_ptr<File> file = fileSystem().openForReading(piece.name);
        if (!file)
            return fail(JoinPieceNotFound(piece.name), piece.name, fileSystem().lastError());
        if (file->identity() != piece.identity)
            return fail(kJoinFailed, piece.name, "it changed after it was measured");
        switch (CopyBytes(*file, *plan_.output, piece.identity.size, buffer_, progress)) {
        case CopyResult::Copied:
            break;
        case CopyResult::ReadFailed:
            return fail(kJoinFailed, piece.name, fileSystem().lastError());
        case CopyResult::EndedEarly:
            return fail(kJoinFailed, piece.name, "it became shorter while it was being read");
        case CopyResult::WriteFailed:
            return fail(kJoinFailed, set_.originalPath, fileSystem().lastError());
        }
        if (file->read(buffer_.data(), 1) != 0)
            return fail(kJoinFailed, piece.name, "it grew while it was being read");
        progress.advance(1);  // the read that met the end of the piece counts as one
        return true;
    }

    // Deletes the appended piece at `at` once the names before it are durable.
    // A piece that stays is only clutter: its bytes are in the output.
    void remove(std::size_t at)
    {
        const Piece& piece = plan_.pieces[at];
        const bool removed = fileSystem().commitFolder(set_.originalPath)
            && fileSystem().removeIfSame(piece.name, piece.identity);
        const std::int32_t index = plan_.firstIndex + static_cast<std::int32_t>(at);
        if (removed && firstKept_ == index)
            firstKept_ = index + 1;
        if (!removed && leftover_.empty()) {
            leftover_ = piece.name;
            leftoverReason_ = fileSystem().lastError();
        }
    }

    bool fail(const std::string& message, const std::string& file, const std::string& reason)
    {
        failure_ = {message, file, reason};
        return false;
    }

    JobResult failedAt(const std::string& file)
    {
        fail(kJoinFailed, file, fileSystem().lastError());
        return failed();
    }

    // Takes the output back to the pieces already deleted, which hold their
    // bytes nowhere else; an output this run made and holding none is removed.
    JobResult failed()
    {
        File& output = *plan_.output;
        const std::int64_t kept = std::int64_t{firstKept_} * plan_.partSize;
        const std::optional<FileIdentity> identity = output.identity();
        if (firstKept_ == 0 && plan_.outputCreated) {
            output.close();
            if (identity)
                fileSystem().removeIfSame(set_.originalPath, *identity);
        } else if (output.truncate(kept) && output.flush()) {
            output.close();
        }
        return FinishJob(JobOutcome::Failed, failure_.message, kJoinCaption, failure_.file, failure_.reason);
    }

    struct Failure {
        std::string message = kJoinFailed;
        std::string file;
        std::string reason;
    };

    const PieceSet& set_;
    JoinPlan& plan_;
    std::int32_t firstKept_;
    CopyBuffer buffer_;
    Failure failure_;
    std::string leftover_;
    std::string leftoverReason_;
};

}  // namespace

unsigned JoinThreadProc(void*)
{
    JoinFiles(jobState.joinPath);
    if (jobState.exitWhenDone)
        std::exit(0);
    return 0;
}

JobResult JoinFiles(std::string joinPath)
{
    BusyScope busy;
    const std::int64_t freeBytes = fileSystem().volumeFreeBytes(joinPath);

    const std::optional<PieceSet> set = ParsePieceName(joinPath);
    if (!set)
        return RefuseJob(kJoinInvalidName, kJoinCaption);

    jobState.totalBytes = 0;
    jobState.bytesDone = 0;
    const bool firstPieceThere = fileSystem().exists(PieceName(set->originalPath, 0, set->countText));
    Checked checked = firstPieceThere ? CheckWholeSet(*set, freeBytes) : CheckInterruptedJoin(*set, freeBytes);
    if (!checked.plan)
        return checked.refusal;
    return PieceAppender(*set, *checked.plan).run();
}
