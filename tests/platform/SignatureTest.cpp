// Makers' keys and signatures through the system's cryptography (OpenSSL
// here, CNG under Windows): every shape of key and signature a package may
// come with, from the right one to garbage.
#include "platform/Signature.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/SigningFixtures.h"

using platform::PublicKey;
using platform::SignatureCheck;

TEST(Signature, KeysOfEveryKindAndSignaturesOfEveryShape) {
    struct KeyCase {
        const char* name;
        std::string text;
        PublicKey::Problem problem;
    };
    const std::string maker = fixtures::kMakerKey;
    std::string garbled = maker;
    garbled.replace(garbled.find("MFkw"), 4, "AAAA");
    const KeyCase keys[] = {
        {"P-256", maker, PublicKey::Problem::None},
        {"P-256 after other text", "a comment line\n" + maker, PublicKey::Problem::None},
        {"P-384", fixtures::kP384Key, PublicKey::Problem::NotP256Ecdsa},
        {"RSA", fixtures::kRsaKey, PublicKey::Problem::NotP256Ecdsa},
        {"no PEM", "just some text\n", PublicKey::Problem::NotPem},
        {"empty", "", PublicKey::Problem::NotPem},
        {"garbled DER", garbled, PublicKey::Problem::NotAKey},
        {"unended block", maker.substr(0, maker.find("-----END")), PublicKey::Problem::NotAKey},
    };
    for (const KeyCase& k : keys) {
        const PublicKey key = platform::ReadPublicKey(k.text);
        EXPECT_EQ(k.problem, key.problem) << k.name;
        EXPECT_EQ(k.problem == PublicKey::Problem::None, !key.der.empty()) << k.name;
    }

    const std::vector<uint8_t> makerDer = platform::ReadPublicKey(maker).der;
    const std::vector<uint8_t> otherDer = platform::ReadPublicKey(fixtures::kOtherKey).der;
    const std::vector<uint8_t> package = fixtures::SignedPackage();
    std::vector<uint8_t> changed = package;
    changed[300] ^= 0x01;
    const std::vector<uint8_t> good = fixtures::MakerSignature();
    const std::vector<uint8_t> others = fixtures::OtherSignature();
    std::vector<uint8_t> trailing = good;
    trailing.push_back(0);
    const std::vector<uint8_t> truncated(good.begin(), good.end() - 1);
    const std::vector<uint8_t> garbage = {'n', 'o', 't', ' ', 'a', ' ', 's', 'i', 'g'};
    struct SignatureCase {
        const char* name;
        const std::vector<uint8_t>& key;
        const std::vector<uint8_t>& data;
        const std::vector<uint8_t>& signature;
        SignatureCheck expected;
    };
    const std::vector<uint8_t> none;
    const SignatureCase signatures[] = {
        {"the maker's, of this package", makerDer, package, good, SignatureCheck::Verified},
        {"one byte of the package changed", makerDer, changed, good, SignatureCheck::Mismatch},
        {"checked against another key", otherDer, package, good, SignatureCheck::Mismatch},
        {"another key's signature", makerDer, package, others, SignatureCheck::Mismatch},
        {"a byte after the signature", makerDer, package, trailing, SignatureCheck::Malformed},
        {"truncated", makerDer, package, truncated, SignatureCheck::Malformed},
        {"garbage", makerDer, package, garbage, SignatureCheck::Malformed},
        {"empty", makerDer, package, none, SignatureCheck::Malformed},
    };
    for (const SignatureCase& c : signatures)
        EXPECT_EQ(c.expected, platform::VerifySignature(c.key, c.data, c.signature)) << c.name;
}
