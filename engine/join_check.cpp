#include "join_check.h"

#include <algorithm>

ListCheck::ListCheck(FoundList list) : found_(std::move(list))
{
    if (active() && facts().originalSize >= HashLanes::kLeastBytesWorthLanes)
        lanes_.emplace(2);
}

CopyHashes ListCheck::hashesFor(std::int32_t index)
{
    if (!active())
        return {};
    piece_.reset();
    fedWhole_ = index == wholeNext_ && WholeLine(found_.list) != nullptr;
    return {&piece_, fedWhole_ ? &whole_ : nullptr, lanes_ ? &*lanes_ : nullptr};
}

void ListCheck::settle()
{
    if (lanes_)
        lanes_->drain();
}

bool ListCheck::pieceMatches(std::int32_t index)
{
    if (!active())
        return true;
    settle();
    const ListLine* line = PieceLine(found_.list, index);
    const bool matches = line && piece_.finish() == line->digest;
    if (fedWhole_ && matches)
        ++wholeNext_;
    else if (fedWhole_)
        wholeNext_ = -1;  // the whole hash holds bytes of no piece: it can no longer match
    fedWhole_ = false;
    return matches;
}

bool ListCheck::hashRange(File& file, std::int64_t offset, std::int64_t count, std::int32_t index,
                          CopyBuffer& buffer)
{
    if (HashRange(file, offset, count, hashesFor(index), buffer))
        return true;
    if (fedWhole_)
        wholeNext_ = -1;  // part of a piece may have gone in: the whole hash is lost
    return false;
}

bool ListCheck::wholeMatches()
{
    if (!active())
        return true;
    const ListLine* whole = WholeLine(found_.list);
    if (!whole)
        return true;
    settle();
    const std::int64_t pieces = DecimalToInt64(facts().countText);
    return wholeNext_ == pieces && whole_.finish() == whole->digest;
}

bool ListCheck::removeList()
{
    if (!active())
        return true;
    return found_.identity && fileSystem().removeIfSame(found_.path, *found_.identity) &&
           fileSystem().commitFolder(found_.path);
}
