// The piece naming scheme under arbitrary names. A name the parser accepts
// describes a set whose every piece name parses back into that same set, and
// any original path, index and count make a name that parses back into them.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "fuzz_check.h"
#include "piece_names.h"

namespace {

constexpr std::int64_t kMaxCount = std::numeric_limits<std::int32_t>::max();

void RequireSameSet(const std::string& name, const PieceSet& set)
{
    const auto parsed = ParsePieceName(name);
    FUZZ_REQUIRE(parsed.has_value());
    FUZZ_REQUIRE(parsed->originalPath == set.originalPath);
    FUZZ_REQUIRE(parsed->countText == set.countText);
    FUZZ_REQUIRE(parsed->pieceCount == set.pieceCount);
}

// Whatever name a user picks: refused, or a set that names itself consistently.
void CheckChosenName(const std::string& chosen, std::uint32_t indexSeed)
{
    const auto set = ParsePieceName(chosen);
    if (!set)
        return;
    FUZZ_REQUIRE(set->pieceCount >= 1);
    FUZZ_REQUIRE(DecimalToInt64(set->countText) == set->pieceCount);
    FUZZ_REQUIRE(set->countText.find('.') == std::string::npos);
    FUZZ_REQUIRE(chosen.compare(0, set->originalPath.size(), set->originalPath) == 0);

    // With its three fields present, the chosen name is the original, the
    // index, the count as written and an extension, in that order.
    if (std::count(chosen.begin(), chosen.end(), '.') >= 3) {
        const std::string rest = chosen.substr(set->originalPath.size());
        const std::string countField = "." + set->countText + ".";
        FUZZ_REQUIRE(rest.front() == '.');
        const auto countAt = rest.rfind(countField);
        FUZZ_REQUIRE(countAt != std::string::npos && countAt > 0);
        FUZZ_REQUIRE(rest.find('.', 1) == countAt);
        FUZZ_REQUIRE(rest.find('.', countAt + countField.size()) == std::string::npos);
    }

    // The names the join derives from it: the first, the last and one between.
    const std::int32_t last = set->pieceCount - 1;
    for (const std::int64_t index : {std::int64_t{0}, std::int64_t{last}, std::int64_t{indexSeed % set->pieceCount}})
        RequireSameSet(PieceName(set->originalPath, index, set->countText), *set);
}

// A split's names: any original path, a count from 1 to the largest a join
// reads, and an index within it.
void CheckMadeName(const std::string& originalPath, std::uint32_t countSeed, std::uint32_t indexSeed)
{
    const std::int64_t count = 1 + countSeed % kMaxCount;
    const std::int64_t index = indexSeed % count;
    const PieceSet set{originalPath, Int64ToDecimal(count), static_cast<std::int32_t>(count)};
    RequireSameSet(PieceName(originalPath, index, set.countText), set);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::uint32_t seeds[2] = {0, 0};
    std::memcpy(seeds, data, std::min(size, sizeof seeds));

    CheckChosenName(text, seeds[1]);
    CheckMadeName(size > sizeof seeds ? text.substr(sizeof seeds) : std::string(), seeds[0], seeds[1]);
    return 0;
}
