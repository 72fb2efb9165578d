#include "join_plan.h"

#include <algorithm>
#include <cstring>

#include "copy_bytes.h"
#include "job_messages.h"

using namespace job_messages;

JobResult RefuseJoin(const std::string& text, std::string file, std::string reason)
{
    return RefuseJob(text, kJoinCaption, std::move(file), std::move(reason));
}

JobResult FailJoin(const std::string& file, std::string reason)
{
    return FinishJob(JobOutcome::Failed, kJoinFailed, kJoinCaption, file, std::move(reason));
}

JobResult JoinSucceeded(const PieceSet& set, const JoinPlace& place, bool keep, std::string file, std::string reason)
{
    JobResult result =
        FinishJob(JobOutcome::Succeeded, kJoinSucceeded, kJoinCaption, std::move(file), std::move(reason));
    result.resultPath = place.output;
    result.pieceCount = set.pieceCount;
    result.kept = keep;
    return result;
}

std::vector<Piece> MeasurePieces(const PieceSet& set, std::int32_t first, std::int32_t end, std::int32_t& stop)
{
    std::vector<Piece> pieces;
    for (stop = first; stop < end; ++stop) {
        std::string name = PieceName(set.originalPath, stop, set.countText);
        std::unique_ptr<File> piece = fileSystem().openForReading(name);
        const std::optional<FileIdentity> identity = piece ? piece->identity() : std::nullopt;
        if (!identity || identity->size < 0)
            break;
        pieces.push_back({std::move(name), *identity});
    }
    return pieces;
}

std::int32_t FirstExistingPiece(const PieceSet& set, std::int32_t first, std::int32_t end)
{
    while (first < end && !fileSystem().exists(PieceName(set.originalPath, first, set.countText)))
        ++first;
    return first;
}

const Piece* FirstMisfitOfPlace(const PieceSet& set, const std::vector<Piece>& pieces, std::int32_t firstIndex,
                                std::int64_t partSize, std::int64_t lastSize)
{
    for (std::size_t at = 0; at < pieces.size(); ++at) {
        const std::int64_t size = pieces[at].identity.size;
        const bool last = firstIndex + static_cast<std::int32_t>(at) == set.pieceCount - 1;
        const bool fits = !last ? size == partSize : lastSize > 0 ? size == lastSize : size >= 1 && size <= partSize;
        if (!fits)
            return &pieces[at];
    }
    return nullptr;
}

std::optional<std::int64_t> AgreedModification(const std::vector<Piece>& pieces)
{
    if (pieces.empty())
        return std::nullopt;
    const std::int64_t modified = pieces.front().identity.modified;
    for (const Piece& piece : pieces) {
        if (piece.identity.modified != modified)
            return std::nullopt;
    }
    return modified;
}

std::optional<std::string> RemoveLeftovers(const PieceSet& set, OpenJournal* journal, ListCheck& check,
                                           const std::vector<Piece>& pieces, bool keep)
{
    const bool journalLast = journal && journal->journal.outputFolder != ".";
    const auto removeJournal = [&]() -> std::optional<std::string> {
        const std::string journalPath = journal->path;
        if (!RemoveJournal(*journal))
            return journalPath;
        return std::nullopt;
    };
    if (journal && (keep || !journalLast)) {
        if (std::optional<std::string> stayed = removeJournal())
            return stayed;
    }
    if (keep)
        return std::nullopt;
    if (!check.removeList())
        return check.listPath();
    for (auto piece = pieces.rbegin(); piece != pieces.rend(); ++piece) {
        if (!fileSystem().commitFolder(set.originalPath) || !fileSystem().removeIfSame(piece->name, piece->identity))
            return piece->name;
    }
    fileSystem().commitFolder(set.originalPath);  // the output is whole already; this only settles the deletions
    if (journalLast)
        return removeJournal();
    return std::nullopt;
}

bool OutputHoldsPiece(File& output, std::int64_t outputOffset, const std::string& name, std::int64_t count,
                      CopyBuffer& buffer)
{
    std::unique_ptr<File> piece = fileSystem().openForReading(name);
    return piece && SameBytesAt(*piece, output, outputOffset, count, buffer).value_or(false);
}
