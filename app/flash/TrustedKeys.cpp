#include "app/flash/TrustedKeys.h"

#include <algorithm>
#include <filesystem>

#include "app/flash/SmallFile.h"
#include "platform/Digest.h"
#include "platform/FileAccess.h"
#include "platform/Signature.h"
#include "platform/TrustedFiles.h"
#include "util/OutsideText.h"

namespace flash {
namespace {

// A PEM public key is a few hundred bytes.
constexpr int64_t kLargestKeyFile = 64 * 1024;

void LoadFolder(const KeyFolder& folder, KeyRing* ring) {
    std::error_code ec;
    const std::filesystem::path path = platform::FilePath(folder.path);
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec)))
        return;
    if (const std::string who = platform::WhoElseMayWrite(folder.path); !who.empty()) {
        ring->problems.push_back({folder.path, "not trusted: " + who});
        return;
    }
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(path, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 4 && name.ends_with(".pem"))
            files.push_back((std::filesystem::path(path) / name).string());
    }
    if (ec) {
        ring->problems.push_back({folder.path, "cannot be listed"});
        return;
    }
    std::sort(files.begin(), files.end());
    for (const std::string& file : files) {
        if (const std::string who = platform::WhoElseMayWrite(file); !who.empty()) {
            ring->problems.push_back({file, "not trusted: " + who});
            continue;
        }
        SmallFileProblem problem;
        const std::optional<std::string> text = ReadSmallFile(file, kLargestKeyFile, &problem);
        if (!text) {
            ring->problems.push_back({file, problem == SmallFileProblem::TooLarge
                                                ? "is larger than any key file"
                                                : "cannot be read (it must be a regular file)"});
            continue;
        }
        const platform::PublicKey key = platform::ReadPublicKey(*text);
        if (key.problem != platform::PublicKey::Problem::None) {
            ring->problems.push_back({file, platform::KeyProblemText(key.problem)});
            continue;
        }
        std::string name = std::filesystem::path(file).filename().string();
        name.resize(name.size() - 4);
        ring->keys.push_back(
            {PrintableText(name), KeyFingerprint(key.der), file, folder.origin, key.der});
    }
}

}  // namespace

std::string KeyFingerprint(const std::vector<uint8_t>& der) {
    const platform::Sha256Digest digest = platform::Sha256(der);
    std::string hex = platform::HexText(digest).substr(0, 8);
    std::transform(hex.begin(), hex.end(), hex.begin(), ::toupper);
    return hex;
}

KeyRing LoadKeys(const std::vector<KeyFolder>& folders) {
    KeyRing ring;
    for (const KeyFolder& folder : folders)
        LoadFolder(folder, &ring);
    return ring;
}

}  // namespace flash
