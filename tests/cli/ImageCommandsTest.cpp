// Memory images as ROM tools write them, the device-state commands and the
// reload loop, against the virtual device.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/cli/CliExitCodes.h"
#include "image/ImageFile.h"
#include "sim/VirtualDevice.h"
#include "tests/support/CliRun.h"
#include "tests/support/FileBytes.h"
#include "tests/support/SimulatedPorts.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;

namespace {

std::vector<uint8_t> Text(const std::string& text) {
    return {text.begin(), text.end()};
}

size_t CountOf(const sim::VirtualDevice& device, const char* command) {
    size_t count = 0;
    for (const sim::Exchange& e : device.Exchanges())
        count += e.command == command;
    return count;
}

template <typename Done>
bool WaitFor(Done done, int milliseconds = 10000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

TEST(Cli, RecordFilesGoWhereAddressSaysTheirGapsUntouchedTheirFaultsByLine) {
    OneSimulatedPort port;  // a Quillex: 64 KiB
    TempDir dir;
    // A ROM linked at 0xF000: 4 bytes, a gap of 4, 2 bytes.
    const std::string rom =
        dir.Write("rom.hex", Text(":04F000000102030402\n:02F00800AABBA1\n:00000001FF\n"));
    const std::string srec =
        dir.Write("rom.s19", Text("S107F00001020304FE\nS105F008AABB9D\nS9030000FC\n"));
    const std::vector<uint8_t> gap = {0x55, 0x55, 0x55, 0x55};
    const struct {
        std::vector<const char*> words;
        uint32_t at;
        std::vector<uint8_t> expected;
    } writes[] = {
        {{"write", "0", rom.c_str()}, 0, {1, 2, 3, 4, 0x55, 0x55, 0x55, 0x55, 0xAA, 0xBB}},
        {{"write", "0xF000", srec.c_str()},
         0xF000,
         {1, 2, 3, 4, 0x55, 0x55, 0x55, 0x55, 0xAA, 0xBB}},
        {{"write", "0x100", rom.c_str(), "--fill", "0xFF"},
         0x100,
         {1, 2, 3, 4, 0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0xBB}},
    };
    for (const auto& w : writes) {
        port.Device().SetMemory(w.at, std::vector<uint8_t>(10, 0x55));
        const Outcome written = Brevik(w.words);
        EXPECT_EQ(kCliSucceeded, written.code) << w.words[1] << written.err;
        EXPECT_EQ(w.expected, port.Device().Memory(w.at, 10)) << w.words[1];
        std::vector<const char*> verify = w.words;
        verify[0] = "verify";
        EXPECT_EQ(kCliSucceeded, Brevik(verify).code) << w.words[1];
    }
    EXPECT_EQ("Wrote 6 bytes of " + rom + " (Intel HEX) to 0x0..0x9, in 2 parts\n",
              Brevik({"write", "0", rom.c_str()}).out);
    port.Device().SetMemory(0x8, {0});
    EXPECT_THAT(Brevik({"verify", "0", srec.c_str()}).err,
                HasSubstr("1 bytes differ, the first at 0x8 (device 0x00, file 0xAA)"));

    const Outcome info = Brevik({"info", srec.c_str()});
    EXPECT_EQ(kCliSucceeded, info.code) << info.err;
    EXPECT_THAT(info.out, HasSubstr("S-records"));
    EXPECT_THAT(info.out, HasSubstr("0xF000..0xF009 (10 bytes)"));
    EXPECT_THAT(info.out, HasSubstr("6 bytes in 2 parts"));

    // Refused before anything is written, the line named.
    const std::string bad =
        dir.Write("bad.hex", Text(":04F000000102030402\n:02F00800AABBA2\n:00000001FF\n"));
    const std::string cut = dir.Write("cut.mot", Text("S107F00001020304FE\nS105F008AA"));
    const struct {
        std::vector<const char*> words;
        int code;
        const char* says;
    } refusals[] = {
        {{"write", "0", bad.c_str()}, kCliFileError, "bad.hex: line 2: has a bad checksum"},
        {{"write", "0", cut.c_str()},
         kCliFileError,
         "line 2: says 5 bytes follow its count and has 3"},
        {{"write", "0xFFF8", rom.c_str()},
         kCliUsageError,
         "rom.hex: line 2: 0x10000..0x10001 is outside"},
        {{"write", "0", rom.c_str(), "--fill", "256"}, kCliUsageError, "--fill takes a byte"},
        {{"write", "0", rom.c_str(), "--format", "elf"}, kCliUsageError, "--format"},
    };
    for (const auto& r : refusals) {
        port.Device().ClearLog();
        const Outcome refused = Brevik(r.words);
        EXPECT_EQ(r.code, refused.code) << r.says << refused.err;
        EXPECT_THAT(refused.err, HasSubstr(r.says));
        EXPECT_EQ(0u, CountOf(port.Device(), "W")) << r.says;
    }

    // read writes the format its name (or --format) says; it reads back the same.
    port.Device().SetMemory(0x1000, {9, 8, 7, 6, 5});
    for (const char* name : {"out.hex", "out.srec", "out.dat"}) {
        const std::string out = dir.File(name);
        ASSERT_EQ(kCliSucceeded, Brevik({"read", "0x1000", "5", out.c_str()}).code) << name;
        const image::ParsedImage back = image::ReadImage(FileBytes(out), image::FormatOfName(out));
        ASSERT_TRUE(back.image) << name << back.problem;
        EXPECT_EQ(std::string(name) == "out.dat" ? 0u : 0x1000u, back.image->Lowest()) << name;
        EXPECT_EQ((std::vector<uint8_t>{9, 8, 7, 6, 5}), back.image->chunks[0].bytes) << name;
    }
    const Outcome forced = Brevik({"read", "0x1000", "1", "-", "--format", "ihex"});
    EXPECT_EQ(":0110000009E6\n:00000001FF\n", forced.out);
}

TEST(Cli, BanksModesSerialNumberAndStatusWhereTheFamilyHasThem) {
    sim::DeviceConfig tessaly;
    tessaly.letter = 'L';
    tessaly.major = 10;
    tessaly.minor = 5;
    sim::DeviceConfig dunmarra;
    dunmarra.letter = 'D';
    dunmarra.major = 3;
    dunmarra.minor = 2;
    const struct {
        sim::DeviceConfig config;
        std::vector<const char*> words;
        int code;
        const char* says;
    } cases[] = {
        {tessaly, {"bank"}, kCliSucceeded, "Emulation bank 0 (read/write bank 0)"},
        {tessaly, {"bank", "3"}, kCliSucceeded, "Emulation bank set to 3"},
        {tessaly, {"bank", "9"}, kCliUsageError, "bank takes N from 0 to 7"},
        {tessaly,
         {"emulate"},
         kCliDeviceRefused,
         "a Tessaly has no emulation modes; nothing was sent"},
        {tessaly, {"status"}, kCliSucceeded, "Status OO, words 0x0102 0x0304 0x0506"},
        {dunmarra, {"emulate"}, kCliSucceeded, "Emulation mode E"},
        {dunmarra, {"emulate", "T"}, kCliSucceeded, "Emulation mode set to T"},
        {dunmarra, {"emulate", "X"}, kCliUsageError, "emulate takes E or T"},
        {dunmarra, {"serial"}, kCliSucceeded, "Serial number 444D32363132303037"},
        {dunmarra, {"bank", "1"}, kCliDeviceRefused, "a Dunmarra has no banks; nothing was sent"},
        {sim::DeviceConfig{}, {"serial"}, kCliDeviceRefused, "a Quillex has no serial number"},
    };
    for (const auto& c : cases) {
        OneSimulatedPort port(c.config);
        ASSERT_EQ(kCliSucceeded, Brevik({"detect"}).code);
        const std::vector<sim::Exchange> detection = port.Device().Exchanges();
        port.Device().ClearLog();
        const Outcome run = Brevik(c.words);
        EXPECT_EQ(c.code, run.code) << c.says << run.err;
        EXPECT_THAT(run.out + run.err, HasSubstr(c.says));
        if (c.code == kCliDeviceRefused) {
            EXPECT_EQ(detection.size(), port.Device().Exchanges().size())
                << c.says << ": only detection went out";
        }
    }
    OneSimulatedPort port(tessaly);
    ASSERT_EQ(kCliSucceeded, Brevik({"bank", "5"}).code);
    EXPECT_EQ(5, port.Device().State().activeEmulationBank);
    const Outcome json = Brevik({"status", "--json"});
    EXPECT_THAT(json.out, HasSubstr("\"words\": [\n      258,\n      772,\n      1286"));
}

TEST(Cli, WriteWatchWritesOnlyWhatChangedAndKeepsTheLastGoodImage) {
    OneSimulatedPort port;
    TempDir dir;
    std::vector<uint8_t> rom(4096);
    for (size_t i = 0; i < rom.size(); ++i)
        rom[i] = static_cast<uint8_t>(i * 13);
    const std::string path = dir.File("rom.hex");
    auto save = [&](const std::string& text) {
        // As a build does: a new file put in place.
        dir.Write("rom.hex.new", Text(text));
        std::filesystem::rename(dir.File("rom.hex.new"), path);
    };
    save(image::WriteImage(image::ImageFormat::IntelHex, 0xF000, rom));

    const char* words[] = {"brevik", "write", "0x2000", path.c_str(), "--watch"};
    CliArguments args;
    ASSERT_TRUE(ParseCliArguments(5, words, &args).run);
    BKQuillex device;
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    int code = -1;
    std::thread watch([&] { code = RunCliCommand(args, device, out, err, nullptr); });
    EXPECT_TRUE(WaitFor([&] { return port.Device().Memory(0x2000, rom.size()) == rom; }));

    port.Device().ClearLog();
    rom[0x310] ^= 0xFF;
    save(image::WriteImage(image::ImageFormat::IntelHex, 0xF000, rom));
    EXPECT_TRUE(WaitFor([&] { return port.Device().Memory(0x2310, 1)[0] == rom[0x310]; }));
    // A build that failed half way: passed over, the device keeps its image.
    save(":10F0000000\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    device.CancelRequested = 1;
    watch.join();
    EXPECT_EQ(kCliCancelled, code) << "as update --watch ends";
    EXPECT_EQ(rom, port.Device().Memory(0x2000, rom.size()));
    EXPECT_EQ(1u, CountOf(port.Device(), "W")) << "one block of 256 bytes";
    const std::string said = Drain(out);
    EXPECT_THAT(said, HasSubstr("16 blocks written and verified"));
    EXPECT_THAT(said, HasSubstr("1 block written and verified"));
    EXPECT_THAT(Drain(err), HasSubstr("line 1: says 16 data bytes and has 0; passed over"));
}
