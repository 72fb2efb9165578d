#include <windows.h>

#include <algorithm>
#include <cstdint>

#include "../file_size_limit.h"
#include "../file_system.h"
#include "free_space.h"
#include "text.h"

namespace {

// GetLastError() of the latest call on this thread when it failed, for
// lastError(); 0 when it succeeded.
thread_local DWORD lastErrorCode = 0;

// Starts a call of the seam: it answers for itself, so the reason of an
// earlier failure goes.
void NewCall()
{
    lastErrorCode = 0;
}

// Keeps GetLastError() as the reason of a failure; returns `result` unchanged.
template <typename T>
T Failed(T result)
{
    lastErrorCode = GetLastError();
    return result;
}

// Other processes may go on reading, writing and deleting the files a job
// reads. Files a job makes are shared for reading and deleting only: no other
// process writes into a piece or an output while the job runs.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kShareNoWrite = FILE_SHARE_READ | FILE_SHARE_DELETE;

// The most bytes one ReadFile or WriteFile moves: larger calls to files on a
// network share fail.
constexpr std::int64_t kMostBytesPerCall = std::int64_t{4} << 20;

std::optional<FileIdentity> IdentityOf(HANDLE handle)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle, &info))
        return Failed(std::nullopt);
    return FileIdentity{info.dwVolumeSerialNumber,
                        (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow,
                        static_cast<std::int64_t>((std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow),
                        static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32)
                                                  | info.ftLastWriteTime.dwLowDateTime),
                        info.nNumberOfLinks};
}

class WinFile : public File {
public:
    explicit WinFile(HANDLE handle) : handle_(handle) {}
    ~WinFile() override
    {
        if (handle_ != INVALID_HANDLE_VALUE)
            CloseHandle(handle_);
    }

    std::int64_t size() override
    {
        NewCall();
        LARGE_INTEGER size;
        return GetFileSizeEx(handle_, &size) ? size.QuadPart : Failed(-1);
    }

    // A device such as AUX or CON opens like a file; a symbolic link opened as
    // itself is a reparse point.
    bool isRegularFile() override
    {
        NewCall();
        BY_HANDLE_FILE_INFORMATION info;
        if (GetFileType(handle_) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle_, &info)) {
            lastErrorCode = ERROR_BAD_FILE_TYPE;
            return false;
        }
        if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
            lastErrorCode = ERROR_BAD_FILE_TYPE;
            return false;
        }
        return true;
    }

    std::optional<FileIdentity> identity() override
    {
        NewCall();
        return IdentityOf(handle_);
    }

    std::int64_t read(void* buffer, std::int64_t count) override
    {
        NewCall();
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, static_cast<DWORD>(std::min(count, kMostBytesPerCall)), &got, nullptr))
            return Failed(-1);
        return got;
    }

    bool write(const void* buffer, std::int64_t count) override
    {
        NewCall();
        const char* next = static_cast<const char*>(buffer);
        while (count > 0) {
            DWORD put = 0;
            if (!WriteFile(handle_, next, static_cast<DWORD>(std::min(count, kMostBytesPerCall)), &put, nullptr))
                return Failed(false);
            if (put == 0) {
                lastErrorCode = ERROR_DISK_FULL;
                return false;
            }
            next += put;
            count -= put;
        }
        return true;
    }

    // Win32 copies a range between two open files only by block cloning
    // (FSCTL_DUPLICATE_EXTENTS_TO_FILE), which ReFS alone offers; CopyFileEx
    // copies whole files by name. Reading ahead while writing gains nothing
    // either: NTFS completes a write that extends a file synchronously, and the
    // cache manager already reads ahead of a sequential scan; under Wine two
    // overlapped buffers measured slower than the loop (bench/win_copy_bench).
    // So the job's own read/write loop is the copy.
    std::int64_t copyFrom(File&, std::int64_t) override
    {
        NewCall();
        return kCopyNotSupported;
    }

    // Win32 has no call that starts writing a range to the disk without waiting
    // for it: FlushFileBuffers waits for the whole file, and the cache
    // manager's lazy writer already writes behind the job on its own.
    void startWriteback(std::int64_t, std::int64_t) override { NewCall(); }

    bool seek(std::int64_t offset) override
    {
        NewCall();
        LARGE_INTEGER to;
        to.QuadPart = offset;
        return SetFilePointerEx(handle_, to, nullptr, FILE_BEGIN) || Failed(false);
    }

    bool truncate(std::int64_t length) override
    {
        NewCall();
        return seek(length) && (SetEndOfFile(handle_) || Failed(false));
    }

    bool flush() override
    {
        NewCall();
        return FlushFileBuffers(handle_) || Failed(false);
    }

    // Locks one byte far past any end a file can have: jobs exclude each
    // other, while other programs go on reading and writing the file's bytes
    // (a lock on them would make their reads fail). It goes with the handle.
    bool lockExclusive() override
    {
        NewCall();
        OVERLAPPED at{};
        at.Offset = 0xFFFFFFFE;
        at.OffsetHigh = 0x7FFFFFFF;
        return LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) || Failed(false);
    }

    bool close() override
    {
        NewCall();
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return (handle != INVALID_HANDLE_VALUE && CloseHandle(handle)) || Failed(false);
    }

    std::int64_t position() override
    {
        NewCall();
        LARGE_INTEGER at;
        return SetFilePointerEx(handle_, LARGE_INTEGER{}, &at, FILE_CURRENT) ? at.QuadPart : Failed(-1);
    }

    // NTFS keeps holes only in files marked sparse, which no job makes, and
    // telling them costs a query per range: every byte is taken for data.
    std::optional<DataRange> dataRange(std::int64_t offset) override
    {
        const std::int64_t length = size();
        if (length < 0)
            return std::nullopt;
        return DataRange{std::min(offset, length), length};
    }

    // A new file takes its folder's access rules, as any copy does.
    bool takePermissionsOf(const FileIdentity&) override
    {
        NewCall();
        return true;
    }

    bool setModified(std::int64_t modified) override
    {
        NewCall();
        FILETIME time{static_cast<DWORD>(modified), static_cast<DWORD>(static_cast<std::uint64_t>(modified) >> 32)};
        return SetFileTime(handle_, nullptr, nullptr, &time) || Failed(false);
    }

    // No other process could open the file for writing while this handle,
    // which shares no writing, is open.
    bool untouchedByWriters() override
    {
        NewCall();
        return true;
    }

private:
    HANDLE handle_;
};

HANDLE OpenHandle(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    const HANDLE handle = CreateFileW(ToWidePath(path).c_str(), access, share, nullptr, disposition, flags, nullptr);
    return handle == INVALID_HANDLE_VALUE ? Failed(INVALID_HANDLE_VALUE) : handle;
}

std::unique_ptr<File> Open(const std::string& path, DWORD access, DWORD share, DWORD disposition, DWORD flags)
{
    const HANDLE handle = OpenHandle(path, access, share, disposition, flags);
    return handle == INVALID_HANDLE_VALUE ? nullptr : std::make_unique<WinFile>(handle);
}

std::unique_ptr<File> IfRegular(std::unique_ptr<File> file)
{
    return file && file->isRegularFile() ? std::move(file) : nullptr;
}

class WinFileSystem : public FileSystem {
public:
    // A directory does not open without backup semantics.
    std::unique_ptr<File> openForReading(const std::string& path) override
    {
        NewCall();
        return IfRegular(Open(path, GENERIC_READ, kShareAll, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN));
    }

    // Shared for reading and deleting only: while it is open, no other process
    // opens it for writing, and one that has it open so already (or denies
    // reading) keeps it from opening with a sharing violation.
    GuardedFile openGuarded(const std::string& path) override
    {
        NewCall();
        std::unique_ptr<File> file = Open(path, GENERIC_READ, kShareNoWrite, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN);
        const bool inUse = !file && lastErrorCode == ERROR_SHARING_VIOLATION;
        return GuardedFile{IfRegular(std::move(file)), inUse};
    }

    // CREATE_NEW fails on every existing name, a symbolic link's included.
    std::unique_ptr<File> createNew(const std::string& path) override
    {
        NewCall();
        return Open(path, GENERIC_READ | GENERIC_WRITE, kShareNoWrite, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
    }

    // Shared for reading and deleting only, as openGuarded shares: no other
    // process opens it for writing while the job cuts it, and the job may
    // still rename it while it is open. The name itself, not what a reparse
    // point leads to; one name, checked again on the file opened: a cut
    // through one name would cut the file at the other too. A sharing
    // violation is a process that has it open for writing, or one that
    // reads it and lets no other write: closing it there is the remedy of both.
    GuardedFile openForCutting(const std::string& path) override
    {
        NewCall();
        std::unique_ptr<File> file = Open(path, GENERIC_READ | GENERIC_WRITE | DELETE, kShareNoWrite, OPEN_EXISTING,
                                          FILE_FLAG_OPEN_REPARSE_POINT);
        const bool inUse = !file && lastErrorCode == ERROR_SHARING_VIOLATION;
        file = IfRegular(std::move(file));
        if (!file)
            return GuardedFile{nullptr, inUse};
        const std::optional<FileIdentity> identity = file->identity();
        if (!identity)
            return GuardedFile{};
        if (identity->links != 1) {
            lastErrorCode = ERROR_BAD_FILE_TYPE;
            return GuardedFile{};
        }
        return GuardedFile{std::move(file), false};
    }

    std::unique_ptr<File> openForUpdate(const std::string& path) override
    {
        NewCall();
        return IfRegular(Open(path, GENERIC_READ | GENERIC_WRITE, kShareNoWrite, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT));
    }

    // Without MOVEFILE_REPLACE_EXISTING the move fails when anything is at `to`;
    // without MOVEFILE_COPY_ALLOWED it never turns into a copy. Write-through
    // returns only once the new name is on the disk.
    bool renameNoReplace(const std::string& from, const std::string& to) override
    {
        NewCall();
        return MoveFileExW(ToWidePath(from).c_str(), ToWidePath(to).c_str(), MOVEFILE_WRITE_THROUGH) || Failed(false);
    }

    bool exists(const std::string& path) override
    {
        NewCall();
        return GetFileAttributesW(ToWidePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    // The name itself, not what a reparse point leads to.
    bool isPlainName(const std::string& path) override
    {
        const HANDLE handle =
            OpenHandle(path, FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT);
        if (handle == INVALID_HANDLE_VALUE)
            return false;
        BY_HANDLE_FILE_INFORMATION info;
        const bool plain = GetFileInformationByHandle(handle, &info) &&
                           !(info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
                           info.nNumberOfLinks == 1;
        if (!plain)
            lastErrorCode = ERROR_BAD_FILE_TYPE;
        CloseHandle(handle);
        return plain;
    }

    // The name of the file system that holds `path` ("NTFS", "FAT32", "exFAT",
    // ...), asked of its folder through a handle, which needs no access to
    // the volume's device (Wine's GetVolumeInformationW reads the device for
    // its label, and says so on standard error where it may not); empty, with
    // the reason set, when it cannot be told.
    std::wstring fileSystemTypeAt(const std::string& path)
    {
        const std::size_t separator = path.find_last_of("\\/");
        const std::string folder = separator == std::string::npos ? "." : path.substr(0, separator + 1);
        const HANDLE handle = OpenHandle(folder, 0, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
        if (handle == INVALID_HANDLE_VALUE)
            return std::wstring();
        wchar_t system[MAX_PATH];
        const bool told =
            GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH) ||
            Failed(false);
        CloseHandle(handle);
        return told ? std::wstring(system) : std::wstring();
    }

    // FAT keeps no file numbers: Windows makes them from where the entry lies,
    // which a rename may change.
    bool keepsFileIds(const std::string& path) override
    {
        const std::wstring name = fileSystemTypeAt(path);
        if (name.empty())
            return false;
        if (name.rfind(L"FAT", 0) == 0 || name == L"exFAT") {
            lastErrorCode = ERROR_NOT_SUPPORTED;
            return false;
        }
        return true;
    }

    // A volume whose type cannot be told is taken to have no limit: the
    // write itself then reports a file too large.
    std::int64_t largestFileSize(const std::string& path) override
    {
        NewCall();
        const std::wstring name = fileSystemTypeAt(path);
        return name.empty() ? kNoFileSizeLimit : LargestFileOfType(ToNarrowPath(name));
    }

    std::optional<FileIdentity> identityAt(const std::string& path) override
    {
        NewCall();
        const HANDLE handle = OpenHandle(path, 0, kShareAll, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
        if (handle == INVALID_HANDLE_VALUE)
            return std::nullopt;
        const std::optional<FileIdentity> identity = IdentityOf(handle);
        CloseHandle(handle);
        return identity;
    }

    // Opens the name, checks that it reaches the expected file, and deletes
    // through that very handle, so the file deleted is the one checked.
    bool removeIfSame(const std::string& path, const FileIdentity& expected) override
    {
        NewCall();
        const HANDLE handle = OpenHandle(path, DELETE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING, 0);
        if (handle == INVALID_HANDLE_VALUE)
            return false;
        const std::optional<FileIdentity> found = IdentityOf(handle);
        FILE_DISPOSITION_INFO disposition{TRUE};
        bool removed = false;
        if (found != expected)
            lastErrorCode = ERROR_FILE_INVALID;  // changed or replaced
        else
            removed = SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition)
                || Failed(false);
        CloseHandle(handle);
        return removed;
    }

    // NTFS journals its names; FlushFileBuffers on a file commits its own.
    bool commitFolder(const std::string&) override
    {
        NewCall();
        return true;
    }

    std::int64_t volumeFreeBytes(const std::string& path) override
    {
        NewCall();
        return QueryVolumeFreeBytes(path);
    }

    std::int64_t volumeAvailableBytes(const std::string& path) override
    {
        NewCall();
        return QueryVolumeAvailableBytes(path);
    }

    // CopyFileEx and ReadFile/WriteFile copy every block on NTFS and FAT; a
    // block clone on ReFS is not asked for.
    std::int64_t extentSharingBlock(const std::string&) override
    {
        NewCall();
        return 0;
    }

    std::string lastError() override
    {
        if (lastErrorCode == 0)
            return {};
        wchar_t* text = nullptr;
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
            lastErrorCode, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        std::wstring message = length > 0 ? std::wstring(text, length) : L"error " + std::to_wstring(lastErrorCode);
        LocalFree(text);
        while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
            message.pop_back();
        return ToNarrowPath(message);
    }
};

}  // namespace

FileSystem& platformFileSystem()
{
    static WinFileSystem fileSystem;
    return fileSystem;
}

namespace {

// A FILETIME counts 100-nanosecond intervals from 1601-01-01 UTC.
constexpr std::int64_t kFileTimeAt1970 = 116444736000000000;
constexpr std::int64_t kNanosecondsPerTick = 100;

}  // namespace

std::int64_t ModifiedToUtcNanoseconds(std::int64_t modified)
{
    constexpr std::int64_t kLeast = INT64_MIN / kNanosecondsPerTick + kFileTimeAt1970;
    constexpr std::int64_t kMost = INT64_MAX / kNanosecondsPerTick + kFileTimeAt1970;
    return (std::clamp(modified, kLeast, kMost) - kFileTimeAt1970) * kNanosecondsPerTick;
}

std::int64_t UtcNanosecondsToModified(std::int64_t nanoseconds)
{
    return nanoseconds / kNanosecondsPerTick + kFileTimeAt1970;
}

const int kModifiedFractionDigits = 7;
