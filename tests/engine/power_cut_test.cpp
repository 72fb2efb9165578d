// Power cuts during a split and a join. The power goes after each call the job
// makes, in turn; on every disk that may survive the cut, the user recovers
// with Vandrel's own means, and the recovery must end cleanly: a split cut
// short is started again (with another part size) where its input is still
// there, and must leave the new set alone; otherwise the pieces are joined,
// and must leave the original alone on the disk, byte for byte. A split in
// place is recovered both ways on each disk: started again (with its own part
// size) wherever its input is still there, and joined always. Every workload runs on a POSIX disk and on
// a Windows one, each with the platform's in-kernel copy and with the
// read/write copy a job falls back to. Prints how many disks were checked.

#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <sstream>
#include <tuple>

#include "engine_fixture.h"
#include "in_place_split.h"
#include "join_job.h"
#include "join_journal.h"
#include "piece_names.h"
#include "power_cut_file_system.h"
#include "recording_sink.h"
#include "split_job.h"
#include "split_journal.h"

namespace {

const std::string kOriginal = "/vault/in.bin";
constexpr const char* kIntoFolder = "/archive";
const WindowHandle kWindow = reinterpret_cast<WindowHandle>(std::uintptr_t{0xC07});
// Cut points whose first broken disk is told in full; the rest are counted.
constexpr int kCutsShown = 5;
constexpr std::size_t kOperationsShown = 8;

struct Workload {
    const char* name;
    bool split;  // a split of the original, or else a join of its pieces
    std::int64_t size;
    std::int64_t partSize;
    // Zeros alone: where a cut leaves zeros for unwritten bytes, they look like
    // any byte of the file, so only what the job recorded tells the pieces apart.
    bool zeros = false;
    // Piece 0 has a second name off this disk, so a join copies it under its
    // private name instead of renaming it.
    bool firstPieceLinked = false;
    // A join of pieces without a checksum list, as older splits left them.
    bool unlisted = false;
    // A split into another folder of the disk, which stands in for another
    // disk (--into): its pieces go there; a join into it: its output does.
    const char* into = nullptr;
    // A split that keeps its input, a join that keeps its pieces (--keep).
    bool keep = false;
    // A split in place (--in-place), on a disk with room for a few pieces; a
    // join of the pieces of one stopped with its input holding this many.
    bool inPlace = false;
    std::int64_t inputHolds = 0;

    std::int64_t pieceCount() const { return (size + partSize - 1) / partSize; }
    // The original's path in the pieces' folder, where a join without --into rebuilds it.
    std::string piecesOriginal() const { return split && into ? std::string(into) + "/in.bin" : kOriginal; }
    std::string piece(std::int64_t index) const
    {
        return PieceName(piecesOriginal(), index, Int64ToDecimal(pieceCount()));
    }
    std::string list() const { return piecesOriginal() + ".plit.sha256"; }
    // Where the original is: the split's input, or where the join puts it.
    std::string output() const { return !split && into ? std::string(into) + "/in.bin" : kOriginal; }
    // The same workload with another part size: the split a user starts
    // again after a cut.
    Workload withPartSize(std::int64_t other) const
    {
        Workload again = *this;
        again.partSize = other;
        return again;
    }
    std::string content() const { return zeros ? std::string(static_cast<std::size_t>(size), '\0') : MakeContent(size, 7); }
};

void PrintTo(const Workload& workload, std::ostream* out)
{
    *out << workload.name;
}

const Workload kWorkloads[] = {
    {"SplitIntoOneBytePieces", true, 5, 1}, {"SplitWithUnevenLastPiece", true, 10, 4},
    {"SplitIntoTwoPieces", true, 8, 4},     {"SplitIntoTenPieces", true, 100, 10},
    {"JoinOneBytePieces", false, 5, 1},     {"JoinWithUnevenLastPiece", false, 10, 4},
    {"JoinTwoPieces", false, 8, 4},         {"JoinTenPieces", false, 100, 10},
    {"JoinTwoUnevenPieces", false, 7, 4},   {"JoinTwoPiecesOfZeros", false, 8, 4, true},
    {"JoinCopyingPieceZero", false, 10, 4, false, true},
    {"JoinTwoPiecesCopyingPieceZero", false, 7, 4, false, true},
    {"JoinTenPiecesWithoutList", false, 100, 10, false, false, true},
    {"JoinTwoPiecesOfZerosWithoutList", false, 8, 4, true, false, true},
    {"SplitKeepingTheInput", true, 10, 4, false, false, false, nullptr, true},
    {"SplitIntoTenPiecesKeepingTheInput", true, 100, 10, false, false, false, nullptr, true},
    {"SplitIntoAnotherFolder", true, 10, 4, false, false, false, kIntoFolder},
    {"SplitIntoTenPiecesInAnotherFolder", true, 100, 10, false, false, false, kIntoFolder},
    {"SplitIntoAnotherFolderKeepingTheInput", true, 10, 4, false, false, false, kIntoFolder, true},
    // The second folder stands in for another disk: the disk has one volume.
    {"JoinIntoAnotherFolder", false, 100, 10, false, false, false, kIntoFolder},
    {"JoinTwoPiecesIntoAnotherFolder", false, 7, 4, false, false, false, kIntoFolder},
    {"JoinKeepingThePieces", false, 100, 10, false, false, false, nullptr, true},
    {"JoinKeepingTwoPiecesWithoutList", false, 7, 4, false, false, true, nullptr, true},
    {"SplitInPlaceIntoOneBytePieces", true, 5, 1, false, false, false, nullptr, false, true},
    {"SplitInPlaceWithUnevenLastPiece", true, 10, 4, false, false, false, nullptr, false, true},
    {"SplitInPlaceIntoTwoPieces", true, 8, 4, false, false, false, nullptr, false, true},
    {"SplitInPlaceIntoTenPieces", true, 100, 10, false, false, false, nullptr, false, true},
    {"SplitInPlaceIntoTenPiecesOfZeros", true, 100, 10, true, false, false, nullptr, false, true},
    {"JoinOfASplitInPlaceStoppedPartWay", false, 100, 10, false, false, true, nullptr, false, true, 4},
    {"JoinOfASplitInPlaceStoppedAtItsLastPiece", false, 10, 4, false, false, true, nullptr, false, true, 1},
};

// Puts the engine on `disk` and `sink` for as long as it lives.
class EngineOn {
public:
    EngineOn(FileSystem& disk, RecordingSink& sink)
    {
        setFileSystem(&disk);
        setNotificationSink(&sink);
        jobState.notifyWindow = kWindow;
        jobState.exitWhenDone = 0;
    }
    ~EngineOn()
    {
        setFileSystem(nullptr);
        setNotificationSink(nullptr);
        jobState.notifyWindow = nullptr;
    }
};

// What a job told the user, one message a line.
std::string Told(const RecordingSink& sink)
{
    std::string told;
    for (const JobEvent& box : sink.messages())
        told += "\n    \"" + box.caption + ": " + box.text + "\"";
    return told.empty() ? " nothing" : told;
}

bool Showed(const RecordingSink& sink, const std::string& text)
{
    for (const JobEvent& box : sink.messages())
        if (box.text == text)
            return true;
    return false;
}

bool ReportedSuccess(const RecordingSink& sink, const Workload& workload)
{
    return Showed(sink, workload.split ? kSplitSucceeded : kJoinSucceeded);
}

// The disk and copy path of a run, as the test's name and its printed line give them.
struct Machine {
    DiskProfile profile;
    bool inKernelCopy;

    std::string name() const
    {
        return std::string(profile == DiskProfile::Windows ? "Windows" : "Posix") + "_" +
               (inKernelCopy ? "InKernelCopy" : "ReadWriteCopy");
    }
    // A disk of this machine's kind holding `image`, all of it durable, for
    // `workload`.
    PowerCutFileSystem disk(const DiskImage& image, const Workload& workload) const
    {
        PowerCutFileSystem disk(image);
        disk.profile = profile;
        disk.inKernelCopy = inKernelCopy;
        if (workload.firstPieceLinked)
            disk.linkedNames.insert(workload.piece(0));
        if (workload.into)
            disk.folders.insert(workload.into);
        // Room for the split in place and two more pieces: it cuts in batches.
        if (workload.inPlace)
            disk.availableBytes = InPlaceRoomNeeded({kOriginal, workload.partSize, workload.pieceCount(),
                                                     Int64ToDecimal(workload.pieceCount()), true}) +
                                  2 * workload.partSize;
        return disk;
    }
};

void PrintTo(const Machine& machine, std::ostream* out)
{
    *out << machine.name();
}

// A join from `chosenPiece`, into the folder `into` names (none: beside the
// pieces, or where a journal says), keeping the pieces with `keep`.
void RunJoin(PowerCutFileSystem& disk, RecordingSink& sink, const std::string& chosenPiece, const char* into = nullptr,
             bool keep = false)
{
    EngineOn engine(disk, sink);
    jobState.intoFolder = into ? into : "";
    jobState.keep = keep;
    JoinFiles(chosenPiece);
    jobState.intoFolder.clear();
    jobState.keep = false;
}

// The workload's job on `disk`: a split of the original, or a join from its
// lowest piece.
void RunJob(const Workload& workload, PowerCutFileSystem& disk, RecordingSink& sink)
{
    if (!workload.split)
        return RunJoin(disk, sink, workload.piece(workload.inputHolds), workload.into, workload.keep);
    EngineOn engine(disk, sink);
    jobState.partSize = workload.partSize;
    jobState.keep = workload.keep;
    jobState.intoFolder = workload.into ? workload.into : "";
    jobState.inPlace = workload.inPlace ? InPlaceChoice::Always : InPlaceChoice::WhenShort;
    SplitFile(kOriginal);
    jobState.keep = false;
    jobState.intoFolder.clear();
    jobState.inPlace = InPlaceChoice::WhenShort;
}

// What a split in place stopped part way leaves: its input holding its first
// `inputHolds` pieces, the others beside it, and its journal.
void AddStoppedSplitInPlace(const Workload& workload, PowerCutFileSystem& disk)
{
    const std::string content = workload.content();
    const std::vector<std::string> slices = Slices(content, workload.partSize);
    disk.addFile(kOriginal, content.substr(0, static_cast<std::size_t>(workload.inputHolds * workload.partSize)));
    std::optional<FileIdentity> input = disk.identityAt(kOriginal);
    input->size = workload.size;
    for (std::int64_t index = workload.inputHolds; index < workload.pieceCount(); ++index)
        disk.addFile(workload.piece(index), slices[static_cast<std::size_t>(index)]);
    Journal journal;
    journal.kind = JournalKind::InPlaceSplit;
    journal.originalLeaf = "in.bin";
    journal.countText = Int64ToDecimal(workload.pieceCount());
    journal.partSize = workload.partSize;
    journal.lastSize = workload.size - (workload.pieceCount() - 1) * workload.partSize;
    journal.modified = ModifiedToUtcNanoseconds(input->modified);
    journal.input = RecordedInput(*input);
    journal.piecesBegun = workload.pieceCount() - workload.inputHolds;
    disk.addFile(JournalPath(kOriginal), FormatJournal(journal));
}

// The disk before the job, all of it durable.
DiskImage StartingDisk(const Workload& workload)
{
    PowerCutFileSystem disk;
    const std::string content = workload.content();
    if (workload.split) {
        disk.addFile(kOriginal, content);
    } else if (workload.inPlace) {
        AddStoppedSplitInPlace(workload, disk);
    } else {
        const std::vector<std::string> slices = Slices(content, workload.partSize);
        for (std::size_t index = 0; index < slices.size(); ++index)
            disk.addFile(workload.piece(static_cast<std::int64_t>(index)), slices[index]);
        if (!workload.unlisted)
            disk.addFile(workload.list(), ListTextFor(kOriginal, content, workload.partSize, 0));
    }
    return disk.image();
}

bool EveryPieceWhole(const Workload& workload, const DiskImage& disk)
{
    const std::vector<std::string> slices = Slices(workload.content(), workload.partSize);
    for (std::size_t index = 0; index < slices.size(); ++index) {
        const auto piece = disk.find(workload.piece(static_cast<std::int64_t>(index)));
        if (piece == disk.end() || piece->second.bytes != slices[index])
            return false;
    }
    return true;
}

// The list of the workload's set: as a split of its original writes it, or
// as it lies beside the pieces a join starts from.
std::string ListText(const Workload& workload)
{
    const std::int64_t modifiedUtc =
        workload.split ? ModifiedToUtcNanoseconds(StartingDisk(workload).at(kOriginal).modified) : 0;
    return ListTextFor(kOriginal, workload.content(), workload.partSize, modifiedUtc);
}

// The list of a split in place is checked by the join that reads it.
bool ListWhole(const Workload& workload, const DiskImage& disk)
{
    const auto list = disk.find(workload.list());
    return list != disk.end() && (workload.inPlace || list->second.bytes == ListText(workload));
}

bool OriginalWhole(const Workload& workload, const DiskImage& disk, const std::string& path)
{
    const auto original = disk.find(path);
    return original != disk.end() && original->second.bytes == workload.content();
}

bool OriginalWhole(const Workload& workload, const DiskImage& disk)
{
    return OriginalWhole(workload, disk, workload.output());
}

bool OriginalAlone(const Workload& workload, const DiskImage& disk)
{
    return disk.size() == 1 && OriginalWhole(workload, disk);
}

// The original alone, rebuilt by a join in the pieces' folder.
bool RebuiltAlone(const Workload& workload, const DiskImage& disk)
{
    return disk.size() == 1 && OriginalWhole(workload, disk, workload.piecesOriginal());
}

// A finished split leaves every piece and its list, and nothing else but the
// input it kept; a finished join the original alone, or, keeping its pieces,
// the original beside the set as it was.
bool JobDone(const Workload& workload, const DiskImage& disk)
{
    if (workload.keep)
        return OriginalWhole(workload, disk) && EveryPieceWhole(workload, disk) &&
               (workload.unlisted || ListWhole(workload, disk)) &&
               disk.size() == static_cast<std::size_t>(workload.pieceCount()) + (workload.unlisted ? 1 : 2);
    if (!workload.split)
        return OriginalAlone(workload, disk);
    return EveryPieceWhole(workload, disk) && ListWhole(workload, disk) &&
           disk.size() == static_cast<std::size_t>(workload.pieceCount()) + 1;
}

// What a reported success promises on every disk a later cut may leave: every
// piece whole after a split (the input may stay when its delete failed), the
// original whole after a join (a piece may stay when its delete failed).
bool SuccessHolds(const Workload& workload, const DiskImage& disk)
{
    return workload.split ? EveryPieceWhole(workload, disk) : OriginalWhole(workload, disk);
}

// The indexes of the pieces on `disk`, lowest first.
std::vector<std::int64_t> PiecesOn(const Workload& workload, const DiskImage& disk)
{
    std::vector<std::int64_t> pieces;
    for (std::int64_t index = 0; index < workload.pieceCount(); ++index)
        if (disk.count(workload.piece(index)) != 0)
            pieces.push_back(index);
    return pieces;
}

// What the file at `path` holds, in terms of the workload's bytes.
std::string Describe(const Workload& workload, const std::string& path, const std::string& bytes)
{
    const std::string content = workload.content();
    const std::vector<std::string> slices = Slices(content, workload.partSize);
    const std::string size = std::to_string(bytes.size()) + " bytes: ";
    if (bytes == content)
        return size + "the original";
    if (path == workload.list())
        return size + (bytes == ListText(workload) ? "the whole list" : "part of the list");
    for (std::size_t index = 0; index < slices.size(); ++index) {
        if (path != workload.piece(static_cast<std::int64_t>(index)))
            continue;
        if (bytes == slices[index])
            return size + "the whole piece";
        if (slices[index].compare(0, bytes.size(), bytes) == 0)
            return size + "the piece's first bytes";
    }
    if (bytes.size() < content.size() && content.compare(0, bytes.size(), bytes) == 0)
        return size + "the original's first bytes";
    return size + "other bytes";
}

std::string Describe(const Workload& workload, const DiskImage& disk)
{
    std::string text;
    for (const auto& [path, file] : disk)
        text += "\n    " + path + " (" + Describe(workload, path, file.bytes) + ")";
    return text.empty() ? "\n    nothing" : text;
}

// A split cut short whose input is still there is started again, with
// another part size, and must end cleanly: its success message and the new
// set alone (beside the input it keeps), whatever the cut left of the old one.
std::string SplitAgainFailure(const Workload& workload, const DiskImage& survived, const Machine& machine)
{
    // A split in place goes on with its own part size.
    const Workload again = workload.withPartSize(workload.partSize + (workload.inPlace ? 0 : 1));
    PowerCutFileSystem recovery = machine.disk(survived, workload);
    RecordingSink sink;
    RunJob(again, recovery, sink);
    if (Showed(sink, kSplitSucceeded) && JobDone(again, recovery.image()))
        return {};
    return "split again into pieces of " + std::to_string(again.partSize) + " bytes, which told:" + Told(sink) +
           "\n  and left:" + Describe(again, recovery.image());
}

// True when a join has nothing left to do on `disk`: JobDone, or, for a join
// into another folder, the original alone beside its pieces' place, where a
// join without --into puts a set whose journal was not yet written.
bool JoinDone(const Workload& workload, const DiskImage& disk)
{
    return JobDone(workload, disk) ||
           (workload.into && disk.size() == 1 && OriginalWhole(workload, disk, kOriginal));
}

// Recovers the original on `survived` as a user would, with Vandrel alone:
// nothing to do when the job is done; a split whose input is still there is
// started again; otherwise the lowest remaining piece is joined (without
// --into: a journal tells where the output goes; with --keep when the join
// kept its pieces), and the join must end cleanly: its success message, and
// the original alone on the disk, byte for byte (no piece, and no file of
// any other name), or beside the whole set when it kept its pieces. Returns
// an account of what was done and seen when the recovery did not end
// cleanly, nothing when it did.
std::string RecoveryFailure(const Workload& workload, const DiskImage& survived, const Machine& machine)
{
    if (workload.split ? OriginalAlone(workload, survived) || (workload.keep && JobDone(workload, survived))
                       : JoinDone(workload, survived))
        return {};
    if (workload.split && OriginalWhole(workload, survived) && !workload.inPlace)
        return SplitAgainFailure(workload, survived, machine);
    if (workload.split && workload.inPlace && survived.count(kOriginal) != 0) {
        const std::string again = SplitAgainFailure(workload, survived, machine);
        if (!again.empty())
            return again;
    }
    const std::vector<std::int64_t> pieces = PiecesOn(workload, survived);
    // A join into another folder removes its journal last, as the journal
    // alone tells where the output is: a cut just before leaves it beside no
    // piece, and the join of any piece's name (`vandrel join`) ends it. So
    // does a split in place cut before its first piece, or its join cut
    // after its last.
    const auto journal = survived.find(kOriginal + ".plit.journal");
    Journal read;
    const bool journalAlone =
        journal != survived.end() &&
        (workload.inPlace ? ParseJournal(journal->second.bytes, read) == JournalText::Read
                          : !workload.split && workload.into);
    if (pieces.empty() && !journalAlone) {
        // A split in place cut before its first piece: started again above.
        if (workload.inPlace && workload.split && OriginalWhole(workload, survived))
            return {};
        return "no piece is left to join, and the disk does not hold the original alone";
    }

    PowerCutFileSystem recovery = machine.disk(survived, workload);
    RecordingSink sink;
    const std::string chosen = workload.piece(pieces.empty() ? 0 : pieces.front());
    RunJoin(recovery, sink, chosen, nullptr, !workload.split && workload.keep);
    if (Showed(sink, kJoinSucceeded) && (workload.split ? RebuiltAlone(workload, recovery.image())
                                                        : JoinDone(workload, recovery.image())))
        return {};
    return "joined " + chosen + ", which told:" + Told(sink) + "\n  and left:" + Describe(workload, recovery.image());
}

std::string Lines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += "\n    " + line;
    return text.empty() ? "\n    none" : text;
}

class PowerCut : public ::testing::TestWithParam<std::tuple<Workload, Machine>> {};

TEST_P(PowerCut, EveryDiskACutMayLeaveGivesTheOriginalBack)
{
    const auto& [workload, machine] = GetParam();
    const std::string run = std::string(workload.name) + ", " + machine.name();

    PowerCutFileSystem uncut = machine.disk(StartingDisk(workload), workload);
    RecordingSink uncutSink;
    RunJob(workload, uncut, uncutSink);
    const std::int64_t operations = uncut.operations();
    EXPECT_TRUE(ReportedSuccess(uncutSink, workload)) << "without a cut the job told:" << Told(uncutSink);
    EXPECT_TRUE(JobDone(workload, uncut.image()))
        << "without a cut the job left:" << Describe(workload, uncut.image());

    int statesChecked = 0;
    int notRebuilt = 0;     // disks from which the join does not bring the original back cleanly
    int successBelied = 0;  // disks that do not hold what a reported success promised
    std::vector<std::int64_t> brokenCuts;
    // Many cuts leave the same disk; its recovery, which depends on the disk
    // alone, is run once.
    std::map<DiskImage, std::string> recoveries;
    for (std::int64_t cut = 0; cut <= operations; ++cut) {
        PowerCutFileSystem disk = machine.disk(StartingDisk(workload), workload);
        disk.cutPowerAfter(cut);
        RecordingSink sink;
        RunJob(workload, disk, sink);
        const bool success = ReportedSuccess(sink, workload);

        for (const SurvivingState& state : disk.survivingStates()) {
            ++statesChecked;
            auto recovery = recoveries.find(state.disk);
            if (recovery == recoveries.end())
                recovery = recoveries.emplace(state.disk, RecoveryFailure(workload, state.disk, machine)).first;
            std::string failure = recovery->second;
            if (!failure.empty()) {
                ++notRebuilt;
            } else if (success && !SuccessHolds(workload, state.disk)) {
                failure = "the job reported success, and this disk does not hold its result";
                ++successBelied;
            } else {
                continue;
            }
            if (!brokenCuts.empty() && brokenCuts.back() == cut)
                continue;
            brokenCuts.push_back(cut);
            if (brokenCuts.size() > kCutsShown)
                continue;
            ADD_FAILURE() << run << ": power cut after call " << cut << " of " << operations << "; " << state.variant
                          << "\n  disk after the cut:" << Describe(workload, state.disk)
                          << "\n  the job told:" << Told(sink) << "\n  broken: " << failure
                          << "\n  last calls before the cut:" << Lines(disk.lastOperations(kOperationsShown));
        }
    }
    const int broken = notRebuilt + successBelied;
    std::cout << "[ power cut ] " << run << ": " << operations + 1 << " cut points, " << statesChecked
              << " disks checked (" << recoveries.size() << " distinct), " << broken << " broke the rule (" << notRebuilt << " not recovered cleanly, "
              << successBelied << " success not borne out)" << std::endl;
    std::string cuts;
    for (const std::int64_t cut : brokenCuts)
        cuts += " " + std::to_string(cut);
    EXPECT_EQ(broken, 0) << "disks on which the rule does not hold, after the cuts at calls" << cuts
                         << " (the first disk of the first " << kCutsShown << " cuts is told above)";
}

const Machine kMachines[] = {
    {DiskProfile::Posix, true}, {DiskProfile::Posix, false}, {DiskProfile::Windows, true}, {DiskProfile::Windows, false}};

INSTANTIATE_TEST_SUITE_P(Workloads, PowerCut, ::testing::Combine(::testing::ValuesIn(kWorkloads), ::testing::ValuesIn(kMachines)),
                         [](const ::testing::TestParamInfo<PowerCut::ParamType>& info) {
                             return std::string(std::get<0>(info.param).name) + "_" + std::get<1>(info.param).name();
                         });

}  // namespace
