// A join asked to stop, a join that keeps its pieces (--keep), a join into
// another folder (--into), and a rebuilt file larger than its disk holds: what
// each leaves on disk, and the join that takes it up.

#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <string>

#include "engine_fixture.h"
#include "job_messages.h"
#include "job_state.h"
#include "join_job.h"
#include "join_journal.h"

namespace {

using job_messages::JoinIntoFolderMissing;
using job_messages::JoinIntoOtherFolder;
using job_messages::JoinStopped;
using job_messages::JoinStoppedBeforeAPiece;
using job_messages::JoinTooLargeForDisk;

constexpr std::int64_t kKiB = 1024;

// Five pieces, four of 300 KiB and one of 290 KiB, each more than two chunks
// of the read/write copy, so that a stop can come in the middle of a piece.
class JoinOptions : public PieceSetTest {
protected:
    void SetUp() override
    {
        PieceSetTest::SetUp();
        useSet(MakeContent(4 * 300 * kKiB + 290 * kKiB, 51), 300 * kKiB);
        files_.inKernelCopy = false;
    }

    // Every piece whole, the list beside them, nothing else.
    void freshSet()
    {
        for (const std::string& name : filesInDir())
            fs::remove_all(dir_ / PathFromUtf8(name));
        writePieces();
        WriteFileBytes(listPath(), ListTextFor(output(), original_, partSize_));
    }

    std::string listPath() const { return path("orig.bin.plit.sha256"); }
    // The original's path in the folder `into` of the test's own.
    std::string inFolder(const std::string& into) const { return Utf8(dir_ / PathFromUtf8(into) / "orig.bin"); }
    std::string head(int pieces) const
    {
        return original_.substr(0, static_cast<std::size_t>(std::min<std::int64_t>(
                                       pieces * partSize_, static_cast<std::int64_t>(original_.size()))));
    }
    // A folder of the test's own, made on demand.
    std::string folderIn(const std::string& name)
    {
        fs::create_directories(dir_ / name);
        return path(name);
    }

    // A fresh set and a join about to start on it, copying (`keep`) or into
    // the folder `into` when given, with no stop asked for and no fault planned.
    void startFresh(bool keep, const char* into)
    {
        freshSet();
        sink_.events.clear();
        files_ = FaultyFileSystem();
        files_.inKernelCopy = false;
        jobState.keep = keep;
        jobState.intoFolder = into ? folderIn(into) : "";
        jobState.stopRequested = 0;
    }

    // A join of the set, stopped in its first write of piece 2: its output
    // holds pieces 0 and 1, as a later join finds it.
    void stopHoldingTwoPieces()
    {
        bool armed = false;
        files_.beforeCall = [&](IoCall call, const std::string& name) {
            if (call == IoCall::OpenForReading && name == piece(2) && FileExists(JournalPath(output())))
                armed = true;
            if (armed && call == IoCall::Write)
                jobState.stopRequested = 1;
        };
        runJoin(piece(0));
        files_.beforeCall = nullptr;
        jobState.stopRequested = 0;
        ASSERT_EQ(result_.piecesHeld, 2);
    }

    // The pieces from `first` on are whole at their names, and those before it gone.
    void expectPiecesFrom(int first)
    {
        for (int i = 0; i < count(); ++i) {
            SCOPED_TRACE(testing::Message() << "piece " << i);
            if (i < first) {
                EXPECT_FALSE(FileExists(piece(i)));
            } else {
                ASSERT_TRUE(FileExists(piece(i)));
                EXPECT_EQ(ReadFileBytes(piece(i)), pieces_[static_cast<std::size_t>(i)]);
            }
        }
    }

    // The set as a join that kept it leaves it: every piece, the list, and
    // the original at `rebuilt`.
    void expectKeptBeside(const std::string& rebuilt)
    {
        expectPiecesFrom(0);
        EXPECT_EQ(ReadFileBytes(listPath()), ListTextFor(output(), original_, partSize_));
        ASSERT_TRUE(FileExists(rebuilt));
        EXPECT_EQ(ReadFileBytes(rebuilt), original_);
    }
};

// Where a stop is asked for, as the join runs.
enum class StopAt {
    BeforeTheFirstChunk,  // before the job starts
    InPiece2,             // after the first chunk of piece 2 is written
    InTheLastPiece,       // after the first chunk of the last piece
    AtTheFinalDeletions,  // once the journal goes: every byte is in the output
};

TEST_F(JoinOptions, StopLeavesWholePiecesAndTheJoinOfOnePieceFinishesIt)
{
    const struct {
        const char* name;
        StopAt at;
        bool keep;
        const char* into;
        JobOutcome outcome;
        int held;       // pieces the output holds after the stop
        int firstLeft;  // the lowest piece left
    } rows[] = {
        {"piece 0 renamed, stopped before the first chunk", StopAt::BeforeTheFirstChunk, false, nullptr,
         JobOutcome::Stopped, 1, 1},
        {"stopped in piece 2", StopAt::InPiece2, false, nullptr, JobOutcome::Stopped, 2, 2},
        {"stopped in the last piece: the last but one stays too", StopAt::InTheLastPiece, false, nullptr,
         JobOutcome::Stopped, 4, 3},
        {"stopped at the final deletions, which it finishes", StopAt::AtTheFinalDeletions, false, nullptr,
         JobOutcome::Succeeded, 5, 5},
        {"a copy stopped before the first chunk: nothing changed", StopAt::BeforeTheFirstChunk, true, nullptr,
         JobOutcome::Stopped, 0, 0},
        {"a copy stopped in piece 2", StopAt::InPiece2, true, nullptr, JobOutcome::Stopped, 2, 0},
        {"into another folder, stopped in piece 2", StopAt::InPiece2, false, "out", JobOutcome::Stopped, 2, 2},
        {"into another folder, stopped before the first chunk", StopAt::BeforeTheFirstChunk, false, "out",
         JobOutcome::Stopped, 0, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        startFresh(row.keep, row.into);
        const std::string rebuilt = row.into ? inFolder(row.into) : output();
        bool armed = false;
        files_.beforeCall = [&](IoCall call, const std::string& name) {
            const int stopPiece = row.at == StopAt::InPiece2 ? 2 : count() - 1;
            const bool inAPiece = row.at == StopAt::InPiece2 || row.at == StopAt::InTheLastPiece;
            if (inAPiece && call == IoCall::OpenForReading && name == piece(stopPiece) &&
                FileExists(JournalPath(output())))
                armed = true;
            if (call == IoCall::Write && armed && name.find("orig.bin") != std::string::npos)
                jobState.stopRequested = 1;
            if (row.at == StopAt::AtTheFinalDeletions && call == IoCall::RemoveIfSame &&
                name == JournalPath(output()))
                jobState.stopRequested = 1;
        };
        jobState.stopRequested = row.at == StopAt::BeforeTheFirstChunk ? 1 : 0;

        runJoin(piece(count() - 1));

        files_.beforeCall = nullptr;
        jobState.stopRequested = 0;
        ASSERT_EQ(result_.outcome, row.outcome);
        EXPECT_EQ(result_.resultPath, rebuilt);
        EXPECT_EQ(result_.pieceCount, count());
        if (row.outcome == JobOutcome::Succeeded) {
            expectOutcome(kJoinSucceeded, kJoiner);
            EXPECT_EQ(filesInDir(), std::vector<std::string>{"orig.bin"});
            EXPECT_EQ(ReadFileBytes(rebuilt), original_);
            continue;
        }
        const std::string resumeWith = piece(row.held);
        expectOutcome(row.held == 0 ? JoinStoppedBeforeAPiece(resumeWith)
                                    : JoinStopped(rebuilt, row.held, count(), resumeWith),
                      kJoiner);
        EXPECT_EQ(result_.piecesHeld, row.held);
        EXPECT_EQ(result_.resumeWith, resumeWith);
        EXPECT_EQ(result_.kept, row.keep);
        expectPiecesFrom(row.firstLeft);
        if (row.held == 0) {
            EXPECT_FALSE(FileExists(rebuilt)) << "the set is as it was";
            EXPECT_FALSE(FileExists(JournalPath(output())));
            EXPECT_FALSE(FileExists(PrivateOutputPath(rebuilt)));
        } else {
            EXPECT_EQ(ReadFileBytes(rebuilt), head(row.held)) << "whole pieces, cut back to the last";
            EXPECT_TRUE(FileExists(JournalPath(output()))) << "the journal stays for the join that finishes it";
        }

        // The join of the piece it names finishes it, without --keep or
        // --into: the journal tells both. A set put back as it was starts
        // again as it was asked the first time.
        sink_.events.clear();
        if (row.held > 0) {
            jobState.keep = false;
            jobState.intoFolder.clear();
        }
        runJoin(resumeWith);
        expectOutcome(kJoinSucceeded, kJoiner);
        EXPECT_EQ(result_.kept, row.keep);
        if (row.keep) {
            expectKeptBeside(rebuilt);
            EXPECT_EQ(filesInDir().size(), static_cast<std::size_t>(count()) + 2) << "the pieces, list and output";
        } else {
            EXPECT_EQ(ReadFileBytes(rebuilt), original_);
            EXPECT_EQ(filesInDir(), std::vector<std::string>{row.into ? row.into : "orig.bin"}) << "the original alone";
        }
    }
}

// --keep: piece 0 copied, never renamed; every piece and the list stay the
// same files, byte for byte; the outcome says so. A second join --keep finds
// its work done and changes nothing.
TEST_F(JoinOptions, KeepCopiesAndKeepsEveryPieceAndTheList)
{
    freshSet();
    std::vector<std::optional<FileIdentity>> before;
    for (int i = 0; i < count(); ++i)
        before.push_back(platformFileSystem().identityAt(piece(i)));
    jobState.keep = true;
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "the join" : "the same join again");
        sink_.events.clear();
        runJoin(piece(1));
        expectOutcome(kJoinSucceeded, kJoiner);
        EXPECT_EQ(result_.outcome, JobOutcome::Succeeded);
        EXPECT_TRUE(result_.kept);
        EXPECT_TRUE(result_.checked);
        EXPECT_EQ(result_.resultPath, output());
        EXPECT_EQ(result_.pieceCount, count());
        expectKeptBeside(output());
        EXPECT_EQ(filesInDir().size(), static_cast<std::size_t>(count()) + 2);
        for (int i = 0; i < count(); ++i)
            EXPECT_TRUE(platformFileSystem().identityAt(piece(i)) == before[static_cast<std::size_t>(i)])
                << "piece " << i << " is the same file, unchanged";
    }
}

// --into DIR: the output and its private file in DIR, the journal beside the
// pieces, recording DIR: relative to the pieces' folder for a folder inside
// it, absolute for any other. A folder that is not there is refused.
TEST_F(JoinOptions, IntoAnotherFolderWritesTheOutputThereAndTheJournalRecordsIt)
{
    const fs::path elsewhere = dir_.parent_path() / (dir_.filename().string() + "-elsewhere");
    fs::create_directories(elsewhere);
    const struct {
        const char* name;
        std::string folder;
        std::string record;
    } rows[] = {
        {"a folder inside the pieces' folder", folderIn("out/deep"), "out/deep"},
        {"the same, named with a trailing slash", folderIn("out") + "/", "out"},
        {"the pieces' own folder", Utf8(dir_), "."},
        {"a folder outside it", Utf8(elsewhere), Utf8(elsewhere)},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        freshSet();
        fs::create_directories(dir_ / "out/deep");
        sink_.events.clear();
        jobState.intoFolder = row.folder;
        std::string recorded;
        files_.beforeCall = [&](IoCall call, const std::string& name) {
            if (call == IoCall::OpenForReading && name == piece(1) && FileExists(JournalPath(output()))) {
                Journal journal;
                ASSERT_EQ(ParseJournal(ReadFileBytes(JournalPath(output())), journal), JournalText::Read);
                recorded = journal.outputFolder;
            }
        };
        runJoin(piece(0));
        files_.beforeCall = nullptr;
        const std::string rebuilt = Utf8(PathFromUtf8(row.record == "." ? Utf8(dir_) : row.folder) / "orig.bin");
        expectOutcome(kJoinSucceeded, kJoiner);
        EXPECT_EQ(recorded, row.record);
        EXPECT_EQ(fs::path(PathFromUtf8(result_.resultPath)).lexically_normal(),
                  fs::path(PathFromUtf8(rebuilt)).lexically_normal());
        EXPECT_EQ(ReadFileBytes(result_.resultPath), original_);
        for (const std::string& name : filesInDir())
            EXPECT_TRUE(name == "out" || name == "orig.bin") << name << " is left";
        fs::remove(PathFromUtf8(result_.resultPath));
    }
    fs::remove_all(elsewhere);

    freshSet();
    sink_.events.clear();
    const Folder before = folder();
    jobState.intoFolder = path("no such folder");
    runJoin(piece(0));
    expectRefused(JoinIntoFolderMissing(path("no such folder")), kJoiner);
    EXPECT_TRUE(folder() == before) << "a refusal changes no file";
}

// An interrupted join into one folder is not taken up into another: refused,
// naming the folder its journal records; joined into that folder, or without
// naming one, it finishes there.
TEST_F(JoinOptions, InterruptedJoinGoesOnIntoItsOwnFolderOnly)
{
    freshSet();
    jobState.intoFolder = folderIn("out");
    jobState.stopRequested = 1;
    runJoin(piece(0));
    jobState.stopRequested = 0;
    ASSERT_EQ(result_.outcome, JobOutcome::Stopped);
    ASSERT_EQ(result_.piecesHeld, 0) << "a copy into another folder stops before a piece";

    // Stopped with two pieces held: the state a later join finds.
    freshSet();
    folderIn("out");
    stopHoldingTwoPieces();

    sink_.events.clear();
    Folder before = folder();
    jobState.intoFolder = folderIn("other");
    before["other"] = "(a folder)";
    runJoin(piece(3));
    expectRefused(JoinIntoOtherFolder(JournalPath(output()), path("out")), kJoiner);
    EXPECT_TRUE(folder() == before) << "a refusal changes no file";

    sink_.events.clear();
    jobState.intoFolder = path("out");
    runJoin(piece(3));
    expectOutcome(kJoinSucceeded, kJoiner);
    EXPECT_EQ(ReadFileBytes(path("out/orig.bin")), original_);
    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"other", "out"}));
}

// A rebuilt file larger than its folder's file system holds is refused before
// anything is touched, naming the size and the limit: beside the pieces, into
// another folder, and when an interrupted join would go on. One byte less
// than the limit, and the limit itself, join.
TEST_F(JoinOptions, RebuiltFileLargerThanItsDiskHoldsIsRefusedBeforeAnythingIsTouched)
{
    const std::int64_t size = static_cast<std::int64_t>(original_.size());
    const struct {
        const char* name;
        const char* into;
        std::int64_t largest;
        bool refused;
    } rows[] = {
        {"one byte too large", nullptr, size - 1, true},
        {"exactly the largest", nullptr, size, false},
        {"FAT's limit", nullptr, 4294967295, false},
        {"into a folder on a smaller disk", "out", size - 1, true},
        {"into a folder on a disk large enough", "out", size, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        freshSet();
        sink_.events.clear();
        files_ = FaultyFileSystem();
        jobState.intoFolder = row.into ? folderIn(row.into) : "";
        files_.largestFileUnder[row.into ? path(row.into) : Utf8(dir_)] = row.largest;
        const std::string rebuilt = row.into ? inFolder(row.into) : output();
        const Folder before = folder();
        runJoin(piece(0));
        if (row.refused) {
            expectRefused(JoinTooLargeForDisk(rebuilt, size, row.largest), kJoiner);
            EXPECT_EQ(result_.file, rebuilt);
            EXPECT_TRUE(folder() == before) << "a refusal changes no file";
            if (row.into) {
                EXPECT_FALSE(FileExists(rebuilt));
            }
        } else {
            expectOutcome(kJoinSucceeded, kJoiner);
            EXPECT_EQ(ReadFileBytes(rebuilt), original_);
            fs::remove(PathFromUtf8(rebuilt));
        }
    }

    // A join stopped with two pieces held, its disk then found too small.
    freshSet();
    jobState.intoFolder.clear();
    files_ = FaultyFileSystem();
    files_.inKernelCopy = false;
    stopHoldingTwoPieces();
    sink_.events.clear();
    files_.largestFileUnder[Utf8(dir_)] = size - 1;
    const Folder before = folder();
    runJoin(piece(2));
    expectRefused(JoinTooLargeForDisk(output(), size, size - 1), kJoiner);
    EXPECT_TRUE(folder() == before) << "a refusal changes no file";
}

}  // namespace

namespace {

// A stop asked for before each call of the join in turn, and the same join
// again: a stopped join holds whole pieces alone (or nothing, the set as it
// was), the pieces from the one it names on are whole, and the join of that
// piece ends with the original. Plain, keeping the pieces, into another
// folder; the set with its list.
TEST_F(JoinOptions, StopAskedBeforeEveryCallLeavesAJoinThatFinishes)
{
    // Four pieces, each of two chunks of the copy's buffer but the last: a
    // stop lands inside a piece, between two, and in the last.
    useSet(MakeContent(3 * 130 * kKiB + 60 * kKiB, 52), 130 * kKiB);
    const struct {
        const char* name;
        bool keep;
        const char* into;
    } runs[] = {{"a move", false, nullptr}, {"a copy", true, nullptr}, {"into another folder", false, "out"}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.name);
        const std::string rebuilt = run.into ? inFolder(run.into) : output();
        const auto startOver = [&] { startFresh(run.keep, run.into); };
        int calls = 0;
        startOver();
        files_.beforeCall = [&](IoCall, const std::string&) { ++calls; };
        runJoin(piece(0));
        ASSERT_EQ(result_.outcome, JobOutcome::Succeeded);
        const int total = calls;

        int stopped = 0;
        for (int at = 1; at <= total; ++at) {
            SCOPED_TRACE(testing::Message() << "stop asked before call " << at << " of " << total);
            startOver();
            calls = 0;
            files_.beforeCall = [&](IoCall, const std::string&) {
                if (++calls == at)
                    jobState.stopRequested = 1;
            };
            runJoin(piece(0));
            files_.beforeCall = nullptr;
            jobState.stopRequested = 0;
            ASSERT_TRUE(result_.outcome == JobOutcome::Stopped || result_.outcome == JobOutcome::Succeeded)
                << "outcome " << static_cast<int>(result_.outcome);
            if (result_.outcome == JobOutcome::Succeeded) {
                EXPECT_EQ(ReadFileBytes(rebuilt), original_);
                continue;
            }
            ++stopped;
            const int held = result_.piecesHeld;
            EXPECT_EQ(result_.resumeWith, piece(held));
            if (held == 0) {
                EXPECT_FALSE(FileExists(rebuilt));
                expectPiecesFrom(0);
            } else {
                EXPECT_EQ(ReadFileBytes(rebuilt), head(held));
                for (int i = held; i < count(); ++i)
                    EXPECT_EQ(ReadFileBytes(piece(i)), pieces_[static_cast<std::size_t>(i)]) << "piece " << i;
                if (run.keep)
                    expectPiecesFrom(0);
            }
            sink_.events.clear();
            if (held > 0) {
                jobState.keep = false;
                jobState.intoFolder.clear();
            }
            runJoin(result_.resumeWith);
            ASSERT_EQ(result_.outcome, JobOutcome::Succeeded);
            EXPECT_EQ(ReadFileBytes(rebuilt), original_);
            if (run.keep)
                expectKeptBeside(rebuilt);
            else
                EXPECT_EQ(filesInDir(), std::vector<std::string>{run.into ? run.into : "orig.bin"});
        }
        std::cout << "[ stop sweep ] " << run.name << ": " << total << " calls, " << stopped << " stopped runs"
                  << std::endl;
        EXPECT_GT(stopped, total / 2) << "a stop asked for before most calls stops the join";
    }
}

}  // namespace
