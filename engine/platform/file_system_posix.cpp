#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "../file_system.h"
#include "free_space.h"

namespace {

// File systems whose file numbers do not last (statfs f_type).
constexpr unsigned long kFatMagic = 0x4d44;
constexpr unsigned long kExfatMagic = 0x2011bab0;
constexpr unsigned long kFuseMagic = 0x65735546;

// The reason of the latest failed call on this thread, for lastError().
thread_local std::string lastReason;

// Keeps errno's text as the reason of a failure; returns `result` unchanged.
template <typename T>
T Failed(T result)
{
    lastReason = std::strerror(errno);
    return result;
}

// Keeps `reason` as the reason of a failure that errno does not tell.
template <typename T>
T FailedBecause(const char* reason, T result)
{
    lastReason = reason;
    return result;
}

FileIdentity IdentityOf(const struct stat& info)
{
    return FileIdentity{static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
                        static_cast<std::int64_t>(info.st_size),
                        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec,
                        static_cast<std::uint64_t>(info.st_nlink)};
}

// The folder that holds `path`: its text up to the last slash, "." when none.
std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The engine's attributes live in the namespace every user may write.
std::string UserAttribute(const std::string& name)
{
    return "user." + name;
}

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
        return ::fstat(fd_, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : Failed(-1);
    }

    bool isRegularFile() override
    {
        struct stat info {};
        if (::fstat(fd_, &info) != 0)
            return Failed(false);
        if (S_ISDIR(info.st_mode))
            return FailedBecause("Is a directory", false);
        return S_ISREG(info.st_mode) || FailedBecause("Not a regular file", false);
    }

    std::optional<FileIdentity> identity() override
    {
        struct stat info {};
        if (::fstat(fd_, &info) != 0)
            return Failed(std::nullopt);
        return IdentityOf(info);
    }

    std::int64_t read(void* buffer, std::int64_t count) override
    {
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, static_cast<size_t>(count));
            if (got >= 0)
                return got;
            if (errno != EINTR)
                return Failed(-1);
        }
    }

    bool write(const void* buffer, std::int64_t count) override
    {
        const char* next = static_cast<const char*>(buffer);
        while (count > 0) {
            const ssize_t put = ::write(fd_, next, static_cast<size_t>(count));
            if (put < 0 && errno == EINTR)
                continue;
            if (put == 0)
                return FailedBecause("No space left on device", false);
            if (put < 0)
                return Failed(false);
            next += put;
            count -= put;
        }
        return true;
    }

    // copy_file_range with explicit offsets, the positions moved after it. The
    // kernel shares extents where it can (XFS, btrfs) and copies in place
    // otherwise. Answers kCopyNotSupported for every reason that means "not
    // between these two files" rather than a failure of the disk.
    std::int64_t copyFrom(File& source, std::int64_t count) override
    {
        PosixFile& from = static_cast<PosixFile&>(source);  // one file system makes both
        off64_t in = ::lseek(from.fd_, 0, SEEK_CUR);
        off64_t out = ::lseek(fd_, 0, SEEK_CUR);
        if (in < 0 || out < 0)
            return Failed(-1);
        for (;;) {
            const ssize_t copied = ::copy_file_range(from.fd_, &in, fd_, &out, static_cast<size_t>(count), 0);
            if (copied >= 0)
                return ::lseek(from.fd_, in, SEEK_SET) == in && ::lseek(fd_, out, SEEK_SET) == out ? copied : Failed(-1);
            switch (errno) {
            case EINTR:
                continue;
            case EXDEV:
            case EINVAL:
            case EOPNOTSUPP:
            case ENOSYS:
            case EPERM:
            case EBADF:
            case ETXTBSY:
                return kCopyNotSupported;
            default:
                return Failed(-1);
            }
        }
    }

    void startWriteback(std::int64_t offset, std::int64_t count) override
    {
        ::sync_file_range(fd_, offset, count, SYNC_FILE_RANGE_WRITE);
    }

    bool seek(std::int64_t offset) override { return ::lseek(fd_, offset, SEEK_SET) == offset || Failed(false); }

    bool truncate(std::int64_t length) override
    {
        return (::ftruncate(fd_, length) == 0 || Failed(false)) && seek(length);
    }

    bool flush() override { return ::fsync(fd_) == 0 || Failed(false); }

    bool lockExclusive() override { return ::flock(fd_, LOCK_EX | LOCK_NB) == 0 || Failed(false); }

    bool setAttribute(const std::string& name, const std::string& value) override
    {
        return ::fsetxattr(fd_, UserAttribute(name).c_str(), value.data(), value.size(), 0) == 0 || Failed(false);
    }

    std::optional<std::string> attribute(const std::string& name) override
    {
        char value[256];
        const ssize_t got = ::fgetxattr(fd_, UserAttribute(name).c_str(), value, sizeof value);
        if (got < 0)
            return Failed(std::nullopt);
        return std::string(value, static_cast<std::size_t>(got));
    }

    bool removeAttribute(const std::string& name) override
    {
        return ::fremovexattr(fd_, UserAttribute(name).c_str()) == 0 || Failed(false);
    }

    bool close() override
    {
        const int fd = fd_;
        fd_ = -1;
        // After EINTR the descriptor is gone on Linux; the outcome is unknown, so it counts as a failure.
        return (fd >= 0 && ::close(fd) == 0) || Failed(false);
    }

private:
    int fd_;
};

// A file for `fd`, or empty (keeping the reason) when it is no plain file.
std::unique_ptr<File> PlainFile(int fd)
{
    if (fd < 0)
        return Failed(nullptr);
    auto file = std::make_unique<PosixFile>(fd);
    if (!file->isRegularFile())
        return nullptr;
    return file;
}

class PosixFileSystem : public FileSystem {
public:
    // O_NONBLOCK keeps a pipe or device from holding the open; plain files ignore it.
    std::unique_ptr<File> openForReading(const std::string& path) override
    {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        std::unique_ptr<File> file = PlainFile(fd);
        if (file)
            ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
        return file;
    }

    // O_EXCL refuses every existing name, a symbolic link (even a dangling one) included.
    std::unique_ptr<File> createNew(const std::string& path) override
    {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
        return fd < 0 ? Failed(nullptr) : std::make_unique<PosixFile>(fd);
    }

    std::unique_ptr<File> openForUpdate(const std::string& path) override
    {
        return PlainFile(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    }

    bool renameNoReplace(const std::string& from, const std::string& to) override
    {
        return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0 || Failed(false);
    }

    bool exists(const std::string& path) override
    {
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0 || Failed(false);
    }

    bool isPlainName(const std::string& path) override
    {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0)
            return Failed(false);
        return (S_ISREG(info.st_mode) && info.st_nlink == 1) || FailedBecause("Not a plain file with one name", false);
    }

    bool keepsFileIds(const std::string& path) override
    {
        struct statfs info {};
        if (::statfs(FolderOf(path).c_str(), &info) != 0)
            return Failed(false);
        switch (static_cast<unsigned long>(info.f_type)) {
        case kFatMagic:
        case kExfatMagic:
        case kFuseMagic:
            return FailedBecause("This file system numbers its files anew", false);
        default:
            return true;
        }
    }

    std::optional<FileIdentity> identityAt(const std::string& path) override
    {
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0)
            return Failed(std::nullopt);
        return IdentityOf(info);
    }

    // The check and the unlink are two calls: a file renamed over `path`
    // between them would go. No POSIX call removes a name only if it names a
    // given inode; the window is a few microseconds wide.
    bool removeIfSame(const std::string& path, const FileIdentity& expected) override
    {
        const std::optional<FileIdentity> now = identityAt(path);
        if (!now)
            return false;
        if (*now != expected)
            return FailedBecause("It was changed or replaced by another file", false);
        return ::unlink(path.c_str()) == 0 || Failed(false);
    }

    bool commitFolder(const std::string& path) override
    {
        const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return Failed(false);
        const bool committed = ::fsync(fd) == 0 || Failed(false);
        ::close(fd);
        return committed;
    }

    std::int64_t volumeFreeBytes(const std::string& path) override { return QueryVolumeFreeBytes(path); }

    std::string lastError() override { return lastReason; }
};

}  // namespace

FileSystem& platformFileSystem()
{
    static PosixFileSystem fileSystem;
    return fileSystem;
}
