// The join job's refusals and failures: bad names, missing pieces, the space
// check, 64-bit sizes, and the faults after which no byte may be lost.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <vector>

#include "engine_fixture.h"
#include "file_system.h"
#include "join_job.h"
#include "join_journal.h"

namespace {

constexpr std::int64_t kGiB = std::int64_t{1} << 30;

// A set of "orig.bin" in the test's folder: three pieces of 300, 300 and
// 100 bytes, unless a test cuts it otherwise.
class JoinFault : public PieceSetTest {
protected:
    void SetUp() override
    {
        PieceSetTest::SetUp();
        useSet(MakeContent(700, 21), 300);
        writePieces();
    }

    // Pieces before `firstKept` were appended and deleted; the others stay whole.
    void expectPiecesFrom(int firstKept)
    {
        for (int i = 0; i < count(); ++i) {
            SCOPED_TRACE(testing::Message() << "piece " << i);
            if (i < firstKept) {
                EXPECT_FALSE(FileExists(piece(i)));
            } else {
                ASSERT_TRUE(FileExists(piece(i)));
                EXPECT_EQ(ReadFileBytes(piece(i)), pieces_[static_cast<std::size_t>(i)]);
            }
        }
    }

    // The leaf names of the pieces from `first` on, sorted as filesInDir sorts them.
    std::vector<std::string> PieceNames(int first) const
    {
        std::vector<std::string> names;
        for (int i = first; i < count(); ++i)
            names.push_back(PathFromUtf8(piece(i)).filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // The file each piece's name reaches now, by index; none for a missing piece.
    std::vector<std::optional<FileIdentity>> pieceFiles() const
    {
        std::vector<std::optional<FileIdentity>> files;
        for (int i = 0; i < count(); ++i)
            files.push_back(platformFileSystem().identityAt(piece(i)));
        return files;
    }

    // Nothing touched: the pieces that were there (`before`) alone in the
    // folder, each whole and still the same file, unchanged since.
    void expectUntouched(const std::vector<std::optional<FileIdentity>>& before)
    {
        std::vector<std::string> present;
        for (int i = 0; i < count(); ++i) {
            if (!before[static_cast<std::size_t>(i)])
                continue;
            present.push_back(Utf8(PathFromUtf8(piece(i)).filename()));
            EXPECT_EQ(ReadFileBytes(piece(i)), pieces_[static_cast<std::size_t>(i)]) << "piece " << i;
        }
        EXPECT_EQ(filesInDir(), present) << "no output, and no other file";
        EXPECT_TRUE(pieceFiles() == before) << "a piece was replaced or written to";
    }

    // Runs the join from its last piece with each file call failing in turn,
    // as each of `plans` says, after `prepare` on every fresh set; checks that
    // no byte is lost, and that a join without faults then ends cleanly.
    void sweepJoinFaults(const std::string& label, const std::function<void()>& prepare,
                         const std::vector<FaultPlan>& plans = {kSingleFault, kPersistentFault},
                         bool againAfterAFailure = false);

    // What the user does after a failed join: nothing when the output is
    // whole and nothing but `bystanders` (files the test put there, with
    // their bytes) is beside it; else a join without faults from the lowest
    // remaining piece, which must end cleanly: its success message, the
    // original at its path byte for byte, and nothing else left but the
    // bystanders, as they were.
    void expectCleanRecovery(const std::map<std::string, std::string>& bystanders);

    // Where the swept join writes the original: beside the pieces, or in the
    // folder "out" with --into.
    std::string sweptOutput() const { return into_ ? path("out/orig.bin") : output(); }
    // What a clean end leaves in the pieces' folder besides the bystanders:
    // the original alone; the folder "out" alone; or, keeping the pieces,
    // every piece and the list beside the original.
    std::vector<std::string> cleanEnd() const
    {
        std::vector<std::string> names{into_ ? "out" : "orig.bin"};
        if (keep_) {
            for (int i = 0; i < count(); ++i)
                names.push_back(Utf8(PathFromUtf8(piece(i)).filename()));
            if (listed_)
                names.push_back("orig.bin.plit.sha256");
        }
        return names;
    }

    // The sweep's join: --keep, --into the folder "out"; and whether the set has its list.
    bool keep_ = false;
    bool into_ = false;
    bool listed_ = false;
    // A stop is asked for before the swept join starts.
    bool stop_ = false;
};

TEST_F(JoinFault, NamesWithoutAValidCountAreRefused)
{
    const std::vector<std::optional<FileIdentity>> before = pieceFiles();
    for (const std::string& chosen : {path("orig.bin.plit"), std::string("movie"), path("orig.bin.0.2147483648.plit"),
                                      path("orig.bin.0.-3.plit"), path("orig.bin.0.0.plit"), path("orig.bin.0.x.plit")}) {
        SCOPED_TRACE(chosen);
        sink_.events.clear();
        runJoin(chosen);
        expectRefused(kInvalidJoinName, kJoiner);
        expectUntouched(before);
    }
}

TEST_F(JoinFault, MissingPieceIsNamedAndNothingIsTouched)
{
    fs::remove(PathFromUtf8(piece(2)));
    const std::vector<std::optional<FileIdentity>> before = pieceFiles();
    runJoin(piece(0));
    expectRefused(NotFoundText(piece(2)), kJoiner);
    expectUntouched(before);
}

TEST_F(JoinFault, DotsInTheFolderNameAreSearchedToo)
{
    fs::create_directory(dir_ / "my.dir");
    WriteFileBytes(path("my.dir/movie.2.plit"), "abc");
    runJoin(path("my.dir/movie.2.plit"));
    expectRefused(NotFoundText(path("my") + ".0.2.plit"), kJoiner);
    EXPECT_FALSE(FileExists(path("my")));
    EXPECT_EQ(ReadFileBytes(path("my.dir/movie.2.plit")), "abc");
}

TEST_F(JoinFault, PieceThatIsAFolderIsNotFound)
{
    fs::remove(PathFromUtf8(piece(1)));
    fs::create_directory(PathFromUtf8(piece(1)));
    runJoin(piece(0));
    expectRefused(NotFoundText(piece(1)), kJoiner);
    EXPECT_FALSE(FileExists(output()));
}

// A first piece of 3 GiB, which would read negative in 32 bits and pass any
// space check, is measured in full.
TEST_F(JoinFault, PieceSizesAbove32BitsAreMeasuredInFull)
{
    const std::string big = path("big.bin.0.2.plit");
    WriteFileBytes(big, "head");
    fs::resize_file(PathFromUtf8(big), static_cast<std::uintmax_t>(3 * kGiB));
    WriteFileBytes(path("big.bin.1.2.plit"), "tail");

    files_.freeBytes = 3 * kGiB;
    runJoin(big);
    expectRefused(kJoinNoSpace, kJoiner);

    sink_.events.clear();
    files_.freeBytes = 3 * kGiB + 1;
    files_.failCall(IoCall::RenameNoReplace, 1);  // then the output is made new
    files_.failCall(IoCall::CreateNew, 1);
    runJoin(big);
    expectOutcome(kJoinFailed, kJoiner);
    EXPECT_EQ(files_.calls(IoCall::Read), 0);
    EXPECT_FALSE(FileExists(path("big.bin")));
}

TEST_F(JoinFault, OutputThatCannotBeCreated)
{
    files_.failCall(IoCall::RenameNoReplace, 1);  // then piece 0 is copied to a new file
    files_.failCall(IoCall::CreateNew, 1, PathIs(PrivateOutputPath(output())));
    runJoin(piece(1));
    expectOutcome(kJoinFailed, kJoiner);
    EXPECT_EQ(result_.outcome, JobOutcome::Failed);
    EXPECT_EQ(result_.file, PrivateOutputPath(output()));
    EXPECT_EQ(result_.reason, "Injected fault");
    EXPECT_EQ(files_.calls(IoCall::Read), 0) << "no piece is read";
    expectPiecesFrom(0);
}

TEST_F(JoinFault, OutputPathThatIsAFolderIsInTheWay)
{
    fs::create_directory(PathFromUtf8(output()));
    runJoin(piece(0));
    expectRefused(OutputInTheWayText(output()), kJoiner);
    EXPECT_EQ(files_.calls(IoCall::Read), 0);
    expectPiecesFrom(0);
}

// Piece 0 becomes the output by a rename; a later piece removed between the
// checks and its copy stops the join, which cuts the output back to piece 0
// and renames it back.
TEST_F(JoinFault, PieceRemovedAfterTheCheck)
{
    for (const int removed : {1, 2}) {
        SCOPED_TRACE(testing::Message() << "piece " << removed << " removed");
        sink_.events.clear();
        files_ = FaultyFileSystem();
        fs::remove(PathFromUtf8(output()));
        writePieces();
            // Once the journal is there, the checks are over and the copy has begun.
        files_.beforeCall = [&](IoCall call, const std::string& name) {
            if (call == IoCall::OpenForReading && name == piece(removed) && FileExists(JournalPath(output())))
                fs::remove(PathFromUtf8(name));
        };

        runJoin(piece(2));

        expectOutcome(NotFoundText(piece(removed)), kJoiner);
        EXPECT_EQ(result_.outcome, JobOutcome::Failed);
        EXPECT_FALSE(FileExists(output()));
        EXPECT_EQ(ReadFileBytes(piece(0)), pieces_[0]) << "renamed back";
        for (int i = 1; i < 3; ++i) {
            if (i != removed) {
                EXPECT_EQ(ReadFileBytes(piece(i)), pieces_[static_cast<std::size_t>(i)]) << i;
            }
        }
    }
}

TEST_F(JoinFault, ReadErrorOnAPieceKeepsIt)
{
    files_.failCall(IoCall::Read, 1, PathIs(piece(1)));
    runJoin(piece(0));
    expectOutcome(kJoinFailed, kJoiner);
    expectPiecesFrom(0);
    EXPECT_EQ(filesInDir(), PieceNames(0));
}

// A failure cuts the output back to the pieces already deleted, which hold
// their bytes nowhere else, and removes an output that holds none of them.
// The last piece but one stays until the last piece is durable too. Here the
// output is made new and the bytes copied through the buffer.
TEST_F(JoinFault, OutputFailureCutsBackToTheDeletedPieces)
{
    const struct {
        IoCall call;
        int nth;
        int firstKept;
    } cases[] = {
        {IoCall::Flush, 1, 0},
        {IoCall::Flush, 2, 1},
        {IoCall::Flush, 3, 1},
        {IoCall::IsRegularFile, 1, 0},
        {IoCall::Size, 2, 1},
        {IoCall::Write, 2, 1},
        {IoCall::Write, 3, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << IoCallName(c.call) << " " << c.nth);
        sink_.events.clear();
        files_ = FaultyFileSystem();
        fs::remove(PathFromUtf8(output()));
        writePieces();
        files_.inKernelCopy = false;
        files_.failCall(IoCall::RenameNoReplace, 1);
        files_.failCall(c.call, c.nth, PathIs(PrivateOutputPath(output())));  // the copy of piece 0 is made there

        runJoin(piece(0));

        EXPECT_TRUE(files_.faultInjected());
        expectOutcome(kJoinFailed, kJoiner);
        expectPiecesFrom(c.firstKept);
        if (c.firstKept == 0) {
            EXPECT_EQ(filesInDir(), PieceNames(0)) << "the set is as it was";
        } else {
            EXPECT_EQ(ReadFileBytes(output()), original_.substr(0, 300u * c.firstKept));
        }
    }
}

// Piece 0 renamed to the output counts as appended and deleted; a failure
// before any other piece is deleted cuts the output back to that piece and
// renames it back: the set is as it was, journal gone.
TEST_F(JoinFault, OutputFailureAfterTheRenameGivesTheFirstPieceBack)
{
    for (const int nth : {1, 2}) {
        SCOPED_TRACE(testing::Message() << "flush " << nth);
        sink_.events.clear();
        files_ = FaultyFileSystem();
        fs::remove(PathFromUtf8(output()));
        writePieces();
        files_.failCall(IoCall::Flush, nth, PathIs(output()));
        const std::optional<FileIdentity> first = platformFileSystem().identityAt(piece(0));

        runJoin(piece(2));

        expectOutcome(kJoinFailed, kJoiner);
        expectPiecesFrom(0);
        EXPECT_EQ(filesInDir(), PieceNames(0));
        const std::optional<FileIdentity> back = platformFileSystem().identityAt(piece(0));
        EXPECT_TRUE(first && back && back->sameFileAs(*first)) << "piece 0 is renamed and renamed back, never copied";
    }
}

// The rebuilt file is whole and durable before its last close; a failed close
// is told, but the join has succeeded.
TEST_F(JoinFault, FailedFinalCloseIsToldWithTheSuccess)
{
    files_.failCall(IoCall::Close, 1, PathIs(output()));
    runJoin(piece(0));
    expectOutcome(kJoinSucceeded, kJoiner);
    EXPECT_EQ(result_.outcome, JobOutcome::Succeeded);
    EXPECT_EQ(result_.file, output());
    EXPECT_EQ(ReadFileBytes(output()), original_);
}

// THE invariant: whichever file call of a join fails, with piece 0 renamed or
// copied, with the platform's in-kernel copy or with the read/write copy,
// every byte of the original is afterwards in the output (a prefix, in order)
// or in a piece that still exists whole, and success is reported only when
// the output holds all of it. A join from the lowest remaining piece then
// brings the original back, and nothing else is left.
void JoinFault::sweepJoinFaults(const std::string& label, const std::function<void()>& prepare,
                                const std::vector<FaultPlan>& plans, bool againAfterAFailure)
{
    std::map<std::string, std::string> bystanders;
    const auto startOver = [&] {
        for (const std::string& name : filesInDir())  // a failed join may leave its journal, as it must
            fs::remove_all(dir_ / PathFromUtf8(name));
        writePieces();
        prepare();
        if (into_) {
            fs::create_directories(dir_ / "out");
            jobState.intoFolder = path("out");
        }
        jobState.keep = keep_;
        listed_ = FileExists(path("orig.bin.plit.sha256"));
        bystanders.clear();
        for (const std::string& name : filesInDir())
            if (name.find(".plit") == std::string::npos && !fs::is_directory(dir_ / PathFromUtf8(name)))
                bystanders[name] = ReadFileBytes(path(name));
    };
    // Joined again after a failure, as the message says, the second join's
    // calls are among those that fail in turn.
    // Stopped (a stop asked before the first chunk), it is joined again
    // from the piece the stop names, and those calls fail in turn too.
    const auto join = [&] {
        jobState.stopRequested = stop_ ? 1 : 0;
        runJoin(piece(count() - 1));
        jobState.stopRequested = 0;
        if (result_.outcome == JobOutcome::Stopped) {
            sink_.events.clear();
            runJoin(result_.resumeWith);
        }
        if (againAfterAFailure && result_.outcome == JobOutcome::Failed) {
            sink_.events.clear();
            runJoin(piece(count() - 1));
        }
    };
    const auto check = [&] {
        const bool succeeded = expectOneEnd(kJoiner) == kJoinSucceeded;
        EXPECT_EQ(result_.outcome == JobOutcome::Succeeded, succeeded);
        const std::string out = FileExists(sweptOutput()) ? ReadFileBytes(sweptOutput()) : std::string();
        ASSERT_LE(out.size(), original_.size());
        EXPECT_TRUE(out == original_.substr(0, out.size())) << "the output is no prefix of the original";
        std::size_t covered = out.size();
        for (int i = 0; i < count(); ++i) {
            const std::size_t start = static_cast<std::size_t>(partSize_ * i);
            if (!FileExists(piece(i)))
                continue;
            EXPECT_EQ(ReadFileBytes(piece(i)), pieces_[static_cast<std::size_t>(i)]) << "piece " << i;
            if (start <= covered)
                covered = std::max(covered, start + pieces_[static_cast<std::size_t>(i)].size());
        }
        EXPECT_EQ(covered, original_.size()) << "bytes from " << covered << " on are lost";
        if (succeeded) {
            EXPECT_TRUE(out == original_) << "success reported without every byte in the output";
        }
        expectCleanRecovery(bystanders);
    };
    for (const FaultPlan& plan : plans)
        sweepFaults(label, plan, startOver, join, check, plan.first ? 10 : 25);
}

void JoinFault::expectCleanRecovery(const std::map<std::string, std::string>& bystanders)
{
    std::vector<std::string> clean = cleanEnd();
    for (const auto& entry : bystanders)
        clean.push_back(entry.first);
    std::sort(clean.begin(), clean.end());
    const auto listing = [&] {
        std::string text;
        for (const std::string& name : filesInDir())
            text += " " + name;
        return text;
    };
    const auto outHoldsTheOriginalAlone = [&] {
        return !into_ || (std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()) == 1);
    };
    if (filesInDir() == clean && FileExists(sweptOutput()) && ReadFileBytes(sweptOutput()) == original_ &&
        outHoldsTheOriginalAlone())
        return;

    int lowest = 0;
    while (lowest < count() && !FileExists(piece(lowest)))
        ++lowest;
    // A join into another folder removes its journal last: the join of any
    // piece's name ends one left beside no piece.
    if (lowest == count() && into_ && FileExists(JournalPath(output())))
        lowest = 0;
    ASSERT_LT(lowest, count()) << "no piece is left to join, and the folder holds:" << listing();
    const bool inKernelCopy = files_.inKernelCopy;
    files_ = FaultyFileSystem();
    files_.inKernelCopy = inKernelCopy;
    sink_.events.clear();
    runJoin(piece(lowest));
    SCOPED_TRACE(testing::Message() << "then a join from piece " << lowest);
    EXPECT_EQ(expectOneEnd(kJoiner), kJoinSucceeded);
    EXPECT_EQ(filesInDir(), clean) << "the folder holds:" << listing();
    EXPECT_TRUE(FileExists(sweptOutput()) && ReadFileBytes(sweptOutput()) == original_) << "the original is not back";
    EXPECT_TRUE(outHoldsTheOriginalAlone()) << "the folder out holds more than the original";
    for (const auto& [name, bytes] : bystanders)
        EXPECT_TRUE(FileExists(path(name)) && ReadFileBytes(path(name)) == bytes) << name << " changed";
}

TEST_F(JoinFault, NoByteIsLostWhateverCallFails)
{
    sweepJoinFaults("three pieces", [] {});
    // Each piece is checked against the list as it is taken, and the list goes with the pieces.
    sweepJoinFaults("three pieces and their list", [&] {
        WriteFileBytes(path("orig.bin.plit.sha256"), ListTextFor(output(), original_, partSize_));
    });
    // Piece 0 with a second name is copied, not renamed: the output is made new.
    sweepJoinFaults("three pieces, piece 0 with a second name", [&] {
        fs::create_hard_link(PathFromUtf8(piece(0)), dir_ / "second-name");
    });
}

// Two pieces, where piece 0 carries the part size before it is renamed.
TEST_F(JoinFault, NoByteOfTwoPiecesIsLostWhateverCallFails)
{
    for (int i = 0; i < count(); ++i)
        fs::remove(PathFromUtf8(piece(i)));
    useSet(MakeContent(700, 21), 400);
    writePieces();
    sweepJoinFaults("two pieces", [] {});
    sweepJoinFaults("two pieces and their list, piece 0 with a second name", [&] {
        WriteFileBytes(path("orig.bin.plit.sha256"), ListTextFor(output(), original_, partSize_));
        fs::create_hard_link(PathFromUtf8(piece(0)), dir_ / "second-name");
    });
}

// A piece that cannot be deleted (held open elsewhere, immutable, in a sticky
// folder), then any later call failing: five pieces, so that pieces after the
// one kept are appended and deleted before the later call fails.
TEST_F(JoinFault, NoByteIsLostWhenAPieceCannotBeDeletedAndALaterCallFails)
{
    for (int i = 0; i < count(); ++i)
        fs::remove(PathFromUtf8(piece(i)));
    useSet(MakeContent(1300, 21), 300);
    writePieces();
    const FaultPlan pieceKept{"piece 1 cannot be deleted, which stops the join; joined again, each later call fails",
                              false, PlannedFault{IoCall::RemoveIfSame, 1, PathIs(piece(1))}};
    sweepJoinFaults("five pieces", [] {}, {pieceKept}, true);
    sweepJoinFaults("five pieces, piece 0 with a second name", [&] {
        fs::create_hard_link(PathFromUtf8(piece(0)), dir_ / "second-name");
    }, {pieceKept}, true);
}

// --keep: whichever call fails, no piece and not the list is ever touched,
// and the join of the same set again (--keep) ends with the original beside
// them. The journal's flag is what a join that takes it up heeds.
TEST_F(JoinFault, NoPieceIsTouchedByAFailingCopy)
{
    keep_ = true;
    sweepJoinFaults("three pieces, kept", [] {});
    sweepJoinFaults("three pieces and their list, kept", [&] {
        WriteFileBytes(path("orig.bin.plit.sha256"), ListTextFor(output(), original_, partSize_));
    });
}

// --into a folder: whichever call fails, the original's bytes are in the
// output there or in the pieces, and the same join again ends with the
// original alone in that folder.
TEST_F(JoinFault, NoByteIsLostJoiningIntoAnotherFolderWhateverCallFails)
{
    into_ = true;
    sweepJoinFaults("three pieces, into another folder", [] {});
    sweepJoinFaults("three pieces and their list, into another folder", [&] {
        WriteFileBytes(path("orig.bin.plit.sha256"), ListTextFor(output(), original_, partSize_));
    });
}

// A stop asked for before the first chunk: piece 0 renamed, the join stops
// holding it; copied, it stops holding nothing and puts the set back. Any
// call failing, in the stop or in the join that then finishes it, loses no
// byte.
TEST_F(JoinFault, NoByteIsLostWhenAStoppedJoinMeetsAFault)
{
    stop_ = true;
    sweepJoinFaults("three pieces, stopped, then joined again", [] {});
    sweepJoinFaults("three pieces and their list, piece 0 with a second name, stopped, then joined again", [&] {
        WriteFileBytes(path("orig.bin.plit.sha256"), ListTextFor(output(), original_, partSize_));
        fs::create_hard_link(PathFromUtf8(piece(0)), dir_ / "second-name");
    });
    keep_ = true;
    sweepJoinFaults("three pieces, kept, stopped, then joined again", [] {});
}

// Vandrel.exe's join of a piece named on its command line ends the process
// with the join's exit status, as the command line's does.
class JoinExitDeathTest : public JoinFault {
protected:
    void expectExitStatus(const std::string& chosen, int status)
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        jobState.joinPath = chosen;
        jobState.exitWhenDone = 1;
        EXPECT_EXIT(JoinThreadProc(nullptr), testing::ExitedWithCode(status), "") << chosen;
        jobState.exitWhenDone = 0;
    }
};

TEST_F(JoinExitDeathTest, CommandLineJoinEndsWithZeroWhenJoinedAndTwoWhenRefused)
{
    expectExitStatus(path("no-such-piece.0.2.plit"), kExitRefused);
    expectExitStatus(path("not a piece"), kExitRefused);
    expectExitStatus(piece(1), kExitSucceeded);
}

// Five pieces and their list, the last damaged: the pieces before it are
// joined and deleted when the join meets it and fails.
TEST_F(JoinExitDeathTest, CommandLineJoinEndsWithOneWhenItFails)
{
    for (int i = 0; i < count(); ++i)
        fs::remove(PathFromUtf8(piece(i)));
    useSet(MakeContent(1300, 21), 300);
    writePieces();
    WriteFileBytes(path("orig.bin.plit.sha256"), ListTextFor(output(), original_, partSize_));
    std::string last = ReadFileBytes(piece(4));
    last[0] = static_cast<char>(last[0] ^ 1);
    WriteFileBytes(piece(4), last);
    expectExitStatus(piece(0), kExitFailed);
}

}  // namespace
