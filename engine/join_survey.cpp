#include "join_survey.h"

#include <memory>

#include "file_system.h"
#include "split_journal.h"

namespace {

// The pieces there, from the first that exists on, up to the first that does
// not open: `survey.pieces`, `firstIndex`, and the index that stopped it.
std::int32_t MeasureRemainingPieces(const PieceSet& set, JoinSurvey& survey)
{
    survey.firstIndex = FirstExistingPiece(set, 0, set.pieceCount);
    std::int32_t stop = set.pieceCount;
    survey.pieces = MeasurePieces(set, survey.firstIndex, set.pieceCount, stop);
    return stop;
}

std::int32_t IndexOf(const JoinSurvey& survey, std::size_t at)
{
    return survey.firstIndex + static_cast<std::int32_t>(at);
}

// Every piece there has the size of its place, as far as the survey knows the sizes.
const Piece* FirstMisfitOfPlace(const PieceSet& set, const JoinSurvey& survey)
{
    return FirstMisfitOfPlace(set, survey.pieces, survey.firstIndex, survey.partSize, survey.lastSize);
}

// True when the output holds every byte of the set: its length is the whole
// set's, and each remaining piece is at its place, byte for byte. Sets the
// part size and the last piece's size it found.
bool OutputHoldsEveryPiece(const PieceSet& set, JoinSurvey& survey, const std::string& originalPath)
{
    const std::int32_t last = set.pieceCount - 1;
    if (survey.pieces.empty() || !survey.output || !fileSystem().isPlainName(originalPath))
        return false;
    const std::int64_t length = survey.output->size;
    if (survey.partSize == 0 && survey.firstIndex < last) {
        survey.partSize = survey.pieces.front().identity.size;
    } else if (survey.partSize == 0) {
        // The last piece alone: the part size that puts it at the output's
        // end. Were it another, the output would still hold the piece's bytes.
        const std::int64_t lastBytes = survey.pieces.front().identity.size;
        if (last > 0 && (length - lastBytes) % last != 0)
            return false;
        survey.partSize = last > 0 ? (length - lastBytes) / last : lastBytes;
    }
    const std::int64_t lastSize = length - std::int64_t{last} * survey.partSize;
    if (survey.partSize < 1 || lastSize < 1 || lastSize > survey.partSize ||
        (survey.lastSize > 0 && lastSize != survey.lastSize))
        return false;
    survey.lastSize = lastSize;
    if (FirstMisfitOfPlace(set, survey))
        return false;

    std::unique_ptr<File> output = fileSystem().openForReading(originalPath);
    const std::optional<FileIdentity> opened = output ? output->identity() : std::nullopt;
    if (!opened || !opened->sameFileAs(*survey.output))
        return false;
    CopyBuffer buffer;
    for (std::size_t at = 0; at < survey.pieces.size(); ++at) {
        const Piece& piece = survey.pieces[at];
        const std::int64_t offset = std::int64_t{IndexOf(survey, at)} * survey.partSize;
        if (!OutputHoldsPiece(*output, offset, piece.name, piece.identity.size, buffer))
            return false;
    }
    return true;
}

// A journal of this set: its leaf name, count, and sizes that fit every
// piece there.
bool JournalFitsSet(const PieceSet& set, JoinSurvey& survey)
{
    const Journal& journal = survey.journal->journal;
    if (journal.originalLeaf != LeafOf(set.originalPath) || journal.countText != set.countText ||
        journal.outputFolder.empty() || journal.partSize < 1 || journal.lastSize < 1 ||
        journal.lastSize > journal.partSize)
        return false;
    survey.partSize = journal.partSize;
    survey.lastSize = journal.lastSize;
    return FirstMisfitOfPlace(set, survey) == nullptr;
}

// The piece a set without its output misses first: piece 0, or the first one
// after those there.
std::string FirstMissingPiece(const PieceSet& set, const JoinSurvey& survey, std::int32_t stop)
{
    return PieceName(set.originalPath, survey.firstIndex == 0 ? stop : 0, set.countText);
}

JoinState Refusal(JoinSurvey& survey, JoinState state, std::string file, std::string reason)
{
    survey.file = std::move(file);
    survey.reason = std::move(reason);
    return state;
}

// The state of a set beside a journal of this set's join.
JoinState WithJournal(const PieceSet& set, JoinSurvey& survey, std::int32_t stop, bool withList)
{
    const std::string& originalPath = survey.place.output;
    const Journal& journal = survey.journal->journal;
    const bool allPieces = survey.firstIndex == 0 && stop == set.pieceCount;
    // A file number proves the output only where it lasts: elsewhere a file
    // could come to have the number of one gone.
    const bool idsLast = fileSystem().keepsFileIds(originalPath);
    const bool proven = survey.output && journal.output && survey.output->sameFileAs(*journal.output) &&
                        survey.output->links == 1 && fileSystem().isPlainName(originalPath) && idsLast;
    if (journal.privateLeaf != LeafOf(survey.place.privateFile))
        survey.privateFile.reset();  // not the journal's: it is never touched

    if (allPieces && !survey.output)
        return survey.privateFile ? JoinState::CopyingFirstPiece : JoinState::StaleJournal;
    if (allPieces && proven)
        return JoinState::Interrupted;
    if (allPieces)
        return OutputHoldsEveryPiece(set, survey, originalPath)
                   ? JoinState::Finishing
                   : Refusal(survey, JoinState::OutputInTheWay, originalPath, "a file of that name exists");
    if (survey.pieces.empty()) {
        if (proven && survey.output->size == journal.originalSize(set.pieceCount))
            return JoinState::FinishedJournal;
        return Refusal(survey, JoinState::PieceMissing, PieceName(set.originalPath, 0, set.countText), {});
    }
    if (!survey.output)
        return Refusal(survey, JoinState::PieceMissing, FirstMissingPiece(set, survey, stop), {});
    if (OutputHoldsEveryPiece(set, survey, originalPath))
        return JoinState::Finishing;
    if (survey.firstIndex == 0)
        return Refusal(survey, JoinState::PieceMissing, FirstMissingPiece(set, survey, stop), {});
    const std::int64_t held = std::int64_t{survey.firstIndex} * journal.partSize;
    if (!idsLast && withList && stop == set.pieceCount && survey.output->links == 1 &&
        fileSystem().isPlainName(originalPath) && survey.output->size >= held &&
        survey.output->size <= held + journal.partSize) {
        survey.outputToProveByList = true;
        return JoinState::Interrupted;
    }
    if (!idsLast)
        return Refusal(survey, JoinState::IdsNotStable, originalPath, "this file system numbers its files anew");
    if (proven && stop == set.pieceCount && survey.output->size >= held)
        return JoinState::Interrupted;
    return Refusal(survey, JoinState::ForeignOutput, originalPath, "no journal of this join proves it");
}

// The state of a set with no journal beside it.
JoinState WithoutJournal(const PieceSet& set, JoinSurvey& survey, std::int32_t stop)
{
    const std::string& originalPath = survey.place.output;
    if (survey.firstIndex == 0 && stop == set.pieceCount) {
        survey.partSize = survey.pieces.front().identity.size;
        if (const Piece* misfit = FirstMisfitOfPlace(set, survey))
            return Refusal(survey, JoinState::PieceDoesNotFit, misfit->name, "its size does not fit the set");
        if (survey.output && OutputHoldsEveryPiece(set, survey, originalPath))
            return JoinState::Finishing;
        if (survey.output || fileSystem().exists(originalPath))
            return Refusal(survey, JoinState::OutputInTheWay, originalPath, "a file of that name exists");
        if (survey.privateFile)
            return Refusal(survey, JoinState::OutputInTheWay, survey.place.privateFile,
                           "a file of that name exists");
        return JoinState::FreshSet;
    }
    if (OutputHoldsEveryPiece(set, survey, originalPath))
        return JoinState::Finishing;
    if (survey.firstIndex > 0 && (survey.output || fileSystem().exists(originalPath)))
        return Refusal(survey, JoinState::ForeignOutput, originalPath, "no journal of this join proves it");
    return Refusal(survey, JoinState::PieceMissing, FirstMissingPiece(set, survey, stop), {});
}

// A split's journal of this set whose input is gone: the split ended between
// the input's deletion and the journal's, so the journal is stale while the
// set is whole.
bool SplitJournalOfGoneInput(const PieceSet& set, const JoinSurvey& survey)
{
    const Journal& journal = survey.journal->journal;
    return journal.kind == JournalKind::Split && journal.originalLeaf == LeafOf(set.originalPath) &&
           journal.countText == set.countText && !fileSystem().exists(InputPathOf(set.originalPath, journal));
}

// Where the output lies and what is there: at the folder a journal of this
// set's join records, else where the join was asked to write.
void LookAtOutput(const PieceSet& set, JoinSurvey& survey, const FoundJournal& found, const JoinPlace& asked)
{
    const bool recorded = found.found == JournalFound::Read && found.open.journal.kind == JournalKind::Join;
    survey.place = recorded && !found.open.journal.outputFolder.empty()
                       ? PlaceOfRecord(set, found.open.journal.outputFolder)
                       : asked;
    if (fileSystem().exists(survey.place.output))
        survey.output = fileSystem().identityAt(survey.place.output);
    if (fileSystem().exists(survey.place.privateFile))
        survey.privateFile = fileSystem().identityAt(survey.place.privateFile);
}

JoinState Survey(const PieceSet& set, JoinSurvey& survey, bool withList, const JoinPlace& asked)
{
    const std::string& originalPath = set.originalPath;
    survey.place = asked;
    const std::int32_t stop = MeasureRemainingPieces(set, survey);
    // A piece that is there and does not open, or that does not open while a
    // later one is there: nothing can go on without it.
    const bool stopIsThere = stop < set.pieceCount && fileSystem().exists(PieceName(originalPath, stop, set.countText));
    if (stopIsThere || (stop < set.pieceCount && !survey.pieces.empty() &&
                        (FirstExistingPiece(set, stop + 1, set.pieceCount) < set.pieceCount || stop < set.pieceCount - 1)))
        return Refusal(survey, JoinState::PieceMissing, PieceName(originalPath, stop, set.countText), {});

    const std::string journalPath = JournalPath(originalPath);
    FoundJournal found = FindJournal(journalPath);
    LookAtOutput(set, survey, found, asked);
    switch (found.found) {
    case JournalFound::None:
        return WithoutJournal(set, survey, stop);
    case JournalFound::InUse:
        return Refusal(survey, JoinState::JournalInUse, journalPath, found.reason);
    case JournalFound::OtherVersion:
        return Refusal(survey, JoinState::JournalUnfit, journalPath, found.reason);
    case JournalFound::Damaged: {
        // Created and cut before its first bytes were durable: nothing was
        // changed after it, so it is stale while the set is whole.
        const bool staleWhileWhole = survey.firstIndex == 0 && stop == set.pieceCount && !survey.output;
        if (!staleWhileWhole || !found.open.file)
            return Refusal(survey, JoinState::JournalUnfit, journalPath, found.reason);
        survey.journal = std::move(found.open);
        return JoinState::StaleJournal;
    }
    case JournalFound::Read:
        break;
    }
    survey.journal = std::move(found.open);
    if (SplitJournalOfGoneInput(set, survey)) {
        const JoinState state = WithoutJournal(set, survey, stop);
        return state == JoinState::FreshSet ? JoinState::StaleJournal : state;
    }
    if (survey.journal->journal.kind != JournalKind::Join)
        return Refusal(survey, JoinState::JournalOfAnotherKind, journalPath, "it records another kind of job");
    if (!JournalFitsSet(set, survey))
        return Refusal(survey, JoinState::JournalUnfit, journalPath, "it records another set of pieces");
    survey.journalOfThisJoin = true;
    return WithJournal(set, survey, stop, withList);
}

}  // namespace

JoinSurvey SurveyJoin(const PieceSet& set, bool withList, const JoinPlace& asked)
{
    JoinSurvey survey;
    survey.state = Survey(set, survey, withList, asked);
    return survey;
}
