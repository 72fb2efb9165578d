#include "in_place_state.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "copy_bytes.h"
#include "piece_names.h"

InPlaceSet InPlaceSet::Of(const std::string& inputPath, const Journal& journal)
{
    InPlaceSet set;
    set.input = inputPath;
    set.partSize = journal.partSize;
    set.lastSize = journal.lastSize;
    set.countText = journal.countText;
    set.count = DecimalToInt64(journal.countText);
    return set;
}

std::string InPlaceSet::piece(std::int64_t index) const
{
    return PieceName(input, index, countText);
}

namespace {

Settled Damaged(const std::string& file, std::string reason)
{
    Settled settled;
    settled.damaged = true;
    settled.file = file;
    settled.reason = std::move(reason);
    return settled;
}

Settled FailedAt(const std::string& file)
{
    Settled settled;
    settled.failed = true;
    settled.file = file;
    settled.reason = fileSystem().lastError();
    return settled;
}

// Makes the piece at `path` durable, whatever this process did to it before.
bool MakeDurable(const std::string& path)
{
    std::unique_ptr<File> piece = fileSystem().openForUpdate(path);
    return piece && piece->flush() && piece->close();
}

// The lowest index from which every piece up to the last is there and whole,
// counting down from the last and stopping at `lowest`; `count` when the last
// is not there. Being undone, every piece there must be whole; splitting, a
// piece whose bytes the input still holds must match them (`matched` lists
// those), one it no longer holds must be whole.
std::optional<std::int64_t> WholeRun(const InPlaceSet& set, File& input, std::int64_t inputSize, std::int64_t lowest,
                                     bool undoing, std::vector<std::string>& matched, CopyBuffer& buffer,
                                     Settled& failure)
{
    // Piece 0 is the input itself once renamed, never a copy of its bytes: a
    // file at its name while the input is there is no piece of this split.
    std::int64_t held = set.count;
    for (std::int64_t index = set.count - 1; index >= std::max<std::int64_t>(lowest, 1); --index) {
        const std::string path = set.piece(index);
        if (!fileSystem().exists(path))
            break;
        const std::optional<FileIdentity> there = fileSystem().identityAt(path);
        if (!there) {
            failure = FailedAt(path);
            return std::nullopt;
        }
        const bool whole = there->size == set.length(index);
        const bool inputHoldsIt = set.offset(index) + set.length(index) <= inputSize;
        if (undoing || !inputHoldsIt) {
            if (!whole) {
                failure = Damaged(path, "it is not whole, and no other file holds its bytes");
                return std::nullopt;
            }
        } else {
            if (!whole)
                break;
            std::unique_ptr<File> piece = fileSystem().openForReading(path);
            const std::optional<bool> same =
                piece ? SameBytesAt(*piece, input, set.offset(index), set.length(index), buffer) : std::nullopt;
            if (!same) {
                failure = FailedAt(path);
                return std::nullopt;
            }
            if (!*same)
                break;
            matched.push_back(path);
        }
        held = index;
    }
    return held;
}

}  // namespace

Settled Settle(const InPlaceSet& set, File& input, const Journal& journal, CopyBuffer& buffer)
{
    const std::int64_t inputSize = input.size();
    if (inputSize < 0)
        return FailedAt(set.input);
    const std::int64_t lowest = std::max<std::int64_t>(journal.lowestBegun(), 0);
    Settled settled;
    std::vector<std::string> matched;
    const std::optional<std::int64_t> held =
        WholeRun(set, input, inputSize, lowest, journal.undoing, matched, buffer, settled);
    if (!held)
        return settled;
    // The input must hold every byte before the run: all of the original
    // when no piece is whole yet.
    const std::int64_t needed = *held == set.count ? set.originalSize() : set.offset(*held);
    if (inputSize < needed || inputSize > set.originalSize())
        return Damaged(set.input, "its length does not fit the pieces beside it");
    for (const std::string& path : matched)
        if (!MakeDurable(path))
            return FailedAt(path);
    // A piece below the run is one the input holds whole: a copy cut short,
    // or one made again by the next run.
    for (std::int64_t index = lowest; index < *held; ++index) {
        const std::string path = set.piece(index);
        if (!fileSystem().exists(path))
            continue;
        if (journal.undoing)
            return Damaged(path, "a piece before it is missing");
        const std::optional<FileIdentity> there = fileSystem().identityAt(path);
        if (!there || !fileSystem().removeIfSame(path, *there))
            return FailedAt(path);
    }
    if (!fileSystem().commitFolder(set.input))
        return FailedAt(set.input);
    if (inputSize > needed && !(input.truncate(needed) && input.flush()))
        return FailedAt(set.input);
    settled.held = *held;
    return settled;
}
