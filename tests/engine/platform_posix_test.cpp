// The real POSIX platform layer: devices and pipes where a job expects plain
// files, the free-space queries on real file systems, the guard on a split's
// input, read or cut in place, the permissions, owner and date the pieces
// take, and holes.

#ifndef _WIN32

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <thread>

#include "engine_fixture.h"
#include "other_program.h"
#include "platform/free_space.h"

namespace {

struct stat StatOf(const std::string& path)
{
    struct stat info {};
    EXPECT_EQ(::stat(path.c_str(), &info), 0) << path;
    return info;
}

class PosixPlatform : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        setFileSystem(nullptr);
    }

    // Forgets what the last job said and empties the folder.
    void startOver()
    {
        sink_.events.clear();
        for (const std::string& name : filesInDir())
            fs::remove(dir_ / name);
    }

    // Puts a named pipe, or a link to /dev/null, where a job expects a file.
    void makeNonFile(const std::string& name, bool pipe)
    {
        if (pipe) {
            ASSERT_EQ(::mkfifo(path(name).c_str(), 0600), 0);
        } else {
            fs::create_symlink("/dev/null", dir_ / name);
        }
    }
};

TEST_F(PosixPlatform, FreeSpaceQuery)
{
    EXPECT_GT(QueryVolumeFreeBytes(path("in.bin")), 0);
    EXPECT_EQ(QueryVolumeFreeBytes("/no/such/folder/in.bin"), FREE_QUERY_FAILED);
    EXPECT_EQ(QueryVolumeFreeBytes("a"), FREE_QUERY_FAILED);
    EXPECT_EQ(QueryVolumeFreeBytes(""), FREE_QUERY_FAILED);
}

// A pipe or a link to a device at a piece's name or at the original's path is
// in the way like any file: nothing is written through it.
TEST_F(PosixPlatform, NoFileInTheWayRefusesTheJob)
{
    for (const bool pipe : {true, false}) {
        SCOPED_TRACE(pipe ? "named pipe" : "link to /dev/null");
        startOver();
        const std::string content = MakeContent(1000, 2);
        WriteFileBytes(path("in.bin"), content);
        makeNonFile("in.bin.1.4.plit", pipe);
        runSplit(path("in.bin"), 300);
        expectRefused(PieceInTheWayText(path("in.bin.1.4.plit")), kSplitter);
        EXPECT_EQ(ReadFileBytes(path("in.bin")), content);

        startOver();
        WriteFileBytes(path("out.bin.0.2.plit"), MakeContent(300));
        WriteFileBytes(path("out.bin.1.2.plit"), MakeContent(100, 2));
        makeNonFile("out.bin", pipe);
        runJoin(path("out.bin.0.2.plit"));
        expectRefused(OutputInTheWayText(path("out.bin")), kJoiner);
        EXPECT_EQ(ReadFileBytes(path("out.bin.0.2.plit")), MakeContent(300));
        EXPECT_EQ(ReadFileBytes(path("out.bin.1.2.plit")), MakeContent(100, 2));
    }
}

TEST_F(PosixPlatform, PieceThatIsNoFileIsNotFound)
{
    WriteFileBytes(path("out.bin.0.2.plit"), MakeContent(300));
    makeNonFile("out.bin.1.2.plit", true);
    runJoin(path("out.bin.0.2.plit"));
    expectRefused(NotFoundText(path("out.bin.1.2.plit")), kJoiner);
    EXPECT_FALSE(FileExists(path("out.bin")));

    sink_.events.clear();
    fs::remove(dir_ / "out.bin.1.2.plit");
    makeNonFile("out.bin.1.2.plit", false);
    runJoin(path("out.bin.0.2.plit"));
    expectRefused(NotFoundText(path("out.bin.1.2.plit")), kJoiner);
    EXPECT_EQ(ReadFileBytes(path("out.bin.0.2.plit")), MakeContent(300));
}

TEST_F(PosixPlatform, InputThatIsNoFileIsRefused)
{
    makeNonFile("in.bin", true);
    runSplit(path("in.bin"), 10);
    expectRefused("Please select a file to split!", kSplitter);
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"in.bin"});
}

TEST_F(PosixPlatform, NewFilesAreTheirOwnersAlone)
{
    const mode_t mask = ::umask(0);
    std::unique_ptr<File> file = platformFileSystem().createNew(path("new.bin"));
    ::umask(mask);
    ASSERT_TRUE(file);
    EXPECT_TRUE(file->close());
    EXPECT_EQ(StatOf(path("new.bin")).st_mode & 07777, 0600u);
}

// Runs `job` on a thread that reaches files as the user `owner` of the group
// `group`, without root's rights over files (Linux drops them with the
// file-system ids).
void AsUser(uid_t owner, gid_t group, const std::function<void()>& job)
{
    std::thread([&] {
        ::setfsgid(group);
        ::setfsuid(owner);
        job();
    }).join();
}

// The split's pieces are no more open than the input: its permission bits,
// its owner and group when the job runs as root; and its date, to the
// nanosecond the file system keeps. Their owner joins them back whatever the
// bits, read-only included, into a file that takes them again, whether piece
// 0 is renamed or, having a second name, copied.
TEST_F(PosixPlatform, PiecesTakeThePermissionsOwnerAndDateOfTheInput)
{
    setFileSystem(&files_);
    const bool root = ::geteuid() == 0;
    const uid_t owner = root ? 1234 : ::geteuid();
    const gid_t group = root ? 5678 : ::getegid();
    ASSERT_EQ(::chown(Utf8(dir_).c_str(), owner, group), 0);
    const struct timespec date[2] = {{0, UTIME_OMIT}, {981173106, 789012345}};
    const std::string content = MakeContent(1000, 3);
    const struct {
        mode_t mode;
        bool copied;
    } cases[] = {{0600, false}, {0640, false}, {0751, true}, {0444, false}, {0600, true}, {0444, true}};
    for (const auto& [mode, copied] : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << mode << (copied ? ", piece 0 copied" : ", piece 0 renamed"));
        startOver();
        WriteFileBytes(path("in.bin"), content);
        ASSERT_EQ(::chmod(path("in.bin").c_str(), mode), 0);
        ASSERT_EQ(::chown(path("in.bin").c_str(), owner, group), 0);
        ASSERT_EQ(::utimensat(AT_FDCWD, path("in.bin").c_str(), date, 0), 0);
        const struct stat input = StatOf(path("in.bin"));

        runSplit(path("in.bin"), 300);

        expectOutcome(kSplitSucceeded, kSplitter);
        for (int index = 0; index < 4; ++index) {
            const struct stat piece = StatOf(path("in.bin." + std::to_string(index) + ".4.plit"));
            EXPECT_EQ(piece.st_mode & 07777, mode) << index;
            EXPECT_EQ(piece.st_uid, input.st_uid) << index;
            EXPECT_EQ(piece.st_gid, input.st_gid) << index;
            EXPECT_EQ(piece.st_mtim.tv_sec, input.st_mtim.tv_sec) << index;
            EXPECT_EQ(piece.st_mtim.tv_nsec, input.st_mtim.tv_nsec) << index;
        }

        sink_.events.clear();
        if (copied)
            fs::create_hard_link(PathFromUtf8(path("in.bin.0.4.plit")), dir_ / "second-name");
        AsUser(owner, group, [&] { runJoin(path("in.bin.1.4.plit")); });
        expectOutcome(kJoinSucceeded, kJoiner);
        EXPECT_EQ(ReadFileBytes(path("in.bin")), content);
        const struct stat rebuilt = StatOf(path("in.bin"));
        EXPECT_EQ(rebuilt.st_mode & 07777, mode);
        EXPECT_EQ(rebuilt.st_uid, input.st_uid);
        EXPECT_EQ(rebuilt.st_gid, input.st_gid);
        EXPECT_EQ(rebuilt.st_mtim.tv_sec, input.st_mtim.tv_sec);
        EXPECT_EQ(rebuilt.st_mtim.tv_nsec, input.st_mtim.tv_nsec);
    }
}

// Drops CAP_LEASE from the calling thread alone (capabilities are per
// thread), so that it may take a lease only on files it owns.
void DropLeaseCapabilityOfThisThread()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2]{};
    ASSERT_EQ(::syscall(SYS_capget, &header, data), 0);
    data[CAP_LEASE / 32].effective &= ~(1u << (CAP_LEASE % 32));
    ASSERT_EQ(::syscall(SYS_capset, &header, data), 0);
}

// True when /proc/locks shows a lease on the file at `path`.
bool LeaseHeldOn(const std::string& path)
{
    const std::string inode = ":" + std::to_string(StatOf(path).st_ino) + " ";
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);)
        if (line.find(" LEASE ") != std::string::npos && line.find(inode) != std::string::npos)
            return true;
    return false;
}

// Writes `bytes` over the start of the file at `path`, then puts its last
// write time back: same size, same date, so that only the guard can tell.
void RewriteInPlace(const std::string& path, const std::string& bytes)
{
    const struct stat before = StatOf(path);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
    const struct timespec date[2] = {{0, UTIME_OMIT}, before.st_mtim};
    EXPECT_EQ(::futimens(fd, date), 0);
    EXPECT_EQ(::close(fd), 0);
}

// Another program rewrites the input in place while it is split, and puts its
// size and date back: the split fails and the input stays, with the new bytes.
// The guard is a read lease where the job may take one, and an inotify watch
// where it may not (a file of another user, the job without CAP_LEASE); the
// writer comes while a piece is written, or right before the last check.
TEST_F(PosixPlatform, InputRewrittenInPlaceDuringTheSplitIsKept)
{
    setFileSystem(&files_);
    const std::string content = MakeContent(1000, 9);
    const std::string rewritten = "new bytes nobody may lose";
    const struct {
        const char* when;
        IoCall call;
        std::string path;
    } moments[] = {{"while piece 1 is written", IoCall::CreateNew, path("in.bin.1.4.plit")},
                   {"right before the last check", IoCall::CommitFolder, path("in.bin")}};
    for (const bool lease : {true, false}) {
        for (const auto& moment : moments) {
            SCOPED_TRACE(testing::Message() << (lease ? "lease, " : "inotify watch, ") << moment.when);
            if (!lease && ::geteuid() != 0) {
                GTEST_SKIP() << "giving the input to another user needs root";
            }
            startOver();
            files_ = FaultyFileSystem();
            WriteFileBytes(path("in.bin"), content);
            if (!lease) {
                ASSERT_EQ(::chown(path("in.bin").c_str(), 65534, 65534), 0);
            }
            OtherWriter writer;
            bool came = false;
            bool leased = false;
            files_.beforeCall = [&](IoCall call, const std::string& name) {
                if (call != moment.call || name != moment.path || came)
                    return;
                came = true;
                leased = LeaseHeldOn(path("in.bin"));
                writer.start(path("in.bin"), [&] { RewriteInPlace(path("in.bin"), rewritten); });
            };
            std::thread job([&] {
                if (!lease)
                    DropLeaseCapabilityOfThisThread();
                runSplit(path("in.bin"), 300);
            });
            job.join();
            writer.finish();

            EXPECT_TRUE(came);
            EXPECT_EQ(leased, lease) << "the guard is not the one this case is about";
            expectOutcome("The file splitting operation failed!", kSplitter);
            EXPECT_EQ(result_.reason, "another program opened it for writing while it was being split");
            EXPECT_EQ(ReadFileBytes(path("in.bin")), rewritten + content.substr(rewritten.size()));
            EXPECT_EQ(filesInDir(), std::vector<std::string>{"in.bin"});
        }
    }
}

// Opens `path` for cutting as the job does, guarded by a write lease, or by
// an inotify watch when `lease` is false (the file then belongs to another
// user, and the opening runs without CAP_LEASE).
GuardedFile OpenForCutting(const std::string& path, bool lease)
{
    if (!lease) {
        EXPECT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
    GuardedFile opened;
    std::thread([&] {
        if (!lease)
            DropLeaseCapabilityOfThisThread();
        opened = platformFileSystem().openForCutting(path);
    }).join();
    return opened;
}

// What untouchedByWriters() answers once it turns false, or after `wait` if
// it does not: a broken lease shows as soon as the other program's call
// starts, which may be a moment after its thread does.
bool UntouchedAfter(File& file, std::chrono::milliseconds wait)
{
    const auto until = std::chrono::steady_clock::now() + wait;
    while (file.untouchedByWriters()) {
        if (std::chrono::steady_clock::now() >= until)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

// What another program does to a file that a split cuts in place; the
// descriptor it keeps open until the job lets the file go, or -1.
struct OtherProgramAct {
    const char* what;
    std::function<int(const std::string&)> act;
};

const OtherProgramAct kOtherProgramActs[] = {
    {"nothing", [](const std::string&) { return -1; }},
    {"opens it for writing and closes it",
     [](const std::string& path) {
         const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
         EXPECT_EQ(::close(fd), 0);
         return -1;
     }},
    {"writes to it and keeps it open",
     [](const std::string& path) {
         const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
         EXPECT_EQ(::pwrite(fd, "x", 1, 0), 1);
         return fd;
     }},
    {"writes to it and closes it", [](const std::string& path) { RewriteInPlace(path, "new bytes"); return -1; }},
    {"cuts it by name", [](const std::string& path) { EXPECT_EQ(::truncate(path.c_str(), 100), 0); return -1; }},
    {"opens it and cuts it",
     [](const std::string& path) {
         const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
         EXPECT_EQ(::ftruncate(fd, 100), 0);
         return fd;
     }},
};

// A split in place cuts its input again and again: its own cuts, its new
// last write time, its rename and its flush leave the guard untouched, whatever another program does
// before them; every opening for writing, write or cut of another program is
// seen, under the write lease and under the inotify watch, also when it comes
// right before one of the job's own cuts (which inotify would merge with it).
TEST_F(PosixPlatform, CutInputSeesOtherProgramsWritesButNotItsOwnCuts)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving the input to another user needs root";
    }
    const std::string content = MakeContent(4000, 5);
    for (const bool lease : {true, false}) {
        for (const OtherProgramAct& other : kOtherProgramActs) {
            SCOPED_TRACE(testing::Message() << (lease ? "lease, " : "inotify watch, ") << "another program " << other.what);
            const bool nobody = std::string(other.what) == "nothing";
            startOver();
            WriteFileBytes(path("in.bin"), content);
            GuardedFile cut = OpenForCutting(path("in.bin"), lease);
            ASSERT_TRUE(cut.file) << platformFileSystem().lastError();
            EXPECT_EQ(LeaseHeldOn(path("in.bin")), lease) << "the guard is not the one this case is about";
            EXPECT_TRUE(cut.file->truncate(3000));
            EXPECT_TRUE(cut.file->setModified(981173106789012345));
            EXPECT_TRUE(cut.file->untouchedByWriters());

            int kept = -1;
            std::thread program([&] { kept = other.act(path("in.bin")); });
            if (!lease)
                program.join();  // nothing holds it up: it is done before the job's next cut
            EXPECT_TRUE(cut.file->truncate(2000));
            EXPECT_EQ(UntouchedAfter(*cut.file, std::chrono::milliseconds(nobody ? 20 : 5000)), nobody);
            if (nobody) {
                EXPECT_TRUE(platformFileSystem().renameNoReplace(path("in.bin"), path("in.bin.0.2.plit")));
                EXPECT_EQ(LeaseHeldOn(path("in.bin.0.2.plit")), lease) << "the rename broke the lease";
                EXPECT_TRUE(cut.file->flush());
                EXPECT_TRUE(cut.file->untouchedByWriters());
            }
            EXPECT_TRUE(cut.file->close());
            cut.file.reset();
            if (program.joinable())
                program.join();
            if (kept >= 0)
                ::close(kept);
            if (nobody) {
                EXPECT_EQ(ReadFileBytes(path("in.bin.0.2.plit")), content.substr(0, 2000));
            }
        }
    }
}

// A program that only reads the input while it is cut waits for the job's
// next check at most (the job checks before each cut), not for the system's
// lease break time, and is no writer: the guard goes on with a watch, which
// still sees the job's own cuts as its own and the next writer as a writer.
TEST_F(PosixPlatform, ReaderOfACutInputWaitsOnlyForTheNextCheck)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving the input to another user needs root";
    }
    const std::string content = MakeContent(4000, 6);
    for (const bool lease : {true, false}) {
        SCOPED_TRACE(lease ? "lease" : "inotify watch");
        startOver();
        WriteFileBytes(path("in.bin"), content);
        GuardedFile cut = OpenForCutting(path("in.bin"), lease);
        ASSERT_TRUE(cut.file) << platformFileSystem().lastError();

        std::atomic<bool> done{false};
        std::string read;
        std::chrono::steady_clock::duration waited{};
        std::thread reader([&] {
            const auto start = std::chrono::steady_clock::now();
            const int fd = ::open(path("in.bin").c_str(), O_RDONLY | O_CLOEXEC);
            waited = std::chrono::steady_clock::now() - start;
            char buffer[8192];
            for (ssize_t got; fd >= 0 && (got = ::read(fd, buffer, sizeof buffer)) > 0;)
                read.append(buffer, static_cast<std::size_t>(got));
            if (fd >= 0)
                ::close(fd);
            done = true;
        });
        // The job at work, checking before each cut of its own, every 50 ms.
        bool untouched = true;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            untouched = untouched && cut.file->untouchedByWriters();
        }
        reader.join();

        EXPECT_TRUE(untouched);
        EXPECT_LT(std::chrono::duration<double>(waited).count(), 1.0) << "the reader waited for the lease break time";
        EXPECT_TRUE(read == content);
        EXPECT_FALSE(LeaseHeldOn(path("in.bin")));
        EXPECT_TRUE(cut.file->truncate(1000));
        EXPECT_TRUE(cut.file->setModified(981173106789012345));
        EXPECT_TRUE(cut.file->untouchedByWriters());
        RewriteInPlace(path("in.bin"), "new bytes");
        EXPECT_FALSE(cut.file->untouchedByWriters());
    }
}

// What is at the input's name, or who else holds it, when a split in place
// opens it: only a plain file with one name, open for writing nowhere else
// and held by no other job, opens, and nothing it finds changes.
TEST_F(PosixPlatform, InputToCutOpensOnlyWhenItIsPlainAndFree)
{
    const std::string content = MakeContent(1000, 7);
    struct Holder {
        std::unique_ptr<HeldForWriting> writer;
        std::unique_ptr<File> job;
        int reader = -1;
        uid_t owner = ::geteuid();  // who opens it
        ~Holder()
        {
            if (reader >= 0)
                ::close(reader);
        }
    };
    const struct {
        const char* what;
        std::function<void(Holder&)> arrange;
        bool opens;
        bool inUseForWriting;
        const char* reason;
    } cases[] = {
        {"a plain file", [](Holder&) {}, true, false, ""},
        {"open for reading in another program",
         [this](Holder& holder) { holder.reader = ::open(path("in.bin").c_str(), O_RDONLY | O_CLOEXEC); },
         true, false, ""},
        {"open for writing in another program",
         [this](Holder& holder) { holder.writer = std::make_unique<HeldForWriting>(path("in.bin")); },
         false, true, "It is open for writing in another program"},
        {"held by another job",
         [this](Holder& holder) {
             holder.job = platformFileSystem().openGuarded(path("in.bin")).file;
             ASSERT_TRUE(holder.job && holder.job->lockExclusive());
         },
         false, false, "It is in use by another job"},
        {"a file with a second name",
         [this](Holder&) { ASSERT_EQ(::link(path("in.bin").c_str(), path("other").c_str()), 0); },
         false, false, "Not a plain file with one name"},
        {"a symbolic link to the file",
         [this](Holder&) {
             fs::rename(PathFromUtf8(path("in.bin")), PathFromUtf8(path("other")));
             fs::create_symlink("other", PathFromUtf8(path("in.bin")));
         },
         false, false, "Too many levels of symbolic links"},
        {"a read-only file of the user's, who opens it as its owner may",
         [this](Holder& holder) {
             ASSERT_EQ(::chmod(path("in.bin").c_str(), 0444), 0);
             if (holder.owner == 0) {
                 holder.owner = 1234;
                 ASSERT_EQ(::chown(path("in.bin").c_str(), holder.owner, holder.owner), 0);
             }
         },
         true, false, ""},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.what);
        startOver();
        WriteFileBytes(path("in.bin"), content);
        Holder holder;
        row.arrange(holder);
        const mode_t mode = StatOf(path("in.bin")).st_mode & 07777;
        GuardedFile cut;
        std::string reason;
        AsUser(holder.owner, holder.owner, [&] {
            cut = platformFileSystem().openForCutting(path("in.bin"));
            reason = platformFileSystem().lastError();
        });
        EXPECT_EQ(cut.file != nullptr, row.opens);
        EXPECT_EQ(cut.inUseForWriting, row.inUseForWriting);
        EXPECT_EQ(reason, row.reason);
        if (holder.job) {
            EXPECT_TRUE(holder.job->untouchedByWriters()) << "the other job's guard was broken";
        }
        if (cut.file) {
            EXPECT_TRUE(cut.file->truncate(static_cast<std::int64_t>(content.size()))) << "not open for writing";
        }
        if (cut.file && holder.reader >= 0) {
            EXPECT_FALSE(LeaseHeldOn(path("in.bin"))) << "a write lease while another program has it open";
        }
        cut.file.reset();
        holder.job.reset();
        EXPECT_EQ(ReadFileBytes(path("in.bin")), content);
        EXPECT_EQ(StatOf(path("in.bin")).st_mode & 07777, mode);
    }
}

// A split in place whose input another program writes, or only reads, while
// the last piece is made: under the write lease and under the inotify watch,
// a writer ends it part way, every byte of the original still on the disk
// (the input's head, the writer's bytes in it, and the pieces beside it),
// while a reader waits for the next cut at most and the split completes.
TEST_F(PosixPlatform, SplitInPlaceEndsForAWriterButNotForAReader)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "giving the input to another user needs root";
    }
    setFileSystem(&files_);
    jobState.inPlace = InPlaceChoice::Always;
    const std::string content = MakeContent(1000, 13);
    const std::string rewritten = "new bytes nobody may lose";
    const std::vector<std::string> slices = Slices(content, 300);
    for (const bool lease : {true, false}) {
        for (const bool writes : {true, false}) {
            SCOPED_TRACE(testing::Message() << (lease ? "lease, " : "inotify watch, ") << (writes ? "a writer" : "a reader"));
            startOver();
            files_ = FaultyFileSystem();
            WriteFileBytes(path("in.bin"), content);
            if (!lease) {
                ASSERT_EQ(::chown(path("in.bin").c_str(), 65534, 65534), 0);
            }
            OtherWriter writer;
            std::thread reader;
            std::string read;
            std::chrono::steady_clock::duration waited{};
            bool leased = false;
            files_.beforeCall = [&](IoCall call, const std::string& name) {
                if (call != IoCall::CreateNew || name != path("in.bin.3.4.plit") || leased || reader.joinable())
                    return;
                leased = LeaseHeldOn(path("in.bin"));
                if (writes) {
                    writer.start(path("in.bin"), [&] { RewriteInPlace(path("in.bin"), rewritten); });
                    return;
                }
                reader = std::thread([&] {
                    const auto start = std::chrono::steady_clock::now();
                    const int fd = ::open(path("in.bin").c_str(), O_RDONLY | O_CLOEXEC);
                    waited = std::chrono::steady_clock::now() - start;
                    char buffer[300];
                    const ssize_t got = fd >= 0 ? ::read(fd, buffer, sizeof buffer) : -1;
                    read.assign(buffer, static_cast<std::size_t>(std::max<ssize_t>(got, 0)));
                    if (fd >= 0)
                        ::close(fd);
                });
            };
            std::thread job([&] {
                if (!lease)
                    DropLeaseCapabilityOfThisThread();
                runSplit(path("in.bin"), 300);
            });
            job.join();
            writer.finish();
            if (reader.joinable())
                reader.join();

            EXPECT_EQ(leased, lease) << "the guard is not the one this case is about";
            if (writes) {
                EXPECT_EQ(result_.outcome, JobOutcome::Failed);
                EXPECT_EQ(result_.reason, "another program opened it for writing while it was being split");
                // Before its first cut a split in place takes its pieces back, as a split does.
                const std::int64_t held = result_.inPlace ? result_.piecesHeld : 4;
                EXPECT_EQ(result_.inPlace, held < 4) << testing::PrintToString(filesInDir());
                ASSERT_GE(held, 1);
                if (held == 4) {
                    EXPECT_EQ(filesInDir(), std::vector<std::string>{"in.bin"});
                }
                EXPECT_EQ(ReadFileBytes(path("in.bin")), (rewritten + content.substr(rewritten.size())).substr(0, held * 300));
                for (std::int64_t index = held; index < 4; ++index)
                    EXPECT_EQ(ReadFileBytes(path("in.bin." + std::to_string(index) + ".4.plit")), slices[index]) << index;
            } else {
                EXPECT_TRUE(result_.inPlace);
                EXPECT_EQ(result_.outcome, JobOutcome::Succeeded) << result_.file << ": " << result_.reason;
                expectOutcome(kSplitSucceeded, kSplitter);
                EXPECT_LT(std::chrono::duration<double>(waited).count(), 5.0) << "the reader waited for the lease break time";
                EXPECT_EQ(read, content.substr(0, 300));
                for (std::size_t index = 0; index < slices.size(); ++index)
                    EXPECT_EQ(ReadFileBytes(path("in.bin." + std::to_string(index) + ".4.plit")), slices[index]) << index;
                EXPECT_FALSE(FileExists(path("in.bin")));
            }
        }
    }
}

// A file system of `type` made on a loop image of `megabytes` (none for a
// tmpfs) and mounted at `at`, for as long as it lives; `why` says why not
// when it cannot be.
class ScratchVolume {
public:
    ScratchVolume(const std::string& type, const std::string& options, int megabytes, const std::string& at)
        : image_(at + ".img"), at_(at)
    {
        fs::create_directories(at);
        const std::string quiet = " >/dev/null 2>&1";
        if (megabytes == 0) {
            mounted_ = std::system(("mount -t " + type + " none '" + at + "'" + quiet).c_str()) == 0;
        } else {
            const bool made = std::system(("truncate -s " + std::to_string(megabytes) + "M '" + image_ + "' && mkfs." +
                                           type + " " + options + " '" + image_ + "'" + quiet).c_str()) == 0;
            if (!made)
                why_ = "mkfs." + type + " failed or is missing";
            else
                mounted_ = std::system(("mount -o loop '" + image_ + "' '" + at + "'" + quiet).c_str()) == 0;
        }
        if (!mounted_ && why_.empty())
            why_ = "cannot mount a " + type;
    }
    ~ScratchVolume()
    {
        if (mounted_)
            std::system(("umount '" + at_ + "'").c_str());
        fs::remove(image_);
    }
    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }

private:
    std::string image_;
    std::string at_;
    bool mounted_ = false;
    std::string why_;
};

// The room a split in place counts on: the bytes this process may write,
// below the free ones where the file system keeps blocks for the
// administrator; and whether copies of whole blocks share extents, where
// the forward split needs no room at all.
TEST_F(PosixPlatform, VolumeQueriesOnRealFileSystems)
{
    if (::geteuid() != 0) {
        GTEST_SKIP() << "mounting a file system needs root";
    }
    const struct {
        const char* type;
        const char* options;
        int megabytes;
        bool sharesExtents;
        bool keepsBlocksForTheAdministrator;
    } volumes[] = {
        {"xfs", "-q", 320, true, false},
        {"btrfs", "-q", 128, true, false},
        {"ext4", "-q -m 5", 32, false, true},
        {"tmpfs", "", 0, false, false},
    };
    int tried = 0;
    std::string skipped;
    for (const auto& volume : volumes) {
        SCOPED_TRACE(volume.type);
        ScratchVolume disk(volume.type, volume.options, volume.megabytes, Utf8(dir_ / volume.type));
        if (!disk.mounted()) {
            skipped += disk.why() + "; ";
            continue;
        }
        ++tried;
        const std::string file = Utf8(dir_ / volume.type / "in.bin");
        const std::int64_t free = platformFileSystem().volumeFreeBytes(file);
        const std::int64_t available = platformFileSystem().volumeAvailableBytes(file);
        EXPECT_GT(available, 0);
        if (volume.keepsBlocksForTheAdministrator) {
            EXPECT_LT(available, free - free / 50);
        } else {
            EXPECT_LE(available, free);
        }
        EXPECT_EQ(platformFileSystem().extentSharingBlock(file), volume.sharesExtents ? 4096 : 0);
    }
    if (!skipped.empty())
        std::cout << "not tried: " << skipped << "\n";
    if (tried == 0) {
        GTEST_SKIP() << skipped;
    }
}

// A sparse file stays sparse: its pieces and the rebuilt file take no more
// room than its data, with the in-kernel copy (which writes holes as zeros
// on some file systems) and with the read/write copy, and every byte still
// counts for the progress bar.
TEST_F(PosixPlatform, HolesStayHoles)
{
    constexpr std::int64_t kMiB = 1 << 20;
    constexpr std::int64_t kSize = 64 * kMiB;
    constexpr std::int64_t kSlack = 64 << 10;  // a block here and there, per file
    const std::int64_t dataAt[] = {1 * kMiB, 32 * kMiB - 128 * 1024, 40 * kMiB + 4096, 50 * kMiB};
    constexpr std::int64_t kRun = 256 << 10;
    std::string content(static_cast<std::size_t>(kSize), '\0');
    for (std::size_t run = 0; run < std::size(dataAt); ++run) {
        const std::string bytes = MakeContent(kRun, static_cast<std::uint32_t>(run + 1));
        content.replace(static_cast<std::size_t>(dataAt[run]), bytes.size(), bytes);
    }
    const auto allocated = [&](const std::string& name) { return std::int64_t{StatOf(path(name)).st_blocks} * 512; };

    setFileSystem(&files_);
    for (const std::int64_t partSize : {16 * kMiB, std::int64_t{10000000}}) {
        for (const bool inKernelCopy : {true, false}) {
            SCOPED_TRACE(testing::Message() << "pieces of " << partSize << (inKernelCopy ? ", in-kernel copy" : ", read/write copy"));
            startOver();
            files_ = FaultyFileSystem();
            files_.inKernelCopy = inKernelCopy;
            {
                const int fd = ::open(path("in.bin").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
                ASSERT_GE(fd, 0);
                for (const std::int64_t at : dataAt)
                    ASSERT_EQ(::pwrite(fd, content.data() + at, kRun, at), kRun);
                ASSERT_EQ(::ftruncate(fd, kSize), 0);
                ::close(fd);
            }
            if (allocated("in.bin") > 4 * kRun + kSlack) {
                GTEST_SKIP() << "this file system keeps no holes";
            }

            runSplit(path("in.bin"), partSize);
            expectOutcome(kSplitSucceeded, kSplitter);
            ASSERT_EQ(result_.outcome, JobOutcome::Succeeded) << result_.file << ": " << result_.reason;
            EXPECT_EQ(jobState.bytesDone, kSize);
            const std::vector<std::string> pieces = WithoutList(filesInDir());
            std::int64_t piecesAllocated = 0;
            for (const std::string& piece : pieces)
                piecesAllocated += allocated(piece);
            EXPECT_LE(piecesAllocated, 4 * kRun + kSlack * static_cast<std::int64_t>(pieces.size()));

            sink_.events.clear();
            runJoin(path(pieces.front()));
            expectOutcome(kJoinSucceeded, kJoiner);
            EXPECT_EQ(jobState.bytesDone, kSize + static_cast<std::int64_t>(pieces.size()));  // and each piece's end
            EXPECT_TRUE(ReadFileBytes(path("in.bin")) == content) << "the rebuilt file differs";
            EXPECT_LE(allocated("in.bin"), 4 * kRun + kSlack);
        }
    }
}

}  // namespace

#endif  // _WIN32
