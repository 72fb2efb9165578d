#include "sha256.h"

#include <algorithm>

void Sha256::addZeros(std::int64_t count)
{
    static const std::array<std::uint8_t, 64 << 10> kZeros{};
    while (count > 0) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::int64_t>(count, kZeros.size()));
        add(kZeros.data(), chunk);
        count -= static_cast<std::int64_t>(chunk);
    }
}

Sha256Digest Sha256Of(std::string_view bytes)
{
    Sha256 hash;
    hash.add(bytes.data(), bytes.size());
    return hash.finish();
}

std::string HexOf(const Sha256Digest& digest)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(digest.size() * 2);
    for (const std::uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}
