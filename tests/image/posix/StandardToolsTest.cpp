// Record files of the standard tools read byte for byte, and ours read by
// them the same: srecord's srec_cat and binutils' objcopy, both ways.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "image/ImageFile.h"
#include "tests/support/FileBytes.h"
#include "tests/support/TempDir.h"

namespace {

bool RunTool(const std::string& command) {
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

image::MemoryImage ReadBack(const std::string& path) {
    const image::ParsedImage parsed = image::ReadImage(FileBytes(path), std::nullopt);
    EXPECT_TRUE(parsed.image) << path << ": line " << parsed.line << ": " << parsed.problem;
    return parsed.image.value_or(image::MemoryImage{image::ImageFormat::Binary, {{}}, {}});
}

}  // namespace

TEST(StandardTools, TheirRecordFilesReadAsTheyMeantAndOursReadTheSameByThem) {
    ASSERT_TRUE(RunTool("srec_cat -VERSion") && RunTool("objcopy --version"))
        << "srec_cat (srecord) and objcopy (binutils): tools/install-deps.sh installs them";
    TempDir dir;
    std::mt19937 rng(2026);
    std::vector<uint8_t> bytes(5000), second(300);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(rng());
    for (uint8_t& b : second)
        b = static_cast<uint8_t>(rng());
    const std::string raw = dir.Write("rom.bin", bytes);
    const std::string raw2 = dir.Write("second.bin", second);
    const std::string q = "'" + dir.Path() + "/";

    // Theirs, read by us: one part at the address they were told, or two
    // with the gap between them.
    const struct {
        const char* name;
        std::string command;
        uint32_t address;
        image::ImageFormat format;
    } theirs[] = {
        {"objcopy.hex", "objcopy -I binary -O ihex --change-addresses 0xF000", 0xF000,
         image::ImageFormat::IntelHex},
        {"objcopy.srec", "objcopy -I binary -O srec --change-addresses 0x12000", 0x12000,
         image::ImageFormat::SRecords},
        {"srec_cat.hex", "srec_cat -offset 0x1F00 -o", 0x1F00, image::ImageFormat::IntelHex},
        {"srec_cat.s37", "srec_cat -offset 0x1000000 -o", 0x1000000, image::ImageFormat::SRecords},
    };
    for (const auto& t : theirs) {
        const std::string out = dir.File(t.name);
        const bool objcopy = t.command.rfind("objcopy", 0) == 0;
        const std::string kind =
            t.format == image::ImageFormat::IntelHex ? " -intel" : " -motorola";
        const std::string command = objcopy ? t.command + " " + q + "rom.bin' '" + out + "'"
                                            : "srec_cat " + q + "rom.bin' -binary " +
                                                  t.command.substr(9) + " '" + out + "'" + kind;
        ASSERT_TRUE(RunTool(command)) << command;
        const image::MemoryImage read = ReadBack(out);
        EXPECT_EQ(t.format, read.format) << t.name;
        ASSERT_EQ(1u, read.chunks.size()) << t.name;
        EXPECT_EQ(t.address, read.Lowest()) << t.name;
        EXPECT_EQ(bytes, read.chunks[0].bytes) << t.name;
    }
    const std::string gaps = dir.File("gaps.s19");
    ASSERT_TRUE(RunTool("srec_cat " + q + "rom.bin' -binary -offset 0x100 " + q +
                        "second.bin' -binary -offset 0x2000 -o '" + gaps + "' -motorola"));
    const image::MemoryImage gapped = ReadBack(gaps);
    ASSERT_EQ(2u, gapped.chunks.size());
    EXPECT_EQ(bytes, gapped.chunks[0].bytes);
    EXPECT_EQ(0x2000u, gapped.chunks[1].address);
    EXPECT_EQ(second, gapped.chunks[1].bytes);

    // Ours, read by them: the same bytes from the lowest address on.
    for (const auto& [format, name, kind] :
         {std::tuple{image::ImageFormat::IntelHex, "ours.hex", "ihex"},
          std::tuple{image::ImageFormat::SRecords, "ours.s28", "srec"}}) {
        const std::string text = image::WriteImage(format, 0x3F000, bytes);
        const std::string ours = dir.Write(name, {text.begin(), text.end()});
        const std::string back = dir.File(std::string(name) + ".objcopy.bin");
        ASSERT_TRUE(
            RunTool("objcopy -I " + std::string(kind) + " -O binary '" + ours + "' '" + back + "'"))
            << name;
        EXPECT_EQ(bytes, FileBytes(back)) << name << " through objcopy";
        const std::string cat = dir.File(std::string(name) + ".srec_cat.bin");
        ASSERT_TRUE(RunTool("srec_cat '" + ours + "' " +
                            (format == image::ImageFormat::IntelHex ? "-intel" : "-motorola") +
                            " -offset -0x3F000 -o '" + cat + "' -binary"))
            << name;
        EXPECT_EQ(bytes, FileBytes(cat)) << name << " through srec_cat";
    }
}
