// Names that reach other files, and other programs acting on the files while
// a job runs: links from piece names and from the original's path, an input
// that grows or is replaced, a piece replaced, and two jobs on one set.

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "join_job.h"
#include "join_journal.h"
#include "other_program.h"
#include "split_job.h"

namespace {

class Aliasing : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        content_ = MakeContent(1000, 7);
        WriteFileBytes(input(), content_);
    }

    std::string input() const { return path("in.bin"); }
    std::string piece(int index, int count = 4) const
    {
        return path("in.bin." + std::to_string(index) + "." + std::to_string(count) + ".plit");
    }

    // Makes a link at `from` to `to`: symbolic or hard. False when this
    // platform does not let the test make one (Wine lacks symbolic links).
    static bool Link(const std::string& to, const std::string& from, bool symbolic)
    {
        std::error_code error;
        if (symbolic)
            fs::create_symlink(PathFromUtf8(to), PathFromUtf8(from), error);
        else
            fs::create_hard_link(PathFromUtf8(to), PathFromUtf8(from), error);
        return !error;
    }

    // Splits in.bin into four pieces and joins them back, leaving the set.
    void makeSet()
    {
        runSplit(input(), 300);
        ASSERT_EQ(result_.outcome, JobOutcome::Succeeded);
        sink_.events.clear();
    }

    std::string content_;
};

// A piece name that links to the input, to an earlier piece or to someone's
// file refuses the split: nothing is written through it.
TEST_F(Aliasing, LinkAtAPieceNameRefusesTheSplit)
{
    const std::string thesis = MakeContent(50, 9);
    WriteFileBytes(path("thesis.txt"), thesis);
    bool symbolicLinksMade = true;
    for (const bool symbolic : {false, true}) {
        for (const std::string& target : {input(), path("thesis.txt")}) {
            SCOPED_TRACE(testing::Message() << (symbolic ? "symbolic" : "hard") << " link to " << target);
            sink_.events.clear();
            if (!Link(target, piece(1), symbolic)) {
                ASSERT_TRUE(symbolic) << "no hard link could be made";
                symbolicLinksMade = false;
                continue;
            }
            runSplit(input(), 300);
            expectRefused(PieceInTheWayText(piece(1)), kSplitter);
            EXPECT_EQ(ReadFileBytes(input()), content_);
            EXPECT_EQ(ReadFileBytes(path("thesis.txt")), thesis);
            fs::remove(PathFromUtf8(piece(1)));
        }
    }
    if (!symbolicLinksMade) {
        GTEST_SKIP() << "hard links checked; this platform makes no symbolic links";
    }
}

// `ln -s a.0.4.plit a; join a.1.4.plit`: the output name reaches a piece.
TEST_F(Aliasing, LinkAtTheOutputNameRefusesTheJoin)
{
    makeSet();
    const std::vector<std::string> slices = Slices(content_, 300);
    bool symbolicLinksMade = true;
    for (const bool symbolic : {false, true}) {
        SCOPED_TRACE(symbolic ? "symbolic" : "hard");
        sink_.events.clear();
        if (!Link(piece(0), input(), symbolic)) {
            ASSERT_TRUE(symbolic) << "no hard link could be made";
            symbolicLinksMade = false;
            continue;
        }
        runJoin(piece(1));
        expectRefused(OutputInTheWayText(input()), kJoiner);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(ReadFileBytes(piece(i)), slices[static_cast<std::size_t>(i)]) << i;
        fs::remove(PathFromUtf8(input()));
    }
    if (!symbolicLinksMade) {
        GTEST_SKIP() << "hard links checked; this platform makes no symbolic links";
    }
}

// Piece 0 as a link to a file kept elsewhere, hard or symbolic: the join copies
// it (renaming the link would move only the link, and appending to a second
// name would change the file kept elsewhere). That file stays as it was; the
// link is consumed like any piece.
TEST_F(Aliasing, LinkAsPieceZeroIsCopiedNeverRenamedOrWrittenThrough)
{
    makeSet();
    const std::string kept = path("kept.bin");
    fs::rename(PathFromUtf8(piece(0)), PathFromUtf8(kept));
    bool symbolicLinksMade = true;
    for (const bool symbolic : {false, true}) {
        SCOPED_TRACE(symbolic ? "symbolic" : "hard");
        sink_.events.clear();
        if (!Link(kept, piece(0), symbolic)) {
            ASSERT_TRUE(symbolic) << "no hard link could be made";
            symbolicLinksMade = false;
            continue;
        }
        runJoin(piece(2));
        expectOutcome(kJoinSucceeded, kJoiner);
        EXPECT_EQ(ReadFileBytes(input()), content_);
        EXPECT_EQ(ReadFileBytes(kept), content_.substr(0, 300));
        EXPECT_EQ(filesInDir(), (std::vector<std::string>{"in.bin", "kept.bin"}));
        fs::remove(PathFromUtf8(input()));
        for (int i = 1; i < 4; ++i)
            WriteFileBytes(piece(i), content_.substr(300u * i, 300));
    }
    if (!symbolicLinksMade) {
        GTEST_SKIP() << "hard links checked; this platform makes no symbolic links";
    }
}

// Bytes added to the input while it is split are in no piece: the input stays.
// Where the split keeps writers out (Windows), the writer is refused and the
// split completes with the bytes it read.
TEST_F(Aliasing, InputThatGrowsDuringTheSplitIsKept)
{
    OtherWriter writer;
    bool wrote = false;
    files_.beforeCall = [&](IoCall call, const std::string& name) {
        if (call == IoCall::CreateNew && name == piece(2))
            wrote = writer.start(input(), [&] { WriteFileBytes(input(), content_ + "appended"); });
    };
    runSplit(input(), 300);
    writer.finish();
    if (!wrote) {
        expectOutcome(kSplitSucceeded, kSplitter);
        EXPECT_EQ(ReadFileBytes(piece(3)), content_.substr(900));
        return;
    }
    expectOutcome("The file splitting operation failed!", kSplitter);
    EXPECT_EQ(result_.outcome, JobOutcome::Failed);
    EXPECT_EQ(ReadFileBytes(input()), content_ + "appended");
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"in.bin"});
}

// An editor that saves by writing a new file and renaming it over the input.
TEST_F(Aliasing, InputReplacedDuringTheSplitIsKept)
{
    const std::string saved = MakeContent(1000, 8);
    std::error_code replaced;
    files_.beforeCall = [&](IoCall call, const std::string& name) {
        if (call == IoCall::CreateNew && name == piece(3)) {
            WriteFileBytes(path("saved.tmp"), saved);
            fs::rename(PathFromUtf8(path("saved.tmp")), PathFromUtf8(input()), replaced);
        }
    };
    runSplit(input(), 300);
    if (replaced) {
        GTEST_SKIP() << "this platform lets no file held open be replaced: " << replaced.message();
    }
    expectOutcome("The file splitting operation failed!", kSplitter);
    EXPECT_EQ(ReadFileBytes(input()), saved);
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"in.bin"});
}

// A piece replaced between the checks and its copy is not the piece that was
// measured: the join stops and keeps it; the output, which holds no piece but
// the renamed piece 0, is cut back to it and renamed back.
TEST_F(Aliasing, PieceReplacedDuringTheJoinIsKept)
{
    makeSet();
    const std::string other = MakeContent(300, 5);
    // Once the journal is there, the checks are over and the copy has begun.
    files_.beforeCall = [&](IoCall call, const std::string& name) {
        if (call == IoCall::OpenForReading && name == piece(1) && FileExists(JournalPath(input()))) {
            WriteFileBytes(path("other.tmp"), other);
            fs::rename(PathFromUtf8(path("other.tmp")), PathFromUtf8(piece(1)));
        }
    };
    runJoin(piece(0));
    expectOutcome(kJoinFailed, kJoiner);
    EXPECT_EQ(result_.file, piece(1));
    EXPECT_EQ(ReadFileBytes(piece(1)), other);
    EXPECT_FALSE(FileExists(input()));
    EXPECT_EQ(ReadFileBytes(piece(0)), content_.substr(0, 300));
    for (int i = 2; i < 4; ++i)
        EXPECT_TRUE(FileExists(piece(i))) << i;
}

// Two joins of one set at once, and a join of a set its split is still
// writing: the second job is refused and the first one ends well.
TEST_F(Aliasing, SecondJobOnTheSameSetIsRefused)
{
    makeSet();
    std::vector<JobResult> second;
    files_.beforeCall = [&](IoCall call, const std::string& name) {
        const bool appending = call == IoCall::Flush && name == input();
        if (appending && second.size() < 2) {
            second.push_back(JobResult{});  // no second job inside the second job
            second.back() = JoinFiles(piece(2));
        }
    };
    runJoin(piece(0));
    EXPECT_EQ(result_.outcome, JobOutcome::Succeeded);
    EXPECT_EQ(ReadFileBytes(input()), content_);
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"in.bin"});
    ASSERT_EQ(second.size(), 2u);
    for (const JobResult& refused : second)
        EXPECT_EQ(refused.outcome, JobOutcome::Refused);

    sink_.events.clear();
    files_ = FaultyFileSystem();
    bool joined = false;
    JobResult duringSplit;
    files_.beforeCall = [&](IoCall call, const std::string& name) {
        if (call == IoCall::CreateNew && name == piece(3) && !joined) {
            joined = true;
            duringSplit = JoinFiles(piece(0));
        }
    };
    runSplit(input(), 300);
    EXPECT_TRUE(joined);
    EXPECT_EQ(duringSplit.outcome, JobOutcome::Refused);
    EXPECT_EQ(result_.outcome, JobOutcome::Succeeded);
    runJoin(piece(0));
    EXPECT_EQ(ReadFileBytes(input()), content_);
}

}  // namespace
