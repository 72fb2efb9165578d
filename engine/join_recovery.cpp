#include "join_recovery.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "file_system.h"
#include "job_messages.h"
#include "job_state.h"

using namespace job_messages;

namespace {

// When only the last piece is left, the part size is not on disk as any file's
// size: it is the one `recorded` with the output, or else the one that makes
// the output hold N-1 whole pieces plus a beginning of the last. Either way
// the output's tail must bear it out. Empty when no size or more than one fits.
std::optional<std::int64_t> PartSizeBeforeLastPiece(File& output, const std::vector<Piece>& pieces,
                                                    std::int32_t wholePieces, std::optional<std::int64_t> recorded,
                                                    CopyBuffer& buffer)
{
    constexpr std::int64_t kMostCandidates = 64;
    const std::int64_t length = output.size();
    const std::int64_t last = pieces.front().identity.size;
    // length = wholePieces * S + t, with 0 <= t <= last and S >= last.
    const std::int64_t firstTail = recorded ? length - wholePieces * *recorded : length % wholePieces;
    const std::int64_t lastTail = recorded ? firstTail : std::min(last, length - wholePieces * last);
    if (length < 0 || firstTail < 0 || lastTail < firstTail ||
        (lastTail - firstTail) / wholePieces >= kMostCandidates)
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

}  // namespace

Checked CheckInterruptedJoin(const PieceSet& set, std::int64_t freeBytes)
{
    const std::string firstName = PieceName(set.originalPath, 0, set.countText);
    auto refuseAsNotFound = [&] { return RefuseJoin(JoinPieceNotFound(firstName)); };
    if (!fileSystem().exists(set.originalPath))
        return refuseAsNotFound();

    const std::int32_t first = FirstExistingPiece(set, 1, set.pieceCount);
    if (first == set.pieceCount)
        return refuseAsNotFound();

    JoinPlan plan;
    plan.output = fileSystem().openForUpdate(set.originalPath);
    if (!plan.output)
        return refuseAsNotFound();
    if (!plan.output->lockExclusive())
        return RefuseJoin(FileInUseByAnotherJob(set.originalPath), set.originalPath, fileSystem().lastError());
    const std::optional<FileIdentity> output = plan.output->identity();

    std::int32_t missing = 0;
    std::optional<std::vector<Piece>> pieces = MeasurePieces(set, first, set.pieceCount, missing);
    if (!pieces || !output)
        return refuseAsNotFound();
    for (const Piece& piece : *pieces) {
        if (piece.identity.sameFileAs(*output))
            return refuseAsNotFound();
    }

    // The part size is piece k's; with only the last piece left, the one
    // PartSizeBeforeLastPiece finds, whose tail it has checked.
    CopyBuffer buffer;
    const bool onlyLast = first == set.pieceCount - 1;
    const std::optional<std::int64_t> recorded = onlyLast ? RecordedPartSize(*plan.output) : std::nullopt;
    plan.partSizeRecorded = recorded.has_value();
    const std::optional<std::int64_t> partSize = onlyLast
        ? PartSizeBeforeLastPiece(*plan.output, *pieces, first, recorded, buffer)
        : std::optional<std::int64_t>(pieces->front().identity.size);
    if (!partSize || FirstMisfit(*pieces, *partSize))
        return refuseAsNotFound();
    const std::int64_t whole = std::int64_t{first} * *partSize;
    if (plan.output->size() < whole || (!onlyLast && !TailIsInPieces(*plan.output, whole, *pieces, buffer)))
        return refuseAsNotFound();
    if (freeBytes != FREE_QUERY_FAILED && pieces->front().identity.size >= freeBytes)
        return RefuseJoin(kJoinNoSpace);

    // The tail past the whole pieces is held whole by the pieces still there.
    if (!plan.output->truncate(whole))
        return FailBeforeCopy(set.originalPath);
    plan.firstIndex = first;
    plan.partSize = *partSize;
    plan.pieces = std::move(*pieces);
    return Checked{std::move(plan), {}};
}


std::optional<JobResult> FinishInterruptedJoin(const PieceSet& set)
{
    const std::int32_t last = set.pieceCount - 1;
    if (last < 1 || fileSystem().exists(PieceName(set.originalPath, last, set.countText))
        || !fileSystem().exists(set.originalPath))
        return std::nullopt;
    const std::int32_t first = FirstExistingPiece(set, 0, last);
    std::int32_t missing = 0;
    std::optional<std::vector<Piece>> pieces = MeasurePieces(set, first, last, missing);
    if (first == last || !pieces)
        return std::nullopt;
    std::unique_ptr<File> output = fileSystem().openForUpdate(set.originalPath);
    if (!output || !output->lockExclusive())
        return std::nullopt;

    // Pieces first..N-2 of one size S, and an output of N-1 whole pieces plus 1 to S bytes.
    const std::int64_t partSize = pieces->front().identity.size;
    const std::int64_t length = output->size();
    for (const Piece& piece : *pieces) {
        if (piece.identity.size != partSize)
            return std::nullopt;
    }
    if (partSize < 1 || length <= 0 || (length - 1) / partSize != last)
        return std::nullopt;
    CopyBuffer buffer;
    for (std::size_t at = 0; at < pieces->size(); ++at) {
        const std::int64_t offset = (first + static_cast<std::int64_t>(at)) * partSize;
        if (!OutputHoldsPiece(*output, offset, (*pieces)[at].name, partSize, ZerosCount::AsMismatch, buffer))
            return std::nullopt;
    }
    if (!output->flush() || !fileSystem().commitFolder(set.originalPath))
        return std::nullopt;

    JobResult result{JobOutcome::Succeeded, {}, {}};
    for (const Piece& piece : *pieces) {
        if (!fileSystem().removeIfSame(piece.name, piece.identity) && result.file.empty())
            result = JobResult{JobOutcome::Succeeded, piece.name, fileSystem().lastError()};
    }
    fileSystem().commitFolder(set.originalPath);
    return FinishJob(JobOutcome::Succeeded, kJoinSucceeded, kJoinCaption, result.file, result.reason);
}
