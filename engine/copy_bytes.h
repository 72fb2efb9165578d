#pragma once
// How a job moves its bytes from one file to another.

#include <cstdint>
#include <optional>

#include "copy_buffer.h"
#include "file_system.h"
#include "hash_lanes.h"
#include "progress.h"
#include "sha256.h"

// Stopped: jobState.stopRequested was seen between two chunks; the bytes
// before them are copied, those after them not.
enum class CopyResult { Copied, ReadFailed, EndedEarly, WriteFailed, Stopped };

// The hashes a copy feeds with every byte it moves, a skipped hole as its
// zeros: the piece's own, and the whole original's. Either may be absent.
// With `lanes` (two of them), each hash takes its bytes on a lane of its own
// while the job goes on copying; settle() before a digest is read.
struct CopyHashes {
    Sha256* piece = nullptr;
    Sha256* whole = nullptr;
    HashLanes* lanes = nullptr;

    bool any() const { return piece || whole; }
    void add(const void* bytes, std::int64_t count) const;
    void addZeros(std::int64_t count) const;
    // Returns once every byte fed has been added to its hash.
    void settle() const;
};

// Reads `count` bytes of `file` from `offset` through `buffer` and feeds them
// to `hashes`, leaving the position after them. False when a seek or a read
// fails or the file ends first; a failed call's reason is then in
// fileSystem().lastError().
bool HashRange(File& file, std::int64_t offset, std::int64_t count, const CopyHashes& hashes, CopyBuffer& buffer);

// Whether the `count` bytes of `input` from `at` are, byte for byte, those of
// `piece` from its start: false when they differ or `piece` ends first;
// empty when a seek or a read fails, which tells nothing of the bytes.
std::optional<bool> SameBytesAt(File& piece, File& input, std::int64_t at, std::int64_t count, CopyBuffer& buffer);

// Moves bytes for one job: only the data a file stores, so that its holes stay
// holes; inside the kernel while the platform can (sharing extents where the
// file system allows), and for the rest of the job through a buffer of its own
// once the platform cannot; it starts the write-back of what it wrote as it
// goes, so that a final flush has little left to wait for.
class ByteMover {
public:
    // Each byte moved, or skipped as a hole, is added to `progress`.
    explicit ByteMover(ProgressPacer& progress);

    // Copies exactly `count` bytes from the current position of `from` to the
    // current position of `to`, where `to` ends: the stretches of data, with
    // the holes between them skipped in both files and `to` grown to its full
    // length when the bytes end in a hole. Stops at the first read error,
    // early end of `from` or failed write, and at the end of the chunk (at
    // most 8 MiB) during which a stop was asked for; for a failed call the platform's
    // reason is then in fileSystem().lastError(). `hashes` sees the bytes
    // copied: those read into the buffer, or, where the kernel copied them,
    // those read again from `from`, whose pages the copy has just read (a
    // copy that shares extents leaves the new file's pages unread).
    CopyResult copy(File& from, File& to, std::int64_t count, CopyHashes hashes = {});

    // The job's one buffer, for the few reads it makes itself.
    CopyBuffer& buffer() { return buffer_; }

private:
    // Copies `count` bytes of data at the current positions.
    CopyResult copyData(File& from, File& to, std::int64_t count);
    // The same inside the kernel; empty when the platform cannot copy between
    // these files, which it may say only before the job's first byte.
    std::optional<CopyResult> copyInKernel(File& from, File& to, std::int64_t count);
    CopyResult copyThroughBuffer(File& from, File& to, std::int64_t count);
    // Moves both files to the given positions past a hole of `bytes` bytes.
    CopyResult skipHole(File& from, std::int64_t fromAt, File& to, std::int64_t toAt, std::int64_t bytes);
    void wrote(File& to, std::int64_t bytes);

    ProgressPacer& progress_;
    const std::int64_t kernelChunk_;
    CopyBuffer buffer_;
    bool inKernel_ = true;
    bool movedInKernel_ = false;  // a byte was copied in the kernel: a refusal now is a failure
    std::int64_t unsynced_ = 0;   // bytes written since the last write-back started
    CopyHashes hashes_;           // of the copy under way
};
