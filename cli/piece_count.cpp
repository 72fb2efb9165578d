#include "piece_count.h"

#include <vector>

namespace {

// Up to this many counts that work are named one by one.
constexpr std::size_t kMostCountsNamed = 8;

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) { return a / b + (a % b != 0); }

// How many pieces of `size` bytes a file of `length` bytes makes.
std::int64_t PiecesOfSize(std::int64_t length, std::int64_t size) { return CeilDiv(length, size); }

// A file this short has few enough counts that work to list them all.
constexpr std::int64_t kShortFile = 64;

// Every count of pieces of one size for a file of `length` bytes (at most
// kShortFile), smallest first: PiecesOfSize over every size smaller than the
// file, largest size first.
std::vector<std::int64_t> CountsThatWork(std::int64_t length)
{
    std::vector<std::int64_t> counts;
    for (std::int64_t size = length - 1; size >= 1; --size)
        if (counts.empty() || counts.back() != PiecesOfSize(length, size))
            counts.push_back(PiecesOfSize(length, size));
    return counts;
}

std::string Listed(const std::vector<std::int64_t>& counts)
{
    std::string text;
    for (std::size_t i = 0; i < counts.size(); ++i)
        text += (i == 0 ? "" : i + 1 == counts.size() ? " or " : ", ") + std::to_string(counts[i]);
    return text;
}

PartSize Refused(std::int64_t length, std::int64_t count, const std::string& rest)
{
    return {0, "--pieces " + std::to_string(count) + ": a " + std::to_string(length) +
                   "-byte file cannot be cut into " + std::to_string(count) + " pieces of one size; " + rest};
}

}  // namespace

PartSize PartSizeForPieceCount(std::int64_t length, std::int64_t count)
{
    if (count < 2)
        return {0, "--pieces " + std::to_string(count) + ": give a count of at least 2"};
    if (length < 2)
        return {0, "--pieces " + std::to_string(count) + ": a " + std::to_string(length) +
                       "-byte file cannot be cut into pieces"};
    if (count > length)
        return Refused(length, count, "a piece holds at least 1 byte, so it makes at most " +
                                          std::to_string(length) + " pieces");
    const std::int64_t size = CeilDiv(length, count);
    if (PiecesOfSize(length, size) == count)
        return {size, {}};

    if (length <= kShortFile) {
        const std::vector<std::int64_t> counts = CountsThatWork(length);
        if (counts.size() <= kMostCountsNamed)
            return Refused(length, count, "it can be cut into " + Listed(counts));
    }
    // The largest count below: the one of the smallest size that makes no
    // more than `count`; the smallest above: the one of the next size down.
    const std::int64_t below = PiecesOfSize(length, size);
    const std::int64_t above = PiecesOfSize(length, size - 1);
    return Refused(length, count, "the nearest counts that work are " + std::to_string(below) + " and " +
                                      std::to_string(above));
}
