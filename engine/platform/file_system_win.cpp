#include <windows.h>

#include "../file_system.h"
#include "free_space.h"
#include "text.h"

namespace {

// Other processes may go on reading, writing and even deleting the files a
// job works on.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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
        LARGE_INTEGER size;
        return GetFileSizeEx(handle_, &size) ? size.QuadPart : -1;
    }

    bool isRegularFile() override
    {
        BY_HANDLE_FILE_INFORMATION info;
        return GetFileType(handle_) == FILE_TYPE_DISK && GetFileInformationByHandle(handle_, &info)
            && !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    std::int64_t read(void* buffer, std::int64_t count) override
    {
        DWORD got = 0;
        if (!ReadFile(handle_, buffer, static_cast<DWORD>(count), &got, nullptr))
            return -1;
        return got;
    }

    bool write(const void* buffer, std::int64_t count) override
    {
        const char* next = static_cast<const char*>(buffer);
        while (count > 0) {
            DWORD put = 0;
            if (!WriteFile(handle_, next, static_cast<DWORD>(count), &put, nullptr) || put == 0)
                return false;
            next += put;
            count -= put;
        }
        return true;
    }

    bool flush() override { return FlushFileBuffers(handle_) != 0; }

    bool close() override
    {
        const HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle != INVALID_HANDLE_VALUE && CloseHandle(handle) != 0;
    }

private:
    HANDLE handle_;
};

std::unique_ptr<File> Open(const std::string& path, DWORD access, DWORD disposition)
{
    const HANDLE handle = CreateFileW(ToWidePath(path).c_str(), access, kShareAll, nullptr, disposition,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return handle == INVALID_HANDLE_VALUE ? nullptr : std::make_unique<WinFile>(handle);
}

class WinFileSystem : public FileSystem {
public:
    std::unique_ptr<File> openForReading(const std::string& path) override
    {
        // A directory does not open without backup semantics; a device such as
        // AUX or CON opens, but is no file.
        std::unique_ptr<File> file = Open(path, GENERIC_READ, OPEN_EXISTING);
        return file && file->isRegularFile() ? std::move(file) : nullptr;
    }

    std::unique_ptr<File> createForWriting(const std::string& path) override
    {
        return Open(path, GENERIC_WRITE, CREATE_ALWAYS);
    }

    bool remove(const std::string& path) override { return DeleteFileW(ToWidePath(path).c_str()) != 0; }

    std::int64_t volumeFreeBytes(const std::string& path) override { return QueryVolumeFreeBytes(path); }
};

}  // namespace

FileSystem& platformFileSystem()
{
    static WinFileSystem fileSystem;
    return fileSystem;
}
