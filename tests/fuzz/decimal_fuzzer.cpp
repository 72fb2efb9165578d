// The number text under arbitrary text: DecimalToInt64 reads what the C
// library's strtoll reads, with 0 for no number and for one out of range, and
// every 64-bit value survives Int64ToDecimal and back, blanks and trailing
// text included.

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "piece_names.h"

namespace {

// An independent reading of the same rule, by the C library.
std::int64_t ReadLikeAStream(const std::string& text)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long long value = std::strtoll(begin, &end, 10);
    if (end == begin || errno == ERANGE)
        return 0;
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::int64_t expected = ReadLikeAStream(text);
    FUZZ_REQUIRE(DecimalToInt64(text) == expected);

    // Window text reaches the same reader through the narrowing conversion.
    const std::wstring wide(reinterpret_cast<const unsigned char*>(text.data()),
                            reinterpret_cast<const unsigned char*>(text.data()) + text.size());
    FUZZ_REQUIRE(DecimalToInt64(wide) == expected);

    if (size >= sizeof(std::int64_t)) {
        std::int64_t value = 0;
        std::memcpy(&value, data, sizeof value);
        const std::string written = Int64ToDecimal(value);
        FUZZ_REQUIRE(DecimalToInt64(written) == value);
        FUZZ_REQUIRE(DecimalToInt64(" \t\n" + written + "x" + text.substr(sizeof value)) == value);
    }
    return 0;
}
