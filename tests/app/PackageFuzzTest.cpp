// Thousands of mutated packages through both package checks, judged against
// a model of the layout rules written apart from the library.
#include <gtest/gtest.h>

#include <random>

#include "devicelink/ResultCodes.h"
#include "fuzz/Models.h"
#include "package/PackageBuilder.h"
#include "package/PackageFile.h"
#include "tests/support/TempDir.h"

namespace {

using Verdicts = model::PackageVerdicts;

Verdicts Model(const std::vector<uint8_t>& f) {
    return model::Package(f);
}

std::vector<uint8_t> Mutate(std::vector<uint8_t> p, std::mt19937& rng) {
    std::uniform_int_distribution<int> kind(0, 7);
    std::uniform_int_distribution<int> byte(0, 255);
    auto at = [&](size_t size) { return std::uniform_int_distribution<size_t>(0, size - 1)(rng); };
    switch (kind(rng)) {
        case 0:  // flip one byte anywhere
            if (!p.empty())
                p[at(p.size())] = static_cast<uint8_t>(byte(rng));
            break;
        case 1:  // flip a byte and make the header sum right again
            if (!p.empty())
                p[at(p.size())] ^= 0x5A;
            RefreshHeaderSum(&p);
            break;
        case 2:  // cut the file short
            p.resize(p.empty() ? 0 : at(p.size()));
            break;
        case 3:  // append garbage
            for (int i = byte(rng); i >= 0; --i)
                p.push_back(static_cast<uint8_t>(byte(rng)));
            break;
        case 4:  // a header-only or nearly empty file
            p.resize(std::uniform_int_distribution<size_t>(250, 258)(rng));
            RefreshHeaderSum(&p);
            break;
        case 5:  // break the magic
            if (p.size() > 3)
                p[at(4)] = static_cast<uint8_t>(byte(rng));
            break;
        case 6:  // a body over the 16-bit limit, otherwise valid
            p = BuildPackage(std::vector<uint8_t>(65536 + byte(rng) % 3, 0x11), 1, 1, 'Q');
            break;
        default:  // unchanged
            break;
    }
    return p;
}

}  // namespace

TEST(PackageChecksRandomized, VerdictsFollowTheLayoutRules) {
    std::mt19937 rng(20261207);
    std::uniform_int_distribution<size_t> length(0, 700);
    int selectable = 0, uploadable = 0;
    for (int i = 0; i < 6000; ++i) {
        std::vector<uint8_t> base = FirmwarePackage(length(rng), 2, 12, 'Q');
        std::vector<uint8_t> p = Mutate(base, rng);
        const Verdicts expected = Model(p);
        const Package checked = PackageFromBytes(p);
        ASSERT_EQ(expected.selectable, checked.Selectable()) << "case " << i;
        ASSERT_EQ(expected.uploadable, checked.Uploadable()) << "case " << i;
        selectable += expected.selectable;
        uploadable += expected.uploadable;
    }
    EXPECT_GT(selectable, 500) << "the mutations must leave valid packages too";
    EXPECT_GT(uploadable, 300);
}

TEST(PackageChecksRandomized, FilesOnDiskGiveTheSameVerdicts) {
    std::mt19937 rng(7);
    TempDir dir;
    for (int i = 0; i < 300; ++i) {
        std::vector<uint8_t> p = Mutate(FirmwarePackage(300, 1, 2, 'L'), rng);
        const std::string path = dir.Write("p.bfw", p);
        PackageHeader header;
        ASSERT_EQ(Model(p).selectable, CheckPackageFile(path.c_str(), &header)) << "case " << i;
    }
}
