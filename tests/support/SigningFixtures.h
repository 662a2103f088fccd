// Keys and signatures made once with OpenSSL's command line, so that the
// same cases run against OpenSSL on Linux and CNG on Windows:
//   openssl ecparam -name prime256v1 -genkey -noout -out maker.key
//   openssl ec -in maker.key -pubout -out maker.pem
//   brevik-mkpackage a.bfw 2.12.Q 256          (SignedPackage() below)
//   openssl dgst -sha256 -sign maker.key -out a.bfw.sig a.bfw
// "other" is a second P-256 key; the P-384 and RSA keys are of kinds that
// packages are never signed with.
#pragma once

#include <cstdint>
#include <vector>

#include "package/PackageBuilder.h"

namespace fixtures {

constexpr const char* kMakerKey =
    "-----BEGIN PUBLIC KEY-----\n"
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEUUw4dSYurgfOAVQnFHGTUbieAQ01\n"
    "gYKr9g+r6+otwruRCqxOI9l2GALpz1kyGHRbbxMCuvk1ATTIoO/scZO3Hw==\n"
    "-----END PUBLIC KEY-----\n";
constexpr const char* kMakerFingerprint = "6DAB376D";
constexpr const char* kOtherKey =
    "-----BEGIN PUBLIC KEY-----\n"
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEeSsro4+qHO9Gh74/MtdfTE4ukMWW\n"
    "/1O9DiNkeGI3NXWb1ImtJD/822TGDa3GnZMyk0F/EF4jiW7zAW7kq3TMpg==\n"
    "-----END PUBLIC KEY-----\n";
constexpr const char* kP384Key =
    "-----BEGIN PUBLIC KEY-----\n"
    "MHYwEAYHKoZIzj0CAQYFK4EEACIDYgAEIZQfU72+4YJ0SkaBnWipXZBa74jeRaOS\n"
    "GSXhaRrTLsBX/7aRFuJ2MaHYvQz7vgfYg3m80CPwNSqpqbLWgwHtlrXgDmMOub1z\n"
    "txrwTb+RM4gVOupbm315mFG56IOjUFTz\n"
    "-----END PUBLIC KEY-----\n";
constexpr const char* kRsaKey =
    "-----BEGIN PUBLIC KEY-----\n"
    "MIGfMA0GCSqGSIb3DQEBAQUAA4GNADCBiQKBgQC64zeP8cmI2WZ05cVsv0IYZYSX\n"
    "t5A6KyKPItpvRV3CjcK4CRaw+Rzqj0nBOEdDHeoQLlDWqE+ZnZVF5RaX0+zTY7eN\n"
    "YKe3vrlxhwB2ZeYrhXlOnpgPXtoY1zQtJSzO2FsoiSopVZSLCUh/l6CkT51Y0m4S\n"
    "0/9+9jNWTp52SzQ6sQIDAQAB\n"
    "-----END PUBLIC KEY-----\n";

// The package both signatures are over: 02.12.Q with a 256-byte body.
inline std::vector<uint8_t> SignedPackage() {
    return FirmwarePackage(255, 2, 12, 'Q');
}
constexpr const char* kSignedPackageSha256 =
    "sha256:cf123410af9062c7fb6236481fa13a7629df3cb5c4815255101cab6a93e69da5";

// SignedPackage() signed with the maker's key, and with the other key.
inline std::vector<uint8_t> MakerSignature() {
    return {0x30, 0x45, 0x02, 0x20, 0x24, 0x0B, 0xAF, 0x95, 0xC6, 0x43, 0x6A, 0x65,
            0x0D, 0x7C, 0xB9, 0x26, 0x68, 0xAC, 0xDC, 0x13, 0xB0, 0xBE, 0x28, 0xA8,
            0x4C, 0xEB, 0xBD, 0xEE, 0x25, 0xDE, 0x63, 0xB0, 0x4E, 0xD6, 0x0B, 0xBE,
            0x02, 0x21, 0x00, 0x8B, 0x02, 0x55, 0x15, 0x6F, 0x74, 0x59, 0x20, 0xD5,
            0xE7, 0xBC, 0xC2, 0xD4, 0x4B, 0x35, 0x5B, 0xF9, 0x2F, 0x77, 0xFB, 0x77,
            0xB4, 0x45, 0x45, 0xAA, 0xF2, 0xE6, 0x3F, 0x58, 0x72, 0xCF, 0x28};
}
inline std::vector<uint8_t> OtherSignature() {
    return {0x30, 0x44, 0x02, 0x20, 0x7D, 0xF5, 0x82, 0xBD, 0xC5, 0x50, 0x10, 0xFE, 0x01, 0xE3,
            0xBD, 0x6E, 0x54, 0x25, 0xE3, 0x42, 0x13, 0x22, 0xE6, 0x2B, 0x13, 0x65, 0x0A, 0x9B,
            0x1C, 0xBC, 0x11, 0x5D, 0x21, 0x53, 0x5E, 0x4C, 0x02, 0x20, 0x24, 0x92, 0x77, 0x43,
            0x82, 0x47, 0xC5, 0x45, 0x13, 0xE3, 0x4F, 0xBE, 0x17, 0xE8, 0xD4, 0x9C, 0x01, 0xB2,
            0x30, 0xAE, 0xA3, 0x82, 0xAF, 0x61, 0x89, 0x19, 0xF7, 0xC2, 0x69, 0xC1, 0x2B, 0xE1};
}

}  // namespace fixtures
