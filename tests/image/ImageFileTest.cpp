// Memory image files: what each record format yields, every fault named by
// its line, and what the writers make read back the same.
#include <gtest/gtest.h>

#include <random>

#include "image/ImageFile.h"

namespace {

using image::ImageFormat;

std::span<const uint8_t> Bytes(std::string_view text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

image::ParsedImage Read(std::string_view text, std::optional<ImageFormat> named = std::nullopt) {
    return image::ReadImage(Bytes(text), named);
}

struct Chunk {
    uint32_t address;
    std::vector<uint8_t> bytes;
};

TEST(ImageFiles, RecordFilesGiveTheirChunksWhateverTheirName) {
    const struct {
        const char* what;
        const char* text;
        std::optional<ImageFormat> named;
        ImageFormat format;
        std::vector<Chunk> chunks;
    } cases[] = {
        {"two Intel HEX records that touch, out of order, CRLF lines",
         ":02F00200CCDD63\r\n:02F00000AABBA9\r\n:00000001FF\r\n",
         std::nullopt,
         ImageFormat::IntelHex,
         {{0xF000, {0xAA, 0xBB, 0xCC, 0xDD}}}},
        {"extended linear and segment bases, a start address, a gap",
         ":020000040001F9\n:0100000011EE\n:020000021000EC\n:0100050022D8\n"
         ":0400000500000000F7\n:00000001FF\n",
         std::nullopt,
         ImageFormat::IntelHex,
         {{0x10000, {0x11}}, {0x10005, {0x22}}}},
        {"S19 with header, count and end; in a file named .hex",
         "S00600004844521B\nS1050100AABB94\nS5030001FB\nS9030000FC\n",
         ImageFormat::IntelHex,
         ImageFormat::SRecords,
         {{0x0100, {0xAA, 0xBB}}}},
        {"S28 and S37 records in one file",
         "S2060100000102F5\nS307010000030303EE\nS70500000000FA\n",
         std::nullopt,
         ImageFormat::SRecords,
         {{0x10000, {0x01, 0x02}}, {0x1000003, {0x03, 0x03}}}},
        {"no record at the start: binary, from address 0",
         "\x01:020000",
         std::nullopt,
         ImageFormat::Binary,
         {{0, {0x01, ':', '0', '2', '0', '0', '0', '0'}}}},
    };
    for (const auto& c : cases) {
        const image::ParsedImage parsed = Read(c.text, c.named);
        ASSERT_TRUE(parsed.image) << c.what << ": line " << parsed.line << " " << parsed.problem;
        EXPECT_EQ(c.format, parsed.image->format) << c.what;
        ASSERT_EQ(c.chunks.size(), parsed.image->chunks.size()) << c.what;
        for (size_t i = 0; i < c.chunks.size(); ++i) {
            EXPECT_EQ(c.chunks[i].address, parsed.image->chunks[i].address) << c.what;
            EXPECT_EQ(c.chunks[i].bytes, parsed.image->chunks[i].bytes) << c.what;
        }
    }
}

TEST(ImageFiles, EveryFaultIsRefusedWithItsLine) {
    const struct {
        const char* text;
        std::optional<ImageFormat> named;
        uint32_t line;
        const char* problem;
    } cases[] = {
        {":0100000011EE\n:010001002200\n:00000001FF\n", {}, 2, "bad checksum: 0x00, where 0xDC"},
        {":0100000011EE\n\n:01000100G2DC\n", {}, 3, "'G' is not a hexadecimal digit"},
        {":0100000011EE\n:0100000022DD\n:00000001FF\n", {}, 2, "overlaps line 1 at 0x0"},
        {":0200000011EE\n", {}, 1, "says 2 data bytes and has 1"},
        {":0100000011EE\n:0100010022DC\n", {}, 2, "without the end-of-file record"},
        {":00000001FF\n:0100000011EE\n", {}, 2, "follows the end-of-file record"},
        {":0100000611E8\n:00000001FF\n", {}, 1, "record type 06"},
        {":020000040001F9\n:01FFFF0011F0\n:00000001FF\n", {}, 2, ""},
        {":020000040100F9\n:0100000011EE\n:0100000022DD\n:00000001FF\n", {}, 3, "overlaps"},
        {":0100000011EE\n:020000040100F9\n:0100000022DD\n:00000001FF\n",
         {},
         3,
         "more than 16 MiB above the lowest address, 0x0"},
        {"\x7F\x45LF binary", ImageFormat::IntelHex, 1, "starts with byte 0x7F, not ':'"},
        {"S1050100AABB95\nS9030000FC\n", {}, 1, "bad checksum: 0x95, where 0x94"},
        {"S1050100AABB94\nS5030002FA\nS9030000FC\n", {}, 2, "counts 2 data records"},
        {"S1050100AABB94\nS4030000FC\n", {}, 2, "S4 record"},
        {"S10201\nS9030000FC\n", ImageFormat::SRecords, 1, "too short for an S1 record"},
        {"ROM image", ImageFormat::SRecords, 1, "starts with 'R', not S0 to S9"},
        {":00000001FF\n", {}, 0, "holds no data records"},
    };
    for (const auto& c : cases) {
        const image::ParsedImage parsed = Read(c.text, c.named);
        if (*c.problem == '\0') {
            // 0x1FFFF is the last byte of its 64 KiB: no fault.
            EXPECT_TRUE(parsed.image) << c.text << parsed.problem;
            continue;
        }
        EXPECT_FALSE(parsed.image) << c.text;
        EXPECT_EQ(c.line, parsed.line) << c.text << ": " << parsed.problem;
        EXPECT_NE(std::string::npos, parsed.problem.find(c.problem))
            << c.text << ": " << parsed.problem;
    }
}

TEST(ImageFiles, WrittenRecordsReadBackTheSameAndFillKeepsTheChunks) {
    std::mt19937 rng(37);
    const struct {
        uint32_t address;
        size_t size;
    } cases[] = {{0, 1}, {0xF000, 4096}, {0xFFF7, 300}, {0xFFFFF0, 40}, {0x7FFFFF00, 513}};
    for (const auto& c : cases) {
        std::vector<uint8_t> bytes(c.size);
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(rng());
        for (const ImageFormat format : {ImageFormat::IntelHex, ImageFormat::SRecords}) {
            const std::string text = image::WriteImage(format, c.address, bytes);
            const image::ParsedImage parsed = Read(text);
            ASSERT_TRUE(parsed.image) << image::FormatName(format) << c.address << parsed.problem;
            EXPECT_EQ(format, parsed.image->format);
            ASSERT_EQ(1u, parsed.image->chunks.size());
            EXPECT_EQ(c.address, parsed.image->Lowest());
            EXPECT_EQ(bytes, parsed.image->chunks[0].bytes) << image::FormatName(format);
        }
    }
    const image::ParsedImage gapped = Read(":0100000011EE\n:0100030022DA\n:00000001FF\n");
    ASSERT_TRUE(gapped.image);
    EXPECT_EQ(2u, gapped.image->ByteCount());
    const image::MemoryImage filled = gapped.image->Filled(0xFF);
    ASSERT_EQ(1u, filled.chunks.size());
    EXPECT_EQ((std::vector<uint8_t>{0x11, 0xFF, 0xFF, 0x22}), filled.chunks[0].bytes);
    ASSERT_NE(nullptr, gapped.image->FirstRecordBeyond(3));
    EXPECT_EQ(2u, gapped.image->FirstRecordBeyond(3)->line);
    EXPECT_EQ(nullptr, gapped.image->FirstRecordBeyond(4));
    EXPECT_EQ(ImageFormat::SRecords, image::FormatOfName("rom.S19"));
    EXPECT_EQ(std::nullopt, image::FormatOfName("dir.hex/rom"));
}

}  // namespace
