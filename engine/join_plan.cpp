#include "join_plan.h"

#include <algorithm>
#include <charconv>

#include "job_messages.h"

using namespace job_messages;

namespace {

const std::string kPartSizeAttribute = "vandrel.part-size";

}  // namespace

Checked RefuseJoin(const std::string& text, std::string file, std::string reason)
{
    return Checked{std::nullopt, RefuseJob(text, kJoinCaption, std::move(file), std::move(reason))};
}

Checked FailBeforeCopy(const std::string& originalPath)
{
    return Checked{std::nullopt, FinishJob(JobOutcome::Failed, kJoinFailed, kJoinCaption, originalPath,
                                           fileSystem().lastError())};
}

std::optional<std::vector<Piece>> MeasurePieces(const PieceSet& set, std::int32_t first, std::int32_t end,
                                                std::int32_t& missing)
{
    std::vector<Piece> pieces;
    for (std::int32_t index = first; index < end; ++index) {
        std::string name = PieceName(set.originalPath, index, set.countText);
        std::unique_ptr<File> piece = fileSystem().openForReading(name);
        const std::optional<FileIdentity> identity = piece ? piece->identity() : std::nullopt;
        if (!identity || identity->size < 0) {
            missing = index;
            return std::nullopt;
        }
        pieces.push_back({std::move(name), *identity});
    }
    return pieces;
}

std::int32_t FirstExistingPiece(const PieceSet& set, std::int32_t first, std::int32_t end)
{
    while (first < end && !fileSystem().exists(PieceName(set.originalPath, first, set.countText)))
        ++first;
    return first;
}

const Piece* FirstMisfit(const std::vector<Piece>& pieces, std::int64_t partSize)
{
    for (std::size_t at = 0; at < pieces.size(); ++at) {
        const std::int64_t size = pieces[at].identity.size;
        const bool last = at + 1 == pieces.size();
        if (last ? size < 1 || size > partSize : size != partSize)
            return &pieces[at];
    }
    return nullptr;
}

bool OutputHoldsPiece(File& output, std::int64_t outputOffset, const std::string& name, std::int64_t count,
                      ZerosCount zeros, CopyBuffer& buffer)
{
    constexpr std::int64_t kHalf = CopyBuffer::kSize / 2;
    char* const ours = buffer.data();
    char* const theirs = buffer.data() + kHalf;
    std::unique_ptr<File> piece = fileSystem().openForReading(name);
    if (!piece || !output.seek(outputOffset))
        return false;
    for (std::int64_t done = 0; done < count;) {
        const std::int64_t want = std::min(count - done, kHalf);
        if (output.read(ours, want) != want || piece->read(theirs, want) != want)
            return false;
        for (std::int64_t at = 0; at < want; ++at) {
            if (ours[at] != theirs[at] && (zeros == ZerosCount::AsMismatch || ours[at] != 0))
                return false;
        }
        done += want;
    }
    return true;
}

bool TailIsInPieces(File& output, std::int64_t from, const std::vector<Piece>& pieces, CopyBuffer& buffer)
{
    std::int64_t left = output.size() - from;
    for (const Piece& piece : pieces) {
        if (left <= 0)
            break;
        const std::int64_t count = std::min(left, piece.identity.size);
        if (!OutputHoldsPiece(output, from, piece.name, count, ZerosCount::AsTheirBytes, buffer))
            return false;
        from += count;
        left -= count;
    }
    return left == 0;
}

bool RecordPartSize(const Piece& first)
{
    std::unique_ptr<File> piece = fileSystem().openForUpdate(first.name);
    if (!piece || piece->identity() != first.identity)
        return false;
    if (!piece->setAttribute(kPartSizeAttribute, Int64ToDecimal(first.identity.size)))
        return false;
    if (piece->flush() && piece->close())
        return true;
    piece->removeAttribute(kPartSizeAttribute);
    return false;
}

std::optional<std::int64_t> RecordedPartSize(File& output)
{
    const std::optional<std::string> text = output.attribute(kPartSizeAttribute);
    if (!text)
        return std::nullopt;
    std::int64_t partSize = 0;
    const char* const end = text->data() + text->size();
    const auto [stop, error] = std::from_chars(text->data(), end, partSize);
    if (error != std::errc() || stop != end || partSize < 1)
        return std::nullopt;
    return partSize;
}

void ForgetPartSize(File& output)
{
    output.removeAttribute(kPartSizeAttribute);
}
