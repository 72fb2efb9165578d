#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "../file_size_limit.h"
#include "../file_system.h"
#include "free_space.h"
#include "write_guard.h"

namespace {

// File systems whose file numbers do not last (statfs f_type).
constexpr unsigned long kFatMagic = 0x4d44;
constexpr unsigned long kExfatMagic = 0x2011bab0;
constexpr unsigned long kFuseMagic = 0x65735546;

// The reason of the latest call on this thread when it failed, for lastError().
thread_local std::string lastReason;

// Starts a call of the seam: it answers for itself, so the reason of an
// earlier failure goes.
void NewCall()
{
    lastReason.clear();
}

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

constexpr std::int64_t kNanosecondsPerSecond = 1000000000;

// The volume of a file: the file system's own id where it has one, which
// lasts when a disk is mounted again through another device (ext4 and btrfs
// take it from their UUID); else the device's number.
std::uint64_t VolumeOf(const struct statfs& volume, bool known, const struct stat& info)
{
    std::uint64_t id = 0;
    static_assert(sizeof volume.f_fsid <= sizeof id);
    if (known)
        std::memcpy(&id, &volume.f_fsid, sizeof volume.f_fsid);
    return id != 0 ? id : static_cast<std::uint64_t>(info.st_dev);
}

FileIdentity IdentityOf(const struct stat& info, std::uint64_t volume)
{
    return FileIdentity{volume,
                        static_cast<std::uint64_t>(info.st_ino),
                        static_cast<std::int64_t>(info.st_size),
                        static_cast<std::int64_t>(info.st_mtim.tv_sec) * kNanosecondsPerSecond + info.st_mtim.tv_nsec,
                        static_cast<std::uint64_t>(info.st_nlink),
                        static_cast<std::uint32_t>(info.st_mode & 0777),
                        static_cast<std::uint32_t>(info.st_uid),
                        static_cast<std::uint32_t>(info.st_gid)};
}

// A change of permissions or owner that fails this way is one the file
// system cannot keep (FAT, some network and FUSE file systems), or an owner
// this system cannot name: the file keeps what it was created with.
bool KeepsNoPermissions(int error)
{
    return error == EPERM || error == EOPNOTSUPP || error == ENOSYS || error == EINVAL;
}

// The folder that holds `path`: its text up to the last slash, "." when none.
std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int OpenAgainToWrite(int reading, const std::string& path);
bool HeldByAnotherJob(int reading);

// What reopenForCutting came to.
enum class CutOpening { Opened, Failed, InUseForWriting };

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
        NewCall();
        struct stat info {};
        return ::fstat(fd_, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : Failed(-1);
    }

    bool isRegularFile() override
    {
        NewCall();
        struct stat info {};
        if (::fstat(fd_, &info) != 0)
            return Failed(false);
        if (S_ISDIR(info.st_mode))
            return FailedBecause("Is a directory", false);
        return S_ISREG(info.st_mode) || FailedBecause("Not a regular file", false);
    }

    std::optional<FileIdentity> identity() override
    {
        NewCall();
        struct stat info {};
        if (::fstat(fd_, &info) != 0)
            return Failed(std::nullopt);
        struct statfs volume {};
        return IdentityOf(info, VolumeOf(volume, ::fstatfs(fd_, &volume) == 0, info));
    }

    std::int64_t read(void* buffer, std::int64_t count) override
    {
        NewCall();
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
        NewCall();
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
    // otherwise. Answers kCopyNotSupported, keeping the reason, for every
    // reason that means "not between these two files" rather than a failure of
    // the disk; the caller alone knows whether bytes were copied before.
    std::int64_t copyFrom(File& source, std::int64_t count) override
    {
        NewCall();
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
            case ENOTTY:
            case EACCES:
                return Failed(kCopyNotSupported);
            default:
                return Failed(-1);
            }
        }
    }

    void startWriteback(std::int64_t offset, std::int64_t count) override
    {
        NewCall();
        ::sync_file_range(fd_, offset, count, SYNC_FILE_RANGE_WRITE);
    }

    bool seek(std::int64_t offset) override
    {
        NewCall();
        return ::lseek(fd_, offset, SEEK_SET) == offset || Failed(false);
    }

    bool truncate(std::int64_t length) override
    {
        NewCall();
        return (guard_.own([&] { return ::ftruncate(fd_, length) == 0; }) || Failed(false)) && seek(length);
    }

    bool flush() override
    {
        NewCall();
        return ::fsync(fd_) == 0 || Failed(false);
    }

    bool lockExclusive() override
    {
        NewCall();
        return ::flock(fd_, LOCK_EX | LOCK_NB) == 0 || Failed(false);
    }

    bool close() override
    {
        NewCall();
        const int fd = fd_;
        fd_ = -1;
        // After EINTR the descriptor is gone on Linux; the outcome is unknown, so it counts as a failure.
        return (fd >= 0 && ::close(fd) == 0) || Failed(false);
    }

    std::int64_t position() override
    {
        NewCall();
        const off_t at = ::lseek(fd_, 0, SEEK_CUR);
        return at >= 0 ? at : Failed(-1);
    }

    // A file whose blocks cover its length has no hole worth the search: a
    // SEEK_HOLE walks the page cache up to the next hole, on tmpfs through
    // every page to the end. SEEK_DATA and SEEK_HOLE move the position, which
    // is put back. ENXIO: nothing but a hole from `offset` to the end, or
    // `offset` past it.
    std::optional<DataRange> dataRange(std::int64_t offset) override
    {
        NewCall();
        struct stat info {};
        if (::fstat(fd_, &info) != 0)
            return Failed(std::nullopt);
        if (std::int64_t{info.st_blocks} * 512 >= info.st_size)
            return DataRange{std::min<std::int64_t>(offset, info.st_size), info.st_size};
        const off_t at = ::lseek(fd_, 0, SEEK_CUR);
        if (at < 0)
            return Failed(std::nullopt);
        std::optional<DataRange> range = dataFrom(offset);
        if (::lseek(fd_, at, SEEK_SET) != at)
            return Failed(std::nullopt);
        return range;
    }

    bool takePermissionsOf(const FileIdentity& original) override
    {
        NewCall();
        if (::geteuid() == 0 && ::fchown(fd_, original.owner, original.group) != 0 && !KeepsNoPermissions(errno))
            return Failed(false);
        if (::fchmod(fd_, original.permissions & 0777) != 0 && !KeepsNoPermissions(errno))
            return Failed(false);
        return true;
    }

    bool setModified(std::int64_t modified) override
    {
        NewCall();
        // Rounded down, so that a time before 1970 keeps its nanoseconds positive.
        std::int64_t seconds = modified / kNanosecondsPerSecond;
        std::int64_t nanoseconds = modified % kNanosecondsPerSecond;
        if (nanoseconds < 0) {
            seconds -= 1;
            nanoseconds += kNanosecondsPerSecond;
        }
        const struct timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(seconds), static_cast<long>(nanoseconds)}};
        return guard_.own([&] { return ::futimens(fd_, times) == 0; }) || Failed(false);
    }

    bool untouchedByWriters() override
    {
        NewCall();
        return guard_.untouched() || FailedBecause("Another program opened it for writing", false);
    }

    // Guards the file against other programs' writes; false when it is open
    // for writing elsewhere already.
    bool guard() { return guard_.start(fd_); }

    // True when another job holds the file (lockExclusive).
    bool heldByAnotherJob() { return HeldByAnotherJob(fd_); }

    // Opens this file, open read-only, again for reading and writing in its
    // place, guarded against other programs' writes while the job cuts it.
    // The question whether a program has it open for writing is asked before
    // this process opens it so itself, after which no lease can tell; the
    // opening goes through the descriptor, so it is the file asked about.
    CutOpening reopenForCutting(const std::string& path)
    {
        if (!guard_.startCutting(fd_))
            return FailedBecause("It is open for writing in another program", CutOpening::InUseForWriting);
        const int fd = OpenAgainToWrite(fd_, path);
        if (fd < 0)
            return Failed(CutOpening::Failed);
        ::close(fd_);
        fd_ = fd;
        guard_.guardCutting(fd_);
        return CutOpening::Opened;
    }

private:
    // dataRange's search, which leaves the position wherever it ends.
    std::optional<DataRange> dataFrom(std::int64_t offset)
    {
        const off_t start = ::lseek(fd_, offset, SEEK_DATA);
        if (start >= 0) {
            const off_t end = ::lseek(fd_, start, SEEK_HOLE);
            return end >= 0 ? std::optional(DataRange{start, end}) : Failed(std::nullopt);
        }
        const int error = errno;
        struct stat info {};
        if (::fstat(fd_, &info) != 0)
            return Failed(std::nullopt);
        if (error == ENXIO)
            return DataRange{info.st_size, info.st_size};
        // A file system that cannot tell its holes: all of it is data.
        if (error == EINVAL || error == EOPNOTSUPP)
            return DataRange{std::min<std::int64_t>(offset, info.st_size), info.st_size};
        errno = error;
        return Failed(std::nullopt);
    }

    int fd_;
    WriteGuard guard_;
};

// A file for `fd`, or empty (keeping the reason) when it is no plain file.
std::unique_ptr<PosixFile> PlainFile(int fd)
{
    if (fd < 0)
        return Failed(nullptr);
    auto file = std::make_unique<PosixFile>(fd);
    if (!file->isRegularFile())
        return nullptr;
    return file;
}

// An existing plain file opened for reading. O_NONBLOCK keeps a pipe or
// device from holding the open; plain files ignore it.
std::unique_ptr<PosixFile> OpenToRead(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    std::unique_ptr<PosixFile> file = PlainFile(fd);
    if (file)
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return file;
}

// True when another job holds the file open at `reading` (lockExclusive).
bool HeldByAnotherJob(int reading)
{
    return ::flock(reading, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
}

// The file open at `reading` opened again for reading and writing: through
// the descriptor, so that it is that file whatever `path` names now (through
// `path` where /proc is not mounted). A file of this user's that its own
// permissions keep from writing, such as a piece of a read-only original,
// opens all the same, as its owner may: its bits are lifted for the opening
// alone (they are checked only then) and put back at once.
int OpenAgainToWrite(int reading, const std::string& path)
{
    const std::string self = "/proc/self/fd/" + std::to_string(reading);
    const auto openToWrite = [&] {
        const int fd = ::open(self.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
        return fd >= 0 || errno != ENOENT ? fd : ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    };
    int fd = openToWrite();
    if (fd >= 0 || errno != EACCES)
        return fd;
    struct stat info {};
    const mode_t permissions = ::fstat(reading, &info) == 0 ? info.st_mode & 07777 : S_IWUSR;
    if ((permissions & S_IWUSR) != 0 || ::fchmod(reading, permissions | S_IWUSR) != 0) {
        errno = EACCES;
        return -1;
    }
    fd = openToWrite();
    const int error = errno;
    ::fchmod(reading, permissions);
    errno = error;
    return fd;
}

// The type of the file system that holds `path` (a file, or a name to be
// created), as the mount table names it; empty when it cannot be told. The
// mount table, not statfs: a FAT disk through FUSE is only "FUSE" to statfs.
std::string MountTypeOf(const std::string& path)
{
    char* canonical = ::realpath(FolderOf(path).c_str(), nullptr);
    if (!canonical)
        return {};
    const std::string folder = canonical;
    std::free(canonical);
    std::ifstream table("/proc/self/mountinfo");
    const std::string mountInfo{std::istreambuf_iterator<char>(table), std::istreambuf_iterator<char>()};
    return FileSystemTypeInMountInfo(mountInfo, folder);
}

class PosixFileSystem : public FileSystem {
public:
    std::unique_ptr<File> openForReading(const std::string& path) override
    {
        NewCall();
        return OpenToRead(path);
    }

    GuardedFile openGuarded(const std::string& path) override
    {
        NewCall();
        std::unique_ptr<PosixFile> file = OpenToRead(path);
        if (file && !file->guard())
            return GuardedFile{nullptr, FailedBecause("It is open for writing in another program", true)};
        return GuardedFile{std::move(file), false};
    }

    // O_EXCL refuses every existing name, a symbolic link (even a dangling one) included.
    std::unique_ptr<File> createNew(const std::string& path) override
    {
        NewCall();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
        return fd < 0 ? Failed(nullptr) : std::make_unique<PosixFile>(fd);
    }

    // Opened for reading first, as openForUpdate does: an opening for
    // writing would break the read lease of another job that holds the file.
    // One name, checked again on the file opened: a cut through one name
    // would cut the file at the other too.
    GuardedFile openForCutting(const std::string& path) override
    {
        NewCall();
        std::unique_ptr<PosixFile> file = PlainFile(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        if (!file)
            return GuardedFile{};
        const std::optional<FileIdentity> identity = file->identity();
        if (!identity)
            return GuardedFile{};
        if (identity->links != 1)
            return FailedBecause("Not a plain file with one name", GuardedFile{});
        if (file->heldByAnotherJob())
            return FailedBecause("It is in use by another job", GuardedFile{});
        switch (file->reopenForCutting(path)) {
        case CutOpening::Opened:
            return GuardedFile{std::move(file), false};
        case CutOpening::InUseForWriting:
            return GuardedFile{nullptr, true};
        case CutOpening::Failed:
            break;
        }
        return GuardedFile{};
    }

    std::unique_ptr<File> openForUpdate(const std::string& path) override
    {
        NewCall();
        // Opened for reading first: an opening for writing, even one refused
        // at once, would break the read lease of a split that holds the file.
        const int reading = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (reading < 0)
            return Failed(nullptr);
        if (HeldByAnotherJob(reading)) {
            ::close(reading);
            return FailedBecause("It is in use by another job", nullptr);
        }
        const int fd = OpenAgainToWrite(reading, path);
        const int error = errno;
        ::close(reading);
        errno = error;
        return PlainFile(fd);
    }

    bool renameNoReplace(const std::string& from, const std::string& to) override
    {
        NewCall();
        return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0 || Failed(false);
    }

    bool exists(const std::string& path) override
    {
        NewCall();
        struct stat info {};
        return ::lstat(path.c_str(), &info) == 0;
    }

    bool isPlainName(const std::string& path) override
    {
        NewCall();
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0)
            return Failed(false);
        return (S_ISREG(info.st_mode) && info.st_nlink == 1) || FailedBecause("Not a plain file with one name", false);
    }

    bool keepsFileIds(const std::string& path) override
    {
        NewCall();
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

    // The mount table: pathconf's FILESIZEBITS answers 32 on tmpfs too. A mount
    // that cannot be told is taken to have no limit: the write itself then
    // reports a file too large.
    std::int64_t largestFileSize(const std::string& path) override
    {
        NewCall();
        return LargestFileOfType(MountTypeOf(path));
    }

    std::int64_t extentSharingBlock(const std::string& path) override
    {
        NewCall();
        struct statvfs volume {};
        if (!SharesExtentsByType(MountTypeOf(path)) || ::statvfs(FolderOf(path).c_str(), &volume) != 0)
            return 0;
        return static_cast<std::int64_t>(volume.f_bsize);
    }

    std::optional<FileIdentity> identityAt(const std::string& path) override
    {
        NewCall();
        struct stat info {};
        if (::stat(path.c_str(), &info) != 0)
            return Failed(std::nullopt);
        struct statfs volume {};
        return IdentityOf(info, VolumeOf(volume, ::statfs(path.c_str(), &volume) == 0, info));
    }

    // The check and the unlink are two calls: a file renamed over `path`
    // between them would go. No POSIX call removes a name only if it names a
    // given inode; the window is a few microseconds wide.
    bool removeIfSame(const std::string& path, const FileIdentity& expected) override
    {
        NewCall();
        const std::optional<FileIdentity> now = identityAt(path);
        if (!now)
            return false;
        if (*now != expected)
            return FailedBecause("It was changed or replaced by another file", false);
        return ::unlink(path.c_str()) == 0 || Failed(false);
    }

    // A file system that cannot commit a folder (EINVAL, ENOTSUP: some
    // network and FUSE file systems) has nothing to commit; EIO is a failure.
    bool commitFolder(const std::string& path) override
    {
        NewCall();
        const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return Failed(false);
        const bool committed = ::fsync(fd) == 0 || errno == EINVAL || errno == EOPNOTSUPP || Failed(false);
        ::close(fd);
        return committed;
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

    std::string lastError() override { return lastReason; }
};

}  // namespace

FileSystem& platformFileSystem()
{
    static PosixFileSystem fileSystem;
    return fileSystem;
}

// The platform's time is the UTC time in nanoseconds already.
std::int64_t ModifiedToUtcNanoseconds(std::int64_t modified)
{
    return modified;
}

std::int64_t UtcNanosecondsToModified(std::int64_t nanoseconds)
{
    return nanoseconds;
}

const int kModifiedFractionDigits = 9;
