#pragma once
// The copy loop both jobs move their bytes with.

#include <cstdint>

#include "copy_buffer.h"
#include "file_system.h"
#include "progress.h"

enum class CopyResult { Copied, ReadFailed, EndedEarly, WriteFailed };

// Copies exactly `count` bytes from the current position of `from` to the
// current position of `to`, adding each byte read to `progress`. Stops at the
// first read error, early end of `from` or failed write; the platform's reason
// is then in fileSystem().lastError().
CopyResult CopyBytes(File& from, File& to, std::int64_t count, CopyBuffer& buffer, ProgressPacer& progress);
