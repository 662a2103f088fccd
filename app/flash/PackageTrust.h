// Whether a package may be flashed at all: its checksum against the
// approved and blocked lists, and its detached signature (NAME.bfw.sig
// beside NAME.bfw) against the trusted keys, as the policy asks. Judged on
// the bytes that were read once and are the ones flashed. A signature that
// does not verify is never taken for less than none.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "app/flash/TrustPolicy.h"
#include "app/flash/TrustedKeys.h"
#include "platform/MachineCheck.h"

namespace flash {

// Everything a judgement stands on.
struct TrustSetup {
    TrustPolicy policy;
    KeyRing keys;
    std::string policyFile;   // the administrator's file the policy starts from
    std::string policyError;  // why that file was not taken ("" when it was, or is absent)
};

// Where the administrator's and this user's files are: the folders that
// hold config and keys/.
struct TrustFolders {
    std::string system;
    std::string user;
};
// The system's own places (/etc/brevik and ~/.config/brevik on Linux).
TrustFolders DefaultTrustFolders();

// The administrator's policy and both key folders, with the user's wishes
// on top; *error says what was malformed in the wishes.
TrustSetup LoadTrust(const TrustFolders& folders, const TrustWishes& wishes, std::string* error);

// What the machine check says of the policy and keys: a system settings
// file that lets nothing through, and each key file or folder not taken.
std::vector<platform::Finding> TrustFindings(const TrustFolders& folders);

enum class SignatureState {
    Signed,        // verified against a trusted key
    NotSigned,     // no signature file beside the package
    NotChecked,    // signatures = "off"
    NoTrustedKey,  // a signature that no trusted key made over these bytes
    Malformed,     // a signature file that is no ECDSA signature
    Unreadable     // a signature file that cannot be read
};

// "signed", "not_signed", ...: the state in JSON and logs.
const char* SignatureStateName(SignatureState state);

struct PackageTrust {
    std::string sha256;  // "sha256:" and 64 lower-case hexadecimal digits
    SignatureState state = SignatureState::NotChecked;
    std::string signatureFile;
    std::string keyName;  // when Signed
    std::string keyFingerprint;
    bool refused = false;
    std::string said;  // the verdict in a few words: "signed by maker, key 1A2B3C4D"
    std::string why;   // when refused: why, and what would let it through
};

// The package at packagePath, whose bytes are these, judged.
PackageTrust JudgePackage(std::span<const uint8_t> bytes, const std::string& packagePath,
                          const TrustSetup& setup);

}  // namespace flash
