#include "piece_size.h"

#include "size_units.h"

std::int64_t PieceSizeFromNumberAndUnit(std::int64_t number, std::string_view unit)
{
    std::int64_t size = 0;
    if (__builtin_mul_overflow(number, SizeUnitBytes(unit), &size))
        return 0;
    return size;
}
