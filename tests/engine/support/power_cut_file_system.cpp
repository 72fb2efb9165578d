#include "power_cut_file_system.h"

#include "file_size_limit.h"

#include <algorithm>
#include <set>

#include "job_state.h"

namespace {

const std::string kPowerOff = "Input/output error (the power is off)";
const std::string kNoSuchFile = "No such file or directory";
const std::string kBadHandle = "Bad file descriptor";

std::string Leaf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// An open file: a position in one inode, and whether it may write.
class PowerCutFile : public File {
public:
    PowerCutFile(PowerCutFileSystem& owner, std::uint64_t fileId, std::string path, bool writable)
        : owner_(owner), fileId_(fileId), path_(std::move(path)), writable_(writable)
    {
    }
    ~PowerCutFile() override { releaseLock(); }

    std::int64_t size() override { return begin("size") ? static_cast<std::int64_t>(inode().current.size()) : -1; }

    bool isRegularFile() override { return begin("isRegularFile"); }

    std::optional<FileIdentity> identity() override
    {
        if (!begin("identity"))
            return std::nullopt;
        return owner_.identityOf(fileId_);
    }

    std::int64_t read(void* buffer, std::int64_t count) override
    {
        if (!begin("read " + std::to_string(count)))
            return -1;
        const std::string got = take(count);
        std::copy(got.begin(), got.end(), static_cast<char*>(buffer));
        return static_cast<std::int64_t>(got.size());
    }

    bool write(const void* buffer, std::int64_t count) override
    {
        if (!begin("write " + std::to_string(count)) || !mayWrite())
            return false;
        put(static_cast<const char*>(buffer), count);
        return true;
    }

    // One operation whose bytes land in this file as a write()'s do: pending
    // until its flush. Every file of a job comes from one file system, so
    // `source` is a file of this one.
    std::int64_t copyFrom(File& source, std::int64_t count) override
    {
        if (!owner_.inKernelCopy)
            return kCopyNotSupported;
        PowerCutFile& from = static_cast<PowerCutFile&>(source);
        if (!begin("copyFrom " + std::to_string(count) + " " + from.path_ + " to") || !mayWrite())
            return -1;
        if (!from.open_ || count < 0) {
            refuse(from.open_ ? "Invalid argument" : kBadHandle);
            return -1;
        }
        const std::string bytes = from.take(count);
        put(bytes.data(), static_cast<std::int64_t>(bytes.size()));
        return static_cast<std::int64_t>(bytes.size());
    }

    // Early writeback makes nothing durable that a flush has not: the disks a
    // cut may leave stay the same.
    void startWriteback(std::int64_t offset, std::int64_t count) override
    {
        begin("startWriteback " + std::to_string(offset) + " " + std::to_string(count));
    }

    bool seek(std::int64_t offset) override
    {
        if (!begin("seek " + std::to_string(offset)))
            return false;
        if (offset < 0)
            return refuse("Invalid argument");
        position_ = offset;
        return true;
    }

    bool truncate(std::int64_t length) override
    {
        if (!begin("truncate " + std::to_string(length)) || !mayWrite())
            return false;
        if (length < 0)
            return refuse("Invalid argument");
        inode().current.resize(static_cast<std::size_t>(length), '\0');
        inode().modified = owner_.nextModification();
        position_ = length;
        return true;
    }

    bool flush() override
    {
        if (!begin("flush"))
            return false;
        inode().durable = inode().current;
        if (owner_.profile == DiskProfile::Windows)
            owner_.commitNamesUpTo(fileId_);
        return true;
    }

    bool lockExclusive() override
    {
        if (!begin("lockExclusive"))
            return false;
        const void*& holder = inode().lockHolder;
        if (holder != nullptr && holder != this)
            return refuse("Resource temporarily unavailable");
        holder = this;
        return true;
    }

    std::int64_t position() override { return begin("position") ? position_ : -1; }

    // This disk keeps no holes: all of it is data.
    std::optional<DataRange> dataRange(std::int64_t offset) override
    {
        if (!begin("dataRange " + std::to_string(offset)))
            return std::nullopt;
        const std::int64_t length = static_cast<std::int64_t>(inode().current.size());
        return DataRange{std::clamp<std::int64_t>(offset, 0, length), length};
    }

    bool takePermissionsOf(const FileIdentity& original) override
    {
        if (!begin("takePermissionsOf") || !mayWrite())
            return false;
        inode().permissions = original.permissions;
        inode().owner = original.owner;
        inode().group = original.group;
        return true;
    }

    bool setModified(std::int64_t modified) override
    {
        if (!begin("setModified " + std::to_string(modified)) || !mayWrite())
            return false;
        inode().modified = modified;
        return true;
    }

    // No other program writes to this disk.
    bool untouchedByWriters() override { return begin("untouchedByWriters"); }

    // A close that meets the power cut still lets the file go, as the kernel does.
    bool close() override
    {
        const bool carriedOut = begin("close");
        releaseLock();
        open_ = false;
        return carriedOut;
    }

private:
    // Starts the call on the file system, then checks that the file is open.
    bool begin(const std::string& call)
    {
        if (!owner_.beginCall(call + " " + path_))
            return false;
        return open_ || refuse(kBadHandle);
    }
    bool mayWrite() { return writable_ || refuse(kBadHandle); }
    // Up to `count` bytes from the position on; moves past them.
    std::string take(std::int64_t count)
    {
        const std::string& bytes = inode().current;
        const std::int64_t at = std::min<std::int64_t>(position_, static_cast<std::int64_t>(bytes.size()));
        const std::int64_t available = static_cast<std::int64_t>(bytes.size()) - at;
        std::string got = bytes.substr(static_cast<std::size_t>(at),
                                       static_cast<std::size_t>(std::clamp<std::int64_t>(count, 0, available)));
        position_ += static_cast<std::int64_t>(got.size());
        return got;
    }
    // Puts `count` bytes at the position, as pending contents, and moves past them.
    void put(const char* buffer, std::int64_t count)
    {
        std::string& bytes = inode().current;
        const std::size_t end = static_cast<std::size_t>(position_ + count);
        if (bytes.size() < end)
            bytes.resize(end, '\0');
        std::copy_n(buffer, count, bytes.begin() + position_);
        position_ += count;
        inode().modified = owner_.nextModification();
    }
    bool refuse(const std::string& reason)
    {
        owner_.fail(reason);
        return false;
    }
    PowerCutFileSystem::Inode& inode() { return *owner_.inode(fileId_); }
    void releaseLock()
    {
        if (open_ && inode().lockHolder == this)
            inode().lockHolder = nullptr;
    }

    PowerCutFileSystem& owner_;
    std::uint64_t fileId_;
    std::string path_;
    bool writable_;
    bool open_ = true;
    std::int64_t position_ = 0;
};

PowerCutFileSystem::PowerCutFileSystem(const DiskImage& disk)
{
    for (const auto& [path, file] : disk) {
        disk_.inodes[file.fileId] = Inode{file.bytes, file.bytes, file.modified};
        disk_.names[path] = disk_.durableNames[path] = file.fileId;
        nextFileId_ = std::max(nextFileId_, file.fileId + 1);
        modifications_ = std::max(modifications_, file.modified);
    }
}

void PowerCutFileSystem::addFile(const std::string& path, const std::string& bytes)
{
    const std::uint64_t fileId = nextFileId_++;
    disk_.inodes[fileId] = Inode{bytes, bytes, nextModification()};
    disk_.names[path] = disk_.durableNames[path] = fileId;
}

DiskImage PowerCutFileSystem::image() const
{
    DiskImage image;
    for (const auto& [path, fileId] : disk_.names) {
        const Inode& file = disk_.inodes.at(fileId);
        image[path] = StoredFile{fileId, file.current, file.modified};
    }
    return image;
}

void PowerCutFileSystem::cutPowerAfter(std::int64_t operations)
{
    cutAfter_ = operations;
}

std::vector<std::string> PowerCutFileSystem::lastOperations(std::size_t count) const
{
    const std::size_t first = log_.size() > count ? log_.size() - count : 0;
    return std::vector<std::string>(log_.begin() + static_cast<std::ptrdiff_t>(first), log_.end());
}

bool PowerCutFileSystem::beginCall(const std::string& description)
{
    if (!cut_ && cutAfter_ && operations() >= *cutAfter_)
        cut_ = true;
    if (cut_) {
        fail(kPowerOff);
        return false;
    }
    log_.push_back(std::to_string(log_.size() + 1) + ": " + description);
    return true;
}

PowerCutFileSystem::Inode* PowerCutFileSystem::inode(std::uint64_t fileId)
{
    return &disk_.inodes.at(fileId);
}

void PowerCutFileSystem::NameChange::applyTo(Names& names) const
{
    if (!renamedFrom.empty())
        names.erase(renamedFrom);
    if (fileId == 0)
        names.erase(path);
    else
        names[path] = fileId;
}

FileIdentity PowerCutFileSystem::identityOf(std::uint64_t fileId) const
{
    const Inode& file = disk_.inodes.at(fileId);
    return FileIdentity{kVolume, fileId, static_cast<std::int64_t>(file.current.size()), file.modified, 1,
                        file.permissions, file.owner, file.group};
}

void PowerCutFileSystem::setName(const std::string& path, std::uint64_t fileId)
{
    const auto before = disk_.names.find(path);
    const NameChange change{path, fileId, {}, before == disk_.names.end() ? 0 : before->second};
    change.applyTo(disk_.names);
    disk_.pendingNames.push_back(change);
}

void PowerCutFileSystem::commitNamesUpTo(std::uint64_t fileId)
{
    std::vector<NameChange>& pending = disk_.pendingNames;
    const auto last = std::find_if(pending.rbegin(), pending.rend(),
                                   [&](const NameChange& change) { return change.concerns(fileId); });
    const auto end = last.base();
    for (auto change = pending.begin(); change != end; ++change)
        change->applyTo(disk_.durableNames);
    pending.erase(pending.begin(), end);
}

std::unique_ptr<File> PowerCutFileSystem::openFile(const std::string& path, bool writable)
{
    const auto name = disk_.names.find(path);
    if (name == disk_.names.end()) {
        fail(kNoSuchFile);
        return nullptr;
    }
    return std::make_unique<PowerCutFile>(*this, name->second, path, writable);
}

std::unique_ptr<File> PowerCutFileSystem::openForReading(const std::string& path)
{
    return beginCall("openForReading " + path) ? openFile(path, false) : nullptr;
}

GuardedFile PowerCutFileSystem::openGuarded(const std::string& path)
{
    return GuardedFile{beginCall("openGuarded " + path) ? openFile(path, false) : nullptr};
}

GuardedFile PowerCutFileSystem::openForCutting(const std::string& path)
{
    return GuardedFile{beginCall("openForCutting " + path) ? openFile(path, true) : nullptr};
}

std::unique_ptr<File> PowerCutFileSystem::createNew(const std::string& path)
{
    if (!beginCall("createNew " + path))
        return nullptr;
    if (disk_.names.count(path) != 0) {
        fail("File exists");
        return nullptr;
    }
    const std::uint64_t fileId = nextFileId_++;
    disk_.inodes[fileId] = Inode{{}, {}, nextModification(), {}, {}};
    disk_.inodes[fileId].permissions = 0600;
    setName(path, fileId);
    return openFile(path, true);
}

std::unique_ptr<File> PowerCutFileSystem::openForUpdate(const std::string& path)
{
    return beginCall("openForUpdate " + path) ? openFile(path, true) : nullptr;
}

// Within one folder only, so that one commit of that folder makes it durable.
bool PowerCutFileSystem::renameNoReplace(const std::string& from, const std::string& to)
{
    if (!beginCall("renameNoReplace " + from + " " + to))
        return false;
    if (FolderOf(from) != FolderOf(to)) {
        fail("This disk renames within one folder only");
        return false;
    }
    const auto name = disk_.names.find(from);
    if (name == disk_.names.end()) {
        fail(kNoSuchFile);
        return false;
    }
    if (disk_.names.count(to) != 0) {
        fail("File exists");
        return false;
    }
    const std::uint64_t fileId = name->second;
    const NameChange change{to, fileId, from, 0};
    change.applyTo(disk_.names);
    disk_.pendingNames.push_back(change);
    return true;
}

// Without power nothing can be told, and a careful caller takes a name it
// cannot look up for one in use.
bool PowerCutFileSystem::exists(const std::string& path)
{
    return !beginCall("exists " + path) || disk_.names.count(path) != 0 || folders.count(path) != 0;
}

// The disk has no links of its own: every name is a plain file's only one,
// but for those a test says have a second name elsewhere.
bool PowerCutFileSystem::isPlainName(const std::string& path)
{
    if (!beginCall("isPlainName " + path))
        return false;
    if (disk_.names.count(path) == 0)
        return (fail(kNoSuchFile), false);
    return linkedNames.count(path) == 0 || (fail("Not a plain file with one name"), false);
}

bool PowerCutFileSystem::keepsFileIds(const std::string& path)
{
    return beginCall("keepsFileIds " + path);
}

std::optional<FileIdentity> PowerCutFileSystem::identityAt(const std::string& path)
{
    if (!beginCall("identityAt " + path))
        return std::nullopt;
    const auto name = disk_.names.find(path);
    if (name == disk_.names.end()) {
        fail(kNoSuchFile);
        return std::nullopt;
    }
    return identityOf(name->second);
}

bool PowerCutFileSystem::removeIfSame(const std::string& path, const FileIdentity& expected)
{
    if (!beginCall("removeIfSame " + path))
        return false;
    const auto name = disk_.names.find(path);
    if (name == disk_.names.end()) {
        fail(kNoSuchFile);
        return false;
    }
    if (expected.volume != kVolume || expected.fileId != name->second) {
        fail("The name reaches another file now");
        return false;
    }
    setName(path, 0);
    return true;
}

bool PowerCutFileSystem::commitFolder(const std::string& path)
{
    if (!beginCall("commitFolder " + path))
        return false;
    if (profile == DiskProfile::Windows)
        return true;
    const std::string folder = FolderOf(path);
    const auto inFolder = [&](const auto& entry) { return FolderOf(entry.first) == folder; };
    std::erase_if(disk_.durableNames, inFolder);
    for (const auto& entry : disk_.names)
        if (inFolder(entry))
            disk_.durableNames.insert(entry);
    std::erase_if(disk_.pendingNames, [&](const NameChange& change) { return FolderOf(change.path) == folder; });
    return true;
}

// The disk in memory holds files of any size.
std::int64_t PowerCutFileSystem::largestFileSize(const std::string& path)
{
    beginCall("largestFileSize " + path);
    return kNoFileSizeLimit;
}

std::int64_t PowerCutFileSystem::volumeFreeBytes(const std::string& path)
{
    return beginCall("volumeFreeBytes " + path) ? kFreeBytes : FREE_QUERY_FAILED;
}

std::int64_t PowerCutFileSystem::volumeAvailableBytes(const std::string& path)
{
    return beginCall("volumeAvailableBytes " + path) ? availableBytes : FREE_QUERY_FAILED;
}

std::int64_t PowerCutFileSystem::extentSharingBlock(const std::string& path)
{
    beginCall("extentSharingBlock " + path);
    return 0;  // every copy takes room of its own
}

// ---------------------------------------------------------------------------
// The disks a power cut may leave.
//
// Which names survive and which contents survive are chosen independently (a
// file system writes a folder's blocks and a file's blocks separately), and
// every choice of names is combined with every choice of contents:
//
// Names, from the changes made since each folder's last commit:
// - none kept, and every prefix in the order they were made, up to all of them
//   kept: a journaling file system (ext4, XFS) commits its metadata in order;
// - each net change of one name kept alone, and dropped alone, when there are
//   two or more: others write folder blocks in any order, and a single change
//   out of order is where a job that counts on an order shows it. A rename is
//   atomic on every one of them: the names it ties together (its old and new
//   name, and any name tied to those by another rename) change together, kept
//   or dropped as one, so a file never shows under both names or under none.
//   On the Windows profile only the prefixes: NTFS replays its log in order.
// Contents, of every file whose bytes or length changed since its last flush:
// - all of it lost, and all of it kept;
// - for each such file, with the others kept: its change lost alone; half of it
//   kept (the length halfway between the flushed and the current one, bytes up
//   to there as written, the flushed bytes beyond); and, for a file that grew,
//   the new length kept with zeros for the bytes not yet written, as a file
//   system that logs lengths before data (ext4 writeback, older XFS) leaves it,
//   and once more with garbage there (never zero, never the byte written), as
//   sectors allocated to the file and never written show what they held.
// A file that no surviving name reaches is gone, as fsck leaves it. Identical
// disks reached by different choices are kept once, under the first name.
namespace {

using Names = PowerCutFileSystem::Names;
// What survives of a file with pending changes.
using Contents = std::map<std::uint64_t, std::string>;

struct Choice {
    std::string description;
    Names names;
};
struct ContentsChoice {
    std::string description;
    Contents contents;
};

void Apply(Names& names, const std::string& path, std::uint64_t fileId)
{
    if (fileId == 0)
        names.erase(path);
    else
        names[path] = fileId;
}

// How the names of one unit changed between the durable names and the current ones.
struct NetChange {
    std::string path;
    std::uint64_t before, after;  // 0: no file
};

// "rename of a to b" for a unit that moves one file, else each change in turn.
std::string Described(const std::vector<NetChange>& unit)
{
    if (unit.size() == 2 && unit[0].before == unit[1].after && unit[0].after == unit[1].before) {
        const NetChange& gone = unit[0].after == 0 ? unit[0] : unit[1];
        const NetChange& made = unit[0].after == 0 ? unit[1] : unit[0];
        if (gone.after == 0 && made.before == 0)
            return "rename of " + Leaf(gone.path) + " to " + Leaf(made.path);
    }
    std::string text;
    for (const NetChange& change : unit)
        text += (text.empty() ? "" : " and ") + std::string(change.after == 0 ? "removal of " : "creation of ") +
                Leaf(change.path);
    return text;
}

std::string HalfKept(const std::string& durable, const std::string& current)
{
    const std::size_t length = (durable.size() + current.size()) / 2;
    std::string bytes(length, '\0');
    for (std::size_t at = 0; at < length; ++at)
        bytes[at] = at < current.size() ? current[at] : durable[at];
    return bytes;
}

std::string LengthKeptBytesZero(const std::string& durable, const std::string& current)
{
    std::string bytes = durable;
    bytes.resize(current.size(), '\0');
    return bytes;
}

// Stale bytes where `current` grew past `durable`: each one differs from zero
// and from the byte written there, so that neither passes for the other.
std::string LengthKeptBytesGarbage(const std::string& durable, const std::string& current)
{
    std::string bytes = LengthKeptBytesZero(durable, current);
    for (std::size_t at = durable.size(); at < current.size(); ++at) {
        const char stale = static_cast<char>(current[at] ^ 0xA5);
        bytes[at] = stale != 0 ? stale : static_cast<char>(current[at] ^ 0x5A);
    }
    return bytes;
}

}  // namespace

std::vector<SurvivingState> PowerCutFileSystem::survivingStates() const
{
    const Disk& disk = disk_;

    std::vector<Choice> nameChoices;
    const std::size_t pending = disk.pendingNames.size();
    Names prefix = disk.durableNames;
    for (std::size_t kept = 0;; ++kept) {
        const std::string description = pending == 0       ? "no name change pending"
                                        : kept == 0       ? "no pending name change kept"
                                        : kept == pending ? "every pending name change kept"
                                                          : "the first " + std::to_string(kept) + " of " +
                                                                std::to_string(pending) + " pending name changes kept";
        nameChoices.push_back({description, prefix});
        if (kept == pending)
            break;
        disk.pendingNames[kept].applyTo(prefix);
    }

    // The names each pending change touches; a rename ties its two together.
    std::vector<std::set<std::string>> tied;
    for (const NameChange& change : disk.pendingNames) {
        std::set<std::string> paths{change.path};
        if (!change.renamedFrom.empty())
            paths.insert(change.renamedFrom);
        std::erase_if(tied, [&](const std::set<std::string>& group) {
            const bool overlaps = std::any_of(group.begin(), group.end(),
                                              [&](const std::string& path) { return paths.count(path) != 0; });
            if (overlaps)
                paths.insert(group.begin(), group.end());
            return overlaps;
        });
        tied.push_back(paths);
    }
    std::sort(tied.begin(), tied.end());

    std::vector<std::vector<NetChange>> units;
    for (const std::set<std::string>& group : tied) {
        std::vector<NetChange> unit;
        for (const std::string& path : group) {
            const auto before = disk.durableNames.find(path);
            const auto after = disk.names.find(path);
            const std::uint64_t was = before == disk.durableNames.end() ? 0 : before->second;
            const std::uint64_t is = after == disk.names.end() ? 0 : after->second;
            if (was != is)
                unit.push_back({path, was, is});
        }
        if (!unit.empty())
            units.push_back(unit);
    }
    if (units.size() >= 2 && profile == DiskProfile::Posix) {
        for (const std::vector<NetChange>& unit : units) {
            const std::string what = Described(unit);
            Names alone = disk.durableNames;
            Names allBut = disk.names;
            for (const NetChange& change : unit) {
                Apply(alone, change.path, change.after);
                Apply(allBut, change.path, change.before);
            }
            nameChoices.push_back({"only the " + what + " kept", alone});
            nameChoices.push_back({"every pending name change but the " + what + " kept", allBut});
        }
    }

    // Files that some name may reach after the cut and whose contents changed since their flush.
    std::set<std::uint64_t> reachable;
    for (const Names* names : {&disk.names, &disk.durableNames})
        for (const auto& entry : *names)
            reachable.insert(entry.second);
    std::vector<std::uint64_t> unflushed;
    for (const std::uint64_t fileId : reachable) {
        const Inode& file = disk.inodes.at(fileId);
        if (file.durable != file.current)
            unflushed.push_back(fileId);
    }
    const auto nameOf = [&](std::uint64_t fileId) {
        for (const Names* names : {&disk.names, &disk.durableNames})
            for (const auto& [path, id] : *names)
                if (id == fileId)
                    return Leaf(path);
        return "file #" + std::to_string(fileId);
    };
    Contents allKept;
    for (const std::uint64_t fileId : unflushed)
        allKept[fileId] = disk.inodes.at(fileId).current;

    std::vector<ContentsChoice> contentsChoices{{"unflushed data lost", {}}, {"unflushed data kept", allKept}};
    for (const std::uint64_t fileId : unflushed) {
        const Inode& file = disk.inodes.at(fileId);
        const std::string name = nameOf(fileId);
        Contents choice = allKept;
        if (unflushed.size() >= 2) {
            choice.erase(fileId);
            contentsChoices.push_back({"unflushed data of " + name + " alone lost", choice});
        }
        choice[fileId] = HalfKept(file.durable, file.current);
        contentsChoices.push_back({"half the unflushed data of " + name + " kept", choice});
        if (file.current.size() > file.durable.size()) {
            choice[fileId] = LengthKeptBytesZero(file.durable, file.current);
            contentsChoices.push_back({"new length of " + name + " kept, its new bytes zero", choice});
            choice[fileId] = LengthKeptBytesGarbage(file.durable, file.current);
            contentsChoices.push_back({"new length of " + name + " kept, its new bytes garbage", choice});
        }
    }
    std::vector<SurvivingState> states;
    std::set<DiskImage> seen;
    for (const Choice& names : nameChoices) {
        for (const ContentsChoice& contents : contentsChoices) {
            DiskImage image;
            for (const auto& [path, fileId] : names.names) {
                const Inode& file = disk.inodes.at(fileId);
                const auto survived = contents.contents.find(fileId);
                const bool kept = survived != contents.contents.end();
                image[path] = {fileId, kept ? survived->second : file.durable, file.modified};
            }
            if (seen.insert(image).second)
                states.push_back({"names: " + names.description + "; data: " + contents.description, image});
        }
    }
    return states;
}
