#pragma once
// The free-space query both jobs make before they write anything.

#include <cstdint>
#include <string>

// Free-space record of one volume, its counts in the order the platform
// reports them.
class CHardDiskManager {
public:
    virtual ~CHardDiskManager() = default;
    std::uint64_t freeBytesAvailableToCaller = 0;
    std::uint64_t totalBytes = 0;
    std::uint64_t totalFreeBytes = 0;
};

// Total free bytes of the volume that holds `path` (not the bytes available to
// the caller), or FREE_QUERY_FAILED when that cannot be told. On Windows the
// volume is named by the first two characters of the path alone, so drive
// paths work and network paths (two backslashes) never do; a path shorter than
// two characters fails too.
std::int64_t QueryVolumeFreeBytes(const std::string& path);

// The bytes of that volume available to this process (not counting blocks
// kept for the administrator), or FREE_QUERY_FAILED.
std::int64_t QueryVolumeAvailableBytes(const std::string& path);
