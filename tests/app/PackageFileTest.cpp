#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "app/logic/UpdaterDialogLogic.h"
#include "package/PackageBuilder.h"
#include "package/PackageFile.h"
#include "platform/FileAccess.h"
#include "tests/support/Fakes.h"
#include "tests/support/Fifo.h"
#include "tests/support/TempDir.h"

using ::testing::ElementsAre;

namespace {

// The 260-byte package of the format's worked example, written out by hand.
std::vector<uint8_t> ExamplePackage() {
    std::vector<uint8_t> p(260, 0);
    p[0] = 'Z';
    p[1] = 'R';
    p[2] = 'F';
    p[3] = 'W';
    p[4] = 0x19;
    p[5] = 0x01;
    p[12] = 1;
    p[13] = 7;
    p[14] = 'Q';
    p[256] = 0x10;
    p[257] = 0x20;
    p[258] = 0x30;
    p[259] = 0x60;
    return p;
}

}  // namespace

TEST(PackageFile, WorkedExampleIsValidAndBuiltByteForByte) {
    EXPECT_EQ(ExamplePackage(), BuildPackage({0x10, 0x20, 0x30}, 1, 7, 'Q'));
    TempDir dir;
    PackageHeader header;
    ASSERT_TRUE(CheckPackageFile(dir.Write("example.bfw", ExamplePackage()).c_str(), &header));
    EXPECT_EQ(0x00000119u, header.HeaderSum());
    EXPECT_EQ("1.7.Q", PackageVersionText(header));
    EXPECT_EQ(260u, GetFileSizeByName(dir.File("example.bfw").c_str()));
}

TEST(PackageFile, SelectionRefusesBrokenFilesAndKeepsTheirHeader) {
    TempDir dir;
    PackageHeader header;
    const std::vector<uint8_t> good = FirmwarePackage(99, 2, 12, 'Q');

    std::vector<uint8_t> lower = good;
    lower[0] = 'z';
    lower[1] = 'r';
    lower[2] = 'f';
    lower[3] = 'w';
    EXPECT_FALSE(CheckPackageFile(dir.Write("lower.bfw", lower).c_str(), &header));
    EXPECT_EQ('z', header.Bytes[0]) << "a file read whole leaves its header in the copy";

    std::vector<uint8_t> edited = good;
    edited[13] = 13;  // minor changed, sum not refreshed
    EXPECT_FALSE(CheckPackageFile(dir.Write("edited.bfw", edited).c_str(), &header));
    edited[14] = 'L';
    RefreshHeaderSum(&edited);
    edited[14] = 'Q';
    EXPECT_FALSE(CheckPackageFile(dir.Write("target.bfw", edited).c_str(), &header));

    std::vector<uint8_t> badBody = good;
    badBody.back() ^= 0x01;
    RefreshHeaderSum(&badBody);
    EXPECT_TRUE(CheckPackageFile(dir.Write("body.bfw", badBody).c_str(), &header))
        << "the body check byte is the upload's business";

    std::vector<uint8_t> headerOnly(good.begin(), good.begin() + 256);
    RefreshHeaderSum(&headerOnly);
    EXPECT_TRUE(CheckPackageFile(dir.Write("empty-body.bfw", headerOnly).c_str(), &header));

    std::vector<uint8_t> shortFile(good.begin(), good.begin() + 100);
    EXPECT_FALSE(CheckPackageFile(dir.Write("short.bfw", shortFile).c_str(), &header));
    EXPECT_EQ(0, header.Bytes[200]) << "zero past the end of a short file";

    header.Bytes[0] = 'K';
    EXPECT_FALSE(CheckPackageFile(dir.File("missing.bfw").c_str(), &header));
    EXPECT_FALSE(CheckPackageFile(dir.Write("zero.bfw", {}).c_str(), &header));
    EXPECT_FALSE(CheckPackageFile(dir.Path().c_str(), &header)) << "a folder";
    EXPECT_FALSE(CheckPackageFile(nullptr, &header));
    EXPECT_EQ('K', header.Bytes[0]) << "files not read leave the copy alone";

    const std::string held = dir.Write("held.bfw", good);
    auto holder = platform::ReadOnlyFile::Open(held.c_str(), platform::FileShare::None);
    ASSERT_TRUE(holder);
    EXPECT_FALSE(CheckPackageFile(held.c_str(), &header)) << "held without sharing elsewhere";
    holder.reset();
    EXPECT_TRUE(CheckPackageFile(held.c_str(), &header));
}

TEST(PackageFile, FileSizes) {
    TempDir dir;
    EXPECT_EQ(0u, GetFileSizeByName(nullptr));
    EXPECT_EQ(0u, GetFileSizeByName(""));
    EXPECT_EQ(0u, GetFileSizeByName(dir.File("none").c_str()));
    EXPECT_EQ(3u, GetFileSizeByName(dir.Write("three", {1, 2, 3}).c_str()));
}

TEST(PackageTarget, LettersTextsAndVersionFormats) {
    // A package fits the devices of its own family and of no other, however
    // the device was identified; no device answers to an older family's
    // letter or to none.
    for (const char target : {'Q', 'N', 'P', 'L', 'D', 'K', '1', '?'}) {
        for (const Family& device : Families()) {
            for (const uint32_t flags : {device.bits, device.fallbackBits}) {
                if (flags == 0)
                    continue;
                const bool fits = device.currentCommands && device.letter == target;
                EXPECT_EQ(fits ? PackageFit::Fits : PackageFit::WrongHardware,
                          PackageFitsDevice(kHwCurrentCommandFamily | flags, target))
                    << target << " on " << device.name;
            }
        }
    }
    EXPECT_EQ(PackageFit::NoDevice, PackageFitsDevice(0, 'Q'));
    EXPECT_STREQ("Varro & Pell", TargetHardwareText('P'));
    EXPECT_STREQ("Nerrin", TargetHardwareText('N'));
    EXPECT_STREQ("Unknown", TargetHardwareText('K'));

    PackageHeader header;
    header.Bytes[14] = 'Q';
    EXPECT_EQ("0.0.Q", PackageVersionText(header));
    header.Bytes[12] = 255;
    header.Bytes[13] = 7;
    EXPECT_EQ("255.7.Q", PackageVersionText(header));
    EXPECT_EQ("02.12.Q", DeviceVersionText({2, 12, 'Q'}));
    EXPECT_EQ("255.100.L", DeviceVersionText({255, 100, 'L'}));
}

TEST(PackageTarget, UpdateIsEnabledOnlyForAMatchingDevice) {
    FakeDialog dialog;
    BKQuillex device;
    UpdaterState state;
    state.Dialog = &dialog;
    state.Device = &device;
    state.Header.Bytes[14] = 'L';
    dialog.EnableControl(kControlUpdate, true);

    state.PackageLoaded = true;
    EXPECT_TRUE(CheckPackageTarget(state)) << "no device identified";
    EXPECT_FALSE(dialog.IsControlEnabled(kControlUpdate));
    EXPECT_TRUE(dialog.boxes.empty());

    device.HardwareFlags = 0x8091;
    state.PackageLoaded = false;
    EXPECT_TRUE(CheckPackageTarget(state));
    EXPECT_FALSE(dialog.IsControlEnabled(kControlUpdate));

    state.PackageLoaded = true;
    EXPECT_TRUE(CheckPackageTarget(state));
    EXPECT_TRUE(dialog.IsControlEnabled(kControlUpdate));
    EXPECT_TRUE(dialog.boxes.empty());

    device.HardwareFlags = 0x8485;
    EXPECT_FALSE(CheckPackageTarget(state));
    EXPECT_FALSE(dialog.IsControlEnabled(kControlUpdate));
    ASSERT_EQ(1u, dialog.boxes.size());
    EXPECT_EQ(
        "This firmware package does not match the type of hardware\ndeteced!\n\nThe package is "
        "0.0.L for Tessaly.",
        dialog.boxes[0].text);
    EXPECT_EQ("Cannot Update", dialog.boxes[0].caption);
    EXPECT_EQ(0x30u, dialog.boxes[0].icon);

    state.Header.Bytes[14] = 'K';
    device.HardwareFlags = 0x9800;
    EXPECT_FALSE(CheckPackageTarget(state)) << "no hardware answers to 'K'";
    EXPECT_EQ(2u, dialog.boxes.size());
}

TEST(PackageFile, SizesBeyondThePackageRulesAndPipesAreRefused) {
    TempDir dir;
    PackageHeader header;
    const std::vector<uint8_t> good = FirmwarePackage(299, 2, 12, 'Q');
    // A valid package followed by 4 GiB of zeros (sparse): its low 32 size
    // bits are those of the valid package alone.
    const std::string huge = dir.Write("huge.bfw", good);
    std::filesystem::resize_file(huge, (uint64_t{1} << 32) + good.size());
    EXPECT_EQ(good.size(), GetFileSizeByName(huge.c_str())) << "the low 32 bits, as documented";
    EXPECT_FALSE(CheckPackageFile(huge.c_str(), &header));

    const std::vector<uint8_t> largest = BuildPackage(std::vector<uint8_t>(65535, 3), 1, 1, 'Q');
    EXPECT_TRUE(CheckPackageFile(dir.Write("largest.bfw", largest).c_str(), &header));
    const std::vector<uint8_t> over = BuildPackage(std::vector<uint8_t>(65536, 3), 1, 1, 'Q');
    EXPECT_FALSE(CheckPackageFile(dir.Write("over.bfw", over).c_str(), &header))
        << "a body the upload command cannot describe is no package";

    const std::string fifo = dir.File("pipe.bfw");
    if (!kHasFifos)
        GTEST_SKIP() << kNoFifosHere;
    ASSERT_TRUE(MakeFifo(fifo));
    bool valid = true;
    EXPECT_TRUE(
        ReturnsWithoutBlocking(fifo, [&] { valid = CheckPackageFile(fifo.c_str(), &header); }));
    EXPECT_FALSE(valid);
}
