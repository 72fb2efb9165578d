// SHA-256 through libgcrypt, which picks the processor's SHA extensions (or
// AVX2) at run time. Windows' own BCrypt would need no DLL beside the program,
// but under Wine it hashes at about a sixth of the speed, and a list is made of
// every byte a job moves.

#include <gcrypt.h>

#include <cstdlib>
#include <cstring>

#include "sha256.h"

namespace {

// A failure here means the library is missing pieces or out of memory; a hash
// that silently went wrong would pass damaged pieces, so the process ends.
void Require(bool ok)
{
    if (!ok)
        std::abort();
}

// libgcrypt must be told its version is good enough before anything else, and
// once: the first hash does it, whichever thread that is on. Hashing keeps no
// secrets, so the library's secure memory is left off.
void InitialiseOnce()
{
    static const bool ready = [] {
        Require(gcry_check_version(GCRYPT_VERSION) != nullptr);
        gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
        gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
        return true;
    }();
    Require(ready);
}

}  // namespace

struct Sha256::State {
    gcry_md_hd_t handle = nullptr;
    ~State() { gcry_md_close(handle); }
};

Sha256::Sha256() : state_(new State)
{
    InitialiseOnce();
    Require(gcry_md_open(&state_->handle, GCRY_MD_SHA256, 0) == 0);
}

Sha256::~Sha256() = default;

void Sha256::reset()
{
    gcry_md_reset(state_->handle);
}

void Sha256::add(const void* bytes, std::size_t count)
{
    gcry_md_write(state_->handle, bytes, count);
}

Sha256Digest Sha256::finish()
{
    Sha256Digest digest{};
    const unsigned char* result = gcry_md_read(state_->handle, GCRY_MD_SHA256);
    Require(result != nullptr);
    std::memcpy(digest.data(), result, digest.size());
    reset();
    return digest;
}
