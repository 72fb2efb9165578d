#include "join_recovery.h"

#include <memory>

#include "file_system.h"
#include "job_messages.h"
#include "job_state.h"
#include "join_appender.h"

using namespace job_messages;

namespace {

JobResult NotDeleted(const std::string& file, const JoinSurvey& survey)
{
    return FinishJob(JobOutcome::Failed, JoinFileNotDeleted(file, survey.place.output), kJoinCaption, file,
                     fileSystem().lastError());
}

// Whether the pieces stay: an interrupted join's journal says, else the join
// that was asked for (jobState.keep).
bool KeepsPieces(const JoinSurvey& survey)
{
    return survey.journalOfThisJoin ? survey.journal->journal.keep : jobState.keep;
}

// The output the survey found, open and locked, while it is still that file.
std::unique_ptr<File> OpenSurveyedOutput(const JoinSurvey& survey, std::string& reason)
{
    std::unique_ptr<File> output = fileSystem().openForUpdate(survey.place.output);
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

// With a checksum list: the output's first `pieces` pieces, which are gone
// from disk, are the bytes their lines give. Empty when they are.
std::optional<JobResult> CheckPiecesHeld(const PieceSet& set, const std::string& outputPath, File& output,
                                         std::int32_t pieces, ListCheck& check)
{
    CopyBuffer buffer;
    const std::int64_t partSize = check.facts().partSize;
    for (std::int32_t index = 0; index < pieces; ++index) {
        const std::int64_t size = ListedPieceSize(check.facts(), index);
        if (!check.hashRange(output, index * partSize, size, index, buffer))
            return FailJoin(outputPath, fileSystem().lastError());
        if (!check.pieceMatches(index))
            return RefuseJoin(JoinOutputDamaged(outputPath), outputPath,
                              "the bytes of " + PieceName(set.originalPath, index, set.countText) + " in it: " +
                                  check.mismatchReason());
    }
    return std::nullopt;
}

// On a file system whose file numbers do not last: what the output holds
// past the pieces gone is the start of the next piece, so that cutting it
// destroys nothing that piece does not hold.
bool TailIsNextPiece(File& output, const JoinSurvey& survey, std::int64_t held)
{
    const std::int64_t tail = survey.output->size - held;
    CopyBuffer buffer;
    return tail == 0 || OutputHoldsPiece(output, held, survey.pieces.front().name, tail, buffer);
}

// With a checksum list: every piece's bytes in the output are those its line
// gives, and the whole output is the original's line. Empty when they are.
std::optional<JobResult> CheckWholeOutput(const PieceSet& set, const JoinSurvey& survey, File& output,
                                          ListCheck& check)
{
    const std::string& outputPath = survey.place.output;
    if (std::optional<JobResult> refused = CheckPiecesHeld(set, outputPath, output, survey.firstIndex, check))
        return refused;
    CopyBuffer buffer;
    for (std::int32_t index = survey.firstIndex; index < set.pieceCount; ++index) {
        const std::string name = PieceName(set.originalPath, index, set.countText);
        const std::int64_t size = ListedPieceSize(check.facts(), index);
        if (!check.hashRange(output, index * check.facts().partSize, size, index, buffer))
            return FailJoin(outputPath, fileSystem().lastError());
        // The output holds this piece byte for byte: the piece is damaged too.
        if (!check.pieceMatches(index))
            return RefuseJoin(JoinPieceDamaged(name), name, check.mismatchReason());
    }
    if (!check.wholeMatches())
        return FinishJob(JobOutcome::Failed, JoinListDisagrees(check.listPath(), outputPath), kJoinCaption,
                         check.listPath(), "the SHA-256 of the whole file is not the one it gives");
    return std::nullopt;
}

}  // namespace

JobResult ResumeJoin(const PieceSet& set, JoinSurvey& survey, std::int64_t freeBytes, ListCheck& check)
{
    if (freeBytes != FREE_QUERY_FAILED && survey.pieces.front().identity.size >= freeBytes)
        return RefuseJoin(kJoinNoSpace);
    const std::string& outputPath = survey.place.output;
    JoinPlan plan;
    std::string reason;
    plan.output = OpenSurveyedOutput(survey, reason);
    if (!plan.output)
        return RefuseJoin(FileInUseByAnotherJob(outputPath), outputPath, reason);
    const std::int64_t held = std::int64_t{survey.firstIndex} * survey.partSize;
    if (check.active()) {
        if (std::optional<JobResult> refused = CheckPiecesHeld(set, outputPath, *plan.output, survey.firstIndex, check))
            return *refused;
    }
    if (survey.outputToProveByList && !TailIsNextPiece(*plan.output, survey, held))
        return RefuseJoin(JoinIdsNotStable(outputPath), outputPath,
                          "its bytes past the pieces it holds are not those of the next piece");
    plan.keep = KeepsPieces(survey);
    plan.journal = std::move(*survey.journal);
    plan.place = survey.place;
    plan.partSize = survey.partSize;
    plan.check = &check;

    // A private file that the journal names is the job's own.
    if (survey.privateFile && !survey.privateFile->sameFileAs(*survey.output) &&
        !fileSystem().removeIfSame(plan.place.privateFile, *survey.privateFile))
        return NotDeleted(plan.place.privateFile, survey);

    // Pieces the output holds already at their places, durably: kept by a
    // join that could not delete them, or by a copy (`keep`), which goes on
    // after them and deletes none.
    std::size_t kept = 0;
    CopyBuffer buffer;
    for (; survey.firstIndex + static_cast<std::int32_t>(kept) < set.pieceCount - 2; ++kept) {
        const Piece& piece = survey.pieces[kept];
        const std::int64_t offset = (survey.firstIndex + static_cast<std::int64_t>(kept)) * plan.partSize;
        if (plan.output->size() < offset + plan.partSize ||
            !OutputHoldsPiece(*plan.output, offset, piece.name, plan.partSize, buffer))
            break;
        // Its bytes are the piece's own: they are checked as the piece would be.
        const std::int32_t index = survey.firstIndex + static_cast<std::int32_t>(kept);
        if (check.active() && (!check.hashRange(*plan.output, offset, plan.partSize, index, buffer) ||
                               !check.pieceMatches(index)))
            return RefuseJoin(JoinPieceDamaged(piece.name), piece.name, check.mismatchReason());
        if (plan.keep)
            continue;
        if (!plan.output->flush() || !CommitOutputAndPieceNames(plan.place) ||
            !fileSystem().removeIfSame(piece.name, piece.identity))
            return NotDeleted(piece.name, survey);
    }
    plan.firstIndex = survey.firstIndex + static_cast<std::int32_t>(kept);
    plan.pieces.assign(survey.pieces.begin() + static_cast<std::ptrdiff_t>(kept), survey.pieces.end());
    plan.deletedEnd = std::int64_t{plan.firstIndex} * plan.partSize;

    // Whatever lies past the pieces gone, the next piece holds it whole.
    if (!plan.output->truncate(plan.deletedEnd))
        return FailJoin(outputPath, fileSystem().lastError());
    return AppendPieces(set, plan);
}

JobResult FinishJoin(const PieceSet& set, JoinSurvey& survey, ListCheck& check)
{
    const std::string& outputPath = survey.place.output;
    const bool keep = KeepsPieces(survey);
    std::string reason;
    std::unique_ptr<File> output = OpenSurveyedOutput(survey, reason);
    if (!output)
        return RefuseJoin(FileInUseByAnotherJob(outputPath), outputPath, reason);
    if (check.active()) {
        if (std::optional<JobResult> refused = CheckWholeOutput(set, survey, *output, check))
            return *refused;
    }
    if (!output->flush() || !CommitOutputAndPieceNames(survey.place))
        return FailJoin(outputPath, fileSystem().lastError());
    if (const std::optional<std::string> stayed =
            RemoveLeftovers(set, survey.journal ? &*survey.journal : nullptr, check, survey.pieces, keep))
        return NotDeleted(*stayed, survey);
    if (!output->close())
        return JoinSucceeded(set, survey.place, keep, outputPath, fileSystem().lastError());
    return JoinSucceeded(set, survey.place, keep);
}

JobResult ForgetFinishedJoin(const PieceSet& set, JoinSurvey& survey, ListCheck& check)
{
    if (check.active()) {
        std::string reason;
        std::unique_ptr<File> output = OpenSurveyedOutput(survey, reason);
        if (!output)
            return RefuseJoin(FileInUseByAnotherJob(survey.place.output), survey.place.output, reason);
        if (std::optional<JobResult> refused = CheckWholeOutput(set, survey, *output, check))
            return *refused;
    }
    if (const std::optional<std::string> stayed = RemoveLeftovers(set, &*survey.journal, check, {}))
        return NotDeleted(*stayed, survey);
    return JoinSucceeded(set, survey.place, false);
}

bool ClearStaleJoin(const PieceSet& set, JoinSurvey& survey)
{
    const std::string& privatePath = survey.place.privateFile;
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
