#pragma once
// A file system over the platform's own that makes chosen calls fail (one
// call, or every call of a kind from one on), counts every call, and can
// report a made-up free-space figure.

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "file_system.h"

enum class IoCall {
    OpenForReading,
    CreateNew,
    OpenForUpdate,
    RenameNoReplace,
    Exists,
    IdentityAt,
    RemoveIfSame,
    CommitFolder,
    Identity,
    Read,
    Write,
    CopyFrom,
    StartWriteback,
    Seek,
    Truncate,
    Flush,
    LockExclusive,
    Close,
    Size,
    IsRegularFile,
    IsPlainName,
    KeepsFileIds,
    OpenGuarded,
    UntouchedByWriters,
    Position,
    DataRange,
    TakePermissionsOf,
    SetModified,
    OpenForCutting,
};
inline constexpr std::array<IoCall, 29> kAllIoCalls = {
    IoCall::OpenForReading, IoCall::CreateNew,      IoCall::OpenForUpdate,  IoCall::RenameNoReplace,
    IoCall::Exists,         IoCall::IdentityAt,     IoCall::RemoveIfSame,   IoCall::CommitFolder,
    IoCall::Identity,       IoCall::Read,           IoCall::Write,          IoCall::CopyFrom,
    IoCall::StartWriteback, IoCall::Seek,           IoCall::Truncate,       IoCall::Flush,
    IoCall::LockExclusive,  IoCall::Close,          IoCall::Size,           IoCall::IsRegularFile,
    IoCall::IsPlainName,    IoCall::KeepsFileIds,
    IoCall::OpenGuarded,    IoCall::UntouchedByWriters, IoCall::Position, IoCall::DataRange,
    IoCall::TakePermissionsOf, IoCall::SetModified, IoCall::OpenForCutting};
const char* IoCallName(IoCall call);

// The reason lastError() gives after an injected fault.
inline const std::string kInjectedFault = "Injected fault";

using PathFilter = std::function<bool(const std::string& path)>;
// Matches every path that contains `part`.
PathFilter PathContains(std::string part);
// Matches `path` alone.
PathFilter PathIs(std::string path);

class FaultyFileSystem : public FileSystem {
public:
    // Makes the `nth` call (from 1) of kind `call` fail, counting only calls on
    // paths that `filter` matches (all paths when it is empty). A failed open
    // or create gives no file and creates none; a failed read gives -1 (or 0,
    // an early end, when `readFaultIsEarlyEnd`); a failed write stores half of
    // its bytes and returns false; a failed copyFrom gives -1 and copies
    // nothing; a failed startWriteback does nothing; a failed close still
    // closes; a failed removeIfSame leaves the file; a failed size gives -1; a
    // failed isRegularFile, seek, truncate, flush, lockExclusive, commitFolder
    // or renameNoReplace gives false and changes nothing; a failed identity or
    // identityAt gives none; a failed isPlainName or keepsFileIds gives false;
    // a failed exists gives true, as a careful caller must assume when it
    // cannot tell. After a failed call lastError() gives
    // kInjectedFault. A file call counts under the file's path, a
    // renameNoReplace under its `from`.
    // Likewise a failed openGuarded or openForCutting gives no file; a failed untouchedByWriters
    // gives false, a writer being what a careful caller must assume; a failed
    // position gives -1; a failed dataRange gives none; a failed
    // takePermissionsOf or setModified changes nothing and gives false.
    void failCall(IoCall call, int nth, PathFilter filter = {});
    // The same, and every later call of that kind on a path `filter` matches
    // fails too, as on a disk gone read-only or full, or a file that stays locked.
    void failCallsFrom(IoCall call, int nth, PathFilter filter = {});
    bool readFaultIsEarlyEnd = false;

    // False: copyFrom answers kCopyNotSupported at once, without counting a
    // call or asking the platform, so that a job takes its read/write path.
    // The fault sweeps run over both paths.
    bool inKernelCopy = true;

    // The figures volumeFreeBytes, volumeAvailableBytes (freeBytes when
    // unset) and extentSharingBlock report; the platform's own when unset.
    std::optional<std::int64_t> freeBytes;
    std::optional<std::int64_t> availableBytes;
    std::optional<std::int64_t> sharingBlock;
    // The figure largestFileSize reports for paths under each folder (the
    // longest that holds the path wins); the platform's own elsewhere.
    std::map<std::string, std::int64_t> largestFileUnder;

    // Runs before every call, with its kind and path (before any fault).
    std::function<void(IoCall, const std::string&)> beforeCall;

    // Calls of kind `call` made so far, on any path.
    int calls(IoCall call) const { return counts_[static_cast<std::size_t>(call)]; }
    // True once a planned fault has been injected.
    bool faultInjected() const { return faultInjected_; }
    // True once every planned fault has been injected at least once.
    bool everyFaultInjected() const;
    // Calls of kind `call` made up to the first injected fault, that call
    // included; 0 before any.
    int callsAtFirstFault(IoCall call) const { return callsAtFirstFault_[static_cast<std::size_t>(call)]; }

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
    std::string lastError() override;

    // Counts the call and tells whether it must fail. Used by the files too.
    bool fails(IoCall call, const std::string& path);

private:
    struct Fault {
        IoCall call;
        int nth;
        PathFilter filter;
        bool persistent = false;
        int seen = 0;
        bool injected = false;
    };
    std::vector<Fault> faults_;
    std::array<int, kAllIoCalls.size()> counts_{};
    std::array<int, kAllIoCalls.size()> callsAtFirstFault_{};
    bool faultInjected_ = false;
};
