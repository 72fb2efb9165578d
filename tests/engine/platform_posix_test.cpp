// The real POSIX platform layer: devices and pipes where a job expects plain
// files, the free-space query, the guard on a split's input, the permissions,
// owner and date the pieces take, and holes.

#ifndef _WIN32

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
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
