#pragma once
// The engine's one way to files, so that a test can make any call fail or cut
// the power after it. Paths are UTF-8; sizes are 64-bit. lastError() answers
// for the latest call on the thread alone: the operating system's reason when
// it failed, nothing when it succeeded, so no reason outlives its call.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

// Which file a name or a handle reaches, and the state of its contents.
struct FileIdentity {
    std::uint64_t volume = 0;  // device / volume serial number
    std::uint64_t fileId = 0;  // inode / file index
    std::int64_t size = -1;
    std::int64_t modified = 0;  // last write time, in the platform's finest unit
    std::uint64_t links = 1;    // names the file has; not part of its identity
    // Who may read and write it, which is no part of its identity either: the
    // permission bits (0777 at most), owner and group on POSIX; 0 on Windows.
    std::uint32_t permissions = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;

    // True when both reach the same file, whatever its contents are now.
    bool sameFileAs(const FileIdentity& other) const { return volume == other.volume && fileId == other.fileId; }
    // True when both are the same file with the same size and last write time.
    bool operator==(const FileIdentity& other) const
    {
        return sameFileAs(other) && size == other.size && modified == other.modified;
    }
};

// What File::copyFrom answers when the platform cannot copy between the two
// files itself; the caller then copies through its own memory.
inline constexpr std::int64_t kCopyNotSupported = -2;

// A stretch of a file's bytes that is stored: [start, end). The bytes up to
// `start` from where the search began are a hole, which reads as zeros.
struct DataRange {
    std::int64_t start = 0;
    std::int64_t end = 0;
};

class File {
public:
    // Closes the file if close() was not called; that result is lost, so every
    // path that keeps data calls close() and checks it.
    virtual ~File() = default;

    // Length in bytes, -1 when it cannot be told.
    virtual std::int64_t size() = 0;
    // True when the file is a plain file on disk, not a device, pipe or directory.
    virtual bool isRegularFile() = 0;
    // The file this handle reaches, as it is now; empty when it cannot be told.
    virtual std::optional<FileIdentity> identity() = 0;
    // Reads up to `count` bytes at the current position. Returns the number
    // read, 0 at the end of the file, -1 on a read error.
    virtual std::int64_t read(void* buffer, std::int64_t count) = 0;
    // Writes all `count` bytes at the current position, or returns false.
    virtual bool write(const void* buffer, std::int64_t count) = 0;
    // Copies up to `count` bytes from the current position of `source` to the
    // current position of this file without passing them through the job's
    // memory (inside the kernel, sharing extents where the file system can),
    // moving both positions. Returns the number of bytes copied, 0 at the end of
    // `source`, -1 on an error, or kCopyNotSupported. `source` comes from the
    // same FileSystem as this file.
    virtual std::int64_t copyFrom(File& source, std::int64_t count) = 0;
    // Asks the system to start writing `count` bytes from `offset` (all from
    // `offset` on when `count` is 0) to the disk without waiting, so that
    // flush() has less left to wait for. A hint only: it reports nothing, and
    // flush() stays what makes the bytes durable.
    virtual void startWriteback(std::int64_t offset, std::int64_t count) = 0;
    // Moves the current position to `offset` bytes from the start.
    virtual bool seek(std::int64_t offset) = 0;
    // Sets the file's length to `length` bytes, cutting it or growing it by a
    // hole, and moves the current position there.
    virtual bool truncate(std::int64_t length) = 0;
    // Commits the contents written so far to the disk itself.
    virtual bool flush() = 0;
    // Takes an exclusive lock that lasts until the file is closed; false at once
    // when another job holds it. Only jobs heed it: other programs may still
    // read and write the file.
    virtual bool lockExclusive() = 0;
    // Closes the file; false when the platform reports a failure.
    virtual bool close() = 0;
    // The current position, -1 when it cannot be told.
    virtual std::int64_t position() = 0;
    // The first stretch of data at or after `offset`; both ends are the
    // file's length when only a hole (or nothing) follows. Where the file
    // system keeps no holes, or the platform cannot tell them, all is data.
    // Empty on an error. The position stays where it was.
    virtual std::optional<DataRange> dataRange(std::int64_t offset) = 0;
    // Gives the file the permission bits of `original`, and its owner and
    // group when the process may (run as root): durable with the next flush().
    // True where the file system keeps none (FAT); on Windows it does nothing,
    // as new files take their folder's access rules.
    virtual bool takePermissionsOf(const FileIdentity& original) = 0;
    // Sets the last write time to `modified` (FileIdentity::modified's unit),
    // durable with the next flush(); a later write moves it again.
    virtual bool setModified(std::int64_t modified) = 0;
    // False once another program may have written the file since openGuarded
    // or openForCutting opened it (opened it for writing, cut it or wrote to
    // it); true while no sign of one is seen, and always for a file opened
    // otherwise.
    virtual bool untouchedByWriters() = 0;
};

// What openGuarded gives: the file, or why there is none.
struct GuardedFile {
    std::unique_ptr<File> file;
    // Another program has the file open for writing, so it was not opened.
    bool inUseForWriting = false;
};

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Opens an existing plain file for reading, sharing it freely with other
    // processes. Empty when it does not open or is not a plain file (a
    // directory, a device, a pipe).
    virtual std::unique_ptr<File> openForReading(const std::string& path) = 0;
    // Opens an existing plain file for reading as openForReading does, for a
    // job that will delete it, and guards it against other programs' writes
    // for as long as it is open, so that untouchedByWriters() can tell: on
    // Windows no other process may open it for writing; on Linux a read lease
    // (where this process may take one) or else an inotify watch sees every
    // opening for writing or write by a program on this machine. A file open
    // for writing elsewhere already is not opened (`inUseForWriting`) where the
    // platform can tell.
    virtual GuardedFile openGuarded(const std::string& path) = 0;
    // Opens an existing plain file with one name for reading and writing, for
    // a split that cuts it in place, from its end, and at last renames it:
    // guarded as openGuarded guards, against writers (a write lease where this
    // process may take one, else an inotify watch; on Windows no other
    // process may open it for writing, while it may still be renamed). Its
    // own truncate() is no other program's write to the guard. A reader's
    // opening breaks a write lease too: the reader waits until the job's next
    // untouchedByWriters() lets the lease go and watches instead (at most the
    // system's lease break time, 45 s by default), so the job asks before
    // each cut and at its end; the job itself opens the file by no other
    // handle meanwhile. A file of this user's that its own permissions keep
    // from writing opens as its owner may, as openForUpdate opens it. Empty
    // when it is no plain file with one name or another job holds it;
    // `inUseForWriting` when another program has it open for writing (on
    // Linux where a lease may be taken).
    virtual GuardedFile openForCutting(const std::string& path) = 0;
    // Creates a new, empty file for writing, readable and writable by its
    // owner alone (0600) until takePermissionsOf. Empty when anything at all is at
    // `path` already (a file, a link, a dangling symbolic link), so a job never
    // writes through a name it did not make.
    virtual std::unique_ptr<File> createNew(const std::string& path) = 0;
    // Opens an existing plain file for reading and writing without following a
    // symbolic link at `path`; a file of this user's that its own permissions
    // keep from writing (a piece of a read-only original) opens as its owner
    // may, its permissions unchanged. Empty when that fails or it is no plain
    // file, and when another job holds it (lockExclusive): such a file is not
    // even opened for writing, which would break the guard of a split reading it.
    virtual std::unique_ptr<File> openForUpdate(const std::string& path) = 0;
    // Gives the file at `from` the name `to` in the same folder, only when
    // nothing at all is at `to`; the name `from` is then gone. Durable once the
    // folder is committed, like every name.
    virtual bool renameNoReplace(const std::string& from, const std::string& to) = 0;
    // True when anything is at `path`, a dangling symbolic link included.
    virtual bool exists(const std::string& path) = 0;
    // True when `path` itself names a plain file with one name: not a symbolic
    // link or other reparse point, not a file with a second hard link.
    virtual bool isPlainName(const std::string& path) = 0;
    // True when the file system that holds `path` keeps each file's number for
    // the file's lifetime, across renames and mounts (not FAT or exFAT, whose
    // numbers are made anew at each mount, nor a FUSE file system).
    virtual bool keepsFileIds(const std::string& path) = 0;
    // The file that `path` names now, following symbolic links; empty when none.
    virtual std::optional<FileIdentity> identityAt(const std::string& path) = 0;
    // Deletes `path` only while it still names the file `expected`, unchanged
    // (same volume, file id, size and last write time), so that a file put in
    // its place, or one written to since, survives.
    virtual bool removeIfSame(const std::string& path, const FileIdentity& expected) = 0;
    // Makes the names created and removed in the folder holding `path` survive
    // a power cut. A no-op where the platform's file system journals them.
    virtual bool commitFolder(const std::string& path) = 0;
    // The largest file the file system holding `path` (a file, or a name to
    // be created) can store: kFatLargestFile on FAT12/16/32, kNoFileSizeLimit
    // where no smaller limit is known (file_size_limit.h).
    virtual std::int64_t largestFileSize(const std::string& path) = 0;
    // QueryVolumeFreeBytes for `path`.
    virtual std::int64_t volumeFreeBytes(const std::string& path) = 0;
    // The bytes of the volume holding `path` that this process may still
    // write (not counting blocks kept for the administrator), or
    // FREE_QUERY_FAILED.
    virtual std::int64_t volumeAvailableBytes(const std::string& path) = 0;
    // The block size in bytes when the file system holding `path` lets two
    // files share extents, so that a copy of whole blocks takes no room (XFS
    // with reflink, btrfs); 0 where every copy takes room of its own.
    virtual std::int64_t extentSharingBlock(const std::string& path) = 0;
    // The operating system's reason for the latest failed call on this thread.
    virtual std::string lastError() = 0;
};

// The file system in use; the platform's own unless one was set.
FileSystem& fileSystem();
// What `file` is, or, when its handle cannot tell, what `path` (the name the
// job itself created or renamed it to) reaches; empty when neither can tell.
std::optional<FileIdentity> IdentityOrNamed(File& file, const std::string& path);
// FileIdentity::modified as nanoseconds since 1970-01-01 UTC, and back, so
// that a time written on one platform means the same on the other; times
// beyond the range of either end at its edge.
std::int64_t ModifiedToUtcNanoseconds(std::int64_t modified);
std::int64_t UtcNanosecondsToModified(std::int64_t nanoseconds);
// The digits of a second that FileIdentity::modified keeps on this platform.
extern const int kModifiedFractionDigits;
// Puts `replacement` in place of the platform's own; nullptr puts it back.
void setFileSystem(FileSystem* replacement);
// The platform's own (file_system_win.cpp / file_system_posix.cpp).
FileSystem& platformFileSystem();
