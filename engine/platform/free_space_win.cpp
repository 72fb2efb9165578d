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

std::int64_t QueryVolumeAvailableBytes(const std::string& path)
{
    // Asked of the folder that holds `path`, which may be a folder mounted
    // from another volume or a network share.
    std::wstring folder = ToWidePath(path);
    const std::size_t separator = folder.find_last_of(L"\\/");
    folder = separator == std::wstring::npos ? L"." : folder.substr(0, separator + 1);
    ULARGE_INTEGER available, total, totalFree;
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, &total, &totalFree))
        return FREE_QUERY_FAILED;
    return static_cast<std::int64_t>(available.QuadPart);
}
