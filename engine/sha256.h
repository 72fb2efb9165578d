#pragma once
// SHA-256, the hash of the checksum list that travels with every set: the one
// that `sha256sum`, `Get-FileHash` and `certutil` all print. A thin face over
// the platform's library (sha256_openssl.cpp natively, sha256_win.cpp in the
// Windows build), which uses the processor's SHA instructions where it has them.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

using Sha256Digest = std::array<std::uint8_t, 32>;

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    // Adds `count` bytes to the hash.
    void add(const void* bytes, std::size_t count);
    // Adds `count` zero bytes: a hole the copy skipped.
    void addZeros(std::int64_t count);
    // The digest of every byte added since the start or the last reset(), and
    // a fresh start.
    Sha256Digest finish();
    // Forgets every byte added.
    void reset();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The digest of `bytes` at once.
Sha256Digest Sha256Of(std::string_view bytes);

// 64 lower-case hexadecimal digits, as sha256sum prints them.
std::string HexOf(const Sha256Digest& digest);
