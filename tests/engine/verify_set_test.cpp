// The check of a set's pieces over every state a set can be in: each piece's
// verdict, the outcome, the one message, and every file in the folder byte
// for byte as it was, faults included.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <utility>

#include "checksum_list.h"
#include "engine_fixture.h"
#include "job_messages.h"
#include "join_journal.h"
#include "verify_messages.h"
#include "verify_set.h"

namespace {

using namespace verify_messages;
using V = PieceVerdict;

const std::string kCaption = "Check pieces";

class VerifySetTest : public PieceSetTest {
protected:
    void SetUp() override
    {
        PieceSetTest::SetUp();
        useSet(MakeContent(1000, 41), 300);  // 300, 300, 300 and 100 bytes
    }

    std::string listPath() const { return output() + ".plit.sha256"; }

    // The list a split writes for this set: the pieces in order and the
    // whole; or, split in place (`inPlace_`), the pieces from the last to
    // the first, those from `firstListed` on only when the split did not
    // finish.
    std::string listText(int firstListed = 0) const
    {
        SetFacts facts;
        facts.originalLeaf = "orig.bin";
        facts.originalSize = static_cast<std::int64_t>(original_.size());
        facts.partSize = partSize_;
        facts.countText = std::to_string(count());
        facts.madeInPlace = inPlace_;
        std::string text = FormatListHeader(facts);
        const auto line = [&](int i) {
            return FormatListLine({Sha256Of(pieces_[static_cast<std::size_t>(i)]), LeafOf(piece(i))});
        };
        if (inPlace_) {
            for (int i = count() - 1; i >= firstListed; --i)
                text += line(i);
            return text;
        }
        for (int i = 0; i < count(); ++i)
            text += line(i);
        return text + FormatListLine({Sha256Of(original_), "orig.bin"});
    }

    bool inPlace_ = false;

    // A whole set with its list.
    void wholeSet()
    {
        writePieces();
        WriteFileBytes(listPath(), listText());
    }

    // Piece `index` with one byte changed at `at`.
    void damage(int index, std::size_t at)
    {
        std::string bytes = pieces_[static_cast<std::size_t>(index)];
        bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
        WriteFileBytes(piece(index), bytes);
    }

    // A join that took pieces 0..firstKept-1: the pieces from `firstKept` on,
    // the output holding `bytes`, and the journal that proves it (when
    // `journalled`) beside the list.
    void interrupted(int firstKept, const std::string& bytes, bool journalled = true)
    {
        writePieces(firstKept);
        WriteFileBytes(listPath(), listText());
        WriteFileBytes(output(), bytes);
        if (!journalled)
            return;
        Journal journal;
        journal.originalLeaf = "orig.bin";
        journal.countText = std::to_string(count());
        journal.partSize = partSize_;
        journal.lastSize = static_cast<std::int64_t>(pieces_.back().size());
        const std::optional<FileIdentity> made = platformFileSystem().identityAt(output());
        ASSERT_TRUE(made);
        journal.output = FileIdentity{made->volume, made->fileId};
        WriteFileBytes(JournalPath(output()), FormatJournal(journal));
    }

    std::string head(std::size_t bytes) const { return original_.substr(0, bytes); }

    void clearFolder()
    {
        for (const std::string& name : filesInDir())
            fs::remove(dir_ / PathFromUtf8(name));
        sink_.events.clear();
    }

    // Runs the check from `chosen` and expects the folder unchanged.
    void check(const std::string& chosen)
    {
        const Folder before = folder();
        jobState.joinPath = chosen;
        check_ = VerifySet(jobState.joinPath);
        EXPECT_TRUE(folder() == before) << "a check changes no file";
        EXPECT_EQ(jobState.busy, 0);
    }

    std::vector<V> verdicts() const
    {
        std::vector<V> found;
        for (const PieceCheck& piece : check_.pieces)
            found.push_back(piece.verdict);
        return found;
    }

    SetCheck check_;
};

// Every state the pieces of a set with its list can be in, each checked from
// the last piece and from the list, with what is printed and shown.
TEST_F(VerifySetTest, EveryStateOfTheSet)
{
    const std::string damagedLast = original_.substr(0, 999) + "\x01";
    const struct {
        const char* state;
        std::function<void()> build;
        std::vector<V> verdicts;
        JobOutcome outcome;
        std::string text;
        WholeVerdict whole = WholeVerdict::NotChecked;
    } rows[] = {
        {"all right", [&] { wholeSet(); }, {V::Ok, V::Ok, V::Ok, V::Ok}, JobOutcome::Succeeded,
         "All 4 pieces of \"orig.bin\" are right."},
        {"first piece damaged", [&] { wholeSet(); damage(0, 0); }, {V::Damaged, V::Ok, V::Ok, V::Ok},
         JobOutcome::Failed, "1 of the 4 pieces of \"orig.bin\" is not right:\norig.bin.0.4.plit: damaged"},
        {"middle piece damaged", [&] { wholeSet(); damage(2, 150); }, {V::Ok, V::Ok, V::Damaged, V::Ok},
         JobOutcome::Failed, "1 of the 4 pieces of \"orig.bin\" is not right:\norig.bin.2.4.plit: damaged"},
        {"last piece damaged at its end", [&] { wholeSet(); damage(3, 99); }, {V::Ok, V::Ok, V::Ok, V::Damaged},
         JobOutcome::Failed, "1 of the 4 pieces of \"orig.bin\" is not right:\norig.bin.3.4.plit: damaged"},
        {"piece cut short",
         [&] { wholeSet(); WriteFileBytes(piece(1), pieces_[1].substr(0, 299)); },
         {V::Ok, V::Damaged, V::Ok, V::Ok}, JobOutcome::Failed,
         "1 of the 4 pieces of \"orig.bin\" is not right:\norig.bin.1.4.plit: damaged"},
        {"two pieces missing",
         [&] { wholeSet(); fs::remove(PathFromUtf8(piece(0))); fs::remove(PathFromUtf8(piece(2))); },
         {V::Missing, V::Ok, V::Missing, V::Ok}, JobOutcome::Failed,
         "2 of the 4 pieces of \"orig.bin\" are not right:\norig.bin.0.4.plit: missing\norig.bin.2.4.plit: missing"},
        {"a folder in a piece's place",
         [&] { wholeSet(); fs::remove(PathFromUtf8(piece(1))); fs::create_directory(PathFromUtf8(piece(1))); },
         {V::Ok, V::Unreadable, V::Ok, V::Ok}, JobOutcome::Failed, ""},
        {"interrupted join, two pieces in the rebuilt file", [&] { interrupted(2, head(600)); },
         {V::InRebuiltFile, V::InRebuiltFile, V::Ok, V::Ok}, JobOutcome::Succeeded,
         "All 4 pieces of \"orig.bin\" are right, 2 of them in the rebuilt file."},
        {"interrupted join, a piece in the rebuilt file damaged",
         [&] { interrupted(2, head(299) + "\x7f" + head(600).substr(300)); },
         {V::DamagedInRebuiltFile, V::InRebuiltFile, V::Ok, V::Ok}, JobOutcome::Failed,
         "1 of the 4 pieces of \"orig.bin\" is not right:\norig.bin.0.4.plit: damaged in the rebuilt file"},
        {"interrupted join with a start of the next piece", [&] { interrupted(2, head(750)); },
         {V::InRebuiltFile, V::InRebuiltFile, V::Ok, V::Ok}, JobOutcome::Succeeded,
         "All 4 pieces of \"orig.bin\" are right, 2 of them in the rebuilt file."},
        {"no journal proves the file at the original's path", [&] { interrupted(2, head(600), false); },
         {V::Missing, V::Missing, V::Ok, V::Ok}, JobOutcome::Failed, ""},
        {"a finished join", [&] { interrupted(4, original_, false); },
         {V::InRebuiltFile, V::InRebuiltFile, V::InRebuiltFile, V::InRebuiltFile}, JobOutcome::Succeeded,
         "All 4 pieces of \"orig.bin\" are right, all of them in the rebuilt file.", WholeVerdict::Right},
        {"a finished join, its journal still there", [&] { interrupted(4, original_); },
         {V::InRebuiltFile, V::InRebuiltFile, V::InRebuiltFile, V::InRebuiltFile}, JobOutcome::Succeeded,
         "All 4 pieces of \"orig.bin\" are right, all of them in the rebuilt file.", WholeVerdict::Right},
        {"a finished join, its last byte changed", [&] { interrupted(4, damagedLast, false); },
         {V::InRebuiltFile, V::InRebuiltFile, V::InRebuiltFile, V::DamagedInRebuiltFile}, JobOutcome::Failed,
         "1 of the 4 pieces of \"orig.bin\" is not right:\norig.bin.3.4.plit: damaged in the rebuilt file\n"
         "orig.bin: damaged",
         WholeVerdict::Damaged},
    };
    // A list made in place has no line for the whole file: the pieces'
    // verdicts are the same, and nothing is said of the whole.
    const std::string wholeDamaged = "\norig.bin: damaged";
    for (const auto& row : rows) {
        for (const auto& [fromList, inPlace] : {std::pair{false, false}, {true, false}, {false, true}, {true, true}}) {
            SCOPED_TRACE(std::string(row.state) + (fromList ? ", from the list" : ", from the last piece") +
                         (inPlace ? ", list made in place" : ""));
            inPlace_ = inPlace;
            clearFolder();
            row.build();
            check(fromList ? listPath() : piece(3));
            EXPECT_EQ(verdicts(), row.verdicts);
            EXPECT_EQ(check_.result.outcome, row.outcome);
            EXPECT_EQ(check_.whole, inPlace ? WholeVerdict::NotListed : row.whole);
            std::string text = row.text;
            if (inPlace && text.size() >= wholeDamaged.size() &&
                text.compare(text.size() - wholeDamaged.size(), wholeDamaged.size(), wholeDamaged) == 0)
                text.resize(text.size() - wholeDamaged.size());
            if (!text.empty())
                expectOutcome(text, kCaption);
            EXPECT_EQ(check_.pieces.size(), 4u);
            EXPECT_EQ(check_.pieces[1].path, piece(1));
            EXPECT_EQ(ExitStatus(check_.result.outcome), row.outcome == JobOutcome::Succeeded ? 0 : 1);
        }
    }
}

// Pieces of many blocks, read on both lanes at once: each verdict is its own
// piece's, a change at any block's edge seen.
TEST_F(VerifySetTest, PiecesOfManyBlocksOnBothLanes)
{
    const std::size_t block = 256 << 10;
    useSet(MakeContent(5 * 600'000 + 12'345, 9), 600'000);  // 6 pieces, the last of 12,345 bytes
    const struct {
        int piece;
        std::size_t at;
    } changes[] = {{0, block - 1}, {1, block}, {2, 2 * block}, {4, 599'999}, {5, 12'344}};
    for (const auto& change : changes) {
        SCOPED_TRACE(testing::Message() << "piece " << change.piece << ", byte " << change.at);
        clearFolder();
        wholeSet();
        damage(change.piece, change.at);
        check(piece(0));
        std::vector<V> expected(6, V::Ok);
        expected[static_cast<std::size_t>(change.piece)] = V::Damaged;
        EXPECT_EQ(verdicts(), expected);
        EXPECT_EQ(jobState.bytesDone, static_cast<std::int64_t>(original_.size()));
    }
}

// Nothing is checked without a list that fits, nor while a join runs: one
// refusal, nothing posted, exit code 2.
TEST_F(VerifySetTest, RefusalsCheckNothing)
{
    std::unique_ptr<File> held;
    const struct {
        const char* state;
        std::function<void()> build;
        std::string chosen;
        std::string text;
    } rows[] = {
        {"no list", [&] { writePieces(); }, piece(3), VerifyNoList(listPath())},
        {"no list, named", [&] { writePieces(); }, listPath(), VerifyNoList(listPath())},
        {"a list that is no list", [&] { writePieces(); WriteFileBytes(listPath(), "hello\n"); }, piece(0),
         VerifyListDamaged(listPath())},
        {"the list of another count",
         [&] { wholeSet(); fs::rename(PathFromUtf8(piece(0)), PathFromUtf8(path("orig.bin.0.5.plit"))); },
         path("orig.bin.0.5.plit"), VerifyListUnfit(listPath())},
        {"a list cut short",
         [&] { writePieces(); const std::string text = listText(); WriteFileBytes(listPath(), text.substr(0, text.rfind('\n', text.size() - 2) + 1)); },
         piece(2), VerifyListUnfit(listPath())},
        {"not a piece's name", [&] { wholeSet(); }, path("orig.bin"), kVerifyInvalidName},
        {"the list of a split in place that did not finish",
         [&] {
             inPlace_ = true;
             writePieces(2);
             WriteFileBytes(listPath(), listText(2));
         },
         piece(3), VerifyListUnfit(listPath())},
        {"a join running",
         [&] {
             interrupted(2, head(600));
             held = platformFileSystem().openForReading(JournalPath(output()));
             ASSERT_TRUE(held && held->lockExclusive());
         },
         piece(3), job_messages::FileInUseByAnotherJob(JournalPath(output()))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.state);
        held.reset();
        inPlace_ = false;
        clearFolder();
        row.build();
        check(row.chosen);
        expectRefused(row.text, kCaption);
        EXPECT_EQ(check_.result.outcome, JobOutcome::Refused);
        EXPECT_TRUE(check_.pieces.empty());
        EXPECT_EQ(ExitStatus(check_.result.outcome), 2);
    }
}

// The check holds the journal while it runs and lets it go: a join can
// follow at once.
TEST_F(VerifySetTest, ProgressReachesTheWholeSetAndTheJournalIsLetGo)
{
    interrupted(1, head(300));
    check(piece(2));
    EXPECT_EQ(check_.result.outcome, JobOutcome::Succeeded);
    EXPECT_EQ(jobState.totalBytes, 1000);
    EXPECT_EQ(jobState.bytesDone, 1000);
    EXPECT_GE(sink_.posts(WM_JOB_PROGRESS), 1);
    std::unique_ptr<File> journal = platformFileSystem().openForReading(JournalPath(output()));
    ASSERT_TRUE(journal);
    EXPECT_TRUE(journal->lockExclusive()) << "the check must not keep the journal locked";
}

// Each file call of a check failing in turn, on a whole set and on a set with
// a damaged piece (as a plain set and half joined): no file ever changes, the
// check ends with one box, and a fault never makes a set look right that is
// not.
TEST_F(VerifySetTest, FaultsNeverChangeAFileNorHideADamagedPiece)
{
    const struct {
        const char* state;
        std::function<void()> build;
        bool right;
    } rows[] = {
        {"whole set", [&] { wholeSet(); }, true},
        {"a damaged piece", [&] { wholeSet(); damage(2, 7); }, false},
        {"half joined, a damaged piece", [&] { interrupted(2, head(600)); damage(3, 50); }, false},
        {"a damaged piece, its list made in place", [&] { inPlace_ = true; wholeSet(); damage(1, 7); }, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.state);
        inPlace_ = false;
        clearFolder();
        row.build();
        files_ = FaultyFileSystem();
        check(piece(0));
        ASSERT_EQ(check_.result.outcome, row.right ? JobOutcome::Succeeded : JobOutcome::Failed);
        const FaultyFileSystem counted = files_;
        int runs = 0;
        for (const IoCall call : kAllIoCalls) {
            for (int nth = 1; nth <= counted.calls(call); ++nth, ++runs) {
                SCOPED_TRACE(testing::Message() << "failing " << IoCallName(call) << " call " << nth);
                files_ = FaultyFileSystem();
                files_.failCall(call, nth);
                sink_.events.clear();
                check(piece(0));
                EXPECT_EQ(sink_.messages().size(), 1u);
                if (!row.right) {
                    EXPECT_NE(check_.result.outcome, JobOutcome::Succeeded) << "a fault hid the damaged piece";
                }
                if (check_.result.outcome == JobOutcome::Succeeded) {
                    for (const PieceCheck& piece : check_.pieces)
                        EXPECT_TRUE(IsRight(piece.verdict));
                }
            }
        }
        EXPECT_GT(runs, 10);
    }
}

}  // namespace
