#pragma once
// How a job moves its bytes from one file to another.

#include <cstdint>

#include "copy_buffer.h"
#include "file_system.h"
#include "progress.h"

enum class CopyResult { Copied, ReadFailed, EndedEarly, WriteFailed };

// Moves bytes for one job: inside the kernel while the platform can (sharing
// extents where the file system allows), and for the rest of the job through a
// buffer of its own once the platform cannot; it starts the write-back of what
// it wrote as it goes, so that a final flush has little left to wait for.
class ByteMover {
public:
    // Each byte moved is added to `progress`.
    explicit ByteMover(ProgressPacer& progress);

    // Copies exactly `count` bytes from the current position of `from` to the
    // current position of `to`. Stops at the first read error, early end of
    // `from` or failed write; the platform's reason is then in
    // fileSystem().lastError().
    CopyResult copy(File& from, File& to, std::int64_t count);

    // The job's one buffer, for the few reads it makes itself.
    CopyBuffer& buffer() { return buffer_; }

private:
    // Moves what the kernel will of the next `count` bytes; true when it took
    // them all, false to go on through the buffer.
    bool copyInKernel(File& from, File& to, std::int64_t& count);
    CopyResult copyThroughBuffer(File& from, File& to, std::int64_t count);
    void wrote(File& to, std::int64_t bytes);

    ProgressPacer& progress_;
    const std::int64_t kernelChunk_;
    CopyBuffer buffer_;
    bool inKernel_ = true;
    std::int64_t unsynced_ = 0;  // bytes written since the last write-back started
};
