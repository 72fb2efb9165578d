#include "join_job.h"

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "copy_buffer.h"
#include "file_system.h"
#include "job_messages.h"
#include "job_state.h"
#include "piece_names.h"
#include "progress.h"

namespace {

using namespace job_messages;

// Opens and measures every piece. Returns the size of them all, or -1 after
// showing the not-found or the space message.
std::int64_t MeasurePieces(const PieceSet& set, std::int64_t freeBytes)
{
    std::int64_t totalBytes = 0;
    for (std::int32_t index = 0; index < set.pieceCount; ++index) {
        const std::string name = PieceName(set.originalPath, index, set.countText);
        std::unique_ptr<File> piece = fileSystem().openForReading(name);
        const std::int64_t size = piece ? piece->size() : -1;
        if (size < 0) {
            ShowJobMessage(JoinPieceNotFound(name), kJoinCaption);
            return -1;
        }
        totalBytes += size;
        // The first piece of a set is its largest.
        if (index == 0 && freeBytes != FREE_QUERY_FAILED && size >= freeBytes) {
            ShowJobMessage(kJoinNoSpace, kJoinCaption);
            return -1;
        }
    }
    return totalBytes;
}

enum class AppendOutcome { Appended, Failed, PieceMissing };

// Appends the whole piece at `name` to `output` and commits it to disk; when
// `last`, closes the output too. `appended` counts the bytes the output holds.
// The piece is deleted only once the output is confirmed as a plain file
// holding every byte appended so far: a name such as aux.bin reaches a Windows
// device, where every write "succeeds".
AppendOutcome AppendPiece(const std::string& name, File& output, bool last, std::int64_t& appended,
                          CopyBuffer& buffer, ProgressPacer& progress)
{
    std::unique_ptr<File> piece = fileSystem().openForReading(name);
    if (!piece)
        return AppendOutcome::PieceMissing;

    for (;;) {
        const std::int64_t got = piece->read(buffer.data(), CopyBuffer::kSize);
        if (got < 0)
            return AppendOutcome::Failed;
        if (got == 0)
            break;
        progress.advance(got);
        if (!output.write(buffer.data(), got))
            return AppendOutcome::Failed;
        appended += got;
    }
    progress.advance(1);  // the read that met the end of the piece counts as one

    if (!output.flush() || !output.isRegularFile() || output.size() != appended)
        return AppendOutcome::Failed;
    if (last && !output.close())
        return AppendOutcome::Failed;
    piece->close();
    fileSystem().remove(name);  // a piece that cannot be deleted stays; its bytes are safe
    return AppendOutcome::Appended;
}

// Writes the original from its pieces and shows the outcome message.
void AppendAllPieces(const PieceSet& set, std::int64_t totalBytes)
{
    ProgressPacer progress(totalBytes);
    std::unique_ptr<File> output = fileSystem().createForWriting(set.originalPath);
    if (!output)
        return ShowJobMessage(kJoinFailed, kJoinCaption);

    CopyBuffer buffer;
    std::int64_t appended = 0;
    for (std::int32_t index = 0; index < set.pieceCount; ++index) {
        const std::string name = PieceName(set.originalPath, index, set.countText);
        const bool last = index == set.pieceCount - 1;
        switch (AppendPiece(name, *output, last, appended, buffer, progress)) {
        case AppendOutcome::Appended:
            break;
        case AppendOutcome::PieceMissing:
            return ShowJobMessage(JoinPieceNotFound(name), kJoinCaption);
        case AppendOutcome::Failed:
            return ShowJobMessage(kJoinFailed, kJoinCaption);
        }
    }
    ShowJobMessage(kJoinSucceeded, kJoinCaption);
}

}  // namespace

unsigned JoinThreadProc(void*)
{
    JoinFiles(jobState.joinPath);
    if (jobState.exitWhenDone)
        std::exit(0);
    return 0;
}

void JoinFiles(std::string joinPath)
{
    BusyScope busy;
    const std::int64_t freeBytes = fileSystem().volumeFreeBytes(joinPath);

    const std::optional<PieceSet> set = ParsePieceName(joinPath);
    if (!set)
        return ShowJobMessage(kJoinInvalidName, kJoinCaption);

    jobState.totalBytes = 0;
    jobState.bytesDone = 0;
    const std::int64_t totalBytes = MeasurePieces(*set, freeBytes);
    if (totalBytes < 0)
        return;

    AppendAllPieces(*set, totalBytes);
    PostJobNotification(WM_JOB_FINISHED);
}
