#include "copy_bytes.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "job_state.h"

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

namespace {

// Hands `count` bytes to `lane`, a block at a time (a copy of them, so that
// the caller may reuse its buffer at once); zeros when `bytes` is null.
void FeedLane(HashLanes& lanes, int lane, Sha256& hash, const char* bytes, std::int64_t count)
{
    for (std::int64_t done = 0; done < count;) {
        const std::int64_t chunk = std::min(count - done, HashLanes::kBlockSize);
        char* block = lanes.takeBlock(lane);
        if (bytes)
            std::memcpy(block, bytes + done, static_cast<std::size_t>(chunk));
        else
            std::memset(block, 0, static_cast<std::size_t>(chunk));
        lanes.hash(lane, block, chunk, hash, nullptr);
        done += chunk;
    }
}

}  // namespace

void CopyHashes::add(const void* bytes, std::int64_t count) const
{
    const std::size_t size = static_cast<std::size_t>(count);
    if (piece)
        lanes ? FeedLane(*lanes, 0, *piece, static_cast<const char*>(bytes), count) : piece->add(bytes, size);
    if (whole)
        lanes ? FeedLane(*lanes, 1, *whole, static_cast<const char*>(bytes), count) : whole->add(bytes, size);
}

void CopyHashes::addZeros(std::int64_t count) const
{
    if (piece)
        lanes ? FeedLane(*lanes, 0, *piece, nullptr, count) : piece->addZeros(count);
    if (whole)
        lanes ? FeedLane(*lanes, 1, *whole, nullptr, count) : whole->addZeros(count);
}

void CopyHashes::settle() const
{
    if (lanes)
        lanes->drain();
}

std::optional<bool> SameBytesAt(File& piece, File& input, std::int64_t at, std::int64_t count, CopyBuffer& buffer)
{
    constexpr std::int64_t kHalf = CopyBuffer::kSize / 2;
    char* const ours = buffer.data();
    char* const theirs = buffer.data() + kHalf;
    if (!piece.seek(0) || !input.seek(at))
        return std::nullopt;
    for (std::int64_t done = 0; done < count;) {
        const std::int64_t want = std::min(kHalf, count - done);
        for (std::int64_t got = 0; got < want;) {
            const std::int64_t a = piece.read(ours + got, want - got);
            if (a < 0)
                return std::nullopt;
            if (a == 0)
                return false;
            got += a;
        }
        for (std::int64_t got = 0; got < want;) {
            const std::int64_t b = input.read(theirs + got, want - got);
            if (b <= 0)
                return std::nullopt;
            got += b;
        }
        if (std::memcmp(ours, theirs, static_cast<std::size_t>(want)) != 0)
            return false;
        done += want;
    }
    return true;
}

bool HashRange(File& file, std::int64_t offset, std::int64_t count, const CopyHashes& hashes, CopyBuffer& buffer)
{
    if (!file.seek(offset))
        return false;
    for (std::int64_t remaining = count; remaining > 0;) {
        const std::int64_t got = file.read(buffer.data(), std::min(remaining, CopyBuffer::kSize));
        if (got <= 0)
            return false;
        hashes.add(buffer.data(), got);
        remaining -= got;
    }
    return true;
}

ByteMover::ByteMover(ProgressPacer& progress)
    : progress_(progress), kernelChunk_(std::clamp(progress.step() / kMiB * kMiB, kLeastKernelChunk, kMostKernelChunk))
{
}

// Walks `from` range by range: each hole is skipped, each stretch of data
// copied. `to`'s position is asked for only when a hole comes, as most files
// have none; it has moved with `from`'s since the start.
CopyResult ByteMover::copy(File& from, File& to, std::int64_t count, CopyHashes hashes)
{
    hashes_ = hashes;
    const std::int64_t fromStart = from.position();
    if (fromStart < 0)
        return CopyResult::ReadFailed;
    const std::int64_t end = fromStart + count;
    std::int64_t toStart = -1;
    bool endsInHole = false;
    for (std::int64_t at = fromStart; at < end;) {
        const std::optional<DataRange> data = from.dataRange(at);
        if (!data)
            return CopyResult::ReadFailed;
        const std::int64_t dataStart = std::clamp(data->start, at, end);
        const std::int64_t dataEnd = std::clamp(data->end, dataStart, end);
        // No more data, and the file ends short of the count.
        if ((data->start >= data->end && data->end < end) || dataEnd == at)
            return CopyResult::EndedEarly;
        if (dataStart > at) {
            if (toStart < 0) {
                const std::int64_t toAt = to.position();
                if (toAt < 0)
                    return CopyResult::WriteFailed;
                toStart = toAt - (at - fromStart);
            }
            const CopyResult skipped = skipHole(from, dataStart, to, toStart + (dataStart - fromStart), dataStart - at);
            if (skipped != CopyResult::Copied)
                return skipped;
        }
        endsInHole = dataEnd == dataStart;
        if (!endsInHole) {
            const CopyResult copied = copyData(from, to, dataEnd - dataStart);
            if (copied != CopyResult::Copied)
                return copied;
        }
        at = dataEnd;
    }
    // A skipped hole at the end is no length yet: the file is grown over it.
    if (endsInHole) {
        const std::int64_t length = to.size();
        if (length < 0 || (length < toStart + count && !to.truncate(toStart + count)))
            return CopyResult::WriteFailed;
    }
    return CopyResult::Copied;
}

CopyResult ByteMover::skipHole(File& from, std::int64_t fromAt, File& to, std::int64_t toAt, std::int64_t bytes)
{
    if (!from.seek(fromAt))
        return CopyResult::ReadFailed;
    if (!to.seek(toAt))
        return CopyResult::WriteFailed;
    hashes_.addZeros(bytes);
    progress_.advance(bytes);
    return CopyResult::Copied;
}

CopyResult ByteMover::copyData(File& from, File& to, std::int64_t count)
{
    if (inKernel_) {
        if (const std::optional<CopyResult> result = copyInKernel(from, to, count))
            return *result;
        inKernel_ = false;
    }
    return copyThroughBuffer(from, to, count);
}

std::optional<CopyResult> ByteMover::copyInKernel(File& from, File& to, std::int64_t count)
{
    while (count > 0) {
        if (jobState.stopRequested)
            return CopyResult::Stopped;
        const std::int64_t copied = to.copyFrom(from, std::min(count, kernelChunk_));
        // Before the first byte, a refusal or an early end hands the job to
        // the buffer, which tells a real end from a platform that copies
        // nothing; after it, the kernel's copy is known to work here.
        if (!movedInKernel_ && (copied == kCopyNotSupported || copied == 0))
            return std::nullopt;
        if (copied == 0)
            return CopyResult::EndedEarly;
        if (copied < 0)
            return CopyResult::WriteFailed;
        movedInKernel_ = true;
        // Read again from the pages the copy has just read.
        const std::int64_t end = from.position();
        if (hashes_.any() && (end < copied || !HashRange(from, end - copied, copied, hashes_, buffer_)))
            return CopyResult::ReadFailed;
        progress_.advance(copied);
        wrote(to, copied);
        count -= copied;
    }
    return CopyResult::Copied;
}

CopyResult ByteMover::copyThroughBuffer(File& from, File& to, std::int64_t count)
{
    for (std::int64_t remaining = count; remaining > 0;) {
        if (jobState.stopRequested)
            return CopyResult::Stopped;
        const std::int64_t got = from.read(buffer_.data(), std::min(remaining, CopyBuffer::kSize));
        if (got < 0)
            return CopyResult::ReadFailed;
        if (got == 0)
            return CopyResult::EndedEarly;
        hashes_.add(buffer_.data(), got);
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
