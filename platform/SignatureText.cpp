#include "platform/Signature.h"

namespace platform {

const char* KeyProblemText(PublicKey::Problem problem) {
    switch (problem) {
        case PublicKey::Problem::None:
            return "a P-256 ECDSA public key";
        case PublicKey::Problem::NotPem:
            return "no PEM public key (-----BEGIN PUBLIC KEY-----) in it";
        case PublicKey::Problem::NotAKey:
            return "its PEM block is not a public key";
        case PublicKey::Problem::NotP256Ecdsa:
            return "not a P-256 ECDSA key (the only kind packages are signed with)";
    }
    return "unknown";
}

}  // namespace platform
