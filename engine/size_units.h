#pragma once
// The units of a piece size, as the window's unit list offers them and the
// command line reads them, and in which progress is shown: binary multiples.

#include <cstddef>
#include <cstdint>
#include <string_view>

struct SizeUnit {
    std::string_view name;
    std::int64_t bytes;
};

// Smallest first.
inline constexpr SizeUnit kSizeUnits[] = {
    {"B", 1},
    {"KB", 1024},
    {"MB", 1024 * 1024},
    {"GB", 1024 * 1024 * 1024},
};

// The unit of a size given without one, and the window's preset: MB.
inline constexpr std::size_t kDefaultSizeUnitIndex = 2;
inline constexpr SizeUnit kDefaultSizeUnit = kSizeUnits[kDefaultSizeUnitIndex];

// The number of bytes in the unit spelled exactly `name`; 0 for any other text.
constexpr std::int64_t SizeUnitBytes(std::string_view name)
{
    for (const SizeUnit& unit : kSizeUnits)
        if (unit.name == name)
            return unit.bytes;
    return 0;
}
