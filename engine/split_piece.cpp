#include "split_piece.h"

#include "checksum_list.h"
#include "job_messages.h"

using namespace job_messages;

SplitFailure WriteFailure(const std::string& file)
{
    return {kSplitFailed, file, fileSystem().lastError()};
}

namespace {

// Fills the new `piece` with the next `pieceBytes` bytes of the input, gives
// it the input's permissions and last write time, and confirms it: committed
// to disk with them, a plain file of the right length (a name such as
// aux.bin.0.2.plit reaches a Windows device, where every write "succeeds").
std::optional<SplitFailure> FillPiece(const SplitInput& input, File& piece, const std::string& name,
                                      std::int64_t pieceBytes, ByteMover& mover, CopyHashes hashes)
{
    switch (mover.copy(input.file, piece, pieceBytes, hashes)) {
    case CopyResult::Copied:
        break;
    case CopyResult::ReadFailed:
        return SplitFailure{kSplitFailed, input.path, fileSystem().lastError()};
    case CopyResult::EndedEarly:
        return SplitFailure{kSplitInputChanged, input.path, "it became shorter while it was being split"};
    case CopyResult::WriteFailed:
        return WriteFailure(name);
    case CopyResult::Stopped:
        return SplitFailure{SplitStopped(input.path), {}, {}, true};  // the message says it all
    }
    // Set before the flush, so that they are durable with the bytes.
    if (!piece.takePermissionsOf(input.opened) || !piece.setModified(input.opened.modified) || !piece.flush() ||
        !piece.isRegularFile())
        return WriteFailure(name);
    const std::int64_t length = piece.size();
    if (length < 0)
        return WriteFailure(name);
    if (length != pieceBytes)
        return SplitFailure{kSplitFailed, name,
                            "it holds " + Int64ToDecimal(length) + " bytes, not " + Int64ToDecimal(pieceBytes)};
    return std::nullopt;
}

}  // namespace

// Creates the piece `name`, fills it and closes it. Whatever becomes of it, a
// piece that was created is recorded in `created`, as it was last seen.
std::optional<SplitFailure> WritePiece(const SplitInput& input, const std::string& name, std::int64_t pieceBytes,
                                       ByteMover& mover, CopyHashes hashes, CreatedPieces& created)
{
    std::unique_ptr<File> piece = fileSystem().createNew(name);
    if (!piece) {
        SplitFailure failure = WriteFailure(name);
        if (fileSystem().exists(name)) {
            failure.message = SplitPieceInTheWay(name);
            created.disown(name);
        }
        return failure;
    }
    std::optional<SplitFailure> failure = FillPiece(input, *piece, name, pieceBytes, mover, hashes);
    const std::optional<FileIdentity> identity = IdentityOrNamed(*piece, name);
    if (identity)
        created.add(name, *identity);
    if (!failure && (!identity || !piece->close()))
        failure = WriteFailure(name);
    return failure;
}

// A failed run takes back its list as it last wrote it.
void RecordList(ListWriter& list, const std::string& path, CreatedPieces& created)
{
    if (const std::optional<FileIdentity> identity = list.identity())
        created.add(path, *identity);
}

// The set's checksum list, created new with its header before the first
// piece (`madeInPlace`: for a split in place); empty, with `failure` set (and what it made recorded in `created`),
// when it cannot be.
std::unique_ptr<ListWriter> StartList(const SplitInput& input, std::int64_t partSize, const std::string& countText,
                                      bool madeInPlace, CreatedPieces& created, std::optional<SplitFailure>& failure)
{
    const std::string path = ChecksumListPath(input.piecesOriginal);
    std::unique_ptr<ListWriter> list = ListWriter::Create(path);
    if (!list) {
        failure = WriteFailure(path);
        if (fileSystem().exists(path)) {
            failure->message = SplitPieceInTheWay(path);
            created.disown(path);
        }
        return nullptr;
    }
    const SetFacts facts{LeafOf(input.path), input.opened.size, ModifiedToUtcNanoseconds(input.opened.modified),
                         kModifiedFractionDigits, partSize, countText, madeInPlace};
    if (!list->begin(facts, input.opened)) {
        failure = WriteFailure(path);
        RecordList(*list, path, created);
        return nullptr;
    }
    return list;
}
