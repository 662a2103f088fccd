#include "platform/Digest.h"

#include <openssl/evp.h>

namespace platform {

Sha256Digest Sha256(std::span<const uint8_t> bytes, bool* ok) {
    Sha256Digest digest{};
    unsigned int length = 0;
    const bool done = EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha256(),
                                 nullptr) == 1 &&
                      length == digest.size();
    if (!done)
        digest.fill(0);
    if (ok != nullptr)
        *ok = done;
    return digest;
}

}  // namespace platform
