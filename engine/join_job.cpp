#include "join_job.h"

#include "in_place_split.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>

#include "checksum_list.h"
#include "file_system.h"
#include "in_place_split.h"
#include "job_messages.h"
#include "job_state.h"
#include "join_appender.h"
#include "join_check.h"
#include "join_plan.h"
#include "join_recovery.h"
#include "join_survey.h"
#include "piece_names.h"
#include "split_journal.h"

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
    std::optional<OpenJournal> created = CreateJournal(plan.place.journal, journal, reason);
    if (!created)
        return JournalNotCreated(set, reason);
    plan.journal = std::move(*created);
    const Piece first = plan.pieces.front();
    const std::string& outputPath = plan.place.output;
    if (!fileSystem().renameNoReplace(first.name, outputPath)) {
        RemoveJournal(plan.journal);
        return std::nullopt;
    }
    // Committed before a byte is appended: were the rename lost to a power cut
    // and the appended bytes kept, piece 0 would hold more than a piece.
    if (fileSystem().commitFolder(outputPath)) {
        plan.output = fileSystem().openForUpdate(outputPath);
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
    if (fileSystem().renameNoReplace(outputPath, first.name) && fileSystem().commitFolder(first.name))
        RemoveJournal(plan.journal);
    return FailJoin(outputPath, reason);
}

// Piece 0 copied, for a piece 0 with another name: appending to it must change
// no other file. The copy is made under the private name the journal names,
// and takes the original's name once it holds piece 0 (AppendPieces).
std::optional<JobResult> StartByCopy(const PieceSet& set, Journal journal, JoinPlan& plan)
{
    const std::string& privatePath = plan.place.privateFile;
    journal.privateLeaf = LeafOf(privatePath);
    journal.output.reset();
    std::string reason;
    std::optional<OpenJournal> created = CreateJournal(plan.place.journal, journal, reason);
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

// The length of the rebuilt file, as the survey knows the set's sizes.
std::int64_t OriginalSize(const PieceSet& set, const JoinSurvey& survey)
{
    const std::int64_t last = survey.lastSize > 0 ? survey.lastSize : survey.pieces.back().identity.size;
    return survey.partSize * (set.pieceCount - 1) + last;
}

// True when the output's folder is on the volume that holds `piece`; false
// when it cannot be told.
bool OnVolumeOfPieces(const JoinPlace& place, const Piece& piece)
{
    if (place.besidePieces())
        return true;
    const std::string& output = place.output;
    const std::optional<FileIdentity> folder =
        fileSystem().identityAt(output.substr(0, output.size() - LeafOf(output).size()));
    return folder && folder->volume == piece.identity.volume;
}

// Reads piece 0 whole, hashing it as the list's first piece, before it is
// renamed: a rename takes no bytes through memory. Empty when it matched.
std::optional<JobResult> CheckFirstPiece(const Piece& first, ListCheck& check)
{
    std::unique_ptr<File> file = fileSystem().openForReading(first.name);
    CopyBuffer buffer;
    if (!file || file->identity() != first.identity)
        return RefuseJoin(JoinPieceNotFound(first.name), first.name, fileSystem().lastError());
    if (!check.hashRange(*file, 0, first.identity.size, 0, buffer))
        return FailJoin(first.name, fileSystem().lastError());
    if (!check.pieceMatches(0))
        return RefuseJoin(JoinPieceDamaged(first.name), first.name, check.mismatchReason());
    return std::nullopt;
}

// A whole set and nothing in the way: the journal first, then piece 0 becomes
// the output (renamed where it is a plain file with one name beside the
// output's place, else copied), then the other pieces are appended. A copy
// (`keep`) copies piece 0 too, and an output in another folder is always
// written new: a rename cannot cross volumes, and a name moved between two
// folders is durable only once both are committed.
JobResult StartJoin(const PieceSet& set, JoinSurvey& survey, std::int64_t freeBytes, ListCheck& check, bool keep)
{
    // The first piece of a set is its largest; where no piece is deleted to
    // make room on the output's volume, the whole original must fit.
    const bool freesAsItGoes = !keep && OnVolumeOfPieces(survey.place, survey.pieces.front());
    const std::int64_t needed = freesAsItGoes ? survey.partSize : OriginalSize(set, survey);
    if (freeBytes != FREE_QUERY_FAILED && needed >= freeBytes)
        return RefuseJoin(kJoinNoSpace);
    JoinPlan plan;
    plan.place = survey.place;
    plan.keep = keep;
    plan.partSize = survey.partSize;
    plan.pieces = std::move(survey.pieces);
    plan.check = &check;
    Journal journal;
    journal.originalLeaf = LeafOf(set.originalPath);
    journal.countText = set.countText;
    journal.partSize = plan.partSize;
    journal.lastSize = plan.pieces.back().identity.size;
    journal.outputFolder = plan.place.folderRecord;
    journal.keep = keep;
    // The list tells the original's date; pieces of other tools may agree on one.
    journal.modified = check.active() ? UtcNanosecondsToModified(check.facts().modifiedUtcNs)
                                      : AgreedModification(plan.pieces);

    const Piece& first = plan.pieces.front();
    if (!keep && plan.place.besidePieces() && first.identity.links == 1 && fileSystem().isPlainName(first.name)) {
        if (check.active()) {
            if (std::optional<JobResult> damaged = CheckFirstPiece(first, check))
                return *damaged;
        }
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

// Sets of more pieces than this name only the first missing ones.
constexpr std::size_t kMostMissingNamed = 1000;

// Every piece the join needs that is not there: from piece 0 on, or, beside
// an output that holds the first pieces, from the first piece there on.
std::vector<std::string> MissingPieces(const PieceSet& set, const JoinSurvey& survey)
{
    const std::int32_t first = survey.output && survey.firstIndex > 0 ? survey.firstIndex : 0;
    std::vector<std::string> missing;
    for (std::int32_t index = first; index < set.pieceCount && missing.size() < kMostMissingNamed; ++index) {
        std::string name = PieceName(set.originalPath, index, set.countText);
        if (!fileSystem().exists(name))
            missing.push_back(std::move(name));
    }
    if (missing.empty())
        missing.push_back(survey.file);  // there, but it does not open
    return missing;
}

// The first piece there whose size is not the one the list gives its place.
const Piece* FirstMisfitOfList(const PieceSet& set, const JoinSurvey& survey, const ListCheck& check)
{
    if (!check.active())
        return nullptr;
    const SetFacts& facts = check.facts();
    return FirstMisfitOfPlace(set, survey.pieces, survey.firstIndex, facts.partSize,
                              ListedPieceSize(facts, set.pieceCount - 1));
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
    case JoinState::PieceMissing: {
        JobResult refused = RefuseJoin(JoinPieceNotFound(file));  // the message says it all
        refused.missingPieces = MissingPieces(set, survey);
        return refused;
    }
    default:
        return RefuseJoin(JoinJournalUnfit(file), file, survey.reason);
    }
}

}  // namespace

unsigned JoinThreadProc(void*)
{
    const JobResult result = JoinFiles(jobState.joinPath);
    if (jobState.exitWhenDone)
        std::exit(ExitStatus(result.outcome));
    return 0;
}

namespace {

// The set's checksum list, read before anything is written: a list that
// cannot be read or is not this set's refuses the join, naming it.
std::optional<JobResult> ReadList(const PieceSet& set, std::optional<ListCheck>& check)
{
    FoundList found = ReadChecksumList(set);
    switch (found.found) {
    case ListFound::None:
        check.emplace();
        return std::nullopt;
    case ListFound::Unreadable:
    case ListFound::Damaged:
        return RefuseJoin(JoinListUnfit(found.path), found.path, found.reason);
    case ListFound::Read:
        break;
    }
    if (const std::optional<std::string> misfit = ListMisfit(found.list, set))
        return RefuseJoin(JoinListUnfit(found.path), found.path, *misfit);
    check.emplace(std::move(found));
    return std::nullopt;
}

// The folder that holds `place`'s output, as a message names it.
std::string OutputFolderOf(const JoinPlace& place)
{
    const std::string& output = place.output;
    const std::size_t leaf = LeafOf(output).size();
    return output.size() > leaf + 1 ? output.substr(0, output.size() - leaf - 1) : ".";
}

// Refuses, before anything is touched, a rebuilt file larger than the file
// system of its folder holds (FAT: 4 GiB - 1 byte). Empty when it fits.
std::optional<JobResult> RefuseTooLarge(const PieceSet& set, const JoinSurvey& survey)
{
    if (survey.pieces.empty())
        return std::nullopt;
    const std::int64_t size = OriginalSize(set, survey);
    const std::int64_t largest = fileSystem().largestFileSize(survey.place.output);
    if (size <= largest)
        return std::nullopt;
    return RefuseJoin(JoinTooLargeForDisk(survey.place.output, size, largest), survey.place.output,
                      "its file system holds files of at most " + std::to_string(largest) + " bytes");
}

// The join from its survey on: a fresh start, a stale journal cleared once,
// or the state a join of its own left. `asked`: where the join was asked to
// write; `keep`: whether it was asked to copy. A journal of this set's join
// overrides both with what it records: the folder, and the copy.
JobResult JoinSurveyed(const PieceSet& set, ListCheck& check, std::int64_t freeBytes, JoinPlace asked, bool keep)
{
    for (bool cleared = false;; cleared = true) {
        JoinSurvey survey = SurveyJoin(set, check.active(), asked);
        const bool goesOn = survey.state == JoinState::FreshSet || survey.state == JoinState::Interrupted ||
                            survey.state == JoinState::Finishing || survey.state == JoinState::FinishedJournal;
        const bool journalRead = survey.journalOfThisJoin;
        // An interrupted join goes on where it was going, or not at all.
        if (goesOn && journalRead && !jobState.intoFolder.empty() &&
            !SameFolderRecord(survey.place.folderRecord, asked.folderRecord))
            return RefuseJoin(JoinIntoOtherFolder(survey.journal->path, OutputFolderOf(survey.place)),
                              survey.journal->path, "it records another folder for the rebuilt file");
        if (const Piece* misfit = FirstMisfitOfList(set, survey, check); misfit && goesOn)
            return RefuseJoin(JoinPieceDoesNotFit(misfit->name), misfit->name,
                              "its size is not the one \"" + check.listPath() + "\" gives");
        // The journal and the list must tell the same pieces' places.
        if (check.active() && goesOn && survey.journal && survey.journal->file &&
            survey.journal->journal.partSize != check.facts().partSize)
            return RefuseJoin(JoinListUnfit(check.listPath()), check.listPath(),
                              "its part size is not the one \"" + survey.journal->path + "\" records");
        if (survey.state == JoinState::FreshSet || survey.state == JoinState::Interrupted) {
            if (std::optional<JobResult> refused = RefuseTooLarge(set, survey))
                return *refused;
        }
        switch (survey.state) {
        case JoinState::FreshSet:
            return StartJoin(set, survey, freeBytes, check, keep);
        case JoinState::StaleJournal:
        case JoinState::CopyingFirstPiece:
            // Once cleared, the set is surveyed again: whole, or with a file in
            // the way. The join starts anew as the journal's had been asked.
            if (cleared || !ClearStaleJoin(set, survey))
                return RefuseJoin(JoinOutputInTheWay(survey.file), survey.file, survey.reason);
            if (journalRead) {
                keep = survey.journal->journal.keep;
                if (jobState.intoFolder.empty())
                    asked = survey.place;
            }
            continue;
        case JoinState::Interrupted:
            return ResumeJoin(set, survey, freeBytes, check);
        case JoinState::Finishing:
            return FinishJoin(set, survey, check);
        case JoinState::FinishedJournal:
            return ForgetFinishedJoin(set, survey, check);
        default:
            return RefuseState(set, survey);
        }
    }
}

}  // namespace

JobResult JoinFiles(std::string joinPath)
{
    BusyScope busy;
    const std::string into = jobState.intoFolder;
    const std::int64_t freeBytes = fileSystem().volumeFreeBytes(into.empty() ? joinPath : into);

    const std::optional<PieceSet> set = ParsePieceName(joinPath);
    if (!set)
        return RefuseJob(kJoinInvalidName, kJoinCaption);
    if (!into.empty() && !fileSystem().exists(into))
        return RefuseJoin(JoinIntoFolderMissing(into), into, fileSystem().lastError());
    const JoinPlace asked = PlaceOfRecord(*set, into.empty() ? "." : FolderRecordOf(*set, into));

    // Before the list, which a split cut short leaves unfinished. A split in
    // place gets its input's bytes back where they are.
    if (std::optional<JobResult> undone = JoinSplitInPlace(*set))
        return *undone;
    if (const std::optional<std::string> whole = SplitLeftPiecesOf(set->originalPath))
        return RefuseJoin(JoinSplitLeftovers(*whole), JournalPath(set->originalPath),
                          "it records a split that did not finish, of a file still whole");

    jobState.totalBytes = 0;
    jobState.bytesDone = 0;
    std::optional<ListCheck> check;
    if (std::optional<JobResult> refused = ReadList(*set, check))
        return *refused;
    JobResult result = JoinSurveyed(*set, *check, freeBytes, asked, jobState.keep);
    result.checked = check->active();
    return result;
}
