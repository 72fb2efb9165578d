// The split's journal and what it allows: a split cut short is taken up when
// started again on the same input, whatever the cut left, while any file the
// journal does not claim keeps the split's refusal; a stop takes everything
// back; --keep, --into and the largest file the pieces' disk holds.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "engine_fixture.h"
#include "job_messages.h"
#include "join_job.h"
#include "join_journal.h"
#include "piece_names.h"
#include "split_job.h"
#include "split_journal.h"

namespace {

using job_messages::JoinSplitLeftovers;
using job_messages::SplitIntoNotAFolder;
using job_messages::SplitJournalOfChangedInput;
using job_messages::SplitJournalUnfit;
using job_messages::SplitPartTooLargeForDisk;
using job_messages::SplitStopped;

class SplitJournalTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        content_ = MakeContent(1000, 11);
        WriteFileBytes(input(), content_);
    }
    void TearDown() override
    {
        jobState.keep = false;
        jobState.intoFolder.clear();
        jobState.stopRequested = 0;
        jobState.writeList = true;
        EngineTest::TearDown();
    }

    std::string input() const { return path("in.bin"); }
    std::string piece(std::int64_t index, std::int64_t count, const std::string& folder = {}) const
    {
        return PieceName(folder.empty() ? input() : folder + "/in.bin", index, std::to_string(count));
    }
    std::string journal() const { return JournalPath(input()); }

    // What a split into pieces of 300 bytes left when it was cut while it
    // wrote piece `cutIn` (4: after its last piece): its journal naming
    // pieces 0..cutIn, those before whole, piece `cutIn` half written, and
    // the list's first lines.
    void cutShort(std::int64_t cutIn, bool proving = true, const std::string& folder = {})
    {
        const std::string piecesOriginal = folder.empty() ? input() : folder + "/in.bin";
        Journal cut;
        cut.outputFolder = RecordedInputFolder(input(), folder);
        cut.kind = JournalKind::Split;
        cut.originalLeaf = "in.bin";
        cut.countText = "4";
        cut.partSize = 300;
        cut.lastSize = 100;
        cut.withList = true;
        cut.piecesBegun = std::min<std::int64_t>(cutIn + 1, 4);
        cut.input = proving ? RecordedInput(*platformFileSystem().identityAt(input())) : FileIdentity{1, 2, 1000, 0};
        WriteFileBytes(JournalPath(piecesOriginal), FormatJournal(cut));
        const std::vector<std::string> slices = Slices(content_, 300);
        for (std::int64_t index = 0; index < cut.piecesBegun; ++index) {
            const std::string& slice = slices[static_cast<std::size_t>(index)];
            WriteFileBytes(piece(index, 4, folder), index < cutIn ? slice : slice.substr(0, slice.size() / 2));
        }
        WriteFileBytes(piecesOriginal + ".plit.sha256", "# vandrel checksum list\n");
    }

    // The folder holds the input's set in pieces of `partSize` alone, whole,
    // with its list, and nothing else but `others`.
    void expectSetAlone(std::int64_t partSize, std::vector<std::string> others = {})
    {
        const std::vector<std::string> slices = Slices(content_, partSize);
        const std::int64_t count = static_cast<std::int64_t>(slices.size());
        std::vector<std::string> names = std::move(others);
        for (std::int64_t index = 0; index < count; ++index) {
            names.push_back(LeafOf(piece(index, count)));
            EXPECT_EQ(ReadFileBytes(piece(index, count)), slices[static_cast<std::size_t>(index)]) << index;
        }
        EXPECT_EQ(filesInDir(), WithList(names, "in.bin"));
    }

    std::string content_;
};

// Every state a split cut short may leave beside its input, started again
// with another part size: taken up (the new set alone), or refused with
// every file as it was.
TEST_F(SplitJournalTest, SplitStartedAgainTakesUpWhatACutLeft)
{
    const struct {
        const char* state;
        std::function<void()> build;
        std::string refusal;  // empty: the split goes on
    } rows[] = {
        {"cut before its first piece, the journal torn", [&] { WriteFileBytes(journal(), "vandr"); }, {}},
        {"cut before its first piece", [&] { cutShort(-1); }, {}},
        {"cut in piece 0", [&] { cutShort(0); }, {}},
        {"cut in piece 2", [&] { cutShort(2); }, {}},
        {"cut after its last piece, the input not yet deleted", [&] { cutShort(4); }, {}},
        {"cut in piece 2, piece 2 never created", [&] { cutShort(2); fs::remove(PathFromUtf8(piece(2, 4))); }, {}},
        {"the input changed since", [&] { cutShort(2, false); },
         SplitJournalOfChangedInput(JournalPath(path("in.bin")), path("in.bin"))},
        {"a piece the journal does not claim",
         [&] { cutShort(1); WriteFileBytes(piece(3, 4), "someone else's"); }, PieceInTheWayText(piece(3, 4))},
        {"a join's journal",
         [&] {
             Journal join;
             join.originalLeaf = "in.bin";
             join.countText = "4";
             join.partSize = 300;
             join.lastSize = 100;
             WriteFileBytes(journal(), FormatJournal(join));
         },
         SplitJournalUnfit(JournalPath(path("in.bin")), path("in.bin"))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.state);
        for (const std::string& name : filesInDir())
            fs::remove(dir_ / name);
        WriteFileBytes(input(), content_);
        row.build();
        const Folder before = folder();
        sink_.events.clear();
        // The same count of pieces, whose names the cut split took, and another.
        const std::int64_t partSize = row.refusal.empty() ? 250 : 300;
        runSplit(input(), partSize);
        if (!row.refusal.empty()) {
            expectRefused(row.refusal, kSplitter);
            EXPECT_EQ(folder(), before);
            continue;
        }
        expectOutcome(kSplitSucceeded, kSplitter);
        expectSetAlone(partSize);
        for (const std::string& name : filesInDir())
            fs::remove(dir_ / name);
        WriteFileBytes(input(), content_);
        row.build();
        sink_.events.clear();
        runSplit(input(), 400);
        expectOutcome(kSplitSucceeded, kSplitter);
        expectSetAlone(400);
    }
}

// Every file call of a split started again on what a cut left fails in
// turn, once or from then on: whatever fails, the input stays as it was, no
// file is left that a journal does not claim, and a split started again
// once the fault is gone ends with the new set alone.
TEST_F(SplitJournalTest, SplitStartedAgainSurvivesAFailureAtAnyCall)
{
    const auto startOver = [&] {
        for (const std::string& name : filesInDir())
            fs::remove(dir_ / name);
        WriteFileBytes(input(), content_);
        cutShort(2);
    };
    const auto split = [&] { runSplit(input(), 250); };
    const auto check = [&] {
        if (expectOneEnd(kSplitter) == kSplitSucceeded) {
            // An input or journal that could not be deleted stays, named.
            std::vector<std::string> kept;
            for (const std::string& name : {input(), journal()}) {
                if (FileExists(name)) {
                    kept.push_back(LeafOf(name));
                    EXPECT_TRUE(result_.file == input() || result_.file == journal()) << name << " kept, unnamed";
                }
            }
            expectSetAlone(250, kept);
            return;
        }
        EXPECT_EQ(ReadFileBytes(input()), content_);
        const std::vector<std::string> left = filesInDir();
        if (left != std::vector<std::string>{"in.bin"}) {
            EXPECT_TRUE(FileExists(journal())) << "files are left that no journal claims";
        }
        files_ = FaultyFileSystem();
        sink_.events.clear();
        runSplit(input(), 250);
        expectOutcome(kSplitSucceeded, kSplitter);
        expectSetAlone(250);
    };
    for (const FaultPlan& plan : {kSingleFault, kPersistentFault})
        sweepFaults("split started again on what a cut left", plan, startOver, split, check, 20);
}

// A stop between two chunks takes back the pieces, the list and the journal,
// and leaves the input as it was.
TEST_F(SplitJournalTest, StopTakesEverythingBack)
{
    for (const bool keep : {false, true}) {
        SCOPED_TRACE(keep ? "keeping the input" : "moving it");
        sink_.events.clear();
        jobState.keep = keep;
        files_.beforeCall = [&](IoCall call, const std::string& name) {
            if (call == IoCall::CreateNew && name == piece(2, 4))
                jobState.stopRequested = 1;
        };
        runSplit(input(), 300);
        jobState.stopRequested = 0;
        expectOutcome(SplitStopped(input()), kSplitter);
        EXPECT_EQ(result_.outcome, JobOutcome::Stopped);
        EXPECT_EQ(filesInDir(), std::vector<std::string>{"in.bin"});
        EXPECT_EQ(ReadFileBytes(input()), content_);
    }
}

TEST_F(SplitJournalTest, KeepCopiesAndKeepsTheInput)
{
    jobState.keep = true;
    runSplit(input(), 300);
    expectOutcome(kSplitSucceeded, kSplitter);
    EXPECT_TRUE(result_.kept);
    EXPECT_EQ(result_.resultPath, piece(0, 4));
    EXPECT_EQ(result_.pieceCount, 4);
    expectSetAlone(300, {"in.bin"});
    EXPECT_EQ(ReadFileBytes(input()), content_);
}

// --into: pieces, list and journal in the folder, the input deleted once
// they are whole there; a folder that is not one is refused by name.
TEST_F(SplitJournalTest, IntoWritesThePiecesIntoTheFolder)
{
    fs::create_directory(dir_ / "usb");
    const std::string usb = path("usb");
    jobState.intoFolder = usb;
    runSplit(input(), 300);
    expectOutcome(kSplitSucceeded, kSplitter);
    EXPECT_EQ(result_.resultPath, piece(0, 4, usb));
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"usb"});
    const std::vector<std::string> slices = Slices(content_, 300);
    for (std::int64_t index = 0; index < 4; ++index)
        EXPECT_EQ(ReadFileBytes(piece(index, 4, usb)), slices[static_cast<std::size_t>(index)]);
    EXPECT_TRUE(FileExists(usb + "/in.bin.plit.sha256"));
    EXPECT_FALSE(FileExists(JournalPath(usb + "/in.bin")));

    WriteFileBytes(input(), content_);
    WriteFileBytes(path("file"), "x");
    for (const std::string& notAFolder : {path("missing"), path("file")}) {
        SCOPED_TRACE(notAFolder);
        sink_.events.clear();
        jobState.intoFolder = notAFolder;
        runSplit(input(), 300);
        expectRefused(SplitIntoNotAFolder(notAFolder), kSplitter);
        EXPECT_EQ(ReadFileBytes(input()), content_);
        EXPECT_EQ(filesInDir(), (std::vector<std::string>{"file", "in.bin", "usb"}));
    }
}

// A split cut short in another folder is taken up when started again into
// it: its journal lies there, beside the pieces.
TEST_F(SplitJournalTest, IntoFolderCutShortIsTakenUp)
{
    fs::create_directory(dir_ / "usb");
    const std::string usb = path("usb");
    cutShort(2, true, usb);
    jobState.intoFolder = usb;
    runSplit(input(), 250);
    expectOutcome(kSplitSucceeded, kSplitter);
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"usb"});
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(dir_ / "usb"))
        left.push_back(Utf8(entry.path().filename()));
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"in.bin.0.4.plit", "in.bin.1.4.plit", "in.bin.2.4.plit",
                                              "in.bin.3.4.plit", "in.bin.plit.sha256"}));
    EXPECT_EQ(ReadFileBytes(piece(3, 4, usb)), content_.substr(750));
}

// A split cut short beside its input, started again into a folder, takes
// back what it left beside the input too; into the input's own folder, it
// is the same journal, taken up once.
TEST_F(SplitJournalTest, SplitStartedAgainIntoAFolderTakesBackWhatWasLeftBesideTheInput)
{
    fs::create_directory(dir_ / "usb");
    const std::string usb = path("usb");
    cutShort(2);
    jobState.intoFolder = usb;
    runSplit(input(), 250);
    expectOutcome(kSplitSucceeded, kSplitter);
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"usb"});
    EXPECT_EQ(ReadFileBytes(piece(3, 4, usb)), content_.substr(750));

    fs::remove_all(dir_ / "usb");
    WriteFileBytes(input(), content_);
    cutShort(2);
    jobState.intoFolder = Utf8(dir_ / ".");
    sink_.events.clear();
    runSplit(input(), 250);
    expectOutcome(kSplitSucceeded, kSplitter);
    expectSetAlone(250);
}

// A join of what a split into another folder left there, its journal beside
// the pieces: refused while the input is whole in its own folder, naming it;
// once the input is gone and the set whole, the journal is stale.
TEST_F(SplitJournalTest, JoinInTheOtherFolderTellsWhereTheOriginalIs)
{
    fs::create_directory(dir_ / "usb");
    const std::string usb = path("usb");
    cutShort(2, true, usb);
    const Folder before = folder();
    runJoin(piece(0, 4, usb));
    expectRefused(JoinSplitLeftovers(input()), kJoiner);
    EXPECT_EQ(folder(), before);

    cutShort(4, true, usb);
    fs::remove(PathFromUtf8(usb + "/in.bin.plit.sha256"));
    fs::remove(PathFromUtf8(input()));
    sink_.events.clear();
    runJoin(piece(0, 4, usb));
    expectOutcome(kJoinSucceeded, kJoiner);
    EXPECT_EQ(ReadFileBytes(usb + "/in.bin"), content_);
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"usb"});
    EXPECT_FALSE(FileExists(JournalPath(usb + "/in.bin")));
}

// A part size larger than the pieces' disk holds is refused before anything
// is written, naming the part size and the largest file there.
TEST_F(SplitJournalTest, PartSizeTheDiskCannotHoldIsRefused)
{
    files_.largestFileUnder[Utf8(dir_)] = 299;
    runSplit(input(), 300);
    expectRefused(SplitPartTooLargeForDisk("300", piece(0, 4), "299"), kSplitter);
    EXPECT_EQ(filesInDir(), std::vector<std::string>{"in.bin"});
    EXPECT_EQ(files_.calls(IoCall::CreateNew), 0);

    sink_.events.clear();
    runSplit(input(), 299);
    expectOutcome(kSplitSucceeded, kSplitter);
}

}  // namespace

namespace {

// A split's journal cut at every byte, as a power cut may leave its text,
// reads as no journal until its first fields are whole, and then claims the
// pieces whose lines are whole, no more; zeros or an out-of-order line after
// them claim nothing either.
TEST(SplitJournalText, EveryCutOfItsTextClaimsNoMoreThanWasRecorded)
{
    Journal written;
    written.kind = JournalKind::Split;
    written.originalLeaf = "in \"x\".bin";
    written.countText = "12";
    written.partSize = 300;
    written.lastSize = 100;
    written.outputFolder = "/media/usb stick";
    written.keep = true;
    written.withList = true;
    written.input = FileIdentity{2049, 1234567, 3400, 1733600000123456789};
    written.piecesBegun = 3;
    const std::string text = FormatJournal(written);
    const std::size_t firstPiece = text.find("piece 0\n");
    ASSERT_NE(firstPiece, std::string::npos);
    for (std::size_t length = 0; length <= text.size(); ++length) {
        SCOPED_TRACE(length);
        Journal read;
        const JournalText result = ParseJournal(text.substr(0, length), read);
        if (length < firstPiece) {
            EXPECT_EQ(result, JournalText::Damaged);
            continue;
        }
        ASSERT_EQ(result, JournalText::Read);
        const auto wholeLines = std::count(text.begin() + static_cast<std::ptrdiff_t>(firstPiece),
                                           text.begin() + static_cast<std::ptrdiff_t>(length), '\n');
        EXPECT_EQ(read.piecesBegun, wholeLines);
        EXPECT_EQ(read.input, written.input);
        EXPECT_EQ(read.originalLeaf, written.originalLeaf);
        EXPECT_EQ(read.outputFolder, written.outputFolder);
        EXPECT_TRUE(read.keep && read.withList);
    }
    for (const std::string& tail : {std::string(9, '\0'), std::string("piece 7\n"), std::string("piece 2\n")}) {
        Journal read;
        ASSERT_EQ(ParseJournal(text + tail, read), JournalText::Read);
        EXPECT_EQ(read.piecesBegun, 3);
    }
}

}  // namespace
