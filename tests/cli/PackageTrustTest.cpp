// What may be flashed at all: a package's signature against the trusted
// keys under each policy, the approved and blocked lists, and the
// administrator's policy, which nothing of the user's loosens (settings
// file, --config, environment, options), through the command line.
#include "app/flash/PackageTrust.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/Environment.h"
#include "tests/support/CliRun.h"
#include "tests/support/SigningFixtures.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;

namespace {

void WriteText(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// A package, its signature (if any) beside it, and both folders.
struct TrustScene {
    TempDir dir;
    std::string package = dir.Write("fw.bfw", fixtures::SignedPackage());
    flash::TrustFolders folders{dir.File("etc"), dir.File("user")};
    void SystemPolicy(const std::string& toml) { WriteText(folders.system + "/config", toml); }
    void SystemKey(const char* name, const char* pem) {
        WriteText(folders.system + "/keys/" + name + ".pem", pem);
    }
    void UserKey(const char* name, const char* pem) {
        WriteText(folders.user + "/keys/" + name + ".pem", pem);
    }
    flash::PackageTrust Judge(const flash::TrustWishes& wishes = {}) const {
        std::string error;
        const flash::TrustSetup setup = flash::LoadTrust(folders, wishes, &error);
        EXPECT_EQ("", error);
        return flash::JudgePackage(fixtures::SignedPackage(), package, setup);
    }
};

// The settings file of this user in folder while it lives, on either system.
class ScopedSettingsHome {
  public:
    explicit ScopedSettingsHome(const std::string& folder) {
        for (const char* name : {"XDG_CONFIG_HOME", "APPDATA"}) {
            saved_.emplace_back(name, platform::EnvironmentValue(name));
            platform::SetEnvironmentValue(name, folder.c_str());
        }
    }
    ~ScopedSettingsHome() {
        for (const auto& [name, value] : saved_)
            platform::SetEnvironmentValue(name, value ? value->c_str() : nullptr);
    }

  private:
    std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

const std::string kSigned = fixtures::kSignedPackageSha256;
const std::string kOther = "sha256:" + std::string(64, 'a');

}  // namespace

TEST(PackageTrust, EverySignatureUnderEveryPolicy) {
    enum Signature { None, Maker, Other, Garbage };
    struct Case {
        const char* name;
        std::string policy;  // the administrator's file; "" for none
        Signature signature;
        bool makerKeyTrusted;
        flash::SignatureState state;
        bool refused;
        const char* said;  // in the verdict or its reason
    };
    using S = flash::SignatureState;
    const Case cases[] = {
        {"signed by a trusted key", "", Maker, true, S::Signed, false,
         "signed by maker, key 6DAB376D"},
        {"unsigned, checked", "", None, true, S::NotSigned, false, "not signed"},
        {"unsigned, required", "signatures = \"require\"", None, true, S::NotSigned, true,
         "signatures are required"},
        {"signed by an unknown key", "", Other, true, S::NoTrustedKey, true,
         "not made over this package by the trusted key"},
        {"no key trusted at all", "", Maker, false, S::NoTrustedKey, true,
         "no maker's key is trusted here"},
        {"garbage signature", "", Garbage, true, S::Malformed, true, "not an ECDSA signature"},
        {"garbage with no key", "", Garbage, false, S::Malformed, true, "not an ECDSA signature"},
        {"off: a bad signature is not looked at", "signatures = \"off\"", Other, true,
         S::NotChecked, false, "not checked"},
        {"approved and signed", "approved = [\"" + kSigned + "\"]", Maker, true, S::Signed, false,
         "signed by maker"},
        {"not approved", "approved = [\"" + kOther + "\"]", Maker, true, S::Signed, true,
         "not on the approved list"},
        {"blocked although signed", "blocked = [\"" + kSigned + "\"]", Maker, true, S::Signed, true,
         "is on the blocked list"},
        {"blocked while off", "signatures = \"off\"\nblocked = [\"" + kSigned + "\"]", None, true,
         S::NotChecked, true, "blocked"},
        {"a broken policy file lets nothing through", "signatures = \"sometimes\"", Maker, true,
         S::Signed, true, "the system settings file"},
    };
    for (const Case& c : cases) {
        TrustScene s;
        if (!c.policy.empty())
            s.SystemPolicy(c.policy);
        if (c.makerKeyTrusted)
            s.SystemKey("maker", fixtures::kMakerKey);
        s.UserKey("unrelated", fixtures::kP384Key);  // not taken, never a match
        if (c.signature == Maker)
            WriteBytes(s.package + ".sig", fixtures::MakerSignature());
        if (c.signature == Other)
            WriteBytes(s.package + ".sig", fixtures::OtherSignature());
        if (c.signature == Garbage)
            WriteText(s.package + ".sig", "-----BEGIN SIGNATURE-----\n");
        const flash::PackageTrust trust = s.Judge();
        EXPECT_EQ(c.state, trust.state) << c.name;
        EXPECT_EQ(c.refused, trust.refused) << c.name;
        EXPECT_THAT(trust.said + " | " + trust.why, HasSubstr(c.said)) << c.name;
        EXPECT_EQ(kSigned, trust.sha256) << c.name;
    }
}

TEST(PackageTrust, KeysOfBothFoldersAndThoseNotTaken) {
    TrustScene s;
    s.SystemKey("maker", fixtures::kMakerKey);
    s.UserKey("mine", fixtures::kOtherKey);
    s.UserKey("rsa", fixtures::kRsaKey);
    WriteText(s.folders.user + "/keys/notes.txt", "not a key file");
    const flash::KeyRing ring = flash::LoadKeys(std::vector<flash::KeyFolder>{
        {s.folders.system + "/keys", "system"}, {s.folders.user + "/keys", "user"}});
    ASSERT_EQ(2u, ring.keys.size());
    EXPECT_EQ("maker", ring.keys[0].name);
    EXPECT_EQ(fixtures::kMakerFingerprint, ring.keys[0].fingerprint);
    EXPECT_EQ("system", ring.keys[0].origin);
    EXPECT_EQ("mine", ring.keys[1].name);
    EXPECT_EQ("user", ring.keys[1].origin);
    ASSERT_EQ(1u, ring.problems.size());
    EXPECT_THAT(ring.problems[0].why, HasSubstr("not a P-256 ECDSA key"));
}

// The user's every way of asking for less than the administrator's policy:
// each only tightens it, and an unsigned package stays refused (exit 6)
// before any device is looked for.
TEST(PackageTrust, NoWayOfTheUsersLoosensTheAdministratorsPolicy) {
    TrustScene s;
    s.SystemPolicy("signatures = \"require\"\napproved = [\"" + kSigned + "\", \"" + kOther +
                   "\"]\nblocked = [\"sha256:" + std::string(64, 'b') + "\"]\n");
    // This user's settings file, where the system keeps it.
    const std::string home = s.dir.File("home");
    WriteText(home + "/brevik/config", "signatures = \"off\"\n");
    WriteText(home + "/Brevik/config", "signatures = \"off\"\n");
    const std::string given = s.dir.File("given.toml");
    WriteText(given, "signatures = \"off\"\n");
    struct Way {
        const char* name;
        std::vector<const char*> words;
        const char* environment;  // BREVIK_SIGNATURES
        bool settingsFile = false;
    };
    const std::string loosen = "sha256:" + std::string(64, 'c');
    const Way ways[] = {
        {"the settings file", {}, nullptr, true},
        {"--config", {"--config", given.c_str()}, nullptr},
        {"the environment", {}, "off"},
        {"--signatures", {"--signatures", "off"}, nullptr},
        {"--approved", {"--approved", loosen.c_str()}, nullptr},
    };
    for (const Way& way : ways) {
        platform::SetEnvironmentValue("BREVIK_SIGNATURES", way.environment);
        const ScopedSettingsHome settings(way.settingsFile ? home : s.dir.File("nowhere"));
        auto run = [&](std::vector<const char*> words) {
            words.insert(words.end(), way.words.begin(), way.words.end());
            return BrevikIn(s.folders, words);
        };
        const ::Outcome keys = run({"keys", "--json"});
        ASSERT_EQ(0, keys.code) << way.name << keys.out;
        const nlohmann::json policy = nlohmann::json::parse(keys.out)["policy"];
        EXPECT_EQ("require", policy["signatures"]) << way.name;
        EXPECT_GE(2u, policy["approved"].size()) << way.name;
        for (const auto& approved : policy["approved"])
            EXPECT_NE(loosen, approved) << way.name;
        EXPECT_EQ(1u, policy["blocked"].size()) << way.name;
        const ::Outcome update = run({"update", s.package.c_str()});
        EXPECT_EQ(6, update.code) << way.name;
        EXPECT_THAT(update.err, HasSubstr("fw.bfw: the package ")) << way.name;
    }
    platform::SetEnvironmentValue("BREVIK_SIGNATURES", nullptr);
    // The user's own settings narrow the approved list to one.
    WriteText(given, "approved = [\"" + kOther + "\"]\n");
    const ::Outcome narrowed = BrevikIn(s.folders, {"keys", "--json", "--config", given.c_str()});
    ASSERT_EQ(0, narrowed.code) << narrowed.err;
    EXPECT_EQ(nlohmann::json::array({kOther}),
              nlohmann::json::parse(narrowed.out)["policy"]["approved"]);
    // A malformed checksum is a usage error, named.
    const ::Outcome wrong = BrevikIn(s.folders, {"info", "--blocked", "sha256:12",
                                                 s.package.c_str(), "--blocked", kOther.c_str()});
    EXPECT_EQ(2, wrong.code);
    EXPECT_THAT(wrong.err, HasSubstr("'sha256:12' is not a package checksum"));
}
