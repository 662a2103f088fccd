// Signatures of firmware makers, checked with the system's own cryptography
// (OpenSSL's libcrypto on Linux, CNG on Windows): ECDSA on the P-256 curve
// over SHA-256, the signature DER-encoded as 'openssl dgst -sha256 -sign'
// writes it, the public key a PEM file of a SubjectPublicKeyInfo as
// 'openssl ec -pubout' writes it.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A public key as read from its PEM text.
struct PublicKey {
    enum class Problem {
        None,
        NotPem,       // no "-----BEGIN PUBLIC KEY-----" block of base64
        NotAKey,      // the block is no SubjectPublicKeyInfo
        NotP256Ecdsa  // a key of another type or curve
    };
    Problem problem = Problem::NotPem;
    std::vector<uint8_t> der;  // the SubjectPublicKeyInfo, when there is no problem
};

// Reads the first public key of a PEM text. Text from outside: any bytes.
PublicKey ReadPublicKey(std::string_view pemText);

enum class SignatureCheck {
    Verified,   // the key signed exactly these bytes
    Mismatch,   // a well-formed signature, not of these bytes by this key
    Malformed,  // not a DER ECDSA signature
    Failed      // the system's cryptography could not run the check
};

// Whether signature (DER) is the key's (a PublicKey's der) over data.
SignatureCheck VerifySignature(std::span<const uint8_t> publicKeyDer, std::span<const uint8_t> data,
                               std::span<const uint8_t> signature);

// Why a key was not taken, for people.
const char* KeyProblemText(PublicKey::Problem problem);

}  // namespace platform
