// The join job on good input: any piece rebuilds the set, names as the chosen
// piece spells them, progress, and split followed by join.

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "join_job.h"

namespace {

class JoinJob : public EngineTest {
protected:
    // Writes `pieces` as original.i.<countText>.plit in the test's folder.
    void writePieces(const std::string& original, const std::vector<std::string>& pieces,
                     const std::string& countText)
    {
        for (std::size_t i = 0; i < pieces.size(); ++i)
            WriteFileBytes(path(original + "." + std::to_string(i) + "." + countText + ".plit"), pieces[i]);
    }

    static std::string Concatenated(const std::vector<std::string>& pieces)
    {
        std::string all;
        for (const std::string& piece : pieces)
            all += piece;
        return all;
    }
};

TEST_F(JoinJob, AnyPieceRebuildsTheOriginal)
{
    const struct {
        const char* original;
        const char* countText;
        int pieceCount;
        const char* chosen;
    } cases[] = {
        {"movie.avi", "3", 3, "movie.avi.0.3.plit"},
        {"movie.avi", "3", 3, "movie.avi.1.3.plit"},
        {"movie.avi", "3", 3, "movie.avi.2.3.plit"},
        // The chosen name itself need not exist: its last extension is not
        // tested and its index is never read.
        {"movie.avi", "3", 3, "movie.avi.1.3.txt"},
        {"a.bin", "2", 2, "a.bin.x.2.plit"},
        // The count text is reused as it stands.
        {"a.bin", "03", 3, "a.bin.0.03.plit"},
        {"a.bin", "3x", 3, "a.bin.0.3x.plit"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen);
        sink_.events.clear();
        std::vector<std::string> pieces;
        for (int i = 0; i < c.pieceCount; ++i)
            pieces.push_back(MakeContent(300 - 100 * (i == c.pieceCount - 1), static_cast<std::uint32_t>(i + 1)));
        writePieces(c.original, pieces, c.countText);

        runJoin(path(c.chosen));

        expectOutcome(kJoinSucceeded, kJoiner);
        EXPECT_EQ(result_.outcome, JobOutcome::Succeeded);
        EXPECT_EQ(result_.file, "");
        EXPECT_EQ(filesInDir(), std::vector<std::string>{c.original});
        EXPECT_EQ(ReadFileBytes(path(c.original)), Concatenated(pieces));
        fs::remove(dir_ / c.original);
    }
}

TEST_F(JoinJob, ProgressCountsTheEndOfEachPiece)
{
    const struct {
        std::vector<std::int64_t> sizes;
        int posts;
    } cases[] = {
        {{300, 300, 100}, 100},      // 703 read, step 7
        {{400, 400, 299}, 110},      // 1,102 read, step 10
        {{10, 10, 10}, 33},          // under 100 bytes the step is one byte
        {{1}, 2},                    // a set of one piece
        {{5000, 5000, 17}, 100},     // 10,020 read, step 100
        {{1048576 + 5, 1048576 + 5, 11}, 100},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sizes.size() << " pieces, posts " << c.posts);
        sink_.events.clear();
        std::vector<std::string> pieces;
        std::int64_t total = 0;
        for (const std::int64_t size : c.sizes) {
            pieces.push_back(MakeContent(size, static_cast<std::uint32_t>(pieces.size() + 3)));
            total += size;
        }
        const std::string count = std::to_string(pieces.size());
        writePieces("out.bin", pieces, count);

        runJoin(path("out.bin.0." + count + ".plit"));

        expectOutcome(kJoinSucceeded, kJoiner);
        EXPECT_EQ(sink_.posts(WM_JOB_PROGRESS), c.posts);
        EXPECT_EQ(jobState.totalBytes, total);
        EXPECT_EQ(jobState.bytesDone, total + static_cast<std::int64_t>(pieces.size()));
        EXPECT_TRUE(ReadFileBytes(path("out.bin")) == Concatenated(pieces));
        EXPECT_EQ(filesInDir(), std::vector<std::string>{"out.bin"});
        fs::remove(dir_ / "out.bin");
    }
}

// A file at the original's path is never written over: it may be the only
// copy, such as the input of a split that did not finish.
TEST_F(JoinJob, ExistingOutputIsRefusedAndKept)
{
    const std::vector<std::string> pieces = {MakeContent(300), MakeContent(100, 2)};
    writePieces("a.bin", pieces, "2");
    const std::string existing = MakeContent(5000, 9);
    WriteFileBytes(path("a.bin"), existing);
    runJoin(path("a.bin.1.2.plit"));
    expectRefused(OutputInTheWayText(path("a.bin")), kJoiner);
    EXPECT_EQ(result_.outcome, JobOutcome::Refused);
    EXPECT_EQ(ReadFileBytes(path("a.bin")), existing);
    EXPECT_EQ(ReadFileBytes(path("a.bin.0.2.plit")), pieces[0]);
    EXPECT_EQ(ReadFileBytes(path("a.bin.1.2.plit")), pieces[1]);
}

TEST_F(JoinJob, SpaceCheckIsStrictAndLooksAtTheFirstPieceOnly)
{
    const std::vector<std::string> pieces = {MakeContent(300), MakeContent(300, 2), MakeContent(100, 3)};
    writePieces("a.bin", pieces, "3");

    files_.freeBytes = 300;
    runJoin(path("a.bin.0.3.plit"));
    expectRefused(kJoinNoSpace, kJoiner);
    EXPECT_EQ(filesInDir().size(), 3u) << "the pieces alone: no journal, no output";

    sink_.events.clear();
    files_.freeBytes = 301;
    runJoin(path("a.bin.0.3.plit"));
    expectOutcome(kJoinSucceeded, kJoiner);
    EXPECT_EQ(ReadFileBytes(path("a.bin")), Concatenated(pieces));
}

TEST_F(JoinJob, FailedSpaceQueryNeverRefuses)
{
    const std::vector<std::string> pieces = {MakeContent(300), MakeContent(100, 2)};
    writePieces("a.bin", pieces, "2");
    files_.freeBytes = FREE_QUERY_FAILED;
    runJoin(path("a.bin.0.2.plit"));
    expectOutcome(kJoinSucceeded, kJoiner);
}

TEST_F(JoinJob, SplitThenJoinRestoresTheInput)
{
    for (const std::string& name : {std::string("plain.bin"),
                                   std::string("\xD0\x94\xD0\xB0\xD1\x87\xD0\xB0 \xE6\x96\x87\xE4\xBB\xB6 \xF0\x9F\x98\x80.bin")}) {
        SCOPED_TRACE(name);
        const std::string content = MakeContent(2 * 1048576 + 1001, 11);
        WriteFileBytes(path(name), content);

        sink_.events.clear();
        runSplit(path(name), 600001);
        expectOutcome(kSplitSucceeded, kSplitter);
        EXPECT_FALSE(FileExists(path(name)));
        EXPECT_EQ(filesInDir().size(), 5u);  // four pieces and their list

        sink_.events.clear();
        runJoin(path(name + ".3.4.plit"));
        expectOutcome(kJoinSucceeded, kJoiner);
        EXPECT_EQ(filesInDir(), std::vector<std::string>{name});
        EXPECT_TRUE(ReadFileBytes(path(name)) == content);
        fs::remove(PathFromUtf8(path(name)));
    }
}

}  // namespace
