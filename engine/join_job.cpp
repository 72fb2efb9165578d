#include "join_job.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <vector>

#include "copy_bytes.h"
#include "file_system.h"
#include "job_messages.h"
#include "job_state.h"
#include "join_plan.h"
#include "join_recovery.h"
#include "piece_names.h"
#include "progress.h"

namespace {

using namespace job_messages;

Checked CreateOutput(const PieceSet& set, JoinPlan plan);
Checked RenameFirstPiece(const PieceSet& set, JoinPlan plan);

// Checks a set whose piece 0 exists: every piece present and of a size that
// fits, no file at the original's path, and room for the first piece.
Checked CheckWholeSet(const PieceSet& set, std::int64_t freeBytes)
{
    std::int32_t missing = 0;
    std::optional<std::vector<Piece>> pieces = MeasurePieces(set, 0, set.pieceCount, missing);
    if (!pieces)
        return RefuseJoin(JoinPieceNotFound(PieceName(set.originalPath, missing, set.countText)));
    const std::int64_t partSize = pieces->front().identity.size;
    if (const Piece* misfit = FirstMisfit(*pieces, partSize))
        return RefuseJoin(JoinPieceDoesNotFit(misfit->name), misfit->name, "its size does not fit the set");
    if (fileSystem().exists(set.originalPath))
        return RefuseJoin(JoinOutputInTheWay(set.originalPath), set.originalPath, "a file of that name exists");
    // The first piece of a set is its largest.
    if (freeBytes != FREE_QUERY_FAILED && partSize >= freeBytes)
        return RefuseJoin(kJoinNoSpace);

    JoinPlan plan;
    plan.partSize = partSize;
    plan.pieces = std::move(*pieces);
    return RenameFirstPiece(set, std::move(plan));
}

// The output made new, empty, and locked.
Checked CreateOutput(const PieceSet& set, JoinPlan plan)
{
    plan.output = fileSystem().createNew(set.originalPath);
    if (!plan.output)
        return FailBeforeCopy(set.originalPath);
    plan.outputCreated = true;
    if (!plan.output->lockExclusive()) {
        // Another job opened the new file already: it is theirs now.
        return RefuseJoin(FileInUseByAnotherJob(set.originalPath), set.originalPath, fileSystem().lastError());
    }
    return Checked{std::move(plan), {}};
}

// Piece 0 renamed to the output's name, opened and locked at its end, its
// bytes never copied. The output then holds one whole piece and piece 0 is
// gone: the state a join cut short after its first piece leaves, which
// CheckInterruptedJoin takes up. Piece 0 is copied instead (CreateOutput) when
// it has another name, as appending to it must change no other file; or, in a
// set of two pieces, when it cannot carry the part size (RecordPartSize).
Checked RenameFirstPiece(const PieceSet& set, JoinPlan plan)
{
    const Piece first = plan.pieces.front();
    const bool twoPieces = set.pieceCount == 2;
    if (first.identity.links != 1 || (twoPieces && !RecordPartSize(first)) ||
        !fileSystem().renameNoReplace(first.name, set.originalPath))
        return CreateOutput(set, std::move(plan));
    // Committed before a byte is appended: were the rename lost to a power cut
    // and the appended bytes kept, piece 0 would hold more than a piece.
    if (!fileSystem().commitFolder(set.originalPath))
        return FailBeforeCopy(set.originalPath);
    plan.output = fileSystem().openForUpdate(set.originalPath);
    const std::optional<FileIdentity> output = plan.output ? plan.output->identity() : std::nullopt;
    if (!output || *output != first.identity || !plan.output->lockExclusive() || !plan.output->seek(output->size))
        return FailBeforeCopy(set.originalPath);
    plan.partSizeRecorded = twoPieces;
    plan.renamedBytes = first.identity.size;
    plan.firstIndex = 1;
    plan.pieces.erase(plan.pieces.begin());
    return Checked{std::move(plan), {}};
}

// The copy phase of a plan: appends each piece, commits the output, then
// deletes the piece. The last piece but one stays until the last is committed
// too, so that a join cut short always leaves a piece whose size is the part
// size. A piece is deleted only when its bytes in the output are durable and
// its name still reaches the file that was read, unchanged.
class PieceAppender {
public:
    PieceAppender(const PieceSet& set, JoinPlan& plan)
        : set_(set), plan_(plan), firstKept_(plan.firstIndex), progress_(BytesToMove(plan)), mover_(progress_)
    {
    }

    JobResult run()
    {
        if (plan_.renamedBytes > 0)
            progress_.advance(plan_.renamedBytes + 1);  // a whole piece at once, and its end
        std::int64_t expectedLength = std::int64_t{plan_.firstIndex} * plan_.partSize;

        for (std::size_t at = 0; at < plan_.pieces.size(); ++at) {
            const Piece& piece = plan_.pieces[at];
            const std::int32_t index = plan_.firstIndex + static_cast<std::int32_t>(at);
            if (!append(piece))
                return failed();
            expectedLength += piece.identity.size;
            if (!plan_.output->flush() || !plan_.output->isRegularFile() || plan_.output->size() != expectedLength)
                return failedAt(set_.originalPath);
            if (index < set_.pieceCount - 2)
                remove(at);
        }

        // A cut at its own length gives back the room a file system reserves
        // past the end of a growing file (XFS keeps it after the close of a
        // file that was closed before, as a renamed piece 0 was). A trim
        // only: it changes no byte, and its failure changes nothing.
        plan_.output->truncate(expectedLength);

        // Every byte is durable in the output; once its name is too, the last
        // two pieces may go, and only then is the join a success.
        if (!fileSystem().commitFolder(set_.originalPath))
            return failedAt(set_.originalPath);
        // The last piece goes first: a join cut short between the two leaves
        // the last but one, whose size is the part size (FinishInterruptedJoin).
        const std::size_t count = plan_.pieces.size();
        if (count >= 1)
            removeCommitted(count - 1);
        if (count >= 2)
            remove(count - 2);
        fileSystem().commitFolder(set_.originalPath);
        if (plan_.partSizeRecorded)
            ForgetPartSize(*plan_.output);
        if (!plan_.output->close())
            return FinishJob(JobOutcome::Succeeded, kJoinSucceeded, kJoinCaption, set_.originalPath,
                             fileSystem().lastError());
        return FinishJob(JobOutcome::Succeeded, kJoinSucceeded, kJoinCaption, leftover_, leftoverReason_);
    }

private:
    // Appends all of `piece` as it was measured: the same file, no byte more or less.
    bool append(const Piece& piece)
    {
        std::unique_ptr<File> file = fileSystem().openForReading(piece.name);
        if (!file)
            return fail(JoinPieceNotFound(piece.name), piece.name, fileSystem().lastError());
        if (file->identity() != piece.identity)
            return fail(kJoinFailed, piece.name, "it changed after it was measured");
        switch (mover_.copy(*file, *plan_.output, piece.identity.size)) {
        case CopyResult::Copied:
            break;
        case CopyResult::ReadFailed:
            return fail(kJoinFailed, piece.name, fileSystem().lastError());
        case CopyResult::EndedEarly:
            return fail(kJoinFailed, piece.name, "it became shorter while it was being read");
        case CopyResult::WriteFailed:
            return fail(kJoinFailed, set_.originalPath, fileSystem().lastError());
        }
        if (file->read(mover_.buffer().data(), 1) != 0)
            return fail(kJoinFailed, piece.name, "it grew while it was being read");
        progress_.advance(1);  // the read that met the end of the piece counts as one
        return true;
    }

    // Deletes the appended piece at `at` once the names before it are durable.
    // A piece that stays is only clutter: its bytes are in the output.
    void remove(std::size_t at)
    {
        if (fileSystem().commitFolder(set_.originalPath))
            removeCommitted(at);
        else
            keep(at);
    }

    // The same, when the folder has just been committed.
    void removeCommitted(std::size_t at)
    {
        const Piece& piece = plan_.pieces[at];
        if (!fileSystem().removeIfSame(piece.name, piece.identity))
            return keep(at);
        const std::int32_t index = plan_.firstIndex + static_cast<std::int32_t>(at);
        if (firstKept_ == index)
            firstKept_ = index + 1;
    }

    // Tells of the first piece that stays, and why.
    void keep(std::size_t at)
    {
        if (!leftover_.empty())
            return;
        leftover_ = plan_.pieces[at].name;
        leftoverReason_ = fileSystem().lastError();
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

    // The bytes of the pieces, the one renamed included.
    static std::int64_t BytesToMove(const JoinPlan& plan)
    {
        std::int64_t total = plan.renamedBytes;
        for (const Piece& piece : plan.pieces)
            total += piece.identity.size;
        return total;
    }

    const PieceSet& set_;
    JoinPlan& plan_;
    std::int32_t firstKept_;
    ProgressPacer progress_;
    ByteMover mover_;
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
    if (std::optional<JobResult> finished = FinishInterruptedJoin(*set))
        return *finished;
    const bool firstPieceThere = fileSystem().exists(PieceName(set->originalPath, 0, set->countText));
    Checked checked = firstPieceThere ? CheckWholeSet(*set, freeBytes) : CheckInterruptedJoin(*set, freeBytes);
    if (!checked.plan)
        return checked.ended;
    return PieceAppender(*set, *checked.plan).run();
}
