// The split job on good input: piece names, sizes, contents and dates, the
// input's deletion, progress pacing and the order of its notifications.

#include <gtest/gtest.h>

#include <chrono>

#include "engine_fixture.h"
#include "split_job.h"

namespace {

class SplitJob : public EngineTest {};

TEST_F(SplitJob, CutsIntoNumberedPiecesAndDeletesTheInput)
{
    const struct {
        std::int64_t fileSize;
        std::int64_t partSize;
        std::vector<std::string> names;
    } cases[] = {
        {1000, 300, {"in.bin.0.4.plit", "in.bin.1.4.plit", "in.bin.2.4.plit", "in.bin.3.4.plit"}},
        {1000, 250, {"in.bin.0.4.plit", "in.bin.1.4.plit", "in.bin.2.4.plit", "in.bin.3.4.plit"}},
        {1000, 999, {"in.bin.0.2.plit", "in.bin.1.2.plit"}},
        {2, 1, {"in.bin.0.2.plit", "in.bin.1.2.plit"}},
        {12, 1, {"in.bin.0.12.plit", "in.bin.1.12.plit", "in.bin.10.12.plit", "in.bin.11.12.plit",
                 "in.bin.2.12.plit", "in.bin.3.12.plit", "in.bin.4.12.plit", "in.bin.5.12.plit",
                 "in.bin.6.12.plit", "in.bin.7.12.plit", "in.bin.8.12.plit", "in.bin.9.12.plit"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fileSize << " bytes in pieces of " << c.partSize);
        sink_.events.clear();
        const std::string content = MakeContent(c.fileSize, static_cast<std::uint32_t>(c.partSize));
        WriteFileBytes(path("in.bin"), content);
        const fs::file_time_type written = fs::last_write_time(PathFromUtf8(path("in.bin"))) - std::chrono::hours(9999);
        fs::last_write_time(PathFromUtf8(path("in.bin")), written);
        const std::int64_t modified = UtcModifiedOf(path("in.bin"));

        runSplit(path("in.bin"), c.partSize);

        expectOutcome(kSplitSucceeded, kSplitter);
        EXPECT_EQ(filesInDir(), WithList(c.names, "in.bin"));
        EXPECT_EQ(ReadFileBytes(path("in.bin.plit.sha256")), ListTextFor(path("in.bin"), content, c.partSize, modified))
            << "the list is not the one the pieces and the input call for";
        for (const std::string& name : c.names)
            EXPECT_TRUE(fs::last_write_time(dir_ / name) == written) << name << " has not the input's date";
        const std::vector<std::string> slices = Slices(content, c.partSize);
        ASSERT_EQ(slices.size(), c.names.size());
        const std::string count = std::to_string(slices.size());
        for (std::size_t i = 0; i < slices.size(); ++i)
            EXPECT_EQ(ReadFileBytes(path("in.bin." + std::to_string(i) + "." + count + ".plit")), slices[i]) << i;
        EXPECT_EQ(jobState.totalBytes, c.fileSize);
        EXPECT_EQ(jobState.bytesDone, c.fileSize);
        for (const std::string& name : c.names)
            fs::remove(dir_ / name);
        fs::remove(dir_ / "in.bin.plit.sha256");
    }
}

TEST_F(SplitJob, NamesKeepEveryDotOfTheInput)
{
    WriteFileBytes(path("archive.tar.gz"), MakeContent(10));
    runSplit(path("archive.tar.gz"), 5);
    expectOutcome(kSplitSucceeded, kSplitter);
    EXPECT_EQ(filesInDir(), WithList({"archive.tar.gz.0.2.plit", "archive.tar.gz.1.2.plit"}, "archive.tar.gz"));
}

// Crosses the copy's block boundaries: pieces that start and end inside blocks.
TEST_F(SplitJob, LargeInputIsCopiedExactly)
{
    const std::string content = MakeContent(3 * 1048576 + 17, 7);
    WriteFileBytes(path("big.bin"), content);
    runSplit(path("big.bin"), 1048576 - 3);
    expectOutcome(kSplitSucceeded, kSplitter);
    const std::vector<std::string> slices = Slices(content, 1048576 - 3);
    ASSERT_EQ(slices.size(), 4u);
    for (std::size_t i = 0; i < slices.size(); ++i)
        EXPECT_TRUE(ReadFileBytes(path("big.bin." + std::to_string(i) + ".4.plit")) == slices[i]) << i;
    EXPECT_FALSE(FileExists(path("big.bin")));
}

TEST_F(SplitJob, ProgressIsPostedAboutAHundredTimes)
{
    const struct {
        std::int64_t fileSize;
        int posts;
    } cases[] = {
        {1000, 100}, {1050, 105}, {150, 150}, {199, 199}, {100, 100}, {9999, 101},
        {10000, 100}, {12345, 100}, {3 * 1048576 + 17, 100},
        // Under 100 bytes the step is one byte.
        {99, 99}, {7, 7}, {2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fileSize << " bytes");
        sink_.events.clear();
        WriteFileBytes(path("in.bin"), MakeContent(c.fileSize));
        const std::int64_t partSize = c.fileSize / 3 > 0 ? c.fileSize / 3 : 1;

        runSplit(path("in.bin"), partSize);

        expectOutcome(kSplitSucceeded, kSplitter);
        EXPECT_EQ(sink_.posts(WM_JOB_PROGRESS), c.posts);
        for (const std::string& name : filesInDir())
            fs::remove(dir_ / name);
    }
}

TEST_F(SplitJob, ProgressComesFirstThenTheOutcomeThenFinished)
{
    WriteFileBytes(path("in.bin"), MakeContent(1050));
    runSplit(path("in.bin"), 300);

    ASSERT_EQ(sink_.events.size(), 105u + 2u);
    for (std::size_t i = 0; i < 105; ++i) {
        EXPECT_EQ(sink_.events[i].kind, JobEvent::Post);
        EXPECT_EQ(sink_.events[i].message, WM_JOB_PROGRESS);
        EXPECT_EQ(sink_.events[i].busy, 1);
    }
    expectOutcome(kSplitSucceeded, kSplitter);
}

// A file that has a piece's name may be anyone's: the split refuses before it
// writes anything, and names the file.
TEST_F(SplitJob, ExistingPieceNameRefusesTheSplit)
{
    const std::string content = MakeContent(1000, 3);
    const std::string inTheWay = MakeContent(400, 9);
    WriteFileBytes(path("in.bin"), content);
    WriteFileBytes(path("in.bin.3.4.plit"), inTheWay);

    runSplit(path("in.bin"), 300);

    expectRefused(PieceInTheWayText(path("in.bin.3.4.plit")), kSplitter);
    EXPECT_EQ(result_.outcome, JobOutcome::Refused);
    EXPECT_EQ(files_.calls(IoCall::CreateNew), 0);
    EXPECT_EQ(ReadFileBytes(path("in.bin")), content);
    EXPECT_EQ(ReadFileBytes(path("in.bin.3.4.plit")), inTheWay);
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"in.bin", "in.bin.3.4.plit"}));
}

// A name taken after the checks (by another program, in the instant between)
// is never written through: the split fails and takes back its own pieces.
TEST_F(SplitJob, PieceNameTakenDuringTheSplitFailsIt)
{
    const std::string content = MakeContent(1000, 3);
    WriteFileBytes(path("in.bin"), content);
    files_.beforeCall = [&](IoCall call, const std::string& name) {
        if (call == IoCall::CreateNew && name == path("in.bin.2.4.plit"))
            WriteFileBytes(name, "theirs");
    };

    runSplit(path("in.bin"), 300);

    expectOutcome(PieceInTheWayText(path("in.bin.2.4.plit")), kSplitter);
    EXPECT_EQ(result_.outcome, JobOutcome::Failed);
    EXPECT_EQ(ReadFileBytes(path("in.bin.2.4.plit")), "theirs");
    EXPECT_EQ(ReadFileBytes(path("in.bin")), content);
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"in.bin", "in.bin.2.4.plit"}));
}

TEST_F(SplitJob, PartSizeIsReadOnceWhenTheJobStarts)
{
    WriteFileBytes(path("in.bin"), MakeContent(1000));
    // A window that changes the size during a run must not reach the running job.
    bool changed = false;
    files_.beforeCall = [&](IoCall call, const std::string&) {
        if (call == IoCall::CreateNew && !changed) {
            jobState.partSize = 100;
            changed = true;
        }
    };
    runSplit(path("in.bin"), 300);
    expectOutcome(kSplitSucceeded, kSplitter);
    EXPECT_EQ(filesInDir().size(), 5u);  // four pieces and their list
}

}  // namespace
