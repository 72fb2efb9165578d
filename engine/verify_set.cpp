#include "verify_set.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

#include "checksum_list.h"
#include "file_system.h"
#include "hash_lanes.h"
#include "job_messages.h"
#include "job_state.h"
#include "join_journal.h"
#include "piece_names.h"
#include "progress.h"
#include "verify_messages.h"

namespace {

using namespace verify_messages;

JobResult Refuse(const std::string& text, std::string file = {}, std::string reason = {})
{
    return RefuseJob(text, kVerifyCaption, std::move(file), std::move(reason));
}

// The set of the original at `originalPath`, its count as its list's facts spell
// it; empty when they spell no count.
std::optional<PieceSet> SetOfList(const std::string& originalPath, const std::string& countText)
{
    std::optional<PieceSet> set = ParsePieceName(PieceName(originalPath, 0, countText));
    if (!set || set->originalPath != originalPath || set->countText != countText)
        return std::nullopt;
    return set;
}

// The list of the set named by `pieceOrList`, read and fitting the set; or
// the refusal. `set` is the set it names.
std::optional<JobResult> FindList(const std::string& pieceOrList, PieceSet& set, ChecksumList& list)
{
    const std::optional<std::string> listOriginal = OriginalOfList(pieceOrList);
    const bool named = listOriginal.has_value();
    if (named) {
        set = PieceSet{*listOriginal, "1", 1};
    } else if (std::optional<PieceSet> parsed = ParsePieceName(pieceOrList)) {
        set = *parsed;
    } else {
        return Refuse(kVerifyInvalidName);
    }
    FoundList found = ReadChecksumList(set);
    switch (found.found) {
    case ListFound::None:
        return Refuse(VerifyNoList(found.path), found.path, "there is no checksum list");
    case ListFound::Unreadable:
        return Refuse(VerifyListUnreadable(found.path), found.path, found.reason);
    case ListFound::Damaged:
        return Refuse(VerifyListDamaged(found.path), found.path, found.reason);
    case ListFound::Read:
        break;
    }
    if (named) {
        const std::optional<PieceSet> listed = SetOfList(set.originalPath, found.list.facts.countText);
        if (!listed)
            return Refuse(VerifyListDamaged(found.path), found.path, "its piece count is no count");
        set = *listed;
    }
    if (const std::optional<std::string> misfit = ListMisfit(found.list, set))
        return Refuse(VerifyListUnfit(found.path), found.path, *misfit);
    list = std::move(found.list);
    return std::nullopt;
}

// What the check learns of a join of the set: the file at the original's
// path, when a journal of this set proves it is the join's output, or when
// it has the original's size and no piece is left (a finished join).
struct RebuiltFile {
    std::optional<FoundJournal> journal;  // held locked while the check runs
    std::optional<FileIdentity> output;
    bool proven = false;
};

// Looks for the join's journal and its output; the refusal when another job
// holds the journal.
std::optional<JobResult> FindRebuiltFile(const PieceSet& set, const SetFacts& facts, RebuiltFile& rebuilt)
{
    rebuilt.journal = FindJournal(JournalPath(set.originalPath));
    const FoundJournal& found = *rebuilt.journal;
    if (found.found == JournalFound::InUse)
        return Refuse(job_messages::FileInUseByAnotherJob(found.open.path), found.open.path, found.reason);
    rebuilt.output = fileSystem().identityAt(set.originalPath);
    if (found.found != JournalFound::Read || !rebuilt.output)
        return std::nullopt;
    const Journal& journal = found.open.journal;
    rebuilt.proven = journal.kind == JournalKind::Join && journal.originalLeaf == LeafOf(set.originalPath) &&
                     journal.countText == set.countText && journal.partSize == facts.partSize && journal.output &&
                     journal.output->sameFileAs(*rebuilt.output);
    return std::nullopt;
}

// The bytes of one piece to hash: the piece's own file, or its range of the
// rebuilt file.
struct Stream {
    std::int32_t index = 0;
    File* file = nullptr;  // the piece's, or the rebuilt file shared by several streams
    bool inRebuiltFile = false;
    std::int64_t offset = 0;  // where the next read starts
    std::int64_t left = 0;    // bytes still to read
    Sha256 hash;
    bool readFailed = false;
    std::string reason;
};

// Reads every stream through `lanes`, stream k on lane k % count, taking one
// block of each lane's current stream in turn so that the lanes hash at
// once; `whole`, when given, gets every byte as well (one lane only, so in
// order). Moves the progress on by every byte of each stream, read or not.
void HashStreams(std::vector<std::unique_ptr<Stream>>& streams, HashLanes& lanes, Sha256* whole,
                 ProgressPacer& pacer)
{
    const int laneCount = lanes.count();
    std::vector<std::size_t> next(static_cast<std::size_t>(laneCount));
    for (int lane = 0; lane < laneCount; ++lane)
        next[static_cast<std::size_t>(lane)] = static_cast<std::size_t>(lane);
    for (bool anyLeft = true; anyLeft;) {
        anyLeft = false;
        for (int lane = 0; lane < laneCount; ++lane) {
            std::size_t& at = next[static_cast<std::size_t>(lane)];
            if (at >= streams.size())
                continue;
            anyLeft = true;
            Stream& stream = *streams[at];
            char* block = lanes.takeBlock(lane);
            const std::int64_t got = stream.file->seek(stream.offset)
                                         ? stream.file->read(block, std::min(stream.left, HashLanes::kBlockSize))
                                         : -1;
            if (got <= 0) {
                lanes.giveBack(lane, block);
                stream.readFailed = true;
                stream.reason = got < 0 ? fileSystem().lastError() : "it ended early";
                pacer.advance(stream.left);
                stream.left = 0;
            } else {
                lanes.hash(lane, block, got, stream.hash, whole);
                pacer.advance(got);
                stream.offset += got;
                stream.left -= got;
            }
            if (stream.left == 0)
                at += static_cast<std::size_t>(laneCount);
        }
    }
    lanes.drain();
}

// The rebuilt file opened for reading, when it is still the file the survey found.
std::unique_ptr<File> OpenRebuiltFile(const std::string& originalPath, const FileIdentity& found)
{
    std::unique_ptr<File> output = fileSystem().openForReading(originalPath);
    const std::optional<FileIdentity> opened = output ? output->identity() : std::nullopt;
    if (!opened || !opened->sameFileAs(found))
        return nullptr;
    return output;
}

// Every piece, in index order: on its own where it is there, else in the
// rebuilt file when `rebuilt` may be read and holds its range. Pieces are
// opened and measured first, then read and hashed on two lanes at once.
void CheckPieces(const PieceSet& set, const ChecksumList& list, RebuiltFile& rebuilt, SetCheck& check)
{
    const SetFacts& facts = list.facts;
    ProgressPacer pacer(facts.originalSize);
    std::vector<std::unique_ptr<File>> files;
    std::vector<std::unique_ptr<Stream>> streams;
    std::vector<bool> there(static_cast<std::size_t>(set.pieceCount));
    bool anyThere = false;
    for (std::int32_t index = 0; index < set.pieceCount; ++index) {
        PieceCheck& piece = check.pieces.emplace_back(
            PieceCheck{PieceName(set.originalPath, index, set.countText), PieceVerdict::Missing, {}});
        const std::int64_t size = ListedPieceSize(facts, index);
        std::unique_ptr<File> file = fileSystem().openForReading(piece.path);
        if (!file && !fileSystem().exists(piece.path))
            continue;
        anyThere = there[index] = true;
        if (!file) {
            piece.verdict = PieceVerdict::Unreadable;
            piece.reason = fileSystem().lastError();
        } else if (file->size() != size) {
            piece.verdict = PieceVerdict::Damaged;
        } else {
            auto& stream = *streams.emplace_back(std::make_unique<Stream>());
            stream.index = index;
            stream.file = file.get();
            stream.left = size;
            files.push_back(std::move(file));
            continue;
        }
        pacer.advance(size);
    }

    const bool joined = !anyThere && rebuilt.output && rebuilt.output->size == facts.originalSize &&
                        (rebuilt.proven || rebuilt.journal->found == JournalFound::None);
    std::unique_ptr<File> output;
    if (rebuilt.proven || joined)
        output = OpenRebuiltFile(set.originalPath, *rebuilt.output);
    for (std::int32_t index = 0; index < set.pieceCount; ++index) {
        const std::int64_t offset = std::int64_t{index} * facts.partSize;
        const std::int64_t size = ListedPieceSize(facts, index);
        if (there[index])
            continue;
        if (!output || offset + size > rebuilt.output->size) {
            pacer.advance(size);
            continue;
        }
        auto& stream = *streams.emplace_back(std::make_unique<Stream>());
        stream.index = index;
        stream.file = output.get();
        stream.inRebuiltFile = true;
        stream.offset = offset;
        stream.left = size;
    }

    // The whole file's hash takes its bytes in order, so on one lane.
    const ListLine* wholeLine = WholeLine(list);
    if (!wholeLine)
        check.whole = WholeVerdict::NotListed;
    std::optional<Sha256> whole;
    if (joined && output && wholeLine)
        whole.emplace();
    {
        HashLanes lanes(whole ? 1 : 2);
        HashStreams(streams, lanes, whole ? &*whole : nullptr, pacer);
    }
    for (const std::unique_ptr<Stream>& stream : streams) {
        PieceCheck& piece = check.pieces[stream->index];
        const ListLine* line = PieceLine(list, stream->index);
        const bool right = line && stream->hash.finish() == line->digest;
        if (stream->readFailed) {
            piece.verdict = PieceVerdict::Unreadable;
            piece.reason = stream->reason;
        } else if (stream->inRebuiltFile) {
            piece.verdict = right ? PieceVerdict::InRebuiltFile : PieceVerdict::DamagedInRebuiltFile;
        } else {
            piece.verdict = right ? PieceVerdict::Ok : PieceVerdict::Damaged;
        }
    }
    if (whole) {
        bool wholeRead = true;
        for (const std::unique_ptr<Stream>& stream : streams)
            wholeRead = wholeRead && !stream->readFailed;
        if (wholeRead)
            check.whole = whole->finish() == wholeLine->digest ? WholeVerdict::Right : WholeVerdict::Damaged;
    }
}

// The message box's text: the summary, then each piece not right on a line of
// its own, by its leaf name.
std::string MessageOf(const SetCheck& check)
{
    const std::string originalLeaf = LeafOf(check.originalPath);
    std::size_t wrong = 0;
    std::size_t inRebuiltFile = 0;
    std::string lines;
    for (const PieceCheck& piece : check.pieces) {
        inRebuiltFile += piece.verdict == PieceVerdict::InRebuiltFile;
        if (IsRight(piece.verdict))
            continue;
        ++wrong;
        lines += "\n" + LeafOf(piece.path) + ": " + VerdictText(piece.verdict);
    }
    if (check.whole == WholeVerdict::Damaged)
        lines += "\n" + originalLeaf + ": " + kPieceDamaged;
    if (wrong == 0 && check.whole != WholeVerdict::Damaged)
        return VerifyAllRight(check.pieces.size(), inRebuiltFile, originalLeaf);
    return VerifyNotRight(wrong, check.pieces.size(), originalLeaf) + lines;
}

}  // namespace

bool IsRight(PieceVerdict verdict)
{
    return verdict == PieceVerdict::Ok || verdict == PieceVerdict::InRebuiltFile;
}

SetCheck VerifySet(std::string pieceOrList)
{
    BusyScope busy;
    jobState.totalBytes = 0;
    jobState.bytesDone = 0;
    SetCheck check;
    PieceSet set{};
    ChecksumList list;
    if (std::optional<JobResult> refused = FindList(pieceOrList, set, list)) {
        check.result = *refused;
        return check;
    }
    check.originalPath = set.originalPath;
    RebuiltFile rebuilt;
    if (std::optional<JobResult> refused = FindRebuiltFile(set, list.facts, rebuilt)) {
        check.result = *refused;
        return check;
    }
    CheckPieces(set, list, rebuilt, check);

    bool allRight = check.whole != WholeVerdict::Damaged;
    for (const PieceCheck& piece : check.pieces)
        allRight = allRight && IsRight(piece.verdict);
    check.result = FinishJob(allRight ? JobOutcome::Succeeded : JobOutcome::Failed, MessageOf(check), kVerifyCaption);
    return check;
}

const char* VerdictText(PieceVerdict verdict)
{
    switch (verdict) {
    case PieceVerdict::Ok:
        return kPieceOk;
    case PieceVerdict::Damaged:
        return kPieceDamaged;
    case PieceVerdict::Missing:
        return kPieceMissing;
    case PieceVerdict::Unreadable:
        return kPieceUnreadable;
    case PieceVerdict::InRebuiltFile:
        return kPieceInRebuiltFile;
    case PieceVerdict::DamagedInRebuiltFile:
        break;
    }
    return kPieceDamagedInRebuiltFile;
}

unsigned VerifyThreadProc(void*)
{
    const SetCheck check = VerifySet(jobState.joinPath);
    if (jobState.exitWhenDone)
        std::exit(ExitStatus(check.result.outcome));
    return 0;
}
