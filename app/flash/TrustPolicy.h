// Which packages may be flashed at all, whatever device they are for: the
// signature a package must carry, and lists of packages by their SHA-256.
// The administrator's policy (a file only the administrator may change) is
// the floor: a user's settings, options or environment only tighten it.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace flash {

enum class SignatureMode {
    Off,     // signatures are not looked at (said so)
    Check,   // a signature must verify; an unsigned package is allowed
    Require  // every package must carry a signature that verifies
};

// "off", "check", "require": the words of settings, options and JSON.
const char* SignatureModeName(SignatureMode mode);
std::optional<SignatureMode> SignatureModeNamed(std::string_view name);

struct TrustPolicy {
    SignatureMode signatures = SignatureMode::Check;
    // When set, only these packages are flashed ("sha256:" and 64 lower-case
    // hexadecimal digits each).
    std::optional<std::set<std::string>> approved;
    std::set<std::string> blocked;  // never flashed
};

// What a user asks for on top of the administrator's policy: unset fields
// leave it as it is.
struct TrustWishes {
    std::string signatures;  // a mode's name, or ""
    std::vector<std::string> approved;
    bool approvedGiven = false;
    std::vector<std::string> blocked;
};

// The stricter of the two at every point: the stricter mode, only what both
// approve, what either blocks. Never looser than floor.
TrustPolicy Tightened(const TrustPolicy& floor, const TrustPolicy& wished);

// The wishes as a policy on top of floor; *error names what is malformed
// (floor is then returned unchanged).
TrustPolicy WithWishes(const TrustPolicy& floor, const TrustWishes& wishes, std::string* error);

// A package's name in the lists: "sha256:" and 64 hexadecimal digits, any
// case; lower-case on success, "" when text is not one.
std::string ChecksumName(std::string_view text);

// The administrator's policy from the TOML file at path: signatures,
// approved, blocked. No file is the default policy; a file that cannot be
// read or says anything else is an error (*error says which and where), and
// the strictest policy stands meanwhile.
TrustPolicy ReadSystemPolicy(const std::string& path, std::string* error);

}  // namespace flash
