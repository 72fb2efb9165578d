#include <sys/statvfs.h>

#include "../job_state.h"
#include "free_space.h"

namespace {

// The folder that holds `path`: the text before its last slash, "." when none.
std::string ContainingFolder(const std::string& path)
{
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The counts of the volume holding `path`; false when they cannot be told.
// A file system that counts no blocks at all (fusefat, a tmpfs without a
// size) tells nothing about its room.
bool VolumeOf(const std::string& path, CHardDiskManager& disk)
{
    struct statvfs volume {};
    if (path.size() < 2 || ::statvfs(ContainingFolder(path).c_str(), &volume) != 0 || volume.f_blocks == 0)
        return false;
    disk.freeBytesAvailableToCaller = static_cast<std::uint64_t>(volume.f_bavail) * volume.f_frsize;
    disk.totalBytes = static_cast<std::uint64_t>(volume.f_blocks) * volume.f_frsize;
    disk.totalFreeBytes = static_cast<std::uint64_t>(volume.f_bfree) * volume.f_frsize;
    return true;
}

}  // namespace

std::int64_t QueryVolumeFreeBytes(const std::string& path)
{
    CHardDiskManager disk;
    return VolumeOf(path, disk) ? static_cast<std::int64_t>(disk.totalFreeBytes) : FREE_QUERY_FAILED;
}

std::int64_t QueryVolumeAvailableBytes(const std::string& path)
{
    CHardDiskManager disk;
    return VolumeOf(path, disk) ? static_cast<std::int64_t>(disk.freeBytesAvailableToCaller) : FREE_QUERY_FAILED;
}
