#include "join_appender.h"

#include <algorithm>
#include <cstdint>
#include <vector>
#include <memory>
#include <optional>

#include "copy_bytes.h"
#include "file_system.h"
#include "job_messages.h"
#include "job_state.h"
#include "progress.h"

namespace {

using namespace job_messages;

class PieceAppender {
public:
    PieceAppender(const PieceSet& set, JoinPlan& plan)
        : set_(set), plan_(plan), progress_(BytesToMove(plan)), mover_(progress_)
    {
    }

    JobResult run()
    {
        if (plan_.renamedBytes > 0)
            progress_.advance(plan_.renamedBytes + 1);  // a whole piece at once, and its end
        std::int64_t length = std::int64_t{plan_.firstIndex} * plan_.partSize;

        for (std::size_t at = 0; at < plan_.pieces.size(); ++at) {
            const Piece& piece = plan_.pieces[at];
            if (!append(piece, indexOf(at)))
                return stopAsked_ ? stoppedAt(length, indexOf(at)) : failed();
            length += piece.identity.size;
            if (!plan_.output->flush() || !plan_.output->isRegularFile() || plan_.output->size() != length)
                return failedAt(outputPath());
            if (!plan_.outputNamed && !nameOutput())
                return failed();
            if (indexOf(at) < set_.pieceCount - 2 && !plan_.keep) {
                if (!removePiece(piece))
                    return stopped();
                plan_.deletedEnd = length;
            }
        }
        return finish(length);
    }

private:
    std::int32_t indexOf(std::size_t at) const { return plan_.firstIndex + static_cast<std::int32_t>(at); }
    const std::string& outputPath() const
    {
        return plan_.outputNamed ? plan_.place.output : plan_.place.privateFile;
    }

    // Appends all of `piece` as it was measured: the same file, no byte more
    // or less, and the bytes its line in the checksum list gives.
    bool append(const Piece& piece, std::int32_t index)
    {
        std::unique_ptr<File> file = fileSystem().openForReading(piece.name);
        if (!file)
            return fail(JoinPieceNotFound(piece.name), piece.name, fileSystem().lastError());
        if (file->identity() != piece.identity)
            return fail(kJoinFailed, piece.name, "it changed after it was measured");
        switch (mover_.copy(*file, *plan_.output, piece.identity.size, plan_.check->hashesFor(index))) {
        case CopyResult::Copied:
            break;
        case CopyResult::ReadFailed:
            return fail(kJoinFailed, piece.name, fileSystem().lastError());
        case CopyResult::EndedEarly:
            return fail(kJoinFailed, piece.name, "it became shorter while it was being read");
        case CopyResult::WriteFailed:
            return fail(kJoinFailed, outputPath(), fileSystem().lastError());
        case CopyResult::Stopped:
            stopAsked_ = true;
            return fail(kJoinFailed, outputPath(), "it was asked to stop");
        }
        if (file->read(mover_.buffer().data(), 1) != 0)
            return fail(kJoinFailed, piece.name, "it grew while it was being read");
        if (!plan_.check->pieceMatches(index)) {
            damaged_ = true;
            return fail(JoinPieceDamaged(piece.name), piece.name, plan_.check->mismatchReason());
        }
        progress_.advance(1);  // the read that met the end of the piece counts as one
        return true;
    }

    // The private output, which holds piece 0 durably now, takes the
    // original's name (never over a file), durable before any piece goes.
    bool nameOutput()
    {
        const std::string& output = plan_.place.output;
        if (!fileSystem().renameNoReplace(plan_.place.privateFile, output))
            return fail(kJoinFailed, output, fileSystem().lastError());
        plan_.outputNamed = true;
        if (!fileSystem().commitFolder(output))
            return fail(kJoinFailed, output, fileSystem().lastError());
        return true;
    }

    // Deletes an appended piece once the output's name and the names before
    // it are durable (in both folders, when the output lies in another), so
    // that a cut never leaves a gap in the pieces that remain.
    bool removePiece(const Piece& piece)
    {
        if (CommitOutputAndPieceNames(plan_.place) && fileSystem().removeIfSame(piece.name, piece.identity))
            return true;
        return fail(JoinFileNotDeleted(piece.name, plan_.place.output), piece.name, fileSystem().lastError());
    }

    // Every byte is in the output: make it durable, name included, check the
    // whole original against its line, then drop the journal, the list and
    // the last pieces. The last piece goes first, so that a join cut short
    // between the two leaves the last but one, whose size is the part size.
    JobResult finish(std::int64_t length)
    {
        // A cut at its own length gives back the room a file system reserves
        // past the end of a growing file (XFS keeps it after the close of a
        // file that was closed before, as a renamed piece 0 was). A trim
        // only: it changes no byte, and its failure changes nothing.
        plan_.output->truncate(length);
        // A move keeps the file's date: the one its list or its pieces give.
        // Its failure changes no byte, and is told with the success.
        const std::optional<std::int64_t> modified = plan_.journal.journal.modified;
        if (modified && !plan_.output->setModified(*modified))
            dateReason_ = fileSystem().lastError();
        const std::string& output = plan_.place.output;
        if (!plan_.output->flush())
            return failedAt(output);
        if (!CommitOutputAndPieceNames(plan_.place))
            return failedAt(output);
        if (!plan_.check->wholeMatches()) {
            fail(JoinListDisagrees(plan_.check->listPath(), output), plan_.check->listPath(),
                 "the SHA-256 of the whole file is not the one it gives");
            return stopped();
        }
        // The pieces appended and not deleted: the last two of the set.
        const std::int64_t deleted = std::clamp<std::int64_t>(std::int64_t{set_.pieceCount} - 2 - plan_.firstIndex, 0,
                                                              static_cast<std::int64_t>(plan_.pieces.size()));
        const std::vector<Piece> left(plan_.pieces.begin() + deleted, plan_.pieces.end());
        if (const std::optional<std::string> stayed =
                RemoveLeftovers(set_, &plan_.journal, *plan_.check, left, plan_.keep)) {
            fail(JoinFileNotDeleted(*stayed, output), *stayed, fileSystem().lastError());
            return stopped();
        }
        if (!plan_.output->close())
            return JoinSucceeded(set_, plan_.place, plan_.keep, output, fileSystem().lastError());
        if (!dateReason_.empty())
            return JoinSucceeded(set_, plan_.place, plan_.keep, output, dateReason_);
        return JoinSucceeded(set_, plan_.place, plan_.keep);
    }

    // Asked to stop while piece `index` was being appended: the output is cut
    // back to the `length` bytes of the whole pieces before it and made
    // durable, and the journal stays, so that a join of piece `index` takes it
    // up. An output that holds no piece yet is taken back instead, leaving the
    // set as it was. Pieces before `index` not yet deleted (the last but one,
    // or every piece of a copy) stay whole: the next join checks and deletes
    // them, or appends them again.
    JobResult stoppedAt(std::int64_t length, std::int32_t index)
    {
        const std::string resumeWith = PieceName(set_.originalPath, index, set_.countText);
        JobResult result;
        if (index == 0 || !plan_.outputNamed) {
            if (!takeBack())
                return FinishJob(JobOutcome::Failed, kJoinFailed, kJoinCaption, outputPath(),
                                 fileSystem().lastError());
            result = FinishJob(JobOutcome::Stopped, JoinStoppedBeforeAPiece(resumeWith), kJoinCaption);
        } else {
            if (!plan_.output->truncate(length) || !plan_.output->flush() || !CommitOutputAndPieceNames(plan_.place))
                return failedAt(outputPath());
            plan_.output->close();
            result = FinishJob(JobOutcome::Stopped, JoinStopped(plan_.place.output, index, set_.pieceCount, resumeWith),
                               kJoinCaption);
        }
        result.resultPath = plan_.place.output;
        result.pieceCount = set_.pieceCount;
        result.kept = plan_.keep;
        result.piecesHeld = index == 0 || !plan_.outputNamed ? 0 : index;
        result.resumeWith = resumeWith;
        return result;
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

    // A file that could not be deleted: the output holds its bytes, durably,
    // and the next join deletes it and goes on.
    JobResult stopped()
    {
        plan_.output->close();
        return FinishJob(JobOutcome::Failed, failure_.message, kJoinCaption, failure_.file, failure_.reason);
    }

    // Takes the output back to the end of the highest piece deleted, whose
    // bytes it alone holds. When it holds none, the set goes back to what it
    // was: the output removed (or piece 0 renamed back) and the journal too.
    // A damaged piece that leaves the set as it was is a refusal: nothing changed.
    JobResult failed()
    {
        const bool restored = takeBack();
        const JobOutcome outcome = damaged_ && restored ? JobOutcome::Refused : JobOutcome::Failed;
        return FinishJob(outcome, failure_.message, kJoinCaption, failure_.file, failure_.reason);
    }

    // True when the set is back as it was before this run.
    bool takeBack()
    {
        File& output = *plan_.output;
        if (plan_.deletedEnd == 0) {
            // The file this run created, known by its name before and after
            // its close: the close may move its date (Windows does after
            // writes), and a handle to a file renamed while open may no longer
            // tell its volume (Wine).
            const std::optional<FileIdentity> made = fileSystem().identityAt(outputPath());
            output.close();
            const std::optional<FileIdentity> closed = fileSystem().identityAt(outputPath());
            return made && closed && closed->sameFileAs(*made) && fileSystem().removeIfSame(outputPath(), *closed) &&
                   fileSystem().commitFolder(outputPath()) && RemoveJournal(plan_.journal);
        }
        if (plan_.renamedBytes == plan_.deletedEnd) {
            const std::string firstPiece = PieceName(set_.originalPath, 0, set_.countText);
            return output.truncate(plan_.deletedEnd) && output.flush() && output.close() &&
                   fileSystem().renameNoReplace(plan_.place.output, firstPiece) &&
                   fileSystem().commitFolder(firstPiece) && RemoveJournal(plan_.journal);
        }
        if (output.truncate(plan_.deletedEnd) && output.flush())
            output.close();
        return false;
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
    ProgressPacer progress_;
    ByteMover mover_;
    Failure failure_;
    std::string dateReason_;  // why the output could not take its pieces' date
    bool damaged_ = false;    // a piece did not match its line
    bool stopAsked_ = false;  // the copy stopped at a stop asked for
};

}  // namespace

JobResult AppendPieces(const PieceSet& set, JoinPlan& plan)
{
    return PieceAppender(set, plan).run();
}
