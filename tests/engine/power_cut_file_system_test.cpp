// The power-cut file system itself: what survives a cut must be what POSIX
// (or NTFS, on the Windows profile) promises and no more, or the power-cut
// proof proves nothing.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "power_cut_file_system.h"

namespace {

const std::string kFile = "/disk/a";

void Write(File& file, const std::string& bytes)
{
    ASSERT_TRUE(file.write(bytes.data(), static_cast<std::int64_t>(bytes.size())));
}

// What `path` holds in each surviving state; empty for a state without it.
std::set<std::optional<std::string>> Outcomes(const PowerCutFileSystem& disk, const std::string& path)
{
    std::set<std::optional<std::string>> outcomes;
    for (const SurvivingState& state : disk.survivingStates()) {
        const auto file = state.disk.find(path);
        outcomes.insert(file == state.disk.end() ? std::nullopt : std::optional(file->second.bytes));
    }
    return outcomes;
}

using Names = std::set<std::string>;

// The names in each surviving state.
std::set<Names> NameSets(const PowerCutFileSystem& disk)
{
    std::set<Names> sets;
    for (const SurvivingState& state : disk.survivingStates()) {
        Names names;
        for (const auto& entry : state.disk)
            names.insert(entry.first);
        sets.insert(names);
    }
    return sets;
}

using Outcome = std::set<std::optional<std::string>>;
const std::string kGarbage = "<garbage>";

// `outcomes` with the one that keeps the new length of `written` with garbage
// past `durable` (every such byte neither zero nor the one written) told as
// kGarbage.
Outcome WithGarbageTold(Outcome outcomes, const std::string& durable, const std::string& written)
{
    const auto garbage = std::find_if(outcomes.begin(), outcomes.end(), [&](const std::optional<std::string>& bytes) {
        if (!bytes || bytes->size() != written.size() || bytes->compare(0, durable.size(), durable) != 0)
            return false;
        for (std::size_t at = durable.size(); at < written.size(); ++at)
            if ((*bytes)[at] == '\0' || (*bytes)[at] == written[at])
                return false;
        return true;
    });
    if (garbage != outcomes.end()) {
        outcomes.erase(garbage);
        outcomes.insert(kGarbage);
    }
    return outcomes;
}

TEST(PowerCutDurability, FlushedFileWhoseNameIsNotCommittedMayVanish)
{
    PowerCutFileSystem disk;
    auto file = disk.createNew(kFile);
    Write(*file, "abc");
    ASSERT_TRUE(file->flush());
    ASSERT_TRUE(file->close());
    EXPECT_EQ(Outcomes(disk, kFile), (Outcome{std::nullopt, "abc"}));
}

TEST(PowerCutDurability, UnflushedBytesMayBeLostKeptHalfKeptZeroOrGarbage)
{
    PowerCutFileSystem disk;
    auto file = disk.createNew(kFile);
    ASSERT_TRUE(disk.commitFolder(kFile));
    Write(*file, "abcd");
    EXPECT_EQ(WithGarbageTold(Outcomes(disk, kFile), "", "abcd"),
              (Outcome{"", "abcd", "ab", std::string(4, '\0'), kGarbage}));

    ASSERT_TRUE(file->flush());
    Write(*file, "ef");
    ASSERT_TRUE(file->truncate(5));
    EXPECT_EQ(WithGarbageTold(Outcomes(disk, kFile), "abcd", "abcde"),
              (Outcome{"abcd", "abcde", std::string("abcd\0", 5), kGarbage}))
        << "the half of one pending byte is none of it";

    ASSERT_TRUE(file->flush());
    ASSERT_TRUE(file->seek(0));
    Write(*file, "xy");
    EXPECT_EQ(Outcomes(disk, kFile), (Outcome{"abcde", "xycde"}))
        << "bytes rewritten within the flushed length are neither zero nor garbage";
}

TEST(PowerCutDurability, FlushedAndCommittedFileSurvivesWhole)
{
    PowerCutFileSystem disk;
    auto file = disk.createNew(kFile);
    Write(*file, "abc");
    ASSERT_TRUE(file->flush());
    ASSERT_TRUE(disk.commitFolder("/disk/other"));
    EXPECT_EQ(Outcomes(disk, kFile), (Outcome{"abc"}));
    EXPECT_EQ(disk.survivingStates().size(), 1u);
}

TEST(PowerCutDurability, RemovalIsPendingUntilTheFolderIsCommitted)
{
    PowerCutFileSystem disk;
    disk.addFile(kFile, "old");
    const std::optional<FileIdentity> identity = disk.identityAt(kFile);
    ASSERT_TRUE(identity);
    ASSERT_TRUE(disk.removeIfSame(kFile, *identity));
    EXPECT_FALSE(disk.exists(kFile));
    EXPECT_EQ(Outcomes(disk, kFile), (Outcome{std::nullopt, "old"}));
    ASSERT_TRUE(disk.commitFolder(kFile));
    EXPECT_EQ(Outcomes(disk, kFile), (Outcome{std::nullopt}));
}

TEST(PowerCutDurability, CommitCoversItsOwnFolderOnly)
{
    PowerCutFileSystem disk;
    ASSERT_TRUE(disk.createNew("/one/f"));
    ASSERT_TRUE(disk.createNew("/two/g"));
    ASSERT_TRUE(disk.commitFolder("/one/x"));
    EXPECT_EQ(Outcomes(disk, "/one/f"), (Outcome{""}));
    EXPECT_EQ(Outcomes(disk, "/two/g"), (Outcome{std::nullopt, ""}));
}

void Create(PowerCutFileSystem& disk, const std::string& path)
{
    ASSERT_TRUE(disk.createNew(path));
}

void Remove(PowerCutFileSystem& disk, const std::string& path)
{
    ASSERT_TRUE(disk.removeIfSame(path, *disk.identityAt(path)));
}

void Flush(PowerCutFileSystem& disk, const std::string& path)
{
    ASSERT_TRUE(disk.openForUpdate(path)->flush());
}

// Which names a cut may leave, on each profile. Every disk starts with
// /d/old and /d/piece, durable; the steps change names without a commit
// unless they say so.
TEST(PowerCutDurability, NamesSurviveAsEachProfilePromises)
{
    const auto createAThenBThenRemoveOld = [](PowerCutFileSystem& disk) {
        Create(disk, "/d/a");
        Create(disk, "/d/b");
        Remove(disk, "/d/old");
    };
    const struct {
        const char* name;
        DiskProfile profile;
        std::function<void(PowerCutFileSystem&)> steps;
        std::set<Names> expected;
    } cases[] = {
        {"POSIX: in order, and each change alone kept or dropped", DiskProfile::Posix, createAThenBThenRemoveOld,
         {// in order: none, a, a b, all
          {"/d/old", "/d/piece"}, {"/d/a", "/d/old", "/d/piece"}, {"/d/a", "/d/b", "/d/old", "/d/piece"},
          {"/d/a", "/d/b", "/d/piece"},
          // each change alone kept: a (above), b, the removal
          {"/d/b", "/d/old", "/d/piece"}, {"/d/piece"},
          // each change alone dropped: a, b, the removal (above)
          {"/d/b", "/d/piece"}, {"/d/a", "/d/piece"}}},
        {"Windows: in order only", DiskProfile::Windows, createAThenBThenRemoveOld,
         {{"/d/old", "/d/piece"}, {"/d/a", "/d/old", "/d/piece"}, {"/d/a", "/d/b", "/d/old", "/d/piece"},
          {"/d/a", "/d/b", "/d/piece"}}},
        {"POSIX: a folder commit keeps the names", DiskProfile::Posix,
         [](PowerCutFileSystem& disk) {
             Create(disk, "/d/a");
             ASSERT_TRUE(disk.commitFolder("/d/a"));
         },
         {{"/d/a", "/d/old", "/d/piece"}}},
        {"Windows: a folder commit keeps nothing", DiskProfile::Windows,
         [](PowerCutFileSystem& disk) {
             Create(disk, "/d/a");
             ASSERT_TRUE(disk.commitFolder("/d/a"));
         },
         {{"/d/old", "/d/piece"}, {"/d/a", "/d/old", "/d/piece"}}},
        {"Windows: a flush keeps its file's name and every name change before it", DiskProfile::Windows,
         [](PowerCutFileSystem& disk) {
             Create(disk, "/d/a");
             Create(disk, "/d/b");
             Create(disk, "/d/c");
             Flush(disk, "/d/b");
         },
         {{"/d/a", "/d/b", "/d/old", "/d/piece"}, {"/d/a", "/d/b", "/d/c", "/d/old", "/d/piece"}}},
        {"Windows: a flush keeps no name change after its file's last", DiskProfile::Windows,
         [](PowerCutFileSystem& disk) {
             ASSERT_TRUE(disk.renameNoReplace("/d/piece", "/d/out"));
             Remove(disk, "/d/old");
             Flush(disk, "/d/out");
         },
         {{"/d/old", "/d/out"}, {"/d/out"}}},
        {"Windows: a file's removal concerns it", DiskProfile::Windows,
         [](PowerCutFileSystem& disk) {
             auto old = disk.openForUpdate("/d/old");
             Create(disk, "/d/a");
             Remove(disk, "/d/old");
             Create(disk, "/d/b");
             ASSERT_TRUE(old->flush());
         },
         {{"/d/a", "/d/piece"}, {"/d/a", "/d/b", "/d/piece"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PowerCutFileSystem disk;
        disk.profile = c.profile;
        disk.addFile("/d/old", "x");
        disk.addFile("/d/piece", "y");
        c.steps(disk);
        EXPECT_EQ(NameSets(disk), c.expected);
    }
}

// A rename moves the entry whole: a cut before the folder's commit leaves the
// file under its old name or its new one, never under both or neither, in
// every order the other pending changes may take.
TEST(PowerCutDurability, RenameIsKeptOrLostWholeUntilTheFolderIsCommitted)
{
    PowerCutFileSystem disk;
    disk.addFile("/d/piece", "x");
    ASSERT_TRUE(disk.createNew("/d/other"));
    ASSERT_TRUE(disk.renameNoReplace("/d/piece", "/d/out"));
    EXPECT_FALSE(disk.exists("/d/piece"));
    EXPECT_TRUE(disk.exists("/d/out"));

    EXPECT_EQ(NameSets(disk), (std::set<Names>{{"/d/piece"}, {"/d/piece", "/d/other"}, {"/d/out", "/d/other"}, {"/d/out"}}));
    EXPECT_EQ(Outcomes(disk, "/d/out"), (Outcome{std::nullopt, "x"}));

    ASSERT_TRUE(disk.commitFolder("/d/out"));
    EXPECT_EQ(NameSets(disk), (std::set<Names>{{"/d/out", "/d/other"}}));
}

// Names tied by a chain of renames change as one: a created file renamed over
// a removed one's name, then renamed on.
TEST(PowerCutDurability, RenamesOfOneNameChangeTogether)
{
    PowerCutFileSystem disk;
    disk.addFile("/d/a", "old");
    disk.addFile("/d/z", "z");
    ASSERT_TRUE(disk.removeIfSame("/d/z", *disk.identityAt("/d/z")));
    ASSERT_TRUE(disk.renameNoReplace("/d/a", "/d/b"));
    auto fresh = disk.createNew("/d/a");
    ASSERT_TRUE(fresh);
    ASSERT_TRUE(disk.renameNoReplace("/d/b", "/d/c"));

    for (const SurvivingState& state : disk.survivingStates()) {
        int oldFile = 0;
        for (const auto& [path, file] : state.disk)
            oldFile += file.bytes == "old" ? 1 : 0;
        EXPECT_EQ(oldFile, 1) << state.variant << ": the renamed file must be under exactly one name";
    }
    const std::vector<SurvivingState> states = disk.survivingStates();
    EXPECT_TRUE(std::any_of(states.begin(), states.end(), [](const SurvivingState& state) {
        return state.disk.count("/d/z") != 0 && state.disk.count("/d/c") != 0;
    })) << "the removal of z may still be dropped alone, out of order";
}

TEST(PowerCutDurability, CopiedBytesArePendingLikeWrittenOnes)
{
    PowerCutFileSystem disk;
    disk.addFile("/d/source", "abcdef");
    auto source = disk.openForReading("/d/source");
    auto target = disk.createNew(kFile);
    ASSERT_TRUE(disk.commitFolder(kFile));
    ASSERT_TRUE(source->seek(2));
    EXPECT_EQ(target->copyFrom(*source, 3), 3);
    const Outcome pending{"", "cde", "c", std::string(3, '\0'), kGarbage};
    EXPECT_EQ(WithGarbageTold(Outcomes(disk, kFile), "", "cde"), pending);

    target->startWriteback(0, 3);
    EXPECT_EQ(WithGarbageTold(Outcomes(disk, kFile), "", "cde"), pending) << "early writeback makes nothing durable";
    ASSERT_TRUE(target->flush());
    EXPECT_EQ(Outcomes(disk, kFile), (Outcome{"cde"}));
}

TEST(PowerCutFileSystemCalls, CopyFromMovesBothPositionsAndStopsAtTheEnd)
{
    PowerCutFileSystem disk;
    disk.addFile("/d/source", "0123456789");
    auto source = disk.openForReading("/d/source");
    auto target = disk.createNew(kFile);
    ASSERT_TRUE(target->seek(2));
    EXPECT_EQ(target->copyFrom(*source, 4), 4);
    Write(*target, "-");
    EXPECT_EQ(target->copyFrom(*source, 100), 6) << "a copy stops at the source's end";
    EXPECT_EQ(target->copyFrom(*source, 100), 0);
    char next = 0;
    EXPECT_EQ(source->read(&next, 1), 0);
    EXPECT_EQ(disk.image().at(kFile).bytes, std::string("\0\0" "0123-456789", 13));

    auto reader = disk.openForReading(kFile);
    EXPECT_EQ(reader->copyFrom(*source, 1), -1) << "a file opened for reading takes no copy";
    ASSERT_TRUE(source->close());
    EXPECT_EQ(target->copyFrom(*source, 1), -1) << "a closed source gives nothing";

    const std::int64_t before = disk.operations();
    disk.inKernelCopy = false;
    EXPECT_EQ(target->copyFrom(*reader, 1), kCopyNotSupported);
    EXPECT_EQ(disk.operations(), before) << "without the in-kernel copy there is no call to cut after";
}

TEST(PowerCutFileSystemCalls, RenameNeverReplacesAndStaysInItsFolder)
{
    PowerCutFileSystem disk;
    disk.addFile("/d/a", "a");
    disk.addFile("/d/b", "b");
    const FileIdentity a = *disk.identityAt("/d/a");
    auto open = disk.openForReading("/d/a");

    EXPECT_FALSE(disk.renameNoReplace("/d/a", "/d/b"));
    EXPECT_EQ(disk.lastError(), "File exists");
    EXPECT_FALSE(disk.renameNoReplace("/d/a", "/d/a"));
    EXPECT_FALSE(disk.renameNoReplace("/d/missing", "/d/c"));
    EXPECT_EQ(disk.lastError(), "No such file or directory");
    EXPECT_FALSE(disk.renameNoReplace("/d/a", "/e/a"));
    EXPECT_EQ(disk.survivingStates().size(), 1u) << "a refused rename changes nothing";

    ASSERT_TRUE(disk.renameNoReplace("/d/a", "/d/c"));
    EXPECT_TRUE(disk.identityAt("/d/c")->sameFileAs(a)) << "the file keeps its identity under its new name";
    EXPECT_FALSE(disk.exists("/d/a"));
    EXPECT_EQ(open->size(), 1) << "an open file follows its file, not its name";
}

TEST(PowerCutDurability, CutFailsEveryLaterCallAndFreezesTheDisk)
{
    PowerCutFileSystem disk;
    disk.cutPowerAfter(3);
    auto file = disk.createNew(kFile);
    Write(*file, "xy");
    ASSERT_TRUE(file->flush());
    EXPECT_FALSE(disk.powerIsCut());

    EXPECT_FALSE(file->write("z", 1));
    EXPECT_TRUE(disk.powerIsCut());
    EXPECT_NE(disk.lastError().find("power"), std::string::npos);
    EXPECT_FALSE(file->flush());
    EXPECT_FALSE(disk.commitFolder(kFile));
    EXPECT_FALSE(disk.createNew("/disk/b"));
    EXPECT_FALSE(disk.identityAt(kFile));
    EXPECT_FALSE(file->close());
    EXPECT_EQ(disk.operations(), 3);
    EXPECT_EQ(disk.lastOperations(1), std::vector<std::string>{"3: flush /disk/a"});
    EXPECT_EQ(Outcomes(disk, kFile), (Outcome{std::nullopt, "xy"}));
    EXPECT_EQ(Outcomes(disk, "/disk/b"), (Outcome{std::nullopt}));
}

TEST(PowerCutDurability, DiskBuiltFromASurvivingStateIsAllDurable)
{
    PowerCutFileSystem before;
    auto file = before.createNew(kFile);
    Write(*file, "abcd");
    const std::vector<SurvivingState> states = before.survivingStates();
    const auto half = std::find_if(states.begin(), states.end(),
                                   [](const SurvivingState& state) { return state.disk.count(kFile) && state.disk.at(kFile).bytes == "ab"; });
    ASSERT_NE(half, states.end());

    PowerCutFileSystem after(half->disk);
    ASSERT_EQ(after.survivingStates().size(), 1u);
    EXPECT_EQ(after.survivingStates()[0].disk, half->disk);
    auto fresh = after.createNew("/disk/new");
    ASSERT_TRUE(fresh);
    EXPECT_FALSE(fresh->identity()->sameFileAs(*after.identityAt(kFile))) << "a new file gets a new id";
}

TEST(PowerCutFileSystemCalls, BehaveAsThePlatformsDo)
{
    PowerCutFileSystem disk;
    disk.addFile(kFile, "0123456789");
    EXPECT_FALSE(disk.createNew(kFile)) << "createNew never opens an existing name";
    EXPECT_EQ(disk.lastError(), "File exists");
    EXPECT_FALSE(disk.openForReading("/disk/missing"));
    EXPECT_FALSE(disk.exists("/disk/missing"));

    auto reader = disk.openForReading(kFile);
    EXPECT_FALSE(reader->write("x", 1)) << "a file opened for reading does not write";
    auto updater = disk.openForUpdate(kFile);
    const FileIdentity before = *updater->identity();
    EXPECT_EQ(before.size, 10);
    ASSERT_TRUE(updater->truncate(4));
    Write(*updater, "ab");
    ASSERT_TRUE(updater->seek(8));
    Write(*updater, "c");
    const FileIdentity after = *disk.identityAt(kFile);
    EXPECT_TRUE(after.sameFileAs(before));
    EXPECT_NE(after.modified, before.modified);
    EXPECT_EQ(after.size, 9);
    char bytes[16] = {};
    EXPECT_EQ(reader->read(bytes, 16), 9);
    EXPECT_EQ(std::string(bytes, 9), std::string("0123ab\0\0c", 9));
    EXPECT_EQ(reader->read(bytes, 16), 0);

    EXPECT_TRUE(updater->lockExclusive());
    EXPECT_FALSE(reader->lockExclusive()) << "a second holder is refused at once";
    ASSERT_TRUE(updater->close());
    EXPECT_TRUE(reader->lockExclusive()) << "the lock goes with the close";

    FileIdentity other = after;
    other.fileId += 100;
    EXPECT_FALSE(disk.removeIfSame(kFile, other));
    EXPECT_TRUE(disk.exists(kFile));
    EXPECT_TRUE(disk.removeIfSame(kFile, before)) << "size and time do not matter, the file does";
    EXPECT_FALSE(disk.exists(kFile));
    EXPECT_EQ(reader->size(), 9) << "an open file outlives its name";
}

}  // namespace
