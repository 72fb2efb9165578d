#include "copy_bytes.h"

#include <algorithm>

CopyResult CopyBytes(File& from, File& to, std::int64_t count, CopyBuffer& buffer, ProgressPacer& progress)
{
    for (std::int64_t remaining = count; remaining > 0;) {
        const std::int64_t got = from.read(buffer.data(), std::min(remaining, CopyBuffer::kSize));
        if (got < 0)
            return CopyResult::ReadFailed;
        if (got == 0)
            return CopyResult::EndedEarly;
        progress.advance(got);
        if (!to.write(buffer.data(), got))
            return CopyResult::WriteFailed;
        remaining -= got;
    }
    return CopyResult::Copied;
}
