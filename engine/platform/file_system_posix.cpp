#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "../file_system.h"
#include "free_space.h"

namespace {

class PosixFile : public File {
public:
    explicit PosixFile(int fd) : fd_(fd) {}
    ~PosixFile() override
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    std::int64_t size() override
    {
        struct stat info {};
        return ::fstat(fd_, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
    }

    bool isRegularFile() override
    {
        struct stat info {};
        return ::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode);
    }

    std::int64_t read(void* buffer, std::int64_t count) override
    {
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, static_cast<size_t>(count));
            if (got >= 0 || errno != EINTR)
                return got;
        }
    }

    bool write(const void* buffer, std::int64_t count) override
    {
        const char* next = static_cast<const char*>(buffer);
        while (count > 0) {
            const ssize_t put = ::write(fd_, next, static_cast<size_t>(count));
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return false;
            next += put;
            count -= put;
        }
        return true;
    }

    bool flush() override { return ::fsync(fd_) == 0; }

    bool close() override
    {
        const int fd = fd_;
        fd_ = -1;
        // After EINTR the descriptor is gone on Linux; the outcome is unknown, so it counts as a failure.
        return fd >= 0 && ::close(fd) == 0;
    }

private:
    int fd_;
};

class PosixFileSystem : public FileSystem {
public:
    // O_NONBLOCK keeps a pipe or device from holding the open; plain files ignore it.
    std::unique_ptr<File> openForReading(const std::string& path) override
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd < 0)
            return nullptr;
        auto file = std::make_unique<PosixFile>(fd);
        if (!file->isRegularFile())
            return nullptr;
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        return file;
    }

    std::unique_ptr<File> createForWriting(const std::string& path) override
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
        return fd < 0 ? nullptr : std::make_unique<PosixFile>(fd);
    }

    bool remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }

    std::int64_t volumeFreeBytes(const std::string& path) override { return QueryVolumeFreeBytes(path); }
};

}  // namespace

FileSystem& platformFileSystem()
{
    static PosixFileSystem fileSystem;
    return fileSystem;
}
