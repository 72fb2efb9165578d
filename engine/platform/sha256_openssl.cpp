// SHA-256 through OpenSSL's libcrypto, which picks the processor's SHA
// extensions (or AVX2) at run time.

#include <openssl/evp.h>

#include <cstdlib>

#include "sha256.h"

struct Sha256::State {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~State() { EVP_MD_CTX_free(context); }
};

namespace {

// libcrypto fails these calls only when it is out of memory or broken; a hash
// that silently went wrong would pass damaged pieces, so the process ends.
void Require(int ok)
{
    if (ok != 1)
        std::abort();
}

}  // namespace

Sha256::Sha256() : state_(new State)
{
    if (!state_->context)
        std::abort();
    reset();
}

Sha256::~Sha256() = default;

void Sha256::reset()
{
    Require(EVP_DigestInit_ex(state_->context, EVP_sha256(), nullptr));
}

void Sha256::add(const void* bytes, std::size_t count)
{
    Require(EVP_DigestUpdate(state_->context, bytes, count));
}

Sha256Digest Sha256::finish()
{
    Sha256Digest digest{};
    unsigned int length = 0;
    Require(EVP_DigestFinal_ex(state_->context, digest.data(), &length));
    reset();
    return digest;
}
