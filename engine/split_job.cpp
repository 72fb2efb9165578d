#include "split_job.h"

#include <algorithm>
#include <cstdint>
#include <limits>
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

// Why the copy phase stopped: the file concerned and the reason, for the
// command line; `message` is what the window shows.
struct SplitFailure {
    std::string message;
    std::string file;
    std::string reason;
};

// Sets of more pieces than this are checked for names in the way as each
// piece is created, so that a count of a billion does not cost a billion
// look-ups before the first byte.
constexpr std::int64_t kMostNamesCheckedFirst = 100000;

// The first name of the set that is taken already, by anything at all.
std::optional<std::string> FirstPieceInTheWay(const std::string& splitPath, std::int64_t pieceCount,
                                              const std::string& countText)
{
    for (std::int64_t index = 0; index < std::min(pieceCount, kMostNamesCheckedFirst); ++index) {
        std::string name = PieceName(splitPath, index, countText);
        if (fileSystem().exists(name))
            return name;
    }
    return std::nullopt;
}

// The pieces one run has made, so that a failed run can take them back.
class CreatedPieces {
public:
    void add(std::string name, FileIdentity identity) { pieces_.push_back({std::move(name), identity}); }

    // Deletes every piece of this run that is still as it was written.
    void removeAll()
    {
        for (const Piece& piece : pieces_)
            fileSystem().removeIfSame(piece.name, piece.identity);
        pieces_.clear();
    }

private:
    struct Piece {
        std::string name;
        FileIdentity identity;
    };
    std::vector<Piece> pieces_;
};

SplitFailure WriteFailure(const std::string& file)
{
    return {kSplitFailed, file, fileSystem().lastError()};
}

// Fills the new `piece` with the next `pieceBytes` bytes of `input` and
// confirms it: committed to disk, a plain file of the right length (a name
// such as aux.bin.0.2.plit reaches a Windows device, where every write
// "succeeds").
std::optional<SplitFailure> FillPiece(File& input, File& piece, const std::string& splitPath, const std::string& name,
                                      std::int64_t pieceBytes, ByteMover& mover)
{
    switch (mover.copy(input, piece, pieceBytes)) {
    case CopyResult::Copied:
        break;
    case CopyResult::ReadFailed:
        return SplitFailure{kSplitFailed, splitPath, fileSystem().lastError()};
    case CopyResult::EndedEarly:
        return SplitFailure{kSplitInputChanged, splitPath, "it became shorter while it was being split"};
    case CopyResult::WriteFailed:
        return WriteFailure(name);
    }
    if (!piece.flush() || !piece.isRegularFile() || piece.size() != pieceBytes)
        return WriteFailure(name);
    return std::nullopt;
}

// Creates the piece `name`, fills it and closes it. Whatever becomes of it, a
// piece that was created is recorded in `created`, as it was last seen.
std::optional<SplitFailure> WritePiece(File& input, const std::string& splitPath, const std::string& name,
                                       std::int64_t pieceBytes, ByteMover& mover, CreatedPieces& created)
{
    std::unique_ptr<File> piece = fileSystem().createNew(name);
    if (!piece) {
        SplitFailure failure = WriteFailure(name);
        if (fileSystem().exists(name))
            failure.message = SplitPieceInTheWay(name);
        return failure;
    }
    std::optional<SplitFailure> failure = FillPiece(input, *piece, splitPath, name, pieceBytes, mover);
    const std::optional<FileIdentity> identity = piece->identity();
    if (identity)
        created.add(name, *identity);
    if (!failure && (!identity || !piece->close()))
        failure = WriteFailure(name);
    return failure;
}

// The input is still the file that was read, whole: the same file with the
// same size and last write time, nothing after its last byte, and its path
// still names it.
std::optional<SplitFailure> CheckInputUnchanged(File& input, const std::string& splitPath,
                                                const FileIdentity& opened, CopyBuffer& buffer)
{
    const std::optional<FileIdentity> now = input.identity();
    const std::optional<FileIdentity> named = fileSystem().identityAt(splitPath);
    if (input.read(buffer.data(), 1) != 0 || now != opened)
        return SplitFailure{kSplitInputChanged, splitPath, "it changed while it was being split"};
    if (named != opened)
        return SplitFailure{kSplitInputChanged, splitPath, "it was moved or replaced while it was being split"};
    return std::nullopt;
}

// Writes every piece and makes their names durable. Nothing is deleted here.
std::optional<SplitFailure> WriteAllPieces(File& input, const std::string& splitPath, const FileIdentity& opened,
                                           std::int64_t partSize, std::int64_t pieceCount,
                                           const std::string& countText, CreatedPieces& created)
{
    const std::int64_t fileSize = opened.size;
    ProgressPacer progress(fileSize);
    ByteMover mover(progress);
    for (std::int64_t index = 0; index < pieceCount; ++index) {
        const std::int64_t pieceBytes = std::min(partSize, fileSize - index * partSize);
        const std::string name = PieceName(splitPath, index, countText);
        if (auto failure = WritePiece(input, splitPath, name, pieceBytes, mover, created))
            return failure;
    }
    if (auto failure = CheckInputUnchanged(input, splitPath, opened, mover.buffer()))
        return failure;
    if (!fileSystem().commitFolder(splitPath))
        return WriteFailure(splitPath);
    return std::nullopt;
}

}  // namespace

unsigned SplitThreadProc(void*)
{
    SplitFile(jobState.splitPath);
    return 0;
}

JobResult SplitFile(std::string splitPath)
{
    const std::int64_t partSize = jobState.partSize;
    BusyScope busy;
    const std::int64_t freeBytes = fileSystem().volumeFreeBytes(splitPath);

    std::unique_ptr<File> input = fileSystem().openForReading(splitPath);
    const std::optional<FileIdentity> opened = input ? input->identity() : std::nullopt;
    if (!opened || opened->size < 0)
        return RefuseJob(kSplitNotOpened, kSplitCaption, splitPath, fileSystem().lastError());
    // Held for the whole run, so that no join takes this file for a finished
    // one and deletes pieces that this split has not committed yet.
    if (!input->lockExclusive())
        return RefuseJob(FileInUseByAnotherJob(splitPath), kSplitCaption, splitPath, fileSystem().lastError());
    const std::int64_t fileSize = opened->size;
    if (freeBytes != FREE_QUERY_FAILED && fileSize >= freeBytes)
        return RefuseJob(kSplitNoSpace, kSplitCaption);
    if (partSize <= 0)
        return RefuseJob(kSplitInvalidSize, kSplitCaption);
    if (partSize >= fileSize)
        return RefuseJob(kSplitSizeNotBelowFile, kSplitCaption);
    // A join reads the count as a signed 32-bit number.
    const std::int64_t pieceCount = fileSize / partSize + (fileSize % partSize != 0 ? 1 : 0);
    if (pieceCount > std::numeric_limits<std::int32_t>::max())
        return RefuseJob(kSplitInvalidSize, kSplitCaption);
    const std::string countText = Int64ToDecimal(pieceCount);
    if (const std::optional<std::string> inTheWay = FirstPieceInTheWay(splitPath, pieceCount, countText))
        return RefuseJob(SplitPieceInTheWay(*inTheWay), kSplitCaption, *inTheWay, "a file of that name exists");

    CreatedPieces created;
    std::optional<SplitFailure> failure =
        WriteAllPieces(*input, splitPath, *opened, partSize, pieceCount, countText, created);
    if (!failure && !input->close())
        failure = WriteFailure(splitPath);
    if (failure) {
        input.reset();
        created.removeAll();
        return FinishJob(JobOutcome::Failed, failure->message, kSplitCaption, failure->file, failure->reason);
    }

    // Every piece is whole and durable: the input's bytes are safe elsewhere.
    if (!fileSystem().removeIfSame(splitPath, *opened))
        return FinishJob(JobOutcome::Succeeded, kSplitSucceeded, kSplitCaption, splitPath, fileSystem().lastError());
    fileSystem().commitFolder(splitPath);  // the pieces are durable already; this only settles the deletion
    return FinishJob(JobOutcome::Succeeded, kSplitSucceeded, kSplitCaption);
}
