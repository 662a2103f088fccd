#include "app/flash/PackageTrust.h"

#include <filesystem>
#include <memory>

#include "app/flash/SmallFile.h"
#include "platform/Digest.h"
#include "platform/Environment.h"
#include "platform/FileAccess.h"
#include "platform/Signature.h"
#include "platform/TrustedFiles.h"
#include "util/OutsideText.h"

namespace flash {
namespace {

// A DER P-256 signature is at most 72 bytes; a far larger file is not one.
constexpr int64_t kLargestSignatureFile = 4096;

std::string Joined(const std::string& folder, const char* name) {
    return folder.empty() ? ""
                          : (std::filesystem::path(platform::FilePath(folder)) / name).string();
}

std::string KeysSaid(const KeyRing& keys) {
    return keys.keys.size() == 1
               ? "the trusted key"
               : "any of the " + std::to_string(keys.keys.size()) + " trusted keys";
}

// Reads the signature beside the package into *signature; the state when
// there is none to check.
std::optional<SignatureState> ReadSignature(const std::string& file,
                                            std::vector<uint8_t>* signature) {
    std::error_code ec;
    const auto status = std::filesystem::symlink_status(platform::FilePath(file), ec);
    if (!std::filesystem::exists(status))
        return SignatureState::NotSigned;
    SmallFileProblem problem;
    const std::optional<std::string> bytes = ReadSmallFile(file, kLargestSignatureFile, &problem);
    if (!bytes)
        return problem == SmallFileProblem::TooLarge ? SignatureState::Malformed
                                                     : SignatureState::Unreadable;
    signature->assign(bytes->begin(), bytes->end());
    return std::nullopt;
}

}  // namespace

TrustFolders DefaultTrustFolders() {
    TrustFolders folders;
    folders.system = platform::SystemConfigFolder("brevik", "Brevik");
    const std::string userConfig = platform::UserConfigFile("brevik", "Brevik");
    if (!userConfig.empty())
        folders.user = std::filesystem::path(platform::FilePath(userConfig)).parent_path().string();
    return folders;
}

TrustSetup LoadTrust(const TrustFolders& folders, const TrustWishes& wishes, std::string* error) {
    TrustSetup setup;
    setup.policyFile = Joined(folders.system, "config");
    const TrustPolicy floor = ReadSystemPolicy(setup.policyFile, &setup.policyError);
    setup.policy = WithWishes(floor, wishes, error);
    std::vector<KeyFolder> keyFolders;
    if (!folders.system.empty())
        keyFolders.push_back({Joined(folders.system, "keys"), "system"});
    if (!folders.user.empty())
        keyFolders.push_back({Joined(folders.user, "keys"), "user"});
    setup.keys = LoadKeys(keyFolders);
    return setup;
}

std::vector<platform::Finding> TrustFindings(const TrustFolders& folders) {
    std::string ignored;
    const TrustSetup setup = LoadTrust(folders, {}, &ignored);
    std::vector<platform::Finding> findings;
    if (!setup.policyError.empty())
        findings.push_back({setup.policyError + "; no package is flashed until it is mended",
                            "let only the administrator write it (chmod 644, owned by root), "
                            "and keep to signatures, approved and blocked"});
    for (const KeyProblem& problem : setup.keys.problems)
        findings.push_back(
            {"the key " + PrintableText(problem.path) + " is not taken: " + problem.why,
             "let only its owner write it (chmod 644; chmod 755 for a folder), or "
             "replace it with the maker's PEM public key"});
    return findings;
}

const char* SignatureStateName(SignatureState state) {
    switch (state) {
        case SignatureState::Signed:
            return "signed";
        case SignatureState::NotSigned:
            return "not_signed";
        case SignatureState::NotChecked:
            return "not_checked";
        case SignatureState::NoTrustedKey:
            return "no_trusted_key";
        case SignatureState::Malformed:
            return "malformed";
        case SignatureState::Unreadable:
            return "unreadable";
    }
    return "not_checked";
}

namespace {

// The first refusal stands: it is the one the user is told.
void Refuse(PackageTrust* trust, const std::string& why) {
    if (!trust->refused) {
        trust->refused = true;
        trust->why = why;
    }
}

// The administrator's file and the approved and blocked lists.
void JudgeLists(const TrustSetup& setup, PackageTrust* trust) {
    // A broken administrator's file lets nothing through until it is mended.
    if (!setup.policyError.empty())
        Refuse(trust, setup.policyError);
    const TrustPolicy& policy = setup.policy;
    if (policy.blocked.count(trust->sha256))
        Refuse(trust, "the package is blocked (" + trust->sha256 + " is on the blocked list)");
    if (policy.approved && !policy.approved->count(trust->sha256))
        Refuse(trust,
               "the package is not approved (" + trust->sha256 + " is not on the approved list)");
}

// The signature beside the package against each trusted key: its state,
// and the key that made it.
void CheckSignature(std::span<const uint8_t> bytes, const KeyRing& keys, PackageTrust* trust) {
    std::vector<uint8_t> signature;
    if (const std::optional<SignatureState> none =
            ReadSignature(trust->signatureFile, &signature)) {
        trust->state = *none;
        return;
    }
    trust->state = SignatureState::NoTrustedKey;
    for (const TrustedKey& key : keys.keys) {
        const platform::SignatureCheck check = platform::VerifySignature(key.der, bytes, signature);
        if (check == platform::SignatureCheck::Malformed) {
            trust->state = SignatureState::Malformed;
            return;
        }
        if (check == platform::SignatureCheck::Verified) {
            trust->state = SignatureState::Signed;
            trust->keyName = key.name;
            trust->keyFingerprint = key.fingerprint;
            return;
        }
    }
    // With no key to check against, a garbled file is still told apart.
    if (keys.keys.empty() && !signature.empty() &&
        platform::VerifySignature({}, bytes, signature) == platform::SignatureCheck::Malformed)
        trust->state = SignatureState::Malformed;
}

// The state in words, and the refusal it makes under the policy.
void SayVerdict(const TrustSetup& setup, PackageTrust* trust) {
    const std::string shown = PrintableText(trust->signatureFile);
    switch (trust->state) {
        case SignatureState::Signed:
            trust->said = "signed by " + trust->keyName + ", key " + trust->keyFingerprint;
            break;
        case SignatureState::NotSigned:
            trust->said = "not signed";
            if (setup.policy.signatures == SignatureMode::Require)
                Refuse(trust,
                       "the package is not signed, and signatures are required (no " + shown + ")");
            break;
        case SignatureState::NoTrustedKey:
            trust->said = "signature not verified";
            if (setup.keys.keys.empty())
                Refuse(trust, "its signature " + shown +
                                  " cannot be checked: no maker's key is trusted here ('brevik "
                                  "keys' says where to put one)");
            else
                Refuse(trust, "its signature " + shown + " was not made over this package by " +
                                  KeysSaid(setup.keys) +
                                  ": the package changed after signing, or its maker's key is "
                                  "not trusted here ('brevik keys' lists them)");
            break;
        case SignatureState::Malformed:
            trust->said = "signature unreadable";
            Refuse(trust, "its signature " + shown + " is not an ECDSA signature");
            break;
        case SignatureState::Unreadable:
            trust->said = "signature unreadable";
            Refuse(trust, "its signature " + shown + " cannot be read (it must be a regular file)");
            break;
        case SignatureState::NotChecked:
            trust->said = "signatures not checked (signatures = \"off\")";
            break;
    }
}

}  // namespace

PackageTrust JudgePackage(std::span<const uint8_t> bytes, const std::string& packagePath,
                          const TrustSetup& setup) {
    PackageTrust trust;
    trust.sha256 = "sha256:" + platform::HexText(platform::Sha256(bytes));
    trust.signatureFile = packagePath + ".sig";
    JudgeLists(setup, &trust);
    if (setup.policy.signatures == SignatureMode::Off)
        trust.state = SignatureState::NotChecked;
    else
        CheckSignature(bytes, setup.keys, &trust);
    SayVerdict(setup, &trust);
    return trust;
}

}  // namespace flash
