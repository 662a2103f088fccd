#include "platform/Signature.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>

// After <windows.h>:
#include <bcrypt.h>
#include <wincrypt.h>

#include "platform/Digest.h"

namespace platform {
namespace {

// The named curve P-256 (1.2.840.10045.3.1.7) as the key's parameters
// carry it, DER-encoded.
constexpr uint8_t kP256Parameters[] = {0x06, 0x08, 0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07};

struct LocalFree_ {
    void operator()(void* p) const { LocalFree(p); }
};
template <typename T>
using Local = std::unique_ptr<T, LocalFree_>;

// The SubjectPublicKeyInfo decoded, or null.
Local<CERT_PUBLIC_KEY_INFO> DecodeKeyInfo(std::span<const uint8_t> der) {
    CERT_PUBLIC_KEY_INFO* info = nullptr;
    DWORD size = 0;
    if (der.empty() || !CryptDecodeObjectEx(X509_ASN_ENCODING, X509_PUBLIC_KEY_INFO, der.data(),
                                            static_cast<DWORD>(der.size()), CRYPT_DECODE_ALLOC_FLAG,
                                            nullptr, &info, &size))
        return nullptr;
    return Local<CERT_PUBLIC_KEY_INFO>(info);
}

bool IsP256Ecdsa(const CERT_PUBLIC_KEY_INFO& info) {
    const CRYPT_ALGORITHM_IDENTIFIER& algorithm = info.Algorithm;
    return algorithm.pszObjId != nullptr &&
           std::string_view(algorithm.pszObjId) == szOID_ECC_PUBLIC_KEY &&
           algorithm.Parameters.cbData == sizeof kP256Parameters &&
           std::equal(kP256Parameters, kP256Parameters + sizeof kP256Parameters,
                      algorithm.Parameters.pbData);
}

BCRYPT_KEY_HANDLE ImportKey(CERT_PUBLIC_KEY_INFO* info) {
    BCRYPT_KEY_HANDLE key = nullptr;
    if (!CryptImportPublicKeyInfoEx2(X509_ASN_ENCODING, info, 0, nullptr, &key))
        return nullptr;
    return key;
}

// A DER length that spans exactly the rest of the bytes: a signature with
// anything after it is not one.
bool WholeDerSequence(std::span<const uint8_t> der) {
    if (der.size() < 2 || der[0] != 0x30)
        return false;
    size_t length = der[1];
    size_t header = 2;
    if (length == 0x81) {
        if (der.size() < 3 || der[2] < 0x80)
            return false;
        length = der[2];
        header = 3;
    } else if (length > 0x7F) {
        return false;  // far longer than any ECDSA signature
    }
    return header + length == der.size();
}

// A little-endian integer of CNG's decoding as 32 big-endian bytes; false
// when it does not fit.
bool BigEndian32(const CRYPT_UINT_BLOB& value, uint8_t* out) {
    DWORD length = value.cbData;
    while (length > 0 && value.pbData[length - 1] == 0)
        --length;
    if (length > 32)
        return false;
    std::fill(out, out + 32, 0);
    for (DWORD i = 0; i < length; ++i)
        out[31 - i] = value.pbData[i];
    return true;
}

}  // namespace

PublicKey ReadPublicKey(std::string_view pemText) {
    PublicKey key;
    constexpr std::string_view kBegin = "-----BEGIN PUBLIC KEY-----";
    const size_t begin = pemText.find(kBegin);
    if (begin == std::string_view::npos)
        return key;
    pemText.remove_prefix(begin);
    key.problem = PublicKey::Problem::NotAKey;
    const size_t end = pemText.find("-----END PUBLIC KEY-----");
    if (end == std::string_view::npos || pemText.size() > 1u << 20)
        return key;
    pemText = pemText.substr(0, end + 24);
    DWORD size = 0;
    if (!CryptStringToBinaryA(pemText.data(), static_cast<DWORD>(pemText.size()),
                              CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr) ||
        size == 0)
        return key;
    std::vector<uint8_t> der(size);
    if (!CryptStringToBinaryA(pemText.data(), static_cast<DWORD>(pemText.size()),
                              CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr))
        return key;
    der.resize(size);
    if (!WholeDerSequence(der))
        return key;
    Local<CERT_PUBLIC_KEY_INFO> info = DecodeKeyInfo(der);
    if (!info)
        return key;
    key.problem = PublicKey::Problem::NotP256Ecdsa;
    if (!IsP256Ecdsa(*info))
        return key;
    // A point that is not on the curve is no key.
    BCRYPT_KEY_HANDLE imported = ImportKey(info.get());
    if (imported == nullptr) {
        key.problem = PublicKey::Problem::NotAKey;
        return key;
    }
    BCryptDestroyKey(imported);
    key.der = std::move(der);
    key.problem = PublicKey::Problem::None;
    return key;
}

SignatureCheck VerifySignature(std::span<const uint8_t> publicKeyDer, std::span<const uint8_t> data,
                               std::span<const uint8_t> signature) {
    if (!WholeDerSequence(signature))
        return SignatureCheck::Malformed;
    CERT_ECC_SIGNATURE* decoded = nullptr;
    DWORD size = 0;
    if (!CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ECC_SIGNATURE, signature.data(),
                             static_cast<DWORD>(signature.size()), CRYPT_DECODE_ALLOC_FLAG, nullptr,
                             &decoded, &size))
        return SignatureCheck::Malformed;
    Local<CERT_ECC_SIGNATURE> ownedSignature(decoded);
    // CNG takes r and s side by side, each 32 big-endian bytes.
    std::array<uint8_t, 64> rs{};
    if (!BigEndian32(decoded->r, rs.data()) || !BigEndian32(decoded->s, rs.data() + 32))
        return SignatureCheck::Mismatch;
    Local<CERT_PUBLIC_KEY_INFO> info = DecodeKeyInfo(publicKeyDer);
    if (!info || !IsP256Ecdsa(*info))
        return SignatureCheck::Failed;
    BCRYPT_KEY_HANDLE key = ImportKey(info.get());
    if (key == nullptr)
        return SignatureCheck::Failed;
    bool hashed = false;
    Sha256Digest digest = Sha256(data, &hashed);
    NTSTATUS status = hashed ? BCryptVerifySignature(key, nullptr, digest.data(),
                                                     static_cast<ULONG>(digest.size()), rs.data(),
                                                     static_cast<ULONG>(rs.size()), 0)
                             : -1;
    BCryptDestroyKey(key);
    if (!hashed)
        return SignatureCheck::Failed;
    if (status >= 0)
        return SignatureCheck::Verified;
    // STATUS_INVALID_SIGNATURE, and r or s out of the curve's range.
    return status == static_cast<NTSTATUS>(0xC000A000L) ||
                   status == static_cast<NTSTATUS>(0xC000000DL)
               ? SignatureCheck::Mismatch
               : SignatureCheck::Failed;
}

}  // namespace platform
