#pragma once
// The piece size of a split from the number and unit the user entered.

#include <cstdint>
#include <string_view>

// `number` times the unit's factor: "B" 1, "KB" 1024, "MB" 1048576,
// "GB" 1073741824 (exact, case-sensitive). 0 for any other unit, and 0 when
// the product leaves the signed 64-bit range; the split job refuses 0.
std::int64_t PieceSizeFromNumberAndUnit(std::int64_t number, std::string_view unit);
