#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/cli/CliArguments.h"
#include "app/cli/CliCommands.h"
#include "tests/support/Fakes.h"
#include "tests/support/Fifo.h"
#include "tests/support/SimulatedPorts.h"
#include "tests/support/TempDir.h"

using ::testing::HasSubstr;

namespace {

// Runs one command line in-process; what it printed stays readable.
struct Outcome {
    int code = -1;
    std::string out, err;
};

std::string Drain(std::FILE* file) {
    std::rewind(file);
    std::string text;
    for (int c; (c = std::fgetc(file)) != EOF;)
        text.push_back(static_cast<char>(c));
    std::fclose(file);
    return text;
}

Outcome Brevik(std::vector<const char*> words, RecordingProgressBar* bar = nullptr) {
    words.insert(words.begin(), "brevik");
    CliArguments args;
    std::string error;
    Outcome run;
    if (!ParseCliArguments(static_cast<int>(words.size()), words.data(), &args, &error)) {
        run.err = error;
        return run;
    }
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    BKQuillex device;
    run.code = RunCliCommand(args, device, out, err, bar);
    run.out = Drain(out);
    run.err = Drain(err);
    return run;
}

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(CliArguments, OptionsAnywhereAndNumbers) {
    const char* words[] = {"brevik", "--trace", "read", "0x100", "--port", "COM2", "16", "out"};
    CliArguments args;
    std::string error;
    ASSERT_TRUE(ParseCliArguments(8, words, &args, &error));
    EXPECT_EQ("read", args.command);
    EXPECT_EQ((std::vector<std::string>{"0x100", "16", "out"}), args.operands);
    EXPECT_TRUE(args.trace);
    EXPECT_EQ("COM2", args.port);

    const char* dangling[] = {"brevik", "detect", "--port"};
    EXPECT_FALSE(ParseCliArguments(3, dangling, &args, &error));
    EXPECT_THAT(error, HasSubstr("--port needs a port"));
    const char* unknown[] = {"brevik", "detect", "--fast"};
    EXPECT_FALSE(ParseCliArguments(3, unknown, &args, &error));
    EXPECT_EQ("unknown option --fast", error);

    uint32_t value = 0;
    EXPECT_TRUE(ParseCliNumber("0x1F00", &value));
    EXPECT_EQ(0x1F00u, value);
    EXPECT_TRUE(ParseCliNumber("4294967295", &value));
    EXPECT_EQ(0xFFFFFFFFu, value);
    for (const char* bad : {"", "0x", "12k", "-1", "+5", "4294967296", "0x1FFFFFFFF", "x10"})
        EXPECT_FALSE(ParseCliNumber(bad, &value)) << bad;
}

TEST(Cli, UsageAndNoDevice) {
    KeepRealPortsOutOfReach();
    EXPECT_EQ(kCliUsageError, Brevik({}).code);
    Outcome unknown = Brevik({"flash"});
    EXPECT_EQ(kCliUsageError, unknown.code);
    EXPECT_THAT(unknown.err, HasSubstr("unknown command flash"));
    EXPECT_EQ(kCliUsageError, Brevik({"read", "0x10"}).code);
    EXPECT_EQ(kCliUsageError, Brevik({"eeprom", "0", "257"}).code);
    EXPECT_EQ(kCliUsageError, Brevik({"read", "0", "0xFFFFFFFF", "out.bin"}).code)
        << "no 4 GiB buffer for a 1 MiB device";
    EXPECT_EQ(kCliSucceeded, Brevik({"help"}).code);

    Outcome none = Brevik({"detect"});
    EXPECT_EQ(kCliFailed, none.code);
    EXPECT_THAT(none.err, HasSubstr("Device not found. Be sure it is connected and configured."));
    Outcome ports = Brevik({"ports"});
    EXPECT_EQ("No serial ports.\n", ports.out);
    Outcome elsewhere = Brevik({"detect", "--port", "COM9"});
    EXPECT_EQ(kCliFailed, elsewhere.code);
    EXPECT_THAT(elsewhere.err, HasSubstr("COM9 is not a serial port here"));
}

TEST(Cli, DetectAndUpdate) {
    OneSimulatedPort port;
    TempDir dir;
    Outcome ports = Brevik({"ports"});
    EXPECT_EQ("COM1  " + port.Device().PortPath() + "\n", ports.out);
    Outcome found = Brevik({"detect"});
    EXPECT_EQ(kCliSucceeded, found.code);
    EXPECT_EQ("Quillex USB v2.11.Q, firmware 02.11.Q, on COM1\n", found.out);

    const std::string broken = dir.Write("broken.bfw", std::vector<uint8_t>(300, 0x11));
    Outcome invalid = Brevik({"update", broken.c_str()});
    EXPECT_EQ(kCliFailed, invalid.code);
    EXPECT_THAT(invalid.err, HasSubstr("Invalid Firmware Package"));
    const std::string tessaly =
        dir.Write("tessaly.bfw", BuildPackage(MakeFirmwarePayload(999, 10, 12, 'L'), 10, 12, 'L'));
    Outcome foreign = Brevik({"update", tessaly.c_str()});
    EXPECT_EQ(kCliFailed, foreign.code);
    EXPECT_THAT(foreign.err, HasSubstr("Cannot Update: the package (10.12.L for Tessaly)"));
    EXPECT_EQ(0, port.Device().State().uploadsCompleted);

    const std::string package =
        dir.Write("quillex.bfw", BuildPackage(MakeFirmwarePayload(2999, 2, 12, 'Q'), 2, 12, 'Q'));
    RecordingProgressBar bar;
    Outcome update = Brevik({"update", package.c_str()}, &bar);
    EXPECT_EQ(kCliSucceeded, update.code) << update.err;
    EXPECT_THAT(update.out, HasSubstr("Updating Quillex USB v2.11.Q from 02.11.Q to 2.12.Q..."));
    EXPECT_THAT(update.out, HasSubstr("Update Successful. New version is 02.12.Q"));
    EXPECT_EQ(1, port.Device().State().uploadsCompleted);
    EXPECT_GE(bar.MaxPosition(), 11);
}

TEST(Cli, MemoryAndConfigurationMemory) {
    sim::DeviceConfig config;
    config.minor = 12;  // with bulk commands
    OneSimulatedPort port(config);
    TempDir dir;
    std::vector<uint8_t> data(600);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 7);
    const std::string source = dir.Write("data.bin", data);

    Outcome write = Brevik({"write", "0x100", source.c_str()});
    EXPECT_EQ(kCliSucceeded, write.code) << write.err;
    EXPECT_EQ("Wrote 600 bytes to 0x100\n", write.out);
    EXPECT_EQ(data, port.Device().Memory(0x100, 600));
    EXPECT_EQ(kCliSucceeded, Brevik({"verify", "0x100", source.c_str()}).code);

    const std::string copy = dir.File("copy.bin");
    Outcome read = Brevik({"read", "256", "600", copy.c_str(), "--no-bulk"});
    EXPECT_EQ(kCliSucceeded, read.code) << read.err;
    EXPECT_EQ(data, FileBytes(copy));

    data[599] ^= 0xFF;
    const std::string changed = dir.Write("changed.bin", data);
    Outcome differs = Brevik({"verify", "0x100", changed.c_str()});
    EXPECT_EQ(kCliFailed, differs.code);
    EXPECT_THAT(differs.err, HasSubstr("differs from"));
    Outcome missing = Brevik({"write", "0", dir.File("none.bin").c_str()});
    EXPECT_EQ(kCliFailed, missing.code);
    EXPECT_THAT(missing.err, HasSubstr("cannot be read"));

    Outcome eeprom = Brevik({"eeprom", "1", "7"});
    EXPECT_EQ(kCliSucceeded, eeprom.code) << eeprom.err;
    EXPECT_EQ("0001: 51 30 33 55 12 34 56\n", eeprom.out) << "the hardware version block";
    const std::string nowhere = dir.File("no-such-folder/out.bin");
    Outcome unwritable = Brevik({"read", "0", "16", nowhere.c_str()});
    EXPECT_EQ(kCliFailed, unwritable.code);
    EXPECT_THAT(unwritable.err, HasSubstr("cannot be written"));
}

TEST(Cli, RangesOutsideTheDeviceMemoryAndPipesAreRefused) {
    OneSimulatedPort port;  // a Quillex: 64 KiB of device memory
    TempDir dir;
    const std::vector<uint8_t> block(256, 0xA5);
    const std::string source = dir.Write("block.bin", block);
    const std::string out = dir.File("out.bin");
    port.Device().SetMemory(0xFF00, std::vector<uint8_t>(256, 0));

    // 0x1FF00 would land at 0xFF00 once the device drops bit 16.
    for (std::vector<const char*> words :
         {std::vector<const char*>{"write", "0x1FF00", source.c_str()},
          std::vector<const char*>{"write", "0xFFFF", source.c_str()},
          std::vector<const char*>{"verify", "0x10000", source.c_str()},
          std::vector<const char*>{"read", "0xFFF0", "0x20", out.c_str()},
          std::vector<const char*>{"read", "0xFFFFFFFF", "2", out.c_str()}}) {
        port.Device().ClearLog();
        Outcome refused = Brevik(words);
        EXPECT_EQ(kCliFailed, refused.code) << words[0] << " " << words[1];
        EXPECT_THAT(refused.err, HasSubstr("is outside the device's memory (0x0..0xFFFF, 64 KiB)"));
        EXPECT_EQ("", refused.out);
        for (const sim::Exchange& e : port.Device().Exchanges())
            EXPECT_THAT(e.command, ::testing::Not(::testing::AnyOf("R", "W", "w", "X", "ZR", "ZW")))
                << "only detection went out";
    }
    EXPECT_EQ(std::vector<uint8_t>(256, 0), port.Device().Memory(0xFF00, 256));
    EXPECT_FALSE(std::filesystem::exists(out));

    Outcome last = Brevik({"write", "0xFF00", source.c_str()});
    EXPECT_EQ(kCliSucceeded, last.code) << "the last 256 bytes are in range: " << last.err;
    EXPECT_EQ(block, port.Device().Memory(0xFF00, 256));

    const std::string fifo = dir.File("pipe.bin");
    ASSERT_TRUE(MakeFifo(fifo));
    for (const char* command : {"write", "verify"}) {
        Outcome piped;
        EXPECT_TRUE(ReturnsWithoutBlocking(fifo,
                                           [&] {
                                               piped = Brevik({command, "0", fifo.c_str()});
                                           }))
            << command << " must not wait for a writer on a named pipe";
        EXPECT_EQ(kCliFailed, piped.code);
        EXPECT_THAT(piped.err, HasSubstr("cannot be read"));
    }
}
