// A split in place and the join that gives its input back. Every shape of set
// splits whole and joins back; a fault at any call and a stop before any call
// end in a state that a split started again and a join both recover, byte for
// byte; and the split goes in place only when it may.

#include <gtest/gtest.h>

#include <functional>

#include "engine_fixture.h"
#include "in_place_split.h"
#include "job_messages.h"
#include "join_journal.h"
#include "piece_names.h"

namespace {

using job_messages::SplitInPlaceNotPlain;
using job_messages::SplitInPlacePartSize;
using job_messages::SplitInPlaceQuestion;

struct Shape {
    const char* name;
    std::int64_t size;
    std::int64_t partSize;
};
const Shape kShapes[] = {
    {"1-byte pieces", 7, 1},
    {"an uneven last piece", 1000, 300},
    {"2 pieces", 1000, 600},
    {"10 pieces", 1000, 100},
};
// The input's last write time, which the pieces and the rebuilt file keep:
// in whole 100 ns, as Windows keeps it.
constexpr std::int64_t kModifiedUtc = 1700000000123456700;

class InPlaceTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        jobState.inPlace = InPlaceChoice::Always;
    }
    void TearDown() override
    {
        jobState.stopRequested = 0;
        jobState.writeList = true;
        EngineTest::TearDown();
    }

    std::string input() const { return path("in.bin"); }
    std::string piece(std::int64_t index) const { return PieceName(input(), index, std::to_string(count())); }
    std::int64_t count() const { return (shape_.size + shape_.partSize - 1) / shape_.partSize; }

    // The input of `shape`, alone in the folder, with a disk whose room holds
    // two pieces beyond what the split needs anyway, so that it cuts in
    // batches of two.
    void startWith(const Shape& shape)
    {
        shape_ = shape;
        sink_.events.clear();
        content_ = MakeContent(shape.size, 7);
        for (const std::string& name : filesInDir())
            fs::remove(dir_ / PathFromUtf8(name));
        WriteFileBytes(input(), content_);
        setModified(input());
        files_.availableBytes =
            InPlaceRoomNeeded({input(), shape.partSize, count(), std::to_string(count()), true}) + shape.partSize;
    }
    void setModified(const std::string& path)
    {
        std::unique_ptr<File> file = platformFileSystem().openForUpdate(path);
        ASSERT_TRUE(file && file->setModified(UtcNanosecondsToModified(kModifiedUtc)) && file->close());
    }
    void split() { runSplit(input(), shape_.partSize); }

    // A fresh split of `shape`, stopped as it is about to cut its input the
    // first time: the input holds the first pieces, the others beside it.
    void stopAtFirstCut(const Shape& shape)
    {
        startWith(shape);
        jobState.stopRequested = 0;
        files_.beforeCall = [&](IoCall call, const std::string&) {
            if (call == IoCall::Truncate)
                jobState.stopRequested = 1;
        };
        split();
        files_.beforeCall = nullptr;
        jobState.stopRequested = 0;
        ASSERT_EQ(result_.outcome, JobOutcome::Stopped);
    }

    // The folder holds the whole set, its list (when written) and nothing
    // else; `withTime`: each piece has the input's last write time.
    void expectWholeSet(bool withTime = true)
    {
        Folder expected;
        const std::vector<std::string> slices = Slices(content_, shape_.partSize);
        for (std::int64_t index = 0; index < count(); ++index)
            expected[LeafOf(piece(index))] = slices[static_cast<std::size_t>(index)];
        Folder found = folder();
        if (jobState.writeList) {
            EXPECT_EQ(found.erase("in.bin.plit.sha256"), 1u) << "the list is missing";
        }
        EXPECT_EQ(found, expected);
        if (withTime) {
            EXPECT_EQ(UtcModifiedOf(piece(0)), kModifiedUtc);
            EXPECT_EQ(UtcModifiedOf(piece(count() - 1)), kModifiedUtc);
        }
    }
    // The folder holds the original alone, as it was.
    void expectOriginal(bool withTime = true)
    {
        EXPECT_EQ(folder(), (Folder{{"in.bin", content_}}));
        if (withTime && FileExists(input())) {
            EXPECT_EQ(UtcModifiedOf(input()), kModifiedUtc);
        }
    }

    // What a run left is recovered with Vandrel alone, on a sound disk: by
    // starting the split again where the input is still there (`splitAgain`),
    // else by a join of the last piece; each recovery ends cleanly, with every
    // byte. (A last write time that a fault kept the job from setting is
    // reported by that job, and not asked of the recovery.)
    void recover(bool splitAgain)
    {
        files_ = FaultyFileSystem();
        jobState.stopRequested = 0;
        sink_.events.clear();
        // Without a piece there is nothing to join: a split started again
        // takes up whatever is left beside the input.
        if (FileExists(input()) && (splitAgain || !FileExists(piece(count() - 1)))) {
            split();
            ASSERT_EQ(result_.outcome, JobOutcome::Succeeded) << expectOneEnd(kSplitter);
            expectWholeSet(false);
            return;
        }
        if (FileExists(piece(count() - 1))) {
            runJoin(piece(count() - 1));
            ASSERT_EQ(result_.outcome, JobOutcome::Succeeded) << expectOneEnd(kJoiner);
        }
        expectOriginal(false);
    }

    Shape shape_{};
    std::string content_;
};

TEST_F(InPlaceTest, EveryShapeSplitsInPlaceAndJoinsBack)
{
    for (const bool withList : {true, false}) {
        for (const Shape& shape : kShapes) {
            SCOPED_TRACE(std::string(shape.name) + (withList ? ", with the list" : ", without the list"));
            jobState.writeList = withList;
            startWith(shape);
            split();
            expectOutcome(kSplitSucceeded, kSplitter);
            EXPECT_TRUE(result_.inPlace);
            EXPECT_EQ(result_.resultPath, piece(0));
            expectWholeSet();
            EXPECT_EQ(jobState.bytesDone.load(), shape.size) << "the bar reaches its end";
            sink_.events.clear();
            runJoin(piece(count() / 2));
            expectOutcome(kJoinSucceeded, kJoiner);
            expectOriginal();
        }
    }
}

// A fault at every call of the split, with each kind of recovery, and a fault
// at every call of the join that gives the input back.
TEST_F(InPlaceTest, NoFaultLosesAByteAndEveryStateRecovers)
{
    const Shape shape = kShapes[1];
    for (const bool splitAgain : {true, false}) {
        sweepFaults(
            splitAgain ? "split, then split again" : "split, then join", kSingleFault, [&] { startWith(shape); },
            [&] { split(); },
            [&] {
                if (result_.outcome == JobOutcome::Succeeded && !FileExists(JournalPath(input())))
                    expectWholeSet(false);
                recover(splitAgain);
            },
            20);
    }
    sweepFaults("join of a split stopped part way", kSingleFault, [&] { stopAtFirstCut(shape); }, [&] { runJoin(piece(count() - 1)); },
                [&] { recover(false); }, 20);
}

// A stop asked before any call of the split ends at a step boundary that both
// recoveries take up.
TEST_F(InPlaceTest, AStopBeforeAnyCallEndsAtABoundary)
{
    for (const Shape& shape : {kShapes[0], kShapes[1]}) {
        startWith(shape);
        const auto allCalls = [&] {
            int total = 0;
            for (const IoCall call : kAllIoCalls)
                total += files_.calls(call);
            return total;
        };
        const int before = allCalls();
        split();
        ASSERT_EQ(result_.outcome, JobOutcome::Succeeded);
        const int calls = allCalls() - before;
        int stopped = 0;
        for (int at = 1; at <= calls; ++at) {
            SCOPED_TRACE(testing::Message() << shape.name << ", a stop before call " << at);
            startWith(shape);
            sink_.events.clear();
            int seen = 0;
            files_.beforeCall = [&](IoCall, const std::string&) {
                if (++seen == at)
                    jobState.stopRequested = 1;
            };
            split();
            files_.beforeCall = nullptr;
            ASSERT_NE(result_.outcome, JobOutcome::Failed) << expectOneEnd(kSplitter);
            stopped += result_.outcome == JobOutcome::Stopped;
            if (result_.outcome == JobOutcome::Stopped && result_.inPlace) {
                EXPECT_EQ(result_.resumeWith, piece(result_.piecesHeld));
                EXPECT_EQ(ReadFileBytes(input()).size(), static_cast<std::size_t>(result_.piecesHeld * shape.partSize));
            }
            recover(at % 2 == 0);
        }
        EXPECT_GT(stopped, calls / 2);
    }
}

TEST_F(InPlaceTest, GoesInPlaceOnlyWhenItMay)
{
    const Shape shape = kShapes[1];
    // Room for both: the forward split, no question.
    jobState.inPlace = InPlaceChoice::WhenShort;
    startWith(shape);
    files_.freeBytes = shape.size + 1;
    split();
    expectOutcome(kSplitSucceeded, kSplitter);
    EXPECT_FALSE(result_.inPlace);

    // Too little room: the question, once; No leaves the file as it was.
    startWith(shape);
    files_.freeBytes = shape.size;
    sink_.events.clear();
    sink_.answer = false;
    split();
    sink_.answer = true;
    ASSERT_EQ(sink_.events.size(), 1u);
    EXPECT_EQ(sink_.events[0].kind, JobEvent::Question);
    EXPECT_EQ(sink_.events[0].text, SplitInPlaceQuestion(input()));
    EXPECT_EQ(sink_.events[0].caption, kSplitter);
    EXPECT_EQ(result_.outcome, JobOutcome::Refused);
    expectOriginal();

    // A file with a second name is never cut: forward where it fits, else refused.
    fs::create_hard_link(dir_ / "in.bin", dir_ / "other-name.bin");
    jobState.inPlace = InPlaceChoice::Always;
    sink_.events.clear();
    split();
    expectRefused(SplitInPlaceNotPlain(input()), kSplitter);
    files_.freeBytes = shape.size + 1;
    sink_.events.clear();
    split();
    expectOutcome(kSplitSucceeded, kSplitter);
    EXPECT_FALSE(result_.inPlace);
    EXPECT_EQ(ReadFileBytes(path("other-name.bin")), content_);
}

TEST_F(InPlaceTest, StartedAgainItKeepsItsPartSize)
{
    const Shape shape = kShapes[3];
    stopAtFirstCut(shape);
    const Folder stopped = folder();
    sink_.events.clear();
    runSplit(input(), shape.partSize * 2);
    expectRefused(SplitInPlacePartSize(input(), std::to_string(shape.partSize)), kSplitter);
    EXPECT_EQ(folder(), stopped);
    recover(false);
}

}  // namespace
