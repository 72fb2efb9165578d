// The split job's refusals and failures: every check message exactly, the space
// boundary, 64-bit lengths, and the faults that must never cost the input.

#include <gtest/gtest.h>

#include "engine_fixture.h"
#include "other_program.h"
#include "split_job.h"

namespace {

const std::string kNotOpened = "Please select a file to split!";
const std::string kNoSpace =
    "You do not have enough space in the disk containing the selected file e.g free space must be at least the size of file to split ";
const std::string kInvalidSize = "The size you entered, for file parts after split, is invalid ";
const std::string kInputChanged = "The file splitting operation failed!";
const std::string kSizeNotBelowFile =
    "The size you entered, for file parts after split, is invalid: part size must be less than file size ";

constexpr std::int64_t kGiB = std::int64_t{1} << 30;

class SplitRefusal : public EngineTest {
protected:
    // Splits `fileSize` bytes in "in.bin" and expects the refusal `text` with
    // the input untouched and nothing else in the folder.
    void expectSplitRefused(std::int64_t fileSize, std::int64_t partSize, const std::string& text)
    {
        const std::string content = MakeContent(fileSize);
        WriteFileBytes(path("in.bin"), content);
        runSplit(path("in.bin"), partSize);
        expectRefused(text, kSplitter);
        EXPECT_EQ(filesInDir(), std::vector<std::string>{"in.bin"});
        EXPECT_EQ(ReadFileBytes(path("in.bin")), content);
    }
};

TEST_F(SplitRefusal, InputThatDoesNotOpen)
{
    fs::create_directory(dir_ / "folder");
    for (const std::string& input : {path("missing.bin"), std::string("  "), path("folder")}) {
        SCOPED_TRACE(input);
        sink_.events.clear();
        runSplit(input, 10);
        expectRefused(kNotOpened, kSplitter);
        EXPECT_EQ(filesInDir(), std::vector<std::string>{"folder"});
    }
}

// A file open for writing in another program may still change under the
// split: it refuses before it writes anything, names the file and says what
// to do.
TEST_F(SplitRefusal, InputOpenForWritingElsewhere)
{
    const std::string content = MakeContent(1000);
    WriteFileBytes(path("in.bin"), content);
    const HeldForWriting editor(path("in.bin"));
    ASSERT_TRUE(editor.held());
    runSplit(path("in.bin"), 300);
    expectRefused("The file \"" + path("in.bin") +
                      "\" is open in another program that may write to it. Close it there, then start the split again.",
                  kSplitter);
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"in.bin"});
    EXPECT_EQ(ReadFileBytes(path("in.bin")), content);
}

TEST_F(SplitRefusal, PieceSizeNotPositive)
{
    files_.freeBytes = FREE_QUERY_FAILED;
    for (const std::int64_t partSize : {std::int64_t{0}, std::int64_t{-1}, std::numeric_limits<std::int64_t>::min()}) {
        SCOPED_TRACE(partSize);
        sink_.events.clear();
        expectSplitRefused(1000, partSize, kInvalidSize);
    }
}

TEST_F(SplitRefusal, PieceSizeNotBelowFileSize)
{
    files_.freeBytes = FREE_QUERY_FAILED;
    for (const std::int64_t partSize : {std::int64_t{1000}, std::int64_t{1001}, std::numeric_limits<std::int64_t>::max()}) {
        SCOPED_TRACE(partSize);
        sink_.events.clear();
        expectSplitRefused(1000, partSize, kSizeNotBelowFile);
    }
}

// The refusals of a split told not to go in place (--no-in-place), where the
// disk cannot hold the pieces beside the file.
TEST_F(SplitRefusal, EmptyInput)
{
    jobState.inPlace = InPlaceChoice::Never;
    files_.freeBytes = 1000;
    expectSplitRefused(0, 5, kSizeNotBelowFile);
    sink_.events.clear();
    files_.freeBytes = 0;
    expectSplitRefused(0, 5, kNoSpace);
}

TEST_F(SplitRefusal, SpaceCheckIsStrictAndComesBeforeTheSizeChecks)
{
    jobState.inPlace = InPlaceChoice::Never;
    files_.freeBytes = 1000;
    expectSplitRefused(1000, 300, kNoSpace);
    sink_.events.clear();
    expectSplitRefused(1000, 0, kNoSpace);
    sink_.events.clear();
    files_.freeBytes = 999;
    expectSplitRefused(1000, 300, kNoSpace);

    sink_.events.clear();
    files_.freeBytes = 1001;
    runSplit(path("in.bin"), 300);
    expectOutcome(kSplitSucceeded, kSplitter);
}

TEST_F(SplitRefusal, FailedSpaceQuerySkipsTheCheck)
{
    files_.freeBytes = FREE_QUERY_FAILED;
    WriteFileBytes(path("in.bin"), MakeContent(1000));
    runSplit(path("in.bin"), 300);
    expectOutcome(kSplitSucceeded, kSplitter);
}

// A sparse file of `size` bytes, made in no time and taking no disk space.
std::string MakeSparse(const fs::path& file, std::int64_t size)
{
    WriteFileBytes(Utf8(file), "head");
    fs::resize_file(file, static_cast<std::uintmax_t>(size));
    return Utf8(file);
}

TEST_F(SplitRefusal, CountAbove32BitsIsRefusedAndNothingIsWritten)
{
    files_.freeBytes = std::numeric_limits<std::int64_t>::max();
    const std::string input = MakeSparse(dir_ / "big.bin", 3 * kGiB);
    runSplit(input, 1);
    expectRefused(kInvalidSize, kSplitter);
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"big.bin"});
    EXPECT_EQ(files_.calls(IoCall::CreateNew), 0);
    EXPECT_EQ(fs::file_size(dir_ / "big.bin"), static_cast<std::uintmax_t>(3 * kGiB));

    // 2,147,483,647 pieces is the most a join can read back: a count that fits passes the checks.
    sink_.events.clear();
    files_.failCall(IoCall::CreateNew, 1);
    files_.failCall(IoCall::Read, 1);
    runSplit(input, 2);
    expectOutcome(kSplitFailed, kSplitter);
    EXPECT_TRUE(FileExists(input));
}

// Lengths of 2 GiB and more are measured in full: 3 GiB would read negative
// in 32 bits, 5 GiB as 1 GiB.
TEST_F(SplitRefusal, LengthsAbove32BitsAreMeasuredInFull)
{
    jobState.inPlace = InPlaceChoice::Never;
    const std::string three = MakeSparse(dir_ / "three.bin", 3 * kGiB);
    const std::string five = MakeSparse(dir_ / "five.bin", 5 * kGiB);

    files_.freeBytes = 3 * kGiB;
    runSplit(three, kGiB);
    expectRefused(kNoSpace, kSplitter);

    sink_.events.clear();
    files_.freeBytes = 5 * kGiB;
    runSplit(five, kGiB);
    expectRefused(kNoSpace, kSplitter);

    sink_.events.clear();
    files_.freeBytes = 5 * kGiB + 1;
    runSplit(five, 5 * kGiB);
    expectRefused(kSizeNotBelowFile, kSplitter);

    sink_.events.clear();
    runSplit(five, 0);
    expectRefused(kInvalidSize, kSplitter);

    EXPECT_EQ(filesInDir(), (std::vector<std::string>{"five.bin", "three.bin"}));
}

class SplitFault : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        content_ = MakeContent(1000, 5);
        WriteFileBytes(path("in.bin"), content_);
    }

    // A failed split: the failure message, WM_JOB_FINISHED, the input as it
    // was, and none of the pieces it made.
    void expectFailedSplit(const std::string& text = kSplitFailed)
    {
        EXPECT_TRUE(files_.faultInjected());
        expectOutcome(text, kSplitter);
        EXPECT_EQ(result_.outcome, JobOutcome::Failed);
        ASSERT_TRUE(FileExists(path("in.bin")));
        EXPECT_EQ(ReadFileBytes(path("in.bin")), content_);
        EXPECT_EQ(filesInDir(), std::vector<std::string>{"in.bin"});
    }

    std::string piece(int index) const { return path("in.bin." + std::to_string(index) + ".4.plit"); }

    std::string content_;
};

TEST_F(SplitFault, ReadErrorOnTheInput)
{
    files_.inKernelCopy = false;
    files_.failCall(IoCall::Read, 1);
    runSplit(path("in.bin"), 300);
    expectFailedSplit();
    EXPECT_EQ(result_.file, path("in.bin"));
    EXPECT_EQ(result_.reason, "Injected fault");
}

TEST_F(SplitFault, InputEndsEarly)
{
    files_.inKernelCopy = false;
    files_.readFaultIsEarlyEnd = true;
    files_.failCall(IoCall::Read, 3);
    runSplit(path("in.bin"), 300);
    expectFailedSplit(kInputChanged);
}

// The input loses its tail after it was measured; where the split keeps
// writers out (Windows), the writer is refused and the split completes.
TEST_F(SplitFault, InputShortenedByAnotherProcess)
{
    OtherWriter writer;
    bool wrote = false;
    bool tried = false;
    files_.beforeCall = [&](IoCall call, const std::string&) {
        if (call == IoCall::CreateNew && !tried) {
            tried = true;
            wrote = writer.start(path("in.bin"), [&] { fs::resize_file(dir_ / "in.bin", 950); });
        }
    };
    runSplit(path("in.bin"), 300);
    writer.finish();
    if (!wrote) {
        expectOutcome(kSplitSucceeded, kSplitter);
        EXPECT_EQ(ReadFileBytes(piece(3)), content_.substr(900));
        return;
    }
    expectOutcome(kInputChanged, kSplitter);
    EXPECT_EQ(ReadFileBytes(path("in.bin")), content_.substr(0, 950));
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"in.bin"});
}

TEST_F(SplitFault, PieceFlushOrCloseFailure)
{
    for (const IoCall call : {IoCall::Flush, IoCall::Close}) {
        SCOPED_TRACE(IoCallName(call));
        sink_.events.clear();
        files_ = FaultyFileSystem();
        files_.failCall(call, 1, PathContains(".1.4.plit"));
        runSplit(path("in.bin"), 300);
        expectFailedSplit();
        EXPECT_EQ(result_.file, piece(1));
    }
}

// A failed write stops the split; the pieces it made are taken back, so that
// the user can simply try again.
TEST_F(SplitFault, WriteFailureStopsTheSplitAndTakesThePiecesBack)
{
    files_.inKernelCopy = false;
    files_.failCall(IoCall::Write, 1, PathContains(".2.4.plit"));
    bool laterPieceMade = false;
    files_.beforeCall = [&](IoCall, const std::string&) { laterPieceMade = laterPieceMade || FileExists(piece(3)); };
    runSplit(path("in.bin"), 300);
    expectFailedSplit();
    EXPECT_EQ(result_.file, piece(2));
    EXPECT_FALSE(laterPieceMade) << "no piece after the failed one is made";
}

// An in-kernel copy that fails once bytes have moved is a failure like any
// other, not a refusal to fall back from: the split stops, names the piece
// and the reason, and takes its pieces back.
TEST_F(SplitFault, FailedInKernelCopyFailsTheSplit)
{
    files_.failCall(IoCall::CopyFrom, 2);
    runSplit(path("in.bin"), 300);
    if (!files_.faultInjected()) {
        GTEST_SKIP() << "this platform copies through the buffer only";
    }
    expectFailedSplit();
    EXPECT_EQ(result_.file, piece(1));
    EXPECT_EQ(result_.reason, kInjectedFault);
}

TEST_F(SplitFault, PieceThatCannotBeCreated)
{
    files_.failCall(IoCall::CreateNew, 1, PathContains(".2.4.plit"));
    runSplit(path("in.bin"), 300);
    expectFailedSplit();
    EXPECT_EQ(result_.file, piece(2));
}

// A piece that reaches a device instead of a file: every write "succeeds".
TEST_F(SplitFault, PieceThatIsNoPlainFile)
{
    files_.failCall(IoCall::IsRegularFile, 1, PathContains(".0.4.plit"));
    runSplit(path("in.bin"), 300);
    expectFailedSplit();
}

// Every file call of a split fails in turn, once or from then on, with the
// platform's in-kernel copy and with the read/write copy: whatever fails, the
// input is gone only after a reported success with every piece whole, and a
// failed split leaves the input as it was and nothing else, so that the user
// can simply try again.
TEST_F(SplitFault, InputSurvivesAFailureAtAnyCall)
{
    const std::vector<std::string> slices = Slices(content_, 300);
    std::int64_t modified = 0;
    const auto startOver = [&] {
        for (const std::string& name : filesInDir())
            fs::remove(dir_ / name);
        WriteFileBytes(path("in.bin"), content_);
        modified = UtcModifiedOf(path("in.bin"));
    };
    const auto split = [&] { runSplit(path("in.bin"), 300); };
    const auto check = [&] {
        const bool succeeded = expectOneEnd(kSplitter) == kSplitSucceeded;
        EXPECT_EQ(result_.outcome == JobOutcome::Succeeded, succeeded);
        if (succeeded) {
            for (std::size_t i = 0; i < slices.size(); ++i)
                EXPECT_EQ(ReadFileBytes(piece(static_cast<int>(i))), slices[i]) << i;
            EXPECT_EQ(ReadFileBytes(path("in.bin.plit.sha256")), ListTextFor(path("in.bin"), content_, 300, modified));
        } else {
            EXPECT_EQ(ReadFileBytes(path("in.bin")), content_);
            EXPECT_EQ(filesInDir(), std::vector<std::string>{"in.bin"}) << "a failed split leaves files behind";
        }
        if (!succeeded) {
            EXPECT_FALSE(result_.reason.empty()) << "a failure tells its reason";
        }
        if (!FileExists(path("in.bin"))) {
            EXPECT_TRUE(succeeded) << "the input is gone after a failed split";
        } else if (succeeded) {
            EXPECT_EQ(result_.file, path("in.bin")) << "an input kept after a success is told";
        }
    };
    for (const FaultPlan& plan : {kSingleFault, kPersistentFault})
        sweepFaults("split into four pieces", plan, startOver, split, check, 20);
}

}  // namespace
