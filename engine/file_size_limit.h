#pragma once
// The largest file a file system can store, so that a job refuses, before it
// touches anything, a file or a piece that its destination could never hold.

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

// No limit short of the engine's own 64-bit sizes is known.
inline constexpr std::int64_t kNoFileSizeLimit = std::numeric_limits<std::int64_t>::max();
// FAT12, FAT16 and FAT32 store a file's length in 32 bits.
inline constexpr std::int64_t kFatLargestFile = 4294967295;

// The largest file of a file system of `type`, as Linux names it in its mount
// table (vfat, msdos, fuse.fusefat, ...) or Windows in its volume information
// (FAT, FAT32, exFAT, NTFS, ...); case does not matter. Only the FAT family
// has a limit a file of today reaches: exFAT allows 16 EiB, NTFS 16 TiB to
// 8 PiB by cluster size, ext4 16 TiB with 4 KiB blocks, XFS 8 EiB and btrfs
// 16 EiB, beyond which no disk of today reaches, so those answer
// kNoFileSizeLimit and the write itself reports the rare miss.
std::int64_t LargestFileOfType(std::string_view type);

// True for a file system of `type` whose files share extents when a copy
// allows it (XFS, btrfs), so that copying whole blocks takes no room.
bool SharesExtentsByType(std::string_view type);

// The type of the file system mounted at the longest mount point that holds
// `canonicalPath` (an absolute path with no symbolic link or "." in it), as
// /proc/self/mountinfo's text `mountInfo` gives it; the last mount wins where
// one hides another. Empty when no line holds it.
std::string FileSystemTypeInMountInfo(std::string_view mountInfo, const std::string& canonicalPath);
