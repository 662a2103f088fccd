#include "app/flash/TrustPolicy.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/flash/SmallFile.h"
#include "platform/FileAccess.h"
#include "platform/TrustedFiles.h"

namespace flash {
namespace {

constexpr SignatureMode kModes[] = {SignatureMode::Off, SignatureMode::Check,
                                    SignatureMode::Require};

// A settings file is small; one far larger is not one.
constexpr int64_t kLargestSettingsFile = 1 << 20;

bool ReadChecksums(const std::vector<std::string>& texts, std::set<std::string>* out,
                   std::string* error) {
    for (const std::string& text : texts) {
        const std::string name = ChecksumName(text);
        if (name.empty()) {
            *error = "'" + text + "' is not a package checksum (sha256: and 64 hexadecimal digits)";
            return false;
        }
        out->insert(name);
    }
    return true;
}

}  // namespace

const char* SignatureModeName(SignatureMode mode) {
    switch (mode) {
        case SignatureMode::Off:
            return "off";
        case SignatureMode::Check:
            return "check";
        case SignatureMode::Require:
            return "require";
    }
    return "check";
}

std::optional<SignatureMode> SignatureModeNamed(std::string_view name) {
    for (SignatureMode mode : kModes) {
        if (name == SignatureModeName(mode))
            return mode;
    }
    return std::nullopt;
}

std::string ChecksumName(std::string_view text) {
    constexpr std::string_view kPrefix = "sha256:";
    if (text.size() != kPrefix.size() + 64 || text.substr(0, kPrefix.size()) != kPrefix)
        return "";
    std::string name(text);
    for (size_t i = kPrefix.size(); i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (!std::isxdigit(c))
            return "";
        name[i] = static_cast<char>(std::tolower(c));
    }
    return name;
}

TrustPolicy Tightened(const TrustPolicy& floor, const TrustPolicy& wished) {
    TrustPolicy policy = floor;
    policy.signatures = std::max(floor.signatures, wished.signatures);
    policy.blocked.insert(wished.blocked.begin(), wished.blocked.end());
    if (wished.approved) {
        if (!floor.approved) {
            policy.approved = wished.approved;
        } else {
            std::set<std::string> both;
            std::set_intersection(floor.approved->begin(), floor.approved->end(),
                                  wished.approved->begin(), wished.approved->end(),
                                  std::inserter(both, both.end()));
            policy.approved = both;
        }
    }
    return policy;
}

TrustPolicy WithWishes(const TrustPolicy& floor, const TrustWishes& wishes, std::string* error) {
    TrustPolicy wished;
    wished.signatures = SignatureMode::Off;  // no wish: the floor's
    if (!wishes.signatures.empty()) {
        const std::optional<SignatureMode> mode = SignatureModeNamed(wishes.signatures);
        if (!mode) {
            *error = "signatures takes off, check or require, not '" + wishes.signatures + "'";
            return floor;
        }
        wished.signatures = *mode;
    }
    if (wishes.approvedGiven) {
        wished.approved.emplace();
        if (!ReadChecksums(wishes.approved, &*wished.approved, error))
            return floor;
    }
    if (!ReadChecksums(wishes.blocked, &wished.blocked, error))
        return floor;
    return Tightened(floor, wished);
}

TrustPolicy ReadSystemPolicy(const std::string& path, std::string* error) {
    TrustPolicy policy;
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(platform::FilePath(path), ec))
        return policy;
    // Whatever goes wrong, nothing is flashed until the administrator has
    // mended the file: an empty approved list lets no package through.
    TrustPolicy strictest;
    strictest.signatures = SignatureMode::Require;
    strictest.approved.emplace();
    auto fail = [&](const std::string& why) {
        *error = "the system settings file " + path + ": " + why;
        return strictest;
    };
    if (const std::string who = platform::WhoElseMayWrite(path); !who.empty())
        return fail("not trusted: " + who);
    const std::optional<std::string> text = ReadSmallFile(path, kLargestSettingsFile);
    if (!text)
        return fail("cannot be read (it must be a regular file)");
    std::istringstream in(*text);
    std::vector<CLI::ConfigItem> items;
    try {
        items = CLI::ConfigTOML().from_config(in);
    } catch (const CLI::ParseError& e) {
        return fail(e.what());
    }
    TrustWishes wishes;
    for (const CLI::ConfigItem& item : items) {
        const std::string name = item.fullname();
        if (name == "signatures" && item.inputs.size() == 1) {
            wishes.signatures = item.inputs.front();
        } else if (name == "approved") {
            wishes.approved = item.inputs;
            wishes.approvedGiven = true;
        } else if (name == "blocked") {
            wishes.blocked = item.inputs;
        } else {
            return fail("'" + name +
                        "' is not a setting of this file (signatures, approved, blocked)");
        }
    }
    if (wishes.signatures.empty())
        wishes.signatures = "check";
    std::string wrong;
    TrustPolicy floor;
    floor.signatures = SignatureMode::Off;
    policy = WithWishes(floor, wishes, &wrong);
    if (!wrong.empty())
        return fail(wrong);
    return policy;
}

}  // namespace flash
