#include "platform/Digest.h"

#include <windows.h>

#include <algorithm>

// After <windows.h>:
#include <bcrypt.h>

namespace platform {

Sha256Digest Sha256(std::span<const uint8_t> bytes, bool* ok) {
    Sha256Digest digest{};
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    BCRYPT_HASH_HANDLE hash = nullptr;
    bool done = BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) >= 0 &&
                BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0) >= 0;
    // CNG takes at most 4 GiB a call; a package is far smaller, but the loop
    // costs nothing.
    for (size_t at = 0; done && at < bytes.size();) {
        const ULONG chunk = static_cast<ULONG>(std::min<size_t>(bytes.size() - at, 1u << 30));
        done = BCryptHashData(hash, const_cast<PUCHAR>(bytes.data() + at), chunk, 0) >= 0;
        at += chunk;
    }
    done = done && BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0) >= 0;
    if (hash != nullptr)
        BCryptDestroyHash(hash);
    if (algorithm != nullptr)
        BCryptCloseAlgorithmProvider(algorithm, 0);
    if (!done)
        digest.fill(0);
    if (ok != nullptr)
        *ok = done;
    return digest;
}

}  // namespace platform
