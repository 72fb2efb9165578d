#include "split_job.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <memory>

#include "copy_buffer.h"
#include "file_system.h"
#include "job_messages.h"
#include "job_state.h"
#include "piece_names.h"
#include "progress.h"

namespace {

using namespace job_messages;

enum class PieceOutcome { Written, WriteFailed, InputFailed };

// Reads the next `pieceBytes` bytes of `input` into the piece at `pieceName`.
// A piece that cannot be created or written is given up, but its share of the
// input is still read, so that the next piece starts at its own first byte.
// Written only when the piece holds every byte, committed to disk, closed, and
// is a plain file: a name such as aux.bin.0.2.plit reaches a Windows device,
// where every write "succeeds". InputFailed when the input gave a read error or
// ended early, after which nothing more can be copied.
PieceOutcome WritePiece(File& input, const std::string& pieceName, std::int64_t pieceBytes,
                        CopyBuffer& buffer, ProgressPacer& progress)
{
    std::unique_ptr<File> piece = fileSystem().createForWriting(pieceName);
    bool pieceIntact = piece != nullptr;

    for (std::int64_t remaining = pieceBytes; remaining > 0;) {
        const std::int64_t got = input.read(buffer.data(), std::min(remaining, CopyBuffer::kSize));
        if (got <= 0)
            return PieceOutcome::InputFailed;
        progress.advance(got);
        if (pieceIntact)
            pieceIntact = piece->write(buffer.data(), got);
        remaining -= got;
    }

    pieceIntact = pieceIntact && piece->flush() && piece->isRegularFile() && piece->size() == pieceBytes;
    if (piece && !piece->close())
        pieceIntact = false;
    return pieceIntact ? PieceOutcome::Written : PieceOutcome::WriteFailed;
}

// Writes every piece. True when each of them holds its share of the input.
bool WriteAllPieces(File& input, const std::string& splitPath, std::int64_t fileSize, std::int64_t partSize,
                    std::int64_t pieceCount)
{
    ProgressPacer progress(fileSize);
    CopyBuffer buffer;
    const std::string countText = Int64ToDecimal(pieceCount);
    bool allWritten = true;

    for (std::int64_t index = 0; index < pieceCount; ++index) {
        const std::int64_t pieceBytes = std::min(partSize, fileSize - index * partSize);
        switch (WritePiece(input, PieceName(splitPath, index, countText), pieceBytes, buffer, progress)) {
        case PieceOutcome::Written:
            break;
        case PieceOutcome::WriteFailed:
            allWritten = false;
            break;
        case PieceOutcome::InputFailed:
            return false;
        }
    }
    return allWritten;
}

}  // namespace

unsigned SplitThreadProc(void*)
{
    SplitFile(jobState.splitPath);
    return 0;
}

void SplitFile(std::string splitPath)
{
    const std::int64_t partSize = jobState.partSize;
    BusyScope busy;
    const std::int64_t freeBytes = fileSystem().volumeFreeBytes(splitPath);

    std::unique_ptr<File> input = fileSystem().openForReading(splitPath);
    const std::int64_t fileSize = input ? input->size() : -1;
    if (fileSize < 0)
        return ShowJobMessage(kSplitNotOpened, kSplitCaption);
    if (freeBytes != FREE_QUERY_FAILED && fileSize >= freeBytes)
        return ShowJobMessage(kSplitNoSpace, kSplitCaption);
    if (partSize <= 0)
        return ShowJobMessage(kSplitInvalidSize, kSplitCaption);
    if (partSize >= fileSize)
        return ShowJobMessage(kSplitSizeNotBelowFile, kSplitCaption);
    // A join reads the count as a signed 32-bit number.
    const std::int64_t pieceCount = fileSize / partSize + (fileSize % partSize != 0 ? 1 : 0);
    if (pieceCount > std::numeric_limits<std::int32_t>::max())
        return ShowJobMessage(kSplitInvalidSize, kSplitCaption);

    const bool allWritten = WriteAllPieces(*input, splitPath, fileSize, partSize, pieceCount);
    if (input->close() && allWritten) {
        fileSystem().remove(splitPath);  // a file that cannot be deleted stays beside its pieces
        ShowJobMessage(kSplitSucceeded, kSplitCaption);
    } else {
        ShowJobMessage(kSplitFailed, kSplitCaption);
    }
    PostJobNotification(WM_JOB_FINISHED);
}
