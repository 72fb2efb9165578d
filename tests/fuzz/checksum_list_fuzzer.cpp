// The checksum list's reader under arbitrary bytes: it refuses with a reason
// or reads a list, and what it reads, written again, reads back the same. The
// partial reader of a split in place's list reads what the whole reader
// reads of the text up to its last line end, and the lines it gives each
// piece are that piece's.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "checksum_list.h"
#include "fuzz_check.h"
#include "join_journal.h"

namespace {

std::string TextOf(const ChecksumList& list)
{
    std::string text = FormatListHeader(list.facts);
    for (const ListLine& line : list.lines)
        text += FormatListLine(line);
    return text;
}

void RequireSame(const ChecksumList& a, const ChecksumList& b)
{
    FUZZ_REQUIRE(a.facts.originalLeaf == b.facts.originalLeaf);
    FUZZ_REQUIRE(a.facts.originalSize == b.facts.originalSize);
    FUZZ_REQUIRE(a.facts.modifiedUtcNs == b.facts.modifiedUtcNs);
    FUZZ_REQUIRE(a.facts.modifiedDigits == b.facts.modifiedDigits);
    FUZZ_REQUIRE(a.facts.partSize == b.facts.partSize);
    FUZZ_REQUIRE(a.facts.countText == b.facts.countText);
    FUZZ_REQUIRE(a.facts.madeInPlace == b.facts.madeInPlace);
    FUZZ_REQUIRE(a.lines.size() == b.lines.size());
    for (std::size_t i = 0; i < a.lines.size(); ++i) {
        FUZZ_REQUIRE(a.lines[i].digest == b.lines[i].digest);
        FUZZ_REQUIRE(a.lines[i].leaf == b.lines[i].leaf);
    }
}

// The partial reader: a list it reads, written again, reads back the same
// through both readers; one that fits as a partial list has a line for each
// of its last pieces, naming it, and none for the whole.
void CheckPartial(std::string_view text)
{
    std::string problem;
    const auto list = ParsePartialChecksumList(text, problem);
    if (!list) {
        FUZZ_REQUIRE(!problem.empty());
        return;
    }
    const std::string again = TextOf(*list);
    std::string againProblem;
    const auto reread = ParsePartialChecksumList(again, againProblem);
    FUZZ_REQUIRE(reread.has_value());
    RequireSame(*list, *reread);
    if (!list->lines.empty()) {
        const auto whole = ParseChecksumList(again, againProblem);
        FUZZ_REQUIRE(whole.has_value());
        RequireSame(*list, *whole);
    }

    const PieceSet set{"folder/" + list->facts.originalLeaf, list->facts.countText,
                       static_cast<std::int32_t>(DecimalToInt64(list->facts.countText))};
    if (PartialListMisfit(*list, set))
        return;
    FUZZ_REQUIRE(WholeLine(*list) == nullptr);
    const std::int64_t firstListed = set.pieceCount - static_cast<std::int64_t>(list->lines.size());
    FUZZ_REQUIRE(firstListed >= 0);
    const std::int64_t from = std::max<std::int64_t>(0, firstListed - 2);
    for (std::int64_t index = from; index < set.pieceCount && index < from + 64; ++index) {
        const ListLine* line = PieceLine(*list, static_cast<std::int32_t>(index));
        FUZZ_REQUIRE((line != nullptr) == (index >= firstListed));
        FUZZ_REQUIRE(!line || line->leaf == LeafOf(PieceName(set.originalPath, index, set.countText)));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckPartial(text);
    std::string problem;
    const auto list = ParseChecksumList(text, problem);
    if (!list) {
        FUZZ_REQUIRE(!problem.empty());
        return 0;
    }
    FUZZ_REQUIRE(!list->lines.empty());
    const std::string again = TextOf(*list);
    std::string againProblem;
    const auto reread = ParseChecksumList(again, againProblem);
    FUZZ_REQUIRE(reread.has_value());
    RequireSame(*list, *reread);
    FUZZ_REQUIRE(TextOf(*reread) == again);

    const PieceSet set{"folder/" + list->facts.originalLeaf, list->facts.countText,
                       static_cast<std::int32_t>(DecimalToInt64(list->facts.countText))};
    if (!ListMisfit(*list, set)) {
        std::int64_t total = 0;
        for (std::int32_t index = 0; index < set.pieceCount; ++index) {
            const std::int64_t piece = ListedPieceSize(list->facts, index);
            FUZZ_REQUIRE(piece > 0 && piece <= list->facts.partSize);
            total += piece;
        }
        FUZZ_REQUIRE(total == list->facts.originalSize);
    }
    return 0;
}
