// Every state a join can find on disk, from the table in engine/README.md:
// the states a join of its own leaves (which the next join takes up, ending
// with the original alone) and everything else at those names (which it
// refuses, leaving every file byte for byte as it was).

#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "engine_fixture.h"
#include "job_messages.h"
#include "join_job.h"
#include "join_journal.h"
#include "split_journal.h"

namespace {

using job_messages::FileInUseByAnotherJob;
using job_messages::JoinForeignOutput;
using job_messages::JoinIdsNotStable;
using job_messages::JoinIntoOtherFolder;
using job_messages::JoinJournalOfAnotherKind;
using job_messages::JoinJournalUnfit;
using job_messages::JoinListUnfit;
using job_messages::JoinOutputDamaged;
using job_messages::JoinOutputInTheWay;
using job_messages::JoinSplitLeftovers;


// Rebuilt: the original alone. Kept: the original beside every piece and the
// list, as a join that keeps them (--keep) ends. RebuiltInOut: the original
// alone in the folder "out", which is all the pieces' folder holds.
enum class Ends { Rebuilt, Refused, Kept, RebuiltInOut };

class JoinRecovery : public PieceSetTest {
protected:
    void SetUp() override
    {
        PieceSetTest::SetUp();
        useSet(MakeContent(1000, 31), 300);  // 300, 300, 300 and 100 bytes
    }

    // The original's first `count` bytes.
    std::string head(std::int64_t count) const { return original_.substr(0, static_cast<std::size_t>(count)); }

    // A journal of this set's join, as the join writes it.
    Journal journalOfSet() const
    {
        Journal journal;
        journal.originalLeaf = "orig.bin";
        journal.countText = std::to_string(count());
        journal.partSize = partSize_;
        journal.lastSize = static_cast<std::int64_t>(pieces_.back().size());
        return journal;
    }

    // Writes `journal` beside the pieces; with `proving`, it names the file
    // at that path as its output.
    void writeJournal(Journal journal, const std::string& proving = {})
    {
        if (!proving.empty()) {
            const std::optional<FileIdentity> output = platformFileSystem().identityAt(proving);
            ASSERT_TRUE(output);
            journal.output = FileIdentity{output->volume, output->fileId};
        }
        WriteFileBytes(JournalPath(output()), FormatJournal(journal));
    }

    // Pieces from `firstKept` on, whole; the output holding `bytes`; and,
    // with `journalled`, the journal of the join that made it.
    void interrupted(int firstKept, const std::string& bytes, bool journalled = true)
    {
        writePieces(firstKept);
        WriteFileBytes(output(), bytes);
        if (journalled)
            writeJournal(journalOfSet(), output());
    }

    // The same, of a join into the folder "out" inside the pieces' folder.
    void interruptedIntoOut(int firstKept, const std::string& bytes)
    {
        writePieces(firstKept);
        fs::create_directories(dir_ / "out");
        WriteFileBytes(path("out/orig.bin"), bytes);
        Journal journal = journalOfSet();
        journal.outputFolder = "out";
        journal.privateLeaf = "orig.bin.plit.part";
        writeJournal(journal, path("out/orig.bin"));
    }

    // The same, of a join that keeps its pieces (--keep): every piece there.
    void copyInterrupted(const std::string& bytes, const std::string& at)
    {
        writePieces();
        WriteFileBytes(at, bytes);
        Journal journal = journalOfSet();
        journal.keep = true;
        journal.privateLeaf = "orig.bin.plit.part";
        writeJournal(journal, at);
    }

    // The set's checksum list beside the pieces.
    void listed() { WriteFileBytes(path("orig.bin.plit.sha256"), ListTextFor(output(), original_, partSize_)); }

    // Runs a join from `chosen` on the state that `build` makes, and checks its
    // end: rebuilt (success, the original alone in the folder) or refused
    // with `text`, every file as it was.
    void expectJoin(const std::function<void()>& build, Ends ends, const std::string& text = {}, int chosen = -1)
    {
        for (const std::string& name : filesInDir())
            fs::remove_all(dir_ / PathFromUtf8(name));
        sink_.events.clear();
        jobState.intoFolder.clear();
        jobState.keep = false;
        build();
        const Folder before = folder();
        runJoin(piece(chosen < 0 ? count() - 1 : chosen));
        if (ends == Ends::Rebuilt) {
            expectOutcome(kJoinSucceeded, kJoiner);
            EXPECT_EQ(result_.outcome, JobOutcome::Succeeded);
            EXPECT_EQ(folder(), (Folder{{"orig.bin", original_}})) << "the original alone, byte for byte";
        } else if (ends == Ends::Kept) {
            expectOutcome(kJoinSucceeded, kJoiner);
            EXPECT_TRUE(result_.kept);
            Folder kept;
            for (int i = 0; i < count(); ++i)
                kept[PathFromUtf8(piece(i)).filename().string()] = pieces_[static_cast<std::size_t>(i)];
            if (before.count("orig.bin.plit.sha256") != 0)
                kept["orig.bin.plit.sha256"] = before.at("orig.bin.plit.sha256");
            kept["orig.bin"] = original_;
            EXPECT_EQ(folder(), kept) << "the original beside every piece and the list, byte for byte";
        } else if (ends == Ends::RebuiltInOut) {
            expectOutcome(kJoinSucceeded, kJoiner);
            EXPECT_EQ(folder(), (Folder{{"out", "(a folder)"}})) << "nothing left beside the pieces";
            EXPECT_EQ(fs::directory_iterator(dir_ / "out")->path().filename(), "orig.bin");
            EXPECT_EQ(ReadFileBytes(path("out/orig.bin")), original_);
        } else {
            expectRefused(text, kJoiner);
            EXPECT_EQ(result_.outcome, JobOutcome::Refused);
            EXPECT_TRUE(folder() == before) << "a refusal changes no file";
        }
    }
};

// The rows of engine/README.md's table of states, in its order.
TEST_F(JoinRecovery, EveryStateOfTheTable)
{
    const std::string zeros(40, '\0');
    const std::string garbage = MakeContent(40, 5);
    Journal privateJournal = journalOfSet();
    privateJournal.privateLeaf = "orig.bin.plit.part";
    // A split's journal of this set, every piece begun, with its list; its
    // input the file now at the original's path when `proving`, or else
    // another file.
    const auto splitJournalOf = [&](bool proving) {
        Journal journal = journalOfSet();
        journal.kind = JournalKind::Split;
        journal.withList = true;
        journal.piecesBegun = count();
        journal.input = FileIdentity{1, 2, 1000, 0};
        if (proving)
            journal.input = RecordedInput(*platformFileSystem().identityAt(output()));
        return journal;
    };
    const Journal splitJournal = splitJournalOf(false);
    Journal otherSet = journalOfSet();
    otherSet.countText = "5";

    const struct {
        const char* state;
        std::function<void()> build;
        Ends ends;
        std::string text;
    } rows[] = {
        {"fresh set", [&] { writePieces(); }, Ends::Rebuilt, {}},
        {"stale journal", [&] { writePieces(); writeJournal(journalOfSet()); }, Ends::Rebuilt, {}},
        {"stale journal, torn before its first line",
         [&] { writePieces(); WriteFileBytes(JournalPath(output()), "vandr"); }, Ends::Rebuilt, {}},
        {"copying piece 0",
         [&] {
             writePieces();
             WriteFileBytes(PrivateOutputPath(output()), head(120));
             writeJournal(privateJournal, PrivateOutputPath(output()));
         },
         Ends::Rebuilt, {}},
        {"copying piece 0, its record torn",
         [&] {
             writePieces();
             WriteFileBytes(PrivateOutputPath(output()), "");
             WriteFileBytes(JournalPath(output()), FormatJournal(privateJournal) + "output 12");
         },
         Ends::Rebuilt, {}},
        {"output in the way", [&] { writePieces(); WriteFileBytes(output(), head(300)); }, Ends::Refused,
         JoinOutputInTheWay(output())},
        {"stale journal with an output in the way",
         [&] {
             writePieces();
             writeJournal(journalOfSet(), piece(1));
             WriteFileBytes(output(), head(300));
         },
         Ends::Refused, JoinOutputInTheWay(output())},
        {"private file in the way", [&] { writePieces(); WriteFileBytes(PrivateOutputPath(output()), "x"); },
         Ends::Refused, JoinOutputInTheWay(PrivateOutputPath(output()))},
        {"interrupted at piece 1", [&] { interrupted(1, head(300)); }, Ends::Rebuilt, {}},
        {"interrupted in piece 2", [&] { interrupted(2, head(720)); }, Ends::Rebuilt, {}},
        {"interrupted, zeros past piece 2", [&] { interrupted(2, head(600) + zeros); }, Ends::Rebuilt, {}},
        {"interrupted, garbage past piece 2", [&] { interrupted(2, head(600) + garbage); }, Ends::Rebuilt, {}},
        {"interrupted, only the last piece left", [&] { interrupted(3, head(900) + garbage); }, Ends::Rebuilt, {}},
        {"interrupted after a copied piece 0", [&] { interrupted(0, head(300)); }, Ends::Rebuilt, {}},
        {"a piece kept because it could not be deleted", [&] { interrupted(1, head(600)); }, Ends::Rebuilt, {}},
        {"finishing", [&] { interrupted(2, original_, false); fs::remove(PathFromUtf8(piece(3))); }, Ends::Rebuilt,
         {}},
        {"finishing, the last two pieces kept", [&] { interrupted(2, original_, false); }, Ends::Rebuilt, {}},
        {"finishing, every piece still there", [&] { interrupted(0, original_, false); }, Ends::Rebuilt, {}},
        {"finishing, the journal not yet removed", [&] { interrupted(2, original_); fs::remove(PathFromUtf8(piece(3))); },
         Ends::Rebuilt, {}},
        {"journal left after a finished join", [&] { interrupted(4, original_); }, Ends::Rebuilt, {}},
        {"interrupted in piece 2, with the list", [&] { interrupted(2, head(720)); listed(); }, Ends::Rebuilt, {}},
        {"a piece kept, with the list", [&] { interrupted(1, head(600)); listed(); }, Ends::Rebuilt, {}},
        {"finishing, with the list", [&] { interrupted(2, original_, false); listed(); }, Ends::Rebuilt, {}},
        {"journal left after a finished join, with the list", [&] { interrupted(4, original_); listed(); },
         Ends::Rebuilt, {}},
        {"interrupted, the pieces the output holds no longer the list's",
         [&] {
             std::string damaged = head(600);
             damaged[450] ^= 1;
             interrupted(2, damaged);
             listed();
         },
         Ends::Refused, JoinOutputDamaged(output())},
        {"interrupted, a journal whose part size is not the list's",
         [&] {
             Journal smaller = journalOfSet();
             smaller.partSize = 200;
             interrupted(3, head(900), false);
             writeJournal(smaller, output());
             listed();
         },
         Ends::Refused, JoinListUnfit(path("orig.bin.plit.sha256"))},
        {"foreign output", [&] { interrupted(2, head(600), false); }, Ends::Refused,
         JoinForeignOutput(output(), piece(0))},
        {"journal of another output", [&] { interrupted(2, head(600), false); writeJournal(journalOfSet(), piece(2)); },
         Ends::Refused, JoinForeignOutput(output(), piece(0))},
        {"journal of another set", [&] { interrupted(2, head(600), false); writeJournal(otherSet, output()); },
         Ends::Refused, JoinJournalUnfit(JournalPath(output()))},
        {"journal of another version",
         [&] { interrupted(2, head(600), false); WriteFileBytes(JournalPath(output()), "vandrel journal 9\nkind join\n"); },
         Ends::Refused, JoinJournalUnfit(JournalPath(output()))},
        {"journal of another job kind", [&] { interrupted(2, head(600), false); writeJournal(splitJournal, output()); },
         Ends::Refused, JoinJournalOfAnotherKind(JournalPath(output()))},
        {"split cut short, the original whole",
         [&] { writePieces(); listed(); WriteFileBytes(output(), original_); writeJournal(splitJournalOf(true)); },
         Ends::Refused, JoinSplitLeftovers(output())},
        {"split cut short in piece 2, the original whole",
         [&] {
             writePieces();
             WriteFileBytes(piece(2), head(10));
             fs::remove(PathFromUtf8(piece(3)));
             WriteFileBytes(output(), original_);
             writeJournal(splitJournalOf(true));
         },
         Ends::Refused, JoinSplitLeftovers(output())},
        {"split journal, the original changed since",
         [&] { writePieces(); WriteFileBytes(output(), original_); writeJournal(splitJournal); }, Ends::Refused,
         JoinJournalOfAnotherKind(JournalPath(output()))},
        {"split journal left after the input's deletion",
         [&] { writePieces(); listed(); writeJournal(splitJournal); }, Ends::Rebuilt, {}},
        {"split journal left after the input's deletion, a piece missing",
         [&] { writePieces(); fs::remove(PathFromUtf8(piece(1))); writeJournal(splitJournal); }, Ends::Refused,
         NotFoundText(piece(1))},
        {"journal whose output holds fewer pieces than are gone", [&] { interrupted(2, head(599)); }, Ends::Refused,
         JoinForeignOutput(output(), piece(0))},
        {"a copy interrupted at piece 2, joined without --keep", [&] { copyInterrupted(head(600), output()); listed(); },
         Ends::Kept, {}},
        {"a copy interrupted in piece 2, joined without --keep", [&] { copyInterrupted(head(650), output()); },
         Ends::Kept, {}},
        {"a copy interrupted while it copied piece 0",
         [&] { copyInterrupted(head(120), PrivateOutputPath(output())); listed(); }, Ends::Kept, {}},
        {"a copy whose every byte is in the output, the journal not yet removed",
         [&] { copyInterrupted(original_, output()); listed(); }, Ends::Kept, {}},
        {"a move interrupted at piece 2, joined with --keep: the move goes on",
         [&] {
             interrupted(2, head(600));
             jobState.keep = true;
         },
         Ends::Rebuilt, {}},
        {"interrupted into another folder", [&] { interruptedIntoOut(2, head(720)); }, Ends::RebuiltInOut, {}},
        {"interrupted into another folder, with the list, joined into it",
         [&] {
             interruptedIntoOut(2, head(600));
             listed();
             jobState.intoFolder = path("out");
         },
         Ends::RebuiltInOut, {}},
        {"interrupted into another folder, only the last piece left", [&] { interruptedIntoOut(3, head(900)); },
         Ends::RebuiltInOut, {}},
        {"finishing into another folder, the journal not yet removed",
         [&] { interruptedIntoOut(3, original_); }, Ends::RebuiltInOut, {}},
        {"journal left after a finished join into another folder", [&] { interruptedIntoOut(4, original_); },
         Ends::RebuiltInOut, {}},
        {"interrupted into another folder, joined into a third",
         [&] {
             interruptedIntoOut(2, head(720));
             fs::create_directories(dir_ / "third");
             jobState.intoFolder = path("third");
         },
         Ends::Refused, JoinIntoOtherFolder(JournalPath(output()), path("out"))},
        {"interrupted beside the pieces, joined into another folder",
         [&] {
             interrupted(2, head(720));
             fs::create_directories(dir_ / "out");
             jobState.intoFolder = path("out");
         },
         Ends::Refused, JoinIntoOtherFolder(JournalPath(output()), Utf8(dir_))},
        {"a piece missing", [&] { writePieces(); fs::remove(PathFromUtf8(piece(2))); }, Ends::Refused,
         NotFoundText(piece(2))},
        {"nothing but pieces after piece 0", [&] { writePieces(1); }, Ends::Refused, NotFoundText(piece(0))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.state);
        expectJoin(row.build, row.ends, row.text);
    }
}

// A journal that names the output proves nothing where file numbers are made
// anew at each mount: the resume is refused, nothing touched.
TEST_F(JoinRecovery, FileSystemThatNumbersFilesAnewProvesNoOutput)
{
    files_.failCallsFrom(IoCall::KeepsFileIds, 1);
    expectJoin([&] { interrupted(2, head(600)); }, Ends::Refused, JoinIdsNotStable(output()));
}

// There the list proves it instead: the pieces the output holds match their
// lines, and what lies past them is the start of the next piece.
TEST_F(JoinRecovery, ListProvesTheOutputWhereFileNumbersDoNotLast)
{
    files_.failCallsFrom(IoCall::KeepsFileIds, 1);
    expectJoin([&] { interrupted(2, head(720)); listed(); }, Ends::Rebuilt);
    expectJoin([&] { interrupted(2, head(600)); listed(); }, Ends::Rebuilt);
    expectJoin([&] { interrupted(2, head(600) + MakeContent(40, 5)); listed(); }, Ends::Refused,
               JoinIdsNotStable(output()));
}

// Another job holds the journal: nothing is touched.
TEST_F(JoinRecovery, JournalInUseByAnotherJob)
{
    std::unique_ptr<File> held;
    expectJoin(
        [&] {
            interrupted(2, head(600));
            held = platformFileSystem().openForReading(JournalPath(output()));
            ASSERT_TRUE(held && held->lockExclusive());
        },
        Ends::Refused, FileInUseByAnotherJob(JournalPath(output())));
}

// Pieces 0..N-2 of one size, the last one from 1 byte to that size: a short,
// empty or oversized piece is named and nothing is written or deleted.
TEST_F(JoinRecovery, PiecesThatDoNotFitTheSetAreRefused)
{
    const struct {
        int index;
        std::string bytes;
        int named;
    } cases[] = {
        {1, MakeContent(299, 2), 1},  // a short piece, as a truncated download
        {2, "", 2},                   // an empty piece, as a split cut short
        {3, MakeContent(301, 2), 3},  // a last piece larger than the others
        {3, "", 3},                   // an empty last piece
        {0, MakeContent(200, 2), 1},  // a first piece smaller than the next
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "piece " << c.index << " of " << c.bytes.size() << " bytes");
        expectJoin([&] { writePieces(); WriteFileBytes(piece(c.index), c.bytes); }, Ends::Refused,
                   DoesNotFitText(piece(c.named)));
    }
}

// Files that are not this join's output at the original's path, pieces 0..k-1
// gone, with no journal, a stale one or one copied from another set: refused,
// every file byte for byte as before. Pieces of 192 KiB, so that a file can
// share piece 0's first and last 64 KiB and differ inside.
TEST_F(JoinRecovery, ForeignFilesAreLeftAlone)
{
    constexpr std::int64_t kKiB = 1024;
    useSet(MakeContent(3 * 192 * kKiB - 100 * kKiB, 41), 192 * kKiB);  // 192, 192 and 92 KiB
    Journal copied = journalOfSet();
    copied.originalLeaf = "other.bin";
    for (int gone = 1; gone < count(); ++gone) {
        const std::int64_t whole = gone * partSize_;
        std::string sharesEnds = head(whole);
        sharesEnds[static_cast<std::size_t>(partSize_ / 2)] ^= 1;
        const std::string shapes[] = {head(whole), head(whole) + std::string(5000, '\0'),
                                      head((count() - 1) * 1000), sharesEnds, MakeContent(whole, 3)};
        for (const std::string& bytes : shapes) {
            for (const char* journal : {"none", "stale", "copied"}) {
                SCOPED_TRACE(testing::Message() << "pieces 0.." << gone - 1 << " gone, a file of " << bytes.size()
                                                << " bytes, journal: " << journal);
                const std::string text = std::string(journal) == "copied" ? JoinJournalUnfit(JournalPath(output()))
                                                                          : JoinForeignOutput(output(), piece(0));
                expectJoin(
                    [&] {
                        interrupted(gone, bytes, false);
                        if (std::string(journal) == "stale")
                            writeJournal(journalOfSet(), piece(count() - 1));
                        if (std::string(journal) == "copied")
                            writeJournal(copied, output());
                    },
                    Ends::Refused, text);
            }
        }
    }
}

}  // namespace
