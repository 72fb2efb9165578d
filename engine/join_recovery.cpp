#include "join_recovery.h"

#include <memory>

#include "file_system.h"
#include "job_messages.h"
#include "job_state.h"
#include "join_appender.h"

using namespace job_messages;

namespace {

JobResult NotDeleted(const std::string& file, const PieceSet& set)
{
    return FinishJob(JobOutcome::Failed, JoinFileNotDeleted(file, set.originalPath), kJoinCaption, file,
                     fileSystem().lastError());
}

// The output the survey found, open and locked, while it is still that file.
std::unique_ptr<File> OpenSurveyedOutput(const PieceSet& set, const JoinSurvey& survey, std::string& reason)
{
    std::unique_ptr<File> output = fileSystem().openForUpdate(set.originalPath);
    const std::optional<FileIdentity> identity = output ? output->identity() : std::nullopt;
    reason = fileSystem().lastError();
    if (!identity || !identity->sameFileAs(*survey.output))
        return nullptr;
    if (!output->lockExclusive()) {
        reason = fileSystem().lastError();
        return nullptr;
    }
    return output;
}

}  // namespace

JobResult ResumeJoin(const PieceSet& set, JoinSurvey& survey, std::int64_t freeBytes)
{
    if (freeBytes != FREE_QUERY_FAILED && survey.pieces.front().identity.size >= freeBytes)
        return RefuseJoin(kJoinNoSpace);
    JoinPlan plan;
    std::string reason;
    plan.output = OpenSurveyedOutput(set, survey, reason);
    if (!plan.output)
        return RefuseJoin(FileInUseByAnotherJob(set.originalPath), set.originalPath, reason);
    plan.journal = std::move(*survey.journal);
    plan.partSize = survey.partSize;

    // A private file that the journal names is the job's own.
    const std::string privatePath = PrivateOutputPath(set.originalPath);
    if (survey.privateFile && !survey.privateFile->sameFileAs(*survey.output) &&
        !fileSystem().removeIfSame(privatePath, *survey.privateFile))
        return NotDeleted(privatePath, set);

    // Pieces the output holds already at their places, durably: kept by a
    // join that could not delete them.
    std::size_t kept = 0;
    CopyBuffer buffer;
    for (; survey.firstIndex + static_cast<std::int32_t>(kept) < set.pieceCount - 2; ++kept) {
        const Piece& piece = survey.pieces[kept];
        const std::int64_t offset = (survey.firstIndex + static_cast<std::int64_t>(kept)) * plan.partSize;
        if (plan.output->size() < offset + plan.partSize ||
            !OutputHoldsPiece(*plan.output, offset, piece.name, plan.partSize, buffer))
            break;
        if (!plan.output->flush() || !fileSystem().commitFolder(set.originalPath) ||
            !fileSystem().removeIfSame(piece.name, piece.identity))
            return NotDeleted(piece.name, set);
    }
    plan.firstIndex = survey.firstIndex + static_cast<std::int32_t>(kept);
    plan.pieces.assign(survey.pieces.begin() + static_cast<std::ptrdiff_t>(kept), survey.pieces.end());
    plan.deletedEnd = std::int64_t{plan.firstIndex} * plan.partSize;

    // Whatever lies past the pieces gone, the next piece holds it whole.
    if (!plan.output->truncate(plan.deletedEnd))
        return FailJoin(set.originalPath, fileSystem().lastError());
    return AppendPieces(set, plan);
}

JobResult FinishJoin(const PieceSet& set, JoinSurvey& survey)
{
    std::string reason;
    std::unique_ptr<File> output = OpenSurveyedOutput(set, survey, reason);
    if (!output)
        return RefuseJoin(FileInUseByAnotherJob(set.originalPath), set.originalPath, reason);
    if (!output->flush() || !fileSystem().commitFolder(set.originalPath))
        return FailJoin(set.originalPath, fileSystem().lastError());
    if (survey.journal) {
        const std::string journalPath = survey.journal->path;
        if (!RemoveJournal(*survey.journal))
            return NotDeleted(journalPath, set);
    }
    for (auto piece = survey.pieces.rbegin(); piece != survey.pieces.rend(); ++piece) {
        if (!fileSystem().removeIfSame(piece->name, piece->identity) || !fileSystem().commitFolder(piece->name))
            return NotDeleted(piece->name, set);
    }
    if (!output->close())
        return FinishJob(JobOutcome::Succeeded, kJoinSucceeded, kJoinCaption, set.originalPath,
                         fileSystem().lastError());
    return FinishJob(JobOutcome::Succeeded, kJoinSucceeded, kJoinCaption);
}

JobResult ForgetFinishedJoin(JoinSurvey& survey)
{
    const std::string journalPath = survey.journal->path;
    if (!RemoveJournal(*survey.journal))
        return FinishJob(JobOutcome::Failed, kJoinFailed, kJoinCaption, journalPath, fileSystem().lastError());
    return FinishJob(JobOutcome::Succeeded, kJoinSucceeded, kJoinCaption);
}

bool ClearStaleJoin(const PieceSet& set, JoinSurvey& survey)
{
    const std::string privatePath = PrivateOutputPath(set.originalPath);
    if (survey.state == JoinState::CopyingFirstPiece &&
        (!fileSystem().removeIfSame(privatePath, *survey.privateFile) || !fileSystem().commitFolder(privatePath))) {
        survey.file = privatePath;
        survey.reason = fileSystem().lastError();
        return false;
    }
    if (!RemoveJournal(*survey.journal)) {
        survey.file = JournalPath(set.originalPath);
        survey.reason = fileSystem().lastError();
        return false;
    }
    return true;
}
