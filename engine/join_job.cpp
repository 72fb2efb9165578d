#include "join_job.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>

#include "file_system.h"
#include "job_messages.h"
#include "job_state.h"
#include "join_appender.h"
#include "join_plan.h"
#include "join_recovery.h"
#include "join_survey.h"
#include "piece_names.h"

namespace {

using namespace job_messages;

// The journal could not be made: another job made it first, or the disk
// failed; nothing of the set was changed.
JobResult JournalNotCreated(const PieceSet& set, const std::string& reason)
{
    const std::string journalPath = JournalPath(set.originalPath);
    if (fileSystem().exists(journalPath))
        return RefuseJoin(FileInUseByAnotherJob(journalPath), journalPath, reason);
    return FailJoin(journalPath, reason);
}

// Piece 0 renamed to the original's name, opened and locked at its end, its
// bytes never copied; the journal, which names piece 0 as the output, is
// durable first. The output then holds one whole piece and piece 0 is gone.
// Empty when the join goes on: with `plan.output` open, or without it when
// the rename was refused and piece 0 is to be copied instead.
std::optional<JobResult> StartByRename(const PieceSet& set, const Journal& journal, JoinPlan& plan)
{
    std::string reason;
    std::optional<OpenJournal> created = CreateJournal(JournalPath(set.originalPath), journal, reason);
    if (!created)
        return JournalNotCreated(set, reason);
    plan.journal = std::move(*created);
    const Piece first = plan.pieces.front();
    if (!fileSystem().renameNoReplace(first.name, set.originalPath)) {
        RemoveJournal(plan.journal);
        return std::nullopt;
    }
    // Committed before a byte is appended: were the rename lost to a power cut
    // and the appended bytes kept, piece 0 would hold more than a piece.
    if (fileSystem().commitFolder(set.originalPath)) {
        plan.output = fileSystem().openForUpdate(set.originalPath);
        const std::optional<FileIdentity> output = plan.output ? plan.output->identity() : std::nullopt;
        // Flushed once more, as on Windows a file's flush is what makes its
        // new name durable, and it must be before the first byte is appended.
        if (output && *output == first.identity && plan.output->lockExclusive() && plan.output->flush() &&
            plan.output->seek(output->size)) {
            plan.renamedBytes = plan.deletedEnd = first.identity.size;
            plan.firstIndex = 1;
            plan.pieces.erase(plan.pieces.begin());
            return std::nullopt;
        }
    }
    reason = fileSystem().lastError();
    plan.output.reset();
    if (fileSystem().renameNoReplace(set.originalPath, first.name) && fileSystem().commitFolder(first.name))
        RemoveJournal(plan.journal);
    return FailJoin(set.originalPath, reason);
}

// Piece 0 copied, for a piece 0 with another name: appending to it must change
// no other file. The copy is made under the private name the journal names,
// and takes the original's name once it holds piece 0 (AppendPieces).
std::optional<JobResult> StartByCopy(const PieceSet& set, Journal journal, JoinPlan& plan)
{
    const std::string privatePath = PrivateOutputPath(set.originalPath);
    journal.privateLeaf = LeafOf(privatePath);
    journal.output.reset();
    std::string reason;
    std::optional<OpenJournal> created = CreateJournal(JournalPath(set.originalPath), journal, reason);
    if (!created)
        return JournalNotCreated(set, reason);
    plan.journal = std::move(*created);

    // Created private to this user, then as open as piece 0 and no more.
    plan.output = fileSystem().createNew(privatePath);
    const std::optional<FileIdentity> output = plan.output ? plan.output->identity() : std::nullopt;
    if (output && plan.output->lockExclusive() && plan.output->takePermissionsOf(plan.pieces.front().identity) &&
        RecordOutput(plan.journal, *output)) {
        plan.outputNamed = false;
        return std::nullopt;
    }
    reason = fileSystem().lastError();
    if (plan.output) {
        // The file this run created: gone again, and the journal with it.
        const std::optional<FileIdentity> made = output ? output : IdentityOrNamed(*plan.output, privatePath);
        plan.output->close();
        if (made && fileSystem().removeIfSame(privatePath, *made))
            RemoveJournal(plan.journal);
        return FailJoin(privatePath, reason);
    }
    RemoveJournal(plan.journal);
    if (fileSystem().exists(privatePath))
        return RefuseJoin(JoinOutputInTheWay(privatePath), privatePath, "a file of that name exists");
    return FailJoin(privatePath, reason);
}

// A whole set and nothing in the way: the journal first, then piece 0 becomes
// the output (renamed where it is a plain file with one name, else copied),
// then the other pieces are appended.
JobResult StartJoin(const PieceSet& set, JoinSurvey& survey, std::int64_t freeBytes)
{
    // The first piece of a set is its largest.
    if (freeBytes != FREE_QUERY_FAILED && survey.partSize >= freeBytes)
        return RefuseJoin(kJoinNoSpace);
    JoinPlan plan;
    plan.partSize = survey.partSize;
    plan.pieces = std::move(survey.pieces);
    Journal journal;
    journal.originalLeaf = LeafOf(set.originalPath);
    journal.countText = set.countText;
    journal.partSize = plan.partSize;
    journal.lastSize = plan.pieces.back().identity.size;
    journal.modified = AgreedModification(plan.pieces);

    const Piece& first = plan.pieces.front();
    if (first.identity.links == 1 && fileSystem().isPlainName(first.name)) {
        journal.output = first.identity;
        if (std::optional<JobResult> ended = StartByRename(set, journal, plan))
            return *ended;
        if (plan.output)
            return AppendPieces(set, plan);
    }
    if (std::optional<JobResult> ended = StartByCopy(set, journal, plan))
        return *ended;
    return AppendPieces(set, plan);
}

// The refusal that a surveyed state calls for; nothing is touched.
JobResult RefuseState(const PieceSet& set, const JoinSurvey& survey)
{
    const std::string& file = survey.file;
    switch (survey.state) {
    case JoinState::OutputInTheWay:
        return RefuseJoin(JoinOutputInTheWay(file), file, survey.reason);
    case JoinState::ForeignOutput:
        return RefuseJoin(JoinForeignOutput(file, PieceName(set.originalPath, 0, set.countText)), file,
                          survey.reason);
    case JoinState::IdsNotStable:
        return RefuseJoin(JoinIdsNotStable(file), file, survey.reason);
    case JoinState::JournalInUse:
        return RefuseJoin(FileInUseByAnotherJob(file), file, survey.reason);
    case JoinState::JournalOfAnotherKind:
        return RefuseJoin(JoinJournalOfAnotherKind(file), file, survey.reason);
    case JoinState::PieceDoesNotFit:
        return RefuseJoin(JoinPieceDoesNotFit(file), file, survey.reason);
    case JoinState::PieceMissing:
        return RefuseJoin(JoinPieceNotFound(file));  // the message says it all
    default:
        return RefuseJoin(JoinJournalUnfit(file), file, survey.reason);
    }
}

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
    for (bool cleared = false;; cleared = true) {
        JoinSurvey survey = SurveyJoin(*set);
        switch (survey.state) {
        case JoinState::FreshSet:
            return StartJoin(*set, survey, freeBytes);
        case JoinState::StaleJournal:
        case JoinState::CopyingFirstPiece:
            // Once cleared, the set is surveyed again: whole, or with a file in the way.
            if (cleared || !ClearStaleJoin(*set, survey))
                return RefuseJoin(JoinOutputInTheWay(survey.file), survey.file, survey.reason);
            continue;
        case JoinState::Interrupted:
            return ResumeJoin(*set, survey, freeBytes);
        case JoinState::Finishing:
            return FinishJoin(*set, survey);
        case JoinState::FinishedJournal:
            return ForgetFinishedJoin(survey);
        default:
            return RefuseState(*set, survey);
        }
    }
}
