#include "verify_set.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

#include "checksum_list.h"
#include "copy_buffer.h"
#include "file_system.h"
#include "job_messages.h"
#include "job_state.h"
#include "join_journal.h"
#include "piece_names.h"
#include "progress.h"
#include "verify_messages.h"

namespace {

using namespace verify_messages;

constexpr std::string_view kListSuffix = ".plit.sha256";

bool EndsWith(std::string_view text, std::string_view end)
{
    return text.size() >= end.size() && text.substr(text.size() - end.size()) == end;
}

JobResult Refuse(const std::string& text, std::string file = {}, std::string reason = {})
{
    return RefuseJob(text, kVerifyCaption, std::move(file), std::move(reason));
}

// The set whose list is at `listPath`, its count as the list's facts spell
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
    const bool named = EndsWith(pieceOrList, kListSuffix) && pieceOrList.size() > kListSuffix.size();
    if (named) {
        set = PieceSet{pieceOrList.substr(0, pieceOrList.size() - kListSuffix.size()), "1", 1};
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

// Reads `length` bytes from the current position of `file` into each hash
// given, moving the progress on. False, with the operating system's reason or
// the file's early end in `reason`, when they could not all be read.
bool HashBytes(File& file, std::int64_t length, Sha256& hash, Sha256* whole, CopyBuffer& buffer,
               ProgressPacer& pacer, std::string& reason)
{
    while (length > 0) {
        const std::int64_t got = file.read(buffer.data(), std::min(length, CopyBuffer::kSize));
        if (got <= 0) {
            reason = got < 0 ? fileSystem().lastError() : "it ended early";
            return false;
        }
        hash.add(buffer.data(), static_cast<std::size_t>(got));
        if (whole)
            whole->add(buffer.data(), static_cast<std::size_t>(got));
        pacer.advance(got);
        length -= got;
    }
    return true;
}

// Checks piece `index` where it lies on its own. Empty when nothing is at its
// name. Advances the progress by the piece's listed size.
std::optional<PieceCheck> CheckPiece(const std::string& path, const ListLine& line, std::int64_t size,
                                     CopyBuffer& buffer, ProgressPacer& pacer)
{
    const std::int64_t before = jobState.bytesDone;
    PieceCheck check{path, PieceVerdict::Damaged, {}};
    std::unique_ptr<File> piece = fileSystem().openForReading(path);
    if (!piece) {
        if (!fileSystem().exists(path))
            return std::nullopt;
        check.verdict = PieceVerdict::Unreadable;
        check.reason = fileSystem().lastError();
    } else if (piece->size() == size) {
        Sha256 hash;
        if (HashBytes(*piece, size, hash, nullptr, buffer, pacer, check.reason))
            check.verdict = hash.finish() == line.digest ? PieceVerdict::Ok : PieceVerdict::Damaged;
        else
            check.verdict = PieceVerdict::Unreadable;
    }
    pacer.advance(size - (jobState.bytesDone - before));
    return check;
}

// Checks the range of piece `index` in the rebuilt file, from its current
// position, adding its bytes to `whole` as well when given.
PieceCheck CheckInRebuiltFile(const std::string& path, File& output, const ListLine& line, std::int64_t size,
                              Sha256* whole, CopyBuffer& buffer, ProgressPacer& pacer)
{
    const std::int64_t before = jobState.bytesDone;
    PieceCheck check{path, PieceVerdict::Unreadable, {}};
    Sha256 hash;
    if (HashBytes(output, size, hash, whole, buffer, pacer, check.reason))
        check.verdict = hash.finish() == line.digest ? PieceVerdict::InRebuiltFile : PieceVerdict::DamagedInRebuiltFile;
    pacer.advance(size - (jobState.bytesDone - before));
    return check;
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
// rebuilt file when `rebuilt` may be read and holds its range.
void CheckPieces(const PieceSet& set, const ChecksumList& list, RebuiltFile& rebuilt, SetCheck& check)
{
    const SetFacts& facts = list.facts;
    ProgressPacer pacer(facts.originalSize);
    CopyBuffer buffer;
    std::vector<std::optional<PieceCheck>> found(static_cast<std::size_t>(set.pieceCount));
    bool anyThere = false;
    for (std::int32_t index = 0; index < set.pieceCount; ++index) {
        found[index] = CheckPiece(PieceName(set.originalPath, index, set.countText), list.lines[index],
                                  ListedPieceSize(facts, index), buffer, pacer);
        anyThere = anyThere || found[index].has_value();
    }
    const bool joined = !anyThere && rebuilt.output && rebuilt.output->size == facts.originalSize &&
                        (rebuilt.proven || rebuilt.journal->found == JournalFound::None);
    std::unique_ptr<File> output;
    if (rebuilt.proven || joined)
        output = OpenRebuiltFile(set.originalPath, *rebuilt.output);

    std::optional<Sha256> whole;
    if (joined && output)
        whole.emplace();
    for (std::int32_t index = 0; index < set.pieceCount; ++index) {
        const std::string path = PieceName(set.originalPath, index, set.countText);
        const std::int64_t offset = std::int64_t{index} * facts.partSize;
        const std::int64_t size = ListedPieceSize(facts, index);
        if (found[index]) {
            check.pieces.push_back(*found[index]);
        } else if (output && offset + size <= rebuilt.output->size && output->seek(offset)) {
            check.pieces.push_back(CheckInRebuiltFile(path, *output, list.lines[index], size,
                                                      whole ? &*whole : nullptr, buffer, pacer));
        } else {
            check.pieces.push_back(PieceCheck{path, PieceVerdict::Missing, {}});
            pacer.advance(size);
        }
    }
    if (whole)
        check.whole = whole->finish() == list.lines.back().digest ? WholeVerdict::Right : WholeVerdict::Damaged;
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

int VerifyExitCode(JobOutcome outcome)
{
    switch (outcome) {
    case JobOutcome::Succeeded:
        return 0;
    case JobOutcome::Failed:
        return 1;
    case JobOutcome::Refused:
        break;
    }
    return 2;
}

unsigned VerifyThreadProc(void*)
{
    const SetCheck check = VerifySet(jobState.joinPath);
    if (jobState.exitWhenDone)
        std::exit(VerifyExitCode(check.result.outcome));
    return 0;
}
