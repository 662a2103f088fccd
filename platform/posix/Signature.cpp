#include "platform/Signature.h"

#include <openssl/bio.h>
#include <openssl/crypto.h>
#include <openssl/ecdsa.h>
#include <openssl/evp.h>
#include <openssl/obj_mac.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <memory>

namespace platform {
namespace {

struct Free {
    void operator()(BIO* b) const { BIO_free(b); }
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
    void operator()(ECDSA_SIG* s) const { ECDSA_SIG_free(s); }
    void operator()(char* t) const { OPENSSL_free(t); }
    void operator()(unsigned char* t) const { OPENSSL_free(t); }
};
template <typename T>
using Owned = std::unique_ptr<T, Free>;

bool IsP256Ecdsa(EVP_PKEY* key) {
    if (EVP_PKEY_get_base_id(key) != EVP_PKEY_EC)
        return false;
    char curve[64] = {};
    size_t length = 0;
    return EVP_PKEY_get_utf8_string_param(key, "group", curve, sizeof curve, &length) == 1 &&
           std::string_view(curve, length) == SN_X9_62_prime256v1;
}

// The key of a whole DER SubjectPublicKeyInfo, nothing after it.
Owned<EVP_PKEY> KeyOfDer(std::span<const uint8_t> der) {
    const unsigned char* at = der.data();
    Owned<EVP_PKEY> key(d2i_PUBKEY(nullptr, &at, static_cast<long>(der.size())));
    if (at != der.data() + der.size())
        key.reset();
    return key;
}

}  // namespace

PublicKey ReadPublicKey(std::string_view pemText) {
    PublicKey key;
    constexpr std::string_view kBegin = "-----BEGIN PUBLIC KEY-----";
    const size_t begin = pemText.find(kBegin);
    if (begin == std::string_view::npos)
        return key;
    // The block from its first line on, whatever came before it; the DER
    // kept is the file's own, so a fingerprint is the same on every system.
    pemText.remove_prefix(begin);
    key.problem = PublicKey::Problem::NotAKey;
    Owned<BIO> in(BIO_new_mem_buf(pemText.data(), static_cast<int>(pemText.size())));
    char* name = nullptr;
    char* header = nullptr;
    unsigned char* data = nullptr;
    long length = 0;
    if (!in || PEM_read_bio(in.get(), &name, &header, &data, &length) != 1)
        return key;
    Owned<char> ownedName(name), ownedHeader(header);
    Owned<unsigned char> ownedData(data);
    const std::span<const uint8_t> der(data, static_cast<size_t>(length));
    Owned<EVP_PKEY> read = KeyOfDer(der);
    if (!read)
        return key;
    key.problem = PublicKey::Problem::NotP256Ecdsa;
    if (!IsP256Ecdsa(read.get()))
        return key;
    key.der.assign(der.begin(), der.end());
    key.problem = PublicKey::Problem::None;
    return key;
}

SignatureCheck VerifySignature(std::span<const uint8_t> publicKeyDer, std::span<const uint8_t> data,
                               std::span<const uint8_t> signature) {
    // Only a DER signature of exactly its own length is one.
    const unsigned char* at = signature.data();
    Owned<ECDSA_SIG> parsed(d2i_ECDSA_SIG(nullptr, &at, static_cast<long>(signature.size())));
    if (!parsed || at != signature.data() + signature.size())
        return SignatureCheck::Malformed;
    Owned<EVP_PKEY> key = KeyOfDer(publicKeyDer);
    if (!key || !IsP256Ecdsa(key.get()))
        return SignatureCheck::Failed;
    Owned<EVP_MD_CTX> context(EVP_MD_CTX_new());
    if (!context ||
        EVP_DigestVerifyInit(context.get(), nullptr, EVP_sha256(), nullptr, key.get()) != 1)
        return SignatureCheck::Failed;
    const int verified = EVP_DigestVerify(context.get(), signature.data(), signature.size(),
                                          data.data(), data.size());
    return verified == 1 ? SignatureCheck::Verified : SignatureCheck::Mismatch;
}

}  // namespace platform
