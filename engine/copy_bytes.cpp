#include "copy_bytes.h"

#include <algorithm>

namespace {

// Bytes per in-kernel call: about one progress step, so that the bar moves as
// it did, but 1 to 8 MiB and a whole number of MiB, a multiple of every file
// system block size, so that the chunks of an aligned piece stay aligned and
// can share extents.
constexpr std::int64_t kMiB = 1 << 20;
constexpr std::int64_t kLeastKernelChunk = 1 * kMiB;
constexpr std::int64_t kMostKernelChunk = 8 * kMiB;
// Write-back is started after this many bytes.
constexpr std::int64_t kWritebackWindow = 8 << 20;

}  // namespace

ByteMover::ByteMover(ProgressPacer& progress)
    : progress_(progress), kernelChunk_(std::clamp(progress.step() / kMiB * kMiB, kLeastKernelChunk, kMostKernelChunk))
{
}

CopyResult ByteMover::copy(File& from, File& to, std::int64_t count)
{
    if (inKernel_ && copyInKernel(from, to, count))
        return CopyResult::Copied;
    return copyThroughBuffer(from, to, count);
}

bool ByteMover::copyInKernel(File& from, File& to, std::int64_t& count)
{
    while (count > 0) {
        const std::int64_t copied = to.copyFrom(from, std::min(count, kernelChunk_));
        // Not between these files, a failure, or an early end: the buffer path
        // takes over, and tells a real failure or end from the platform's refusal.
        if (copied <= 0) {
            inKernel_ = false;
            return false;
        }
        progress_.advance(copied);
        wrote(to, copied);
        count -= copied;
    }
    return true;
}

CopyResult ByteMover::copyThroughBuffer(File& from, File& to, std::int64_t count)
{
    for (std::int64_t remaining = count; remaining > 0;) {
        const std::int64_t got = from.read(buffer_.data(), std::min(remaining, CopyBuffer::kSize));
        if (got < 0)
            return CopyResult::ReadFailed;
        if (got == 0)
            return CopyResult::EndedEarly;
        progress_.advance(got);
        if (!to.write(buffer_.data(), got))
            return CopyResult::WriteFailed;
        wrote(to, got);
        remaining -= got;
    }
    return CopyResult::Copied;
}

void ByteMover::wrote(File& to, std::int64_t bytes)
{
    unsynced_ += bytes;
    if (unsynced_ < kWritebackWindow)
        return;
    to.startWriteback(0, 0);
    unsynced_ = 0;
}
