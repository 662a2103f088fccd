// The public keys of trusted firmware makers: PEM files in the
// administrator's key folder and in the user's. A key's name is its file's
// name (less ".pem"); its fingerprint, the first four bytes of the SHA-256
// of the key, tells two keys of one name apart. A key file or folder that
// others may write is not trusted, and said.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace flash {

struct TrustedKey {
    std::string name;
    std::string fingerprint;  // 8 upper-case hexadecimal digits
    std::string file;
    std::string origin;  // "system" or "user"
    std::vector<uint8_t> der;
};

// A file or folder whose keys are not taken, and why.
struct KeyProblem {
    std::string path;
    std::string why;
};

struct KeyRing {
    std::vector<TrustedKey> keys;
    std::vector<KeyProblem> problems;
};

// Where keys are looked for.
struct KeyFolder {
    std::string path;
    std::string origin;
};

// The keys of the folders, in order; a folder that does not exist is none.
KeyRing LoadKeys(const std::vector<KeyFolder>& folders);

// The first four bytes of the SHA-256 of a key's DER, upper-case hex.
std::string KeyFingerprint(const std::vector<uint8_t>& der);

}  // namespace flash
