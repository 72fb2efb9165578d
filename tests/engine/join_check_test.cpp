// Damaged pieces and lists: whatever is wrong stops the join before the bad
// bytes are consumed, names the piece or the list, and keeps it byte for
// byte; once it is put right, the next join gives back the original alone.

#include <gtest/gtest.h>

#include <map>

#include "engine_fixture.h"
#include "job_messages.h"

namespace {

using job_messages::JoinListDisagrees;
using job_messages::JoinListUnfit;
using job_messages::JoinPieceDamaged;


// The list's own date for the original, which the rebuilt file must take.
constexpr std::int64_t kListedDate = 1700000000123456700;

class JoinCheck : public PieceSetTest {
protected:
    std::string list() const { return path("orig.bin.plit.sha256"); }
    std::string listText() const { return ListTextFor(output(), original_, partSize_, kListedDate, inPlace_); }

    // The list is the one a split in place writes: no line for the whole.
    bool inPlace_ = false;

    // The set and its list; piece 0 with a second name when `linked`, so
    // that the join copies it instead of renaming it.
    void writeSet(bool linked)
    {
        writePieces();
        WriteFileBytes(list(), listText());
        if (linked)
            fs::create_hard_link(PathFromUtf8(piece(0)), dir_ / "link");
    }

    // The join of a put-right set ends with the original alone, with the list's date.
    void expectJoinedAfterRepair(int chosen, bool linked)
    {
        sink_.events.clear();
        runJoin(piece(chosen));
        expectOutcome(kJoinSucceeded, kJoiner);
        Folder expected{{"orig.bin", original_}};
        if (linked)
            expected["link"] = pieces_.front();
        EXPECT_EQ(folder(), expected);
        EXPECT_EQ(UtcModifiedOf(output()), kListedDate);
    }
};

enum class Damage { FlippedByte, FromAnotherSplit };

struct DamageCase {
    const char* name;
    std::int64_t size;
    std::int64_t partSize;
    int damaged;
};

TEST_F(JoinCheck, DamagedPieceStopsTheJoinBeforeItIsConsumed)
{
    const DamageCase cases[] = {
        {"first of three", 25, 10, 0}, {"second of three", 25, 10, 1}, {"middle of ten", 100, 10, 5},
        {"last of ten", 100, 10, 9},   {"first of two", 7, 4, 0},      {"last of two", 7, 4, 1},
    };
    for (const DamageCase& c : cases) {
        for (const Damage damage : {Damage::FlippedByte, Damage::FromAnotherSplit}) {
            for (const bool linked : {false, true}) {
                // A list made in place checks the pieces alone; it is tried on
                // a flipped byte at every place.
                for (const bool inPlace : {false, true}) {
                    if (inPlace && damage != Damage::FlippedByte)
                        continue;
                    inPlace_ = inPlace;
                    SCOPED_TRACE(testing::Message() << c.name << (damage == Damage::FlippedByte ? ", a byte flipped" : ", from another split")
                                                    << (linked ? ", piece 0 copied" : ", piece 0 renamed")
                                                    << (inPlace ? ", list made in place" : ""));
                    for (const std::string& name : filesInDir())
                        fs::remove(dir_ / name);
                    sink_.events.clear();
                    useSet(MakeContent(c.size, 5), c.partSize);
                    writeSet(linked);
                    const std::string good = pieces_[static_cast<std::size_t>(c.damaged)];
                    std::string bad = damage == Damage::FlippedByte
                                          ? good
                                          : Slices(MakeContent(c.size, 6), c.partSize)[static_cast<std::size_t>(c.damaged)];
                    bad[bad.size() / 2] ^= damage == Damage::FlippedByte ? 0x20 : 0;
                    WriteFileBytes(piece(c.damaged), bad);

                    runJoin(piece(0));

                    // Pieces the join deleted cannot come back (a renamed piece 0
                    // can): it stopped, else it put the set back and refused.
                    const int deleted = std::min(c.damaged, count() - 2) - (linked ? 0 : 1);
                    EXPECT_EQ(expectOneEnd(kJoiner), JoinPieceDamaged(piece(c.damaged)));
                    EXPECT_EQ(result_.outcome, deleted > 0 ? JobOutcome::Failed : JobOutcome::Refused) << result_.reason;
                    EXPECT_EQ(result_.file, piece(c.damaged));
                    EXPECT_TRUE(result_.checked);
                    for (int index = c.damaged; index < count(); ++index)
                        EXPECT_EQ(ReadFileBytes(piece(index)), index == c.damaged ? bad : pieces_[static_cast<std::size_t>(index)])
                            << "piece " << index << " changed";
                    if (deleted <= 0) {
                        EXPECT_FALSE(FileExists(output())) << "a refused join left the output";
                    }

                    WriteFileBytes(piece(c.damaged), good);
                    expectJoinedAfterRepair(c.damaged, linked);
                }
            }
        }
    }
}

// The lists a case may take instead of the set's: one of another count, one
// of the same count and names with other sizes.
struct OtherLists {
    std::string count;
    std::string sizes;
};

struct ListCase {
    const char* name;
    std::string (*damage)(const std::string& text, const OtherLists& other);
    bool namesPiece = false;  // the list fits; piece 0's size is not the one it gives
};

TEST_F(JoinCheck, ListThatDoesNotFitIsRefusedNamingIt)
{
    const ListCase cases[] = {
        {"empty", [](const std::string&, const OtherLists&) { return std::string(); }},
        {"truncated", [](const std::string& text, const OtherLists&) { return text.substr(0, text.size() / 2); }},
        {"cut at its last line", [](const std::string& text, const OtherLists&) { return text.substr(0, text.size() - 20); }},
        {"foreign", [](const std::string&, const OtherLists&) { return std::string("vandrel journal 1\nkind join\n"); }},
        {"garbled fact", [](const std::string& text, const OtherLists&) {
             std::string garbled = text;
             garbled.replace(garbled.find("# size: "), 9, "# size: x");
             return garbled;
         }},
        {"for another count", [](const std::string&, const OtherLists& other) { return other.count; }},
        {"of other sizes", [](const std::string&, const OtherLists& other) { return other.sizes; }, true},
        {"another leaf", [](const std::string& text, const OtherLists&) {
             std::string renamed = text;
             renamed.replace(renamed.find("orig.bin.1.3.plit"), 8, "orig.box");
             return renamed;
         }},
    };
    for (const ListCase& c : cases) {
        for (const bool inPlace : {false, true}) {
            inPlace_ = inPlace;
            SCOPED_TRACE(std::string(c.name) + (inPlace ? ", made in place" : ""));
            for (const std::string& name : filesInDir())
                fs::remove(dir_ / name);
            sink_.events.clear();
            useSet(MakeContent(25, 8), 10);
            writeSet(false);
            const OtherLists other{ListTextFor(output(), original_, 7, kListedDate, inPlace),   // 4 pieces
                                   ListTextFor(output(), original_, 9, kListedDate, inPlace)};  // 9, 9 and 7 bytes
            WriteFileBytes(list(), c.damage(listText(), other));
            const Folder before = folder();

            runJoin(piece(1));

            const std::string named = c.namesPiece ? piece(0) : list();
            expectRefused(c.namesPiece ? DoesNotFitText(named) : JoinListUnfit(named), kJoiner);
            EXPECT_EQ(result_.file, named);
            EXPECT_FALSE(result_.reason.empty());
            EXPECT_EQ(folder(), before) << "a refused join changed the folder";

            WriteFileBytes(list(), listText());
            expectJoinedAfterRepair(1, false);
        }
    }
}

// Every piece matches its line, and the whole file does not match its own:
// the rebuilt file stays whole, with the list and the last piece beside it.
TEST_F(JoinCheck, ListThatDisagreesWithItselfKeepsTheRebuiltFileWhole)
{
    for (const std::int64_t partSize : {std::int64_t{10}, std::int64_t{4}}) {
        SCOPED_TRACE(testing::Message() << "pieces of " << partSize);
        for (const std::string& name : filesInDir())
            fs::remove(dir_ / name);
        sink_.events.clear();
        useSet(MakeContent(partSize == 10 ? 25 : 7, 9), partSize);
        writeSet(false);
        std::string text = listText();
        const std::size_t lastLine = text.rfind('\n', text.size() - 2) + 1;
        text[lastLine] = text[lastLine] == '0' ? '1' : '0';
        WriteFileBytes(list(), text);

        runJoin(piece(0));

        EXPECT_EQ(expectOneEnd(kJoiner), JoinListDisagrees(list(), output()));
        EXPECT_EQ(result_.outcome, JobOutcome::Failed);
        EXPECT_EQ(ReadFileBytes(output()), original_);
        EXPECT_EQ(ReadFileBytes(list()), text);
        EXPECT_EQ(ReadFileBytes(piece(count() - 1)), pieces_.back());

        WriteFileBytes(list(), listText());
        expectJoinedAfterRepair(count() - 1, false);
    }
}

}  // namespace
