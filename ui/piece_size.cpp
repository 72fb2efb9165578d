#include "piece_size.h"

namespace {

std::int64_t UnitFactor(std::string_view unit)
{
    if (unit == "B")
        return 1;
    if (unit == "KB")
        return 1024;
    if (unit == "MB")
        return 1048576;
    if (unit == "GB")
        return 1073741824;
    return 0;
}

}  // namespace

std::int64_t PieceSizeFromNumberAndUnit(std::int64_t number, std::string_view unit)
{
    std::int64_t size = 0;
    if (__builtin_mul_overflow(number, UnitFactor(unit), &size))
        return 0;
    return size;
}
