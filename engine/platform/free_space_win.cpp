#include <windows.h>

#include "../job_state.h"
#include "free_space.h"
#include "text.h"

std::int64_t QueryVolumeFreeBytes(const std::string& path)
{
    // The volume is named by the path's first two characters alone: "C:" for a
    // drive path, two backslashes (which never answer) for a network path.
    const std::wstring widePath = ToWidePath(path);
    if (widePath.size() < 2)
        return FREE_QUERY_FAILED;
    const std::wstring volume = widePath.substr(0, 2);

    CHardDiskManager disk;
    ULARGE_INTEGER available, total, totalFree;
    if (!GetDiskFreeSpaceExW(volume.c_str(), &available, &total, &totalFree))
        return FREE_QUERY_FAILED;
    disk.freeBytesAvailableToCaller = available.QuadPart;
    disk.totalBytes = total.QuadPart;
    disk.totalFreeBytes = totalFree.QuadPart;
    return static_cast<std::int64_t>(disk.totalFreeBytes);
}
