// The checksum list's reader under arbitrary bytes: it refuses with a reason
// or reads a list, and what it reads, written again, reads back the same.

#include <cstdint>
#include <string>
#include <string_view>

#include "checksum_list.h"
#include "fuzz_check.h"

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
    FUZZ_REQUIRE(a.lines.size() == b.lines.size());
    for (std::size_t i = 0; i < a.lines.size(); ++i) {
        FUZZ_REQUIRE(a.lines[i].digest == b.lines[i].digest);
        FUZZ_REQUIRE(a.lines[i].leaf == b.lines[i].leaf);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
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
