// The real POSIX platform layer: devices and pipes where a job expects plain
// files, and the free-space query.

#ifndef _WIN32

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "platform/free_space.h"

namespace {

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

}  // namespace

#endif  // _WIN32
