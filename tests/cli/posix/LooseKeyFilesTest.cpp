// A key, a key folder or the administrator's settings that others may
// write (or a link someone could point elsewhere) is not trusted: the key
// is not taken, the policy lets nothing through, and each is named.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/flash/PackageTrust.h"
#include "platform/TrustedFiles.h"
#include "tests/support/SigningFixtures.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;
namespace fs = std::filesystem;

TEST(LooseKeyFiles, WhatOthersMayChangeIsNotTrustedAndSaid) {
    struct Case {
        const char* name;
        const char* loosened;  // under the system folder
        fs::perms added;
        bool link;
        const char* said;
    };
    const Case cases[] = {
        {"a key anyone may write", "keys/maker.pem", fs::perms::others_write, false,
         "anyone may write it"},
        {"a key folder anyone may write", "keys", fs::perms::others_write, false,
         "anyone may write it"},
        {"a key its group may write", "keys/maker.pem", fs::perms::group_write, false, "its group"},
        {"a key that is a link", "keys/maker.pem", fs::perms::none, true, "it is a link"},
        {"the settings anyone may write", "config", fs::perms::others_write, false,
         "anyone may write it"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const flash::TrustFolders folders{dir.File("etc"), dir.File("user")};
        fs::create_directories(folders.system + "/keys");
        std::ofstream(folders.system + "/config") << "signatures = \"check\"\n";
        const std::string key = folders.system + "/keys/maker.pem";
        std::ofstream(c.link ? dir.File("elsewhere.pem") : key) << fixtures::kMakerKey;
        if (c.link)
            fs::create_symlink(dir.File("elsewhere.pem"), key);
        const std::string loosened = folders.system + "/" + c.loosened;
        // The group case needs a group other than root's.
        if (c.added == fs::perms::group_write && ::getegid() == 0) {
            ASSERT_EQ(0, ::lchown(loosened.c_str(), static_cast<uid_t>(-1), 1)) << c.name;
        }
        if (c.added != fs::perms::none)
            fs::permissions(loosened, c.added, fs::perm_options::add);
        EXPECT_THAT(platform::WhoElseMayWrite(loosened), HasSubstr(c.said)) << c.name;

        std::string error;
        const flash::TrustSetup setup = flash::LoadTrust(folders, {}, &error);
        const bool settings = std::string(c.loosened) == "config";
        EXPECT_EQ(settings ? 1u : 0u, setup.keys.keys.size()) << c.name;
        if (!settings) {
            ASSERT_EQ(1u, setup.keys.problems.size()) << c.name;
            EXPECT_EQ(loosened, setup.keys.problems[0].path) << c.name;
        }
        const std::string package = dir.Write("fw.bfw", fixtures::SignedPackage());
        const flash::PackageTrust trust =
            flash::JudgePackage(fixtures::SignedPackage(), package, setup);
        EXPECT_EQ(settings, trust.refused) << c.name << ": " << trust.why;
    }
}
