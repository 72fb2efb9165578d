#include "faulty_file_system.h"

#include <algorithm>

namespace {

// Whether this thread's latest call was an injected fault, so that lastError()
// answers for the call the engine just saw fail, as the platform's does.
thread_local bool latestCallInjected = false;

class FaultyFile : public File {
public:
    FaultyFile(std::unique_ptr<File> file, std::string path, FaultyFileSystem& owner)
        : file_(std::move(file)), path_(std::move(path)), owner_(owner)
    {
    }

    std::int64_t size() override { return owner_.fails(IoCall::Size, path_) ? -1 : file_->size(); }

    bool isRegularFile() override
    {
        return owner_.fails(IoCall::IsRegularFile, path_) ? false : file_->isRegularFile();
    }

    std::optional<FileIdentity> identity() override
    {
        if (owner_.fails(IoCall::Identity, path_))
            return std::nullopt;
        return file_->identity();
    }

    std::int64_t read(void* buffer, std::int64_t count) override
    {
        if (owner_.fails(IoCall::Read, path_))
            return owner_.readFaultIsEarlyEnd ? 0 : -1;
        return file_->read(buffer, count);
    }

    bool write(const void* buffer, std::int64_t count) override
    {
        if (owner_.fails(IoCall::Write, path_)) {
            file_->write(buffer, count / 2);
            return false;
        }
        return file_->write(buffer, count);
    }

    // Every file of a job comes from one file system, this one, so `source` is
    // a FaultyFile too; the platform's own copy is handed the platform's file
    // that it wraps, never this wrapper.
    std::int64_t copyFrom(File& source, std::int64_t count) override
    {
        if (!owner_.inKernelCopy)
            return kCopyNotSupported;
        if (owner_.fails(IoCall::CopyFrom, path_))
            return -1;
        return file_->copyFrom(*static_cast<FaultyFile&>(source).file_, count);
    }

    void startWriteback(std::int64_t offset, std::int64_t count) override
    {
        if (!owner_.fails(IoCall::StartWriteback, path_))
            file_->startWriteback(offset, count);
    }

    bool seek(std::int64_t offset) override { return owner_.fails(IoCall::Seek, path_) ? false : file_->seek(offset); }

    bool truncate(std::int64_t length) override
    {
        return owner_.fails(IoCall::Truncate, path_) ? false : file_->truncate(length);
    }

    bool flush() override { return owner_.fails(IoCall::Flush, path_) ? false : file_->flush(); }

    bool lockExclusive() override
    {
        return owner_.fails(IoCall::LockExclusive, path_) ? false : file_->lockExclusive();
    }

    bool close() override
    {
        const bool fail = owner_.fails(IoCall::Close, path_);
        return file_->close() && !fail;
    }

    std::int64_t position() override { return owner_.fails(IoCall::Position, path_) ? -1 : file_->position(); }

    std::optional<DataRange> dataRange(std::int64_t offset) override
    {
        if (owner_.fails(IoCall::DataRange, path_))
            return std::nullopt;
        return file_->dataRange(offset);
    }

    bool takePermissionsOf(const FileIdentity& original) override
    {
        return owner_.fails(IoCall::TakePermissionsOf, path_) ? false : file_->takePermissionsOf(original);
    }

    bool setModified(std::int64_t modified) override
    {
        return owner_.fails(IoCall::SetModified, path_) ? false : file_->setModified(modified);
    }

    bool untouchedByWriters() override
    {
        return owner_.fails(IoCall::UntouchedByWriters, path_) ? false : file_->untouchedByWriters();
    }

private:
    std::unique_ptr<File> file_;
    std::string path_;
    FaultyFileSystem& owner_;
};

}  // namespace

const char* IoCallName(IoCall call)
{
    switch (call) {
    case IoCall::OpenForReading: return "openForReading";
    case IoCall::CreateNew: return "createNew";
    case IoCall::OpenForUpdate: return "openForUpdate";
    case IoCall::RenameNoReplace: return "renameNoReplace";
    case IoCall::Exists: return "exists";
    case IoCall::IdentityAt: return "identityAt";
    case IoCall::RemoveIfSame: return "removeIfSame";
    case IoCall::CommitFolder: return "commitFolder";
    case IoCall::Identity: return "identity";
    case IoCall::Read: return "read";
    case IoCall::Write: return "write";
    case IoCall::CopyFrom: return "copyFrom";
    case IoCall::StartWriteback: return "startWriteback";
    case IoCall::Seek: return "seek";
    case IoCall::Truncate: return "truncate";
    case IoCall::Flush: return "flush";
    case IoCall::LockExclusive: return "lockExclusive";
    case IoCall::Close: return "close";
    case IoCall::Size: return "size";
    case IoCall::IsRegularFile: return "isRegularFile";
    case IoCall::IsPlainName: return "isPlainName";
    case IoCall::KeepsFileIds: return "keepsFileIds";
    case IoCall::OpenGuarded: return "openGuarded";
    case IoCall::UntouchedByWriters: return "untouchedByWriters";
    case IoCall::Position: return "position";
    case IoCall::DataRange: return "dataRange";
    case IoCall::TakePermissionsOf: return "takePermissionsOf";
    case IoCall::SetModified: return "setModified";
    case IoCall::OpenForCutting: return "openForCutting";
    }
    return "?";
}

PathFilter PathContains(std::string part)
{
    return [part = std::move(part)](const std::string& path) { return path.find(part) != std::string::npos; };
}

PathFilter PathIs(std::string expected)
{
    return [expected = std::move(expected)](const std::string& path) { return path == expected; };
}

void FaultyFileSystem::failCall(IoCall call, int nth, PathFilter filter)
{
    faults_.push_back({call, nth, std::move(filter)});
}

void FaultyFileSystem::failCallsFrom(IoCall call, int nth, PathFilter filter)
{
    faults_.push_back({call, nth, std::move(filter), true});
}

bool FaultyFileSystem::everyFaultInjected() const
{
    return std::all_of(faults_.begin(), faults_.end(), [](const Fault& fault) { return fault.injected; });
}

bool FaultyFileSystem::fails(IoCall call, const std::string& path)
{
    if (beforeCall)
        beforeCall(call, path);
    ++counts_[static_cast<std::size_t>(call)];
    bool fail = false;
    for (Fault& fault : faults_) {
        if (fault.call != call || (fault.filter && !fault.filter(path)))
            continue;
        ++fault.seen;
        if (fault.seen == fault.nth || (fault.persistent && fault.seen > fault.nth))
            fault.injected = fail = true;
    }
    if (fail && !faultInjected_)
        callsAtFirstFault_ = counts_;
    faultInjected_ = faultInjected_ || fail;
    latestCallInjected = fail;
    return fail;
}

std::unique_ptr<File> FaultyFileSystem::openForReading(const std::string& path)
{
    if (fails(IoCall::OpenForReading, path))
        return nullptr;
    std::unique_ptr<File> file = platformFileSystem().openForReading(path);
    return file ? std::make_unique<FaultyFile>(std::move(file), path, *this) : nullptr;
}

GuardedFile FaultyFileSystem::openGuarded(const std::string& path)
{
    if (fails(IoCall::OpenGuarded, path))
        return GuardedFile{};
    GuardedFile opened = platformFileSystem().openGuarded(path);
    if (opened.file)
        opened.file = std::make_unique<FaultyFile>(std::move(opened.file), path, *this);
    return opened;
}

GuardedFile FaultyFileSystem::openForCutting(const std::string& path)
{
    if (fails(IoCall::OpenForCutting, path))
        return GuardedFile{};
    GuardedFile opened = platformFileSystem().openForCutting(path);
    if (opened.file)
        opened.file = std::make_unique<FaultyFile>(std::move(opened.file), path, *this);
    return opened;
}

std::unique_ptr<File> FaultyFileSystem::createNew(const std::string& path)
{
    if (fails(IoCall::CreateNew, path))
        return nullptr;
    std::unique_ptr<File> file = platformFileSystem().createNew(path);
    return file ? std::make_unique<FaultyFile>(std::move(file), path, *this) : nullptr;
}

std::unique_ptr<File> FaultyFileSystem::openForUpdate(const std::string& path)
{
    if (fails(IoCall::OpenForUpdate, path))
        return nullptr;
    std::unique_ptr<File> file = platformFileSystem().openForUpdate(path);
    return file ? std::make_unique<FaultyFile>(std::move(file), path, *this) : nullptr;
}

bool FaultyFileSystem::renameNoReplace(const std::string& from, const std::string& to)
{
    return fails(IoCall::RenameNoReplace, from) ? false : platformFileSystem().renameNoReplace(from, to);
}

bool FaultyFileSystem::exists(const std::string& path)
{
    return fails(IoCall::Exists, path) ? true : platformFileSystem().exists(path);
}

bool FaultyFileSystem::isPlainName(const std::string& path)
{
    return fails(IoCall::IsPlainName, path) ? false : platformFileSystem().isPlainName(path);
}

bool FaultyFileSystem::keepsFileIds(const std::string& path)
{
    return fails(IoCall::KeepsFileIds, path) ? false : platformFileSystem().keepsFileIds(path);
}

std::optional<FileIdentity> FaultyFileSystem::identityAt(const std::string& path)
{
    if (fails(IoCall::IdentityAt, path))
        return std::nullopt;
    return platformFileSystem().identityAt(path);
}

bool FaultyFileSystem::removeIfSame(const std::string& path, const FileIdentity& expected)
{
    return fails(IoCall::RemoveIfSame, path) ? false : platformFileSystem().removeIfSame(path, expected);
}

bool FaultyFileSystem::commitFolder(const std::string& path)
{
    return fails(IoCall::CommitFolder, path) ? false : platformFileSystem().commitFolder(path);
}

std::int64_t FaultyFileSystem::largestFileSize(const std::string& path)
{
    std::size_t longest = 0;
    std::optional<std::int64_t> largest;
    for (const auto& [folder, size] : largestFileUnder) {
        if (path.compare(0, folder.size(), folder) == 0 && folder.size() >= longest) {
            longest = folder.size();
            largest = size;
        }
    }
    return largest ? *largest : platformFileSystem().largestFileSize(path);
}

std::int64_t FaultyFileSystem::volumeFreeBytes(const std::string& path)
{
    return freeBytes ? *freeBytes : platformFileSystem().volumeFreeBytes(path);
}

std::string FaultyFileSystem::lastError()
{
    return latestCallInjected ? kInjectedFault : platformFileSystem().lastError();
}

std::int64_t FaultyFileSystem::volumeAvailableBytes(const std::string& path)
{
    if (availableBytes)
        return *availableBytes;
    return freeBytes ? *freeBytes : platformFileSystem().volumeAvailableBytes(path);
}

std::int64_t FaultyFileSystem::extentSharingBlock(const std::string& path)
{
    return sharingBlock ? *sharingBlock : platformFileSystem().extentSharingBlock(path);
}
