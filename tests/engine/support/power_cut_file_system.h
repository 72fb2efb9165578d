#pragma once
// An in-memory file system that knows, for every file and every folder, what
// is safely on the disk and what is still only in the operating system's
// memory, so that a test can cut the power after any call and look at every
// disk a real machine could come back up with.
//
// The durability model, the one POSIX promises and no more:
// - A file's contents (its bytes and its length) reach the disk at flush()
//   (fsync). Writes, copies and truncations since the last flush are
//   pending; early writeback changes none of that.
// - A name created or removed in a folder reaches the disk at commitFolder()
//   on any path in that folder (fsync of the folder). Until then it is
//   pending, even when the file's contents have been flushed.
// - A rename is one name change: the entry moves from one name to the other
//   at once, and a cut before the folder's commit keeps it or loses it whole.
// - After a cut, pending contents and pending names may each be lost, kept or
//   partly kept; where a file grew, its new bytes may also come back as zeros
//   or as garbage. A file that no surviving name reaches is gone.
// The Windows profile (NTFS) differs in names alone: commitFolder makes
// nothing durable; name changes are logged in the order they were made, so
// only a prefix of them survives; and flush() of a file makes durable every
// pending name change up to the last one that concerns that file.
// The seam has no links, so neither has this file system: each file has one
// name (linkedNames stands in for a second name elsewhere). Every folder exists; there are no symbolic links.
// It is one volume: two folders stand in for two disks, but for the volume
// number their files share.

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "file_system.h"

// One file as it lies on a disk that has no pending changes.
struct StoredFile {
    std::uint64_t fileId = 0;
    std::string bytes;
    std::int64_t modified = 0;
    auto operator<=>(const StoredFile& other) const = default;
};
// A whole disk at rest: every file by its path.
using DiskImage = std::map<std::string, StoredFile>;

// One disk a power cut may leave, and which of the possible outcomes it is.
struct SurvivingState {
    std::string variant;
    DiskImage disk;
};

class PowerCutFile;

// How a disk makes names durable, as the durability model above tells.
enum class DiskProfile { Posix, Windows };

class PowerCutFileSystem : public FileSystem {
public:
    // Which file each name reaches.
    using Names = std::map<std::string, std::uint64_t>;

    // A disk holding `disk`, all of it durable.
    explicit PowerCutFileSystem(const DiskImage& disk = {});

    // Puts a file holding `bytes` at `path`, durable at once, as a file that
    // was there long before the test; replaces any file at `path`. Not counted.
    void addFile(const std::string& path, const std::string& bytes);
    // The disk as programs see it now, pending changes included.
    DiskImage image() const;

    // Cuts the power right after the `operations`-th call (counted from the
    // start, every call of the seam but lastError): the next call fails and
    // so does every call after it, and the disk is frozen as it was.
    void cutPowerAfter(std::int64_t operations);
    bool powerIsCut() const { return cut_; }
    // Calls carried out so far; calls refused by a cut do not count.
    std::int64_t operations() const { return static_cast<std::int64_t>(log_.size()); }
    // The last `count` calls carried out, oldest first, one line each.
    std::vector<std::string> lastOperations(std::size_t count) const;

    // Every disk the machine may come back up with after the cut (or, with
    // the power still on, after a cut now), each distinct disk once. The
    // variants are listed where they are made, in power_cut_file_system.cpp.
    std::vector<SurvivingState> survivingStates() const;

    // False: copyFrom answers kCopyNotSupported at once, without an operation,
    // so that a job takes its read/write path.
    bool inKernelCopy = true;

    // Names whose file has a second name off this disk: isPlainName answers
    // false for them, as for a hard link.
    std::set<std::string> linkedNames;
    // Folders exists() answers for, besides every name's: every folder can
    // hold files, but a job that checks for one asks for it by name.
    std::set<std::string> folders;
    // How names become durable; set before the first call.
    DiskProfile profile = DiskProfile::Posix;

    std::unique_ptr<File> openForReading(const std::string& path) override;
    GuardedFile openGuarded(const std::string& path) override;
    GuardedFile openForCutting(const std::string& path) override;
    std::unique_ptr<File> createNew(const std::string& path) override;
    std::unique_ptr<File> openForUpdate(const std::string& path) override;
    bool renameNoReplace(const std::string& from, const std::string& to) override;
    bool exists(const std::string& path) override;
    bool isPlainName(const std::string& path) override;
    bool keepsFileIds(const std::string& path) override;
    std::optional<FileIdentity> identityAt(const std::string& path) override;
    bool removeIfSame(const std::string& path, const FileIdentity& expected) override;
    bool commitFolder(const std::string& path) override;
    std::int64_t largestFileSize(const std::string& path) override;
    std::int64_t volumeFreeBytes(const std::string& path) override;
    std::int64_t volumeAvailableBytes(const std::string& path) override;
    std::int64_t extentSharingBlock(const std::string& path) override;
    std::string lastError() override { return lastError_; }

    // The volume number every identity on this disk carries.
    static constexpr std::uint64_t kVolume = 0x5EA1;
    // What volumeFreeBytes reports while the power is on.
    static constexpr std::int64_t kFreeBytes = std::int64_t{1} << 40;
    // What volumeAvailableBytes reports while the power is on: kFreeBytes
    // unless a test makes the disk nearly full.
    std::int64_t availableBytes = kFreeBytes;

private:
    friend class PowerCutFile;

    struct Inode {
        std::string durable;  // contents as of the last flush
        std::string current;  // contents as programs see them
        std::int64_t modified = 0;
        const void* lockHolder = nullptr;
        // Kept with the inode as programs see them, durable at once: the
        // model of permissions is a plain one.
        std::uint32_t permissions = 0644;
        std::uint32_t owner = 0;
        std::uint32_t group = 0;
    };
    // A name change not yet committed: `path` now reaches `fileId`, or
    // nothing when it is 0, where it reached `removedId` (0: nothing) before;
    // and, for a rename, the name `renamedFrom` is gone in the same change.
    struct NameChange {
        std::string path;
        std::uint64_t fileId = 0;
        std::string renamedFrom;
        std::uint64_t removedId = 0;

        bool concerns(std::uint64_t file) const { return fileId == file || removedId == file; }
        // Carries the change out on `names`.
        void applyTo(Names& names) const;
    };
    struct Disk {
        std::map<std::uint64_t, Inode> inodes;  // every file ever made, reachable or not
        Names durableNames;
        Names names;                            // as programs see them
        std::vector<NameChange> pendingNames;   // oldest first, all folders
    };

    // Starts a call, true when it may go ahead: counts it and logs it, or
    // cuts the power when its turn has come. After the cut nothing changes
    // the disk any more, so `disk_` itself is the snapshot.
    bool beginCall(const std::string& description);
    void fail(const std::string& reason) { lastError_ = reason; }
    Inode* inode(std::uint64_t fileId);
    FileIdentity identityOf(std::uint64_t fileId) const;
    std::int64_t nextModification() { return ++modifications_; }

    std::unique_ptr<File> openFile(const std::string& path, bool writable);
    void setName(const std::string& path, std::uint64_t fileId);
    // The Windows profile's flush: the name changes up to the last one that
    // concerns `fileId` become durable, in order.
    void commitNamesUpTo(std::uint64_t fileId);

    Disk disk_;
    std::uint64_t nextFileId_ = 1;
    std::int64_t modifications_ = 0;
    std::optional<std::int64_t> cutAfter_;
    bool cut_ = false;
    std::vector<std::string> log_;
    std::string lastError_;
};

// The folder part of `path` (up to its last / or \), which commitFolder commits.
std::string FolderOf(const std::string& path);
