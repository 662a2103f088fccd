#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/cli/CliArguments.h"
#include "app/cli/ConsoleProgressBar.h"
#include "app/cli/JsonDocument.h"
#include "app/cli/RunCommand.h"
#include "package/PackageBuilder.h"
#include "package/PackageFormat.h"
#include "platform/BridgeLatency.h"
#include "platform/Environment.h"
#include "platform/FileAccess.h"
#include "platform/PortTable.h"
#include "platform/SerialPort.h"
#include "sim/DeviceLines.h"
#include "sim/LoopbackLine.h"
#include "tests/support/CliRun.h"
#include "tests/support/Fakes.h"
#include "tests/support/Fifo.h"
#include "tests/support/FileBytes.h"
#include "tests/support/SimulatedPorts.h"
#include "tests/support/SystemFacts.h"
#include "tests/support/TempDir.h"
#include "tests/support/TimerWatch.h"

using ::testing::HasSubstr;

TEST(CliArguments, OptionsAnywhereHelpVersionAndNumbers) {
    const char* words[] = {"brevik", "--trace", "read", "0x100", "--port=COM2", "16", "out"};
    CliArguments args;
    CliParse parse = ParseCliArguments(7, words, &args);
    ASSERT_TRUE(parse.run) << parse.err;
    EXPECT_EQ("read", args.command);
    EXPECT_EQ((std::vector<std::string>{"0x100", "16", "out"}), args.operands);
    EXPECT_TRUE(args.trace);
    EXPECT_EQ("COM2", args.port);
    const char* shortPort[] = {"brevik", "-p", "COM3", "detect", "--json"};
    ASSERT_TRUE(ParseCliArguments(5, shortPort, &args).run);
    EXPECT_EQ("COM3", args.port);
    EXPECT_TRUE(args.json);
    const char* dashes[] = {"brevik", "write", "--", "0x10", "-odd-name.bin"};
    ASSERT_TRUE(ParseCliArguments(5, dashes, &args).run);
    EXPECT_EQ((std::vector<std::string>{"0x10", "-odd-name.bin"}), args.operands);

    platform::SetEnvironmentValue("BREVIK_PORT", "COM4");
    const char* plain[] = {"brevik", "detect"};
    ASSERT_TRUE(ParseCliArguments(2, plain, &args).run);
    EXPECT_EQ("COM4", args.port) << "the environment's default";
    const char* given[] = {"brevik", "detect", "-p", "COM5"};
    ASSERT_TRUE(ParseCliArguments(4, given, &args).run);
    EXPECT_EQ("COM5", args.port) << "the command line wins";
    platform::SetEnvironmentValue("BREVIK_PORT", nullptr);

    // A wrong option: one line naming it, and where to look; no usage dump.
    const char* unknown[] = {"brevik", "detect", "--fastest"};
    parse = ParseCliArguments(3, unknown, &args);
    EXPECT_FALSE(parse.run);
    EXPECT_EQ(kCliUsageError, parse.exitCode);
    EXPECT_THAT(parse.err, HasSubstr("--fastest"));
    EXPECT_THAT(parse.err, HasSubstr("Run 'brevik --help' for more."));
    EXPECT_EQ(2, std::count(parse.err.begin(), parse.err.end(), '\n'));
    const char* dangling[] = {"brevik", "detect", "--port"};
    EXPECT_EQ(kCliUsageError, ParseCliArguments(3, dangling, &args).exitCode);

    const char* help[] = {"brevik", "--help"};
    parse = ParseCliArguments(2, help, &args);
    EXPECT_FALSE(parse.run);
    EXPECT_EQ(kCliSucceeded, parse.exitCode);
    EXPECT_THAT(parse.out, HasSubstr("update"));
    EXPECT_THAT(parse.out, HasSubstr("130  cancelled by Ctrl+C"));
    const char* commandHelp[] = {"brevik", "update", "-h"};
    parse = ParseCliArguments(3, commandHelp, &args);
    EXPECT_EQ(kCliSucceeded, parse.exitCode);
    EXPECT_THAT(parse.out, HasSubstr("--allow-reinstall"));
    const char* version[] = {"brevik", "--version"};
    parse = ParseCliArguments(2, version, &args);
    EXPECT_EQ(std::string("brevik ") + BREVIK_VERSION + "\n", parse.out);

    uint32_t value = 0;
    EXPECT_TRUE(ParseCliNumber("0x1F00", &value));
    EXPECT_EQ(0x1F00u, value);
    EXPECT_TRUE(ParseCliNumber("4294967295", &value));
    EXPECT_EQ(0xFFFFFFFFu, value);
    for (const char* bad :
         {"", "0x", "12k", "-1", "+5", "4294967296", "0x1FFFFFFFF", "x10", " 12", "0x0x10", "1 "})
        EXPECT_FALSE(ParseCliNumber(bad, &value)) << bad;
}

TEST(Cli, UsageAndNoDevice) {
    KeepRealPortsOutOfReach();
    EXPECT_EQ(kCliUsageError, Brevik({}).code);
    Outcome unknown = Brevik({"flash"});
    EXPECT_EQ(kCliUsageError, unknown.code);
    EXPECT_THAT(unknown.err, HasSubstr("flash"));
    EXPECT_EQ(kCliUsageError, Brevik({"read", "0x10"}).code);
    EXPECT_EQ(kCliUsageError, Brevik({"eeprom", "0", "257"}).code);
    EXPECT_EQ(kCliUsageError, Brevik({"read", "0", "0xFFFFFFFF", "out.bin"}).code)
        << "no 4 GiB buffer for a 1 MiB device";
    EXPECT_EQ(kCliSucceeded, Brevik({"help"}).code);

    Outcome none = Brevik({"detect"});
    EXPECT_EQ(kCliNoDevice, none.code);
    EXPECT_THAT(none.err, HasSubstr("no serial ports here"));
    Outcome ports = Brevik({"ports"});
    EXPECT_EQ("No serial ports.\n", ports.out);
    Outcome elsewhere = Brevik({"detect", "--port", "COM9"});
    EXPECT_EQ(kCliNoDevice, elsewhere.code);
    EXPECT_THAT(elsewhere.err, HasSubstr("COM9 is not a serial port here"));
}

// The user's settings file gives defaults under the options' own names;
// the command line and BREVIK_PORT win, a misspelt setting is a usage error.
TEST(CliArguments, SettingsFileGivesDefaultsTheCommandLineWins) {
    TempDir dir;
    const std::string home = dir.Path();
    std::filesystem::create_directories(home + "/brevik");
    platform::SetEnvironmentValue("XDG_CONFIG_HOME", home.c_str());
    platform::SetEnvironmentValue("APPDATA", home.c_str());
    platform::SetEnvironmentValue("BREVIK_PORT", nullptr);
    struct Case {
        const char* settings;
        std::vector<const char*> words;
        const char* port;
        bool fast;
        bool quiet;
        const char* refused;  // "": parsed
    } cases[] = {
        {"port = \"usb:A1\"\nquiet = true\n[update]\nfast = true\n",
         {"update", "p.bfw"},
         "usb:A1",
         true,
         true,
         ""},
        {"port = \"usb:A1\"\n", {"-p", "COM3", "detect"}, "COM3", false, false, ""},
        {"fast = true\n", {"update", "p.bfw"}, "", false, false, "not able to parse fast"},
        {"bogus = 1\n", {"detect"}, "", false, false, "not able to parse bogus"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        for (const std::string folder : {"/brevik", "/Brevik"})
            std::ofstream(home + folder + "/config") << c.settings;
        std::vector<const char*> words = c.words;
        words.insert(words.begin(), "brevik");
        CliArguments args;
        const CliParse parse =
            ParseCliArguments(static_cast<int>(words.size()), words.data(), &args);
        EXPECT_EQ(*c.refused == '\0', parse.run) << parse.err;
        if (*c.refused != '\0') {
            EXPECT_EQ(kCliUsageError, parse.exitCode);
            EXPECT_THAT(parse.err, HasSubstr(c.refused));
            EXPECT_THAT(parse.err, HasSubstr("the settings file " + home));
            continue;
        }
        EXPECT_EQ(c.port, args.port);
        EXPECT_EQ(c.fast, args.fast);
        EXPECT_EQ(c.quiet, args.quiet);
    }
    std::ofstream(home + "/brevik/config") << "port = \"usb:A1\"\n";
    platform::SetEnvironmentValue("BREVIK_PORT", "COM9");
    CliArguments args;
    const char* detect[] = {"brevik", "detect"};
    ASSERT_TRUE(ParseCliArguments(2, detect, &args).run);
    EXPECT_EQ("COM9", args.port) << "the environment wins over the file";
    const char* device[] = {"brevik", "--config", home.c_str(), "detect"};
    const CliParse folder = ParseCliArguments(4, device, &args);
    EXPECT_THAT(folder.err, HasSubstr("is not a regular file")) << "never waited on, never read";

    // Whichever way the line names the port, it wins over BREVIK_PORT and the file.
    struct Given {
        std::vector<const char*> words;
        const char* port;
    } given[] = {
        {{"-qp", "COM2", "update", "p.bfw"}, "COM2"},
        {{"-qpCOM2", "update", "p.bfw"}, "COM2"},
        {{"update", "-qp", "COM2", "p.bfw"}, "COM2"},
        {{"-pCOM2", "detect"}, "COM2"},
        {{"--port=COM2", "detect"}, "COM2"},
        {{"--port", "COM2", "detect"}, "COM2"},
        {{"-q", "detect"}, "COM9"},
        {{"--capture", "-pcap.log", "detect"}, "COM9"},
        {{"write", "0", "--", "-p"}, "COM9"},
    };
    for (const Given& g : given) {
        std::vector<const char*> words = g.words;
        words.insert(words.begin(), "brevik");
        SCOPED_TRACE(testing::PrintToString(words));
        const CliParse parse =
            ParseCliArguments(static_cast<int>(words.size()), words.data(), &args);
        EXPECT_TRUE(parse.run) << parse.err;
        EXPECT_EQ(g.port, args.port);
    }
    // A default file that cannot be read as settings stands aside for the one given.
    const std::string other = home + "/other.toml";
    std::ofstream(other) << "quiet = true\n";
    std::filesystem::remove(home + "/brevik/config");
    std::filesystem::create_directories(home + "/brevik/config");
    const char* plain[] = {"brevik", "detect"};
    EXPECT_THAT(ParseCliArguments(2, plain, &args).err, HasSubstr("is not a regular file"));
    const char* named[] = {"brevik", "--config", other.c_str(), "detect"};
    ASSERT_TRUE(ParseCliArguments(4, named, &args).run);
    EXPECT_TRUE(args.quiet);
    for (const char* name : {"BREVIK_PORT", "XDG_CONFIG_HOME", "APPDATA"})
        platform::SetEnvironmentValue(name, nullptr);
}

TEST(Cli, DetectUpdateAndItsGuardRails) {
    OneSimulatedPort port;
    TempDir dir;
    Outcome ports = Brevik({"ports"});
    const std::string kind =
        sim::IsLoopbackName(port.Device().PortPath().c_str()) ? "loopback" : "pseudo-terminal";
    EXPECT_EQ("COM1  " + port.Device().PortPath() + "  " + kind + "\n", ports.out);
    Outcome found = Brevik({"detect"});
    EXPECT_EQ(kCliSucceeded, found.code);
    EXPECT_EQ("Quillex USB v2.11.Q, firmware 02.11.Q, on COM1\n", found.out);

    // Packages that fail a check say which, and never reach the device.
    std::vector<uint8_t> good = FirmwarePackage(999, 2, 12, 'Q');
    std::vector<uint8_t> badSum = good;
    badSum[300] ^= 1;
    std::vector<uint8_t> badBody = good;
    badBody.back() ^= 1;
    RefreshHeaderSum(&badBody);
    // A file that cannot be read is a file error, one that fails a check a
    // bad package.
    const std::tuple<std::string, std::string, int> bad[] = {
        {dir.File("none.bfw"), "no such file", kCliFileError},
        {dir.Path(), "a folder, not a package file", kCliFileError},
        {dir.Write("junk.bfw", std::vector<uint8_t>(300, 0x11)), "no \"ZRFW\"", kCliBadPackage},
        {dir.Write("sum.bfw", badSum), "its header sum is wrong", kCliBadPackage},
        {dir.Write("body.bfw", badBody), "its body check byte is wrong", kCliBadPackage},
        {dir.Write("short.bfw", std::vector<uint8_t>(good.begin(), good.begin() + 100)),
         "shorter than a package header", kCliBadPackage}};
    for (const auto& [path, why, code] : bad) {
        Outcome refused = Brevik({"update", path.c_str()});
        EXPECT_EQ(code, refused.code) << path;
        EXPECT_EQ(code, Brevik({"info", path.c_str()}).code) << "info as update: " << path;
        EXPECT_THAT(refused.err, HasSubstr(why)) << path;
        EXPECT_THAT(refused.err, ::testing::Not(HasSubstr("QX_E"))) << "no internal names";
    }
    const std::string tessaly = dir.Write("tessaly.bfw", FirmwarePackage(999, 10, 12, 'L'));
    Outcome foreign = Brevik({"update", tessaly.c_str()});
    EXPECT_EQ(kCliBadPackage, foreign.code);
    EXPECT_THAT(foreign.err, HasSubstr("the package (10.12.L for Tessaly) does not fit"));
    EXPECT_EQ(0, port.Device().State().uploadsCompleted);

    // The same or an older version only when asked for.
    const std::string same = dir.Write("same.bfw", FirmwarePackage(999, 2, 11, 'Q'));
    const std::string older = dir.Write("older.bfw", FirmwarePackage(999, 2, 9, 'Q'));
    Outcome reinstall = Brevik({"update", same.c_str()});
    EXPECT_EQ(kCliFailed, reinstall.code);
    EXPECT_THAT(reinstall.err, HasSubstr("already has 02.11.Q; --allow-reinstall"));
    Outcome downgrade = Brevik({"update", older.c_str()});
    EXPECT_EQ(kCliFailed, downgrade.code);
    EXPECT_THAT(downgrade.err, HasSubstr("older than the device's 02.11.Q; --allow-older"));
    EXPECT_EQ(0, port.Device().State().uploadsCompleted);

    const std::string package = dir.Write("quillex.bfw", FirmwarePackage(2999, 2, 12, 'Q'));
    port.Device().ClearLog();
    Outcome dry = Brevik({"update", "--dry-run", package.c_str()});
    EXPECT_EQ(kCliSucceeded, dry.code) << dry.err;
    EXPECT_THAT(dry.out, HasSubstr("Would update Quillex USB v2.11.Q from 02.11.Q to 02.12.Q "
                                   "(3000 bytes). Nothing was sent."));
    for (const sim::Exchange& e : port.Device().Exchanges())
        EXPECT_NE("f", e.command) << "a dry run sends no upload";

    RecordingProgressBar bar;
    Outcome update = Brevik({"update", package.c_str()}, &bar);
    EXPECT_EQ(kCliSucceeded, update.code) << update.err;
    EXPECT_THAT(update.out,
                HasSubstr("Updating Quillex USB v2.11.Q from 02.11.Q to 02.12.Q (not signed)..."));
    EXPECT_THAT(update.out, HasSubstr("Update Successful. New version is 02.12.Q"));
    EXPECT_EQ(1, port.Device().State().uploadsCompleted);
    EXPECT_GE(bar.MaxPosition(), 11);
    EXPECT_EQ(kCliSucceeded, Brevik({"update", "--allow-older", older.c_str()}).code);
    EXPECT_EQ(kCliSucceeded, Brevik({"update", "--allow-reinstall", older.c_str()}).code);

    // A device that says success but comes back with another version.
    const std::vector<uint8_t> unstamped =
        BuildPackage(std::vector<uint8_t>(999, 0x22), 2, 12, 'Q');  // no image stamp
    Outcome unchanged = Brevik({"update", dir.Write("unstamped.bfw", unstamped).c_str()});
    EXPECT_EQ(kCliFailed, unchanged.code);
    EXPECT_THAT(unchanged.err,
                HasSubstr("the device reports 02.09.Q after the update, not 02.12.Q"));

    const nlohmann::json readBack = nlohmann::json::parse(
        Brevik({"--json", "update", "--allow-reinstall", dir.File("unstamped.bfw").c_str()}).out);
    EXPECT_EQ("read_back", readBack["update"]["stage"]);
    EXPECT_EQ("other_firmware", readBack["update"]["device_state"]);
}

// A failed update says how far it came, what the device is left with and
// what to do next, in words and in --json.
TEST(Cli, FailedUpdatesSayWhereTheyStoppedAndWhatTheDeviceHas) {
    OneSimulatedPort port;
    TempDir dir;
    // 3000 bytes of body: 12 transmissions, the last of 184 bytes and the sum.
    const std::string package = dir.Write("quillex.bfw", FirmwarePackage(2999, 2, 12, 'Q'));
    struct Case {
        const char* reply;
        sim::Fault fault;
        const char* stage;
        int acknowledged;
        const char* deviceState;
        const char* said;  // in the "stopped" or "device" line
    };
    const Case cases[] = {
        {"f",
         {sim::FaultKind::WrongByte, 'X', 0, 1},
         "command",
         0,
         "old_firmware",
         "at the upload command, before any block (4 bytes sent)"},
        {"f.block",
         {sim::FaultKind::WrongByte, '?', 0, 1},
         "block",
         0,
         "old_firmware",
         "at block 1 of 12 (0 acknowledged, 260 bytes sent)"},
        {"f.block",
         {sim::FaultKind::WrongByte, 'R', 0, 1, 2},
         "block",
         2,
         "old_firmware",
         "at block 3 of 12 (2 acknowledged, 772 bytes sent)"},
        {"f.final",
         {sim::FaultKind::WrongByte, 'H', 0, 1},
         "final_status",
         12,
         "old_firmware",
         "says the package is not for its hardware and did not store it"},
        {"f.final",
         {sim::FaultKind::WrongByte, 'W', 0, 1},
         "final_status",
         12,
         "flash_failed",
         "storing the image into its flash failed"},
        // Unplugged before the final status (the line is gone afterwards).
        {"f.final",
         {sim::FaultKind::Disconnect, 'X', 200, 1},
         "final_status",
         12,
         "unknown",
         "no final status came"},
    };
    bool all = false;  // every other case through --all, whose entries say the same
    for (const Case& c : cases) {
        port.Device().InjectFault(c.reply, c.fault);
        const Outcome words = Brevik({"update", "--allow-reinstall", package.c_str()});
        EXPECT_NE(kCliSucceeded, words.code) << c.said;
        EXPECT_THAT(words.err, HasSubstr(c.said));
        EXPECT_THAT(words.err, HasSubstr("\n  next:    "));
        // Where the device may report the new version already, the next
        // step names the option a retry then needs.
        const std::string state = c.deviceState;
        EXPECT_EQ(state == "flash_failed" || state == "unknown",
                  words.err.find("with --allow-reinstall") != std::string::npos)
            << words.err;
        if (c.fault.kind == sim::FaultKind::Disconnect)
            break;
        port.Device().InjectFault(c.reply, c.fault);
        all = !all;
        const nlohmann::json doc =
            nlohmann::json::parse(Brevik({"--json", "update", all ? "--all" : "--allow-reinstall",
                                          "--allow-reinstall", package.c_str()})
                                      .out);
        const nlohmann::json& result = all ? doc["updates"][0] : doc["update"];
        EXPECT_EQ(c.stage, result["stage"]) << c.said;
        EXPECT_EQ(c.acknowledged, result["blocks_acknowledged"]) << c.said;
        EXPECT_EQ(c.deviceState, result["device_state"]) << c.said;
        EXPECT_FALSE(result["hint"].get<std::string>().empty()) << c.said;
    }
}

// --wait: a device plugged in while the command waits is found and used;
// without one the wait ends in its time with exit 3, and Ctrl+C ends it.
TEST(Cli, WaitTakesADevicePluggedInLaterAndEndsInTime) {
    const ScopedPortTable nothing({});
    sim::VirtualDevice device;
    device.Start();
    struct Case {
        std::vector<const char*> words;
        int code;
        const char* said;
    };
    const Case cases[] = {
        {{"detect", "--wait=20"}, kCliSucceeded, "firmware 02.11.Q, on COM1"},
        {{"detect", "--wait=3000000"}, kCliSucceeded, "firmware 02.11.Q, on COM1"},
        {{"detect", "--all", "--wait"}, kCliSucceeded, "firmware 02.11.Q, on COM1"},
        {{"--port", "COM1", "detect", "--wait=20"}, kCliSucceeded, "firmware 02.11.Q, on COM1"},
    };
    for (const Case& c : cases) {
        platform::PortTable::SetOverride({});
        // Plugged in once the command waits.
        std::thread plug([&device] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            platform::PortTable::SetOverride({device.PortPath()});
        });
        const Outcome run = Brevik(c.words);
        plug.join();
        EXPECT_EQ(c.code, run.code) << c.words[0] << run.err;
        EXPECT_THAT(run.out, HasSubstr(c.said)) << c.words[0];
        EXPECT_THAT(run.err, HasSubstr("waiting")) << c.words[0];
    }
    // A port that stays silent is not held while the wait lasts: past its
    // probe, another opener gets it until the wait ends.
    auto silent = sim::CreateDeviceLine();
    platform::PortTable::SetOverride({silent->HostPath()});
    using Clock = std::chrono::steady_clock;
    std::atomic<bool> done{false};
    std::vector<std::pair<Clock::time_point, bool>> opens;
    std::thread opener([&] {
        // Not in the way of the command's own first open.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        while (!done) {
            platform::OpenError error;
            const bool opened =
                platform::SerialPort::Open(silent->HostPath().c_str(), &error) != nullptr;
            opens.emplace_back(Clock::now(), opened);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    const Outcome waited = Brevik({"-p", "COM1", "detect", "--wait=5"});
    const Clock::time_point ended = Clock::now();
    done = true;
    opener.join();
    EXPECT_EQ(kCliNoDevice, waited.code) << waited.err;
    int duringTheWait = 0;
    for (const auto& [when, opened] : opens) {
        if (when > ended - std::chrono::milliseconds(2000) &&
            when < ended - std::chrono::milliseconds(300)) {
            ++duringTheWait;
            EXPECT_TRUE(opened) << "the silent port was held through the wait";
        }
    }
    EXPECT_GT(duringTheWait, 0);
    platform::PortTable::SetOverride({});
    const Outcome late = Brevik({"detect", "--wait=1"});
    EXPECT_EQ(kCliNoDevice, late.code);
    EXPECT_THAT(late.err, HasSubstr("no device answered within 1 s (--wait)"));
    const Outcome stopped = Brevik({"update", "--wait", "none.bfw"}, nullptr, true);
    EXPECT_EQ(kCliFileError, stopped.code) << "the package is read before any wait";
    const Outcome cancelled = Brevik({"detect", "--wait"}, nullptr, true);
    EXPECT_EQ(kCliCancelled, cancelled.code) << cancelled.err;
}

TEST(Cli, InfoAndJson) {
    TempDir dir;
    KeepRealPortsOutOfReach();
    const std::string package = dir.Write("q.bfw", FirmwarePackage(99, 2, 12, 'Q'));
    Outcome info = Brevik({"info", package.c_str()});
    EXPECT_EQ(kCliSucceeded, info.code) << info.err;
    EXPECT_THAT(info.out, HasSubstr("version       02.12.Q"));
    EXPECT_THAT(info.out, HasSubstr("target        Q (Quillex)"));
    EXPECT_THAT(info.out, HasSubstr("size          356 bytes (body 100)"));
    EXPECT_THAT(info.out, HasSubstr("verdict       valid"));

    Outcome json = Brevik({"info", package.c_str(), "--json"});
    EXPECT_EQ(kCliSucceeded, json.code);
    const nlohmann::json doc = nlohmann::json::parse(json.out);
    EXPECT_EQ(cli::kJsonSchema, doc["schema"]);
    EXPECT_EQ("info", doc["command"]);
    EXPECT_EQ(true, doc["ok"]);
    EXPECT_EQ(0, doc["exit_code"]);
    EXPECT_EQ("02.12.Q", doc["package"]["version"]);
    EXPECT_EQ("Q", doc["package"]["target"]);
    EXPECT_EQ(100, doc["package"]["body_size"]);
    EXPECT_EQ(true, doc["package"]["checks"]["header_sum"]);
    EXPECT_EQ("", json.err);

    Outcome failed = Brevik({"detect", "--json"});
    EXPECT_EQ(kCliNoDevice, failed.code);
    const nlohmann::json error = nlohmann::json::parse(failed.out);
    EXPECT_EQ(false, error["ok"]);
    EXPECT_EQ(kCliNoDevice, error["exit_code"]);
    EXPECT_EQ("no-device", error["error"]["key"]);
    EXPECT_EQ("", failed.err) << "with --json the error is in the document";

    OneSimulatedPort port;
    const nlohmann::json detected = nlohmann::json::parse(Brevik({"detect", "--json"}).out);
    EXPECT_EQ("Quillex USB v2.11.Q", detected["device"]["description"]);
    EXPECT_EQ("02.11.Q", detected["device"]["firmware"]);
    EXPECT_EQ("COM1", detected["device"]["port"]);
    const nlohmann::json listed = nlohmann::json::parse(Brevik({"ports", "--json"}).out);
    EXPECT_EQ(port.Device().PortPath(), listed["ports"][0]["path"]);
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
    Outcome toStdout = Brevik({"read", "256", "600", "-"});
    EXPECT_EQ(kCliSucceeded, toStdout.code) << toStdout.err;
    EXPECT_EQ(std::string(data.begin(), data.end()), toStdout.out) << "the bytes alone";
    EXPECT_EQ(kCliUsageError, Brevik({"read", "256", "600", "-", "--json"}).code)
        << "the bytes and the document cannot share standard output";

    data[599] ^= 0xFF;
    data[300] ^= 0x01;
    const std::string changed = dir.Write("changed.bin", data);
    Outcome differs = Brevik({"verify", "0x100", changed.c_str()});
    EXPECT_EQ(kCliFailed, differs.code);
    EXPECT_THAT(differs.err, HasSubstr("2 bytes differ, the first at 0x22C"));
    Outcome missing = Brevik({"write", "0", dir.File("none.bin").c_str()});
    EXPECT_EQ(kCliFileError, missing.code);
    EXPECT_THAT(missing.err, HasSubstr("no such file"));

    Outcome eeprom = Brevik({"eeprom", "1", "7"});
    EXPECT_EQ(kCliSucceeded, eeprom.code) << eeprom.err;
    EXPECT_EQ("0001: 51 30 33 55 12 34 56\n", eeprom.out) << "the hardware version block";

    // The output is opened before the device is asked: nothing goes out.
    port.Device().ClearLog();
    const std::string nowhere = dir.File("no-such-folder/out.bin");
    Outcome unwritable = Brevik({"read", "0", "16", nowhere.c_str()});
    EXPECT_EQ(kCliFileError, unwritable.code);
    EXPECT_THAT(unwritable.err, HasSubstr("cannot be written"));
    EXPECT_TRUE(port.Device().Exchanges().empty());
    // A read that fails leaves no half-written file behind.
    port.Device().InjectFault("ZR", {sim::FaultKind::NoReply});
    port.Device().InjectFault("R", {sim::FaultKind::NoReply});
    const std::string lost = dir.File("lost.bin");
    Outcome silent = Brevik({"read", "0", "512", lost.c_str()});
    EXPECT_EQ(kCliNoDevice, silent.code);
    EXPECT_THAT(silent.err, HasSubstr("read failed: the device stopped answering"));
    EXPECT_FALSE(std::filesystem::exists(lost));
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
        EXPECT_EQ(kCliUsageError, refused.code) << words[0] << " " << words[1];
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
    if (!kHasFifos)
        GTEST_SKIP() << kNoFifosHere;
    ASSERT_TRUE(MakeFifo(fifo));
    for (const char* command : {"write", "verify"}) {
        Outcome piped;
        EXPECT_TRUE(ReturnsWithoutBlocking(fifo,
                                           [&] {
                                               piped = Brevik({command, "0", fifo.c_str()});
                                           }))
            << command << " must not wait for a writer on a named pipe";
        EXPECT_EQ(kCliFileError, piped.code);
        EXPECT_THAT(piped.err, HasSubstr("cannot be read"));
    }
}

TEST(Cli, SeveralDevicesPortsByNumberAndEveryDeviceAtOnce) {
    KeepRealPortsOutOfReach();
    TempDir dir;
    sim::DeviceConfig tessaly;
    tessaly.major = 10;
    tessaly.minor = 11;
    tessaly.letter = 'L';
    sim::VirtualDevice first, second, third(tessaly);
    ASSERT_TRUE(first.Start() && second.Start() && third.Start());
    auto silent = sim::CreateDeviceLine();
    ScopedPortTable table(
        {silent->HostPath(), first.PortPath(), second.PortPath(), third.PortPath()});

    Outcome named = Brevik({"detect", "--port", "COM3"});
    EXPECT_EQ(kCliSucceeded, named.code) << named.err;
    EXPECT_EQ("Quillex USB v2.11.Q, firmware 02.11.Q, on COM3\n", named.out)
        << "COM3 keeps its number";
    EXPECT_EQ(kCliNoDevice, Brevik({"detect", "-p", "COM1"}).code) << "a silent port";
    sim::VirtualDevice outside;
    ASSERT_TRUE(outside.Start());
    EXPECT_EQ("Quillex USB v2.11.Q, firmware 02.11.Q, on " + outside.PortPath() + "\n",
              Brevik({"detect", "--port", outside.PortPath().c_str()}).out)
        << "a path in no table is shown as named";

    Outcome every = Brevik({"detect", "--all"});
    EXPECT_EQ(kCliSucceeded, every.code) << every.err;
    EXPECT_EQ(
        "Quillex USB v2.11.Q, firmware 02.11.Q, on COM2\n"
        "Quillex USB v2.11.Q, firmware 02.11.Q, on COM3\n"
        "Tessaly USB v10.11.L, firmware 10.11.L, on COM4\n",
        every.out);

    // Changing a device while several answer wants the one named.
    const std::string package = dir.Write("q.bfw", FirmwarePackage(999, 2, 12, 'Q'));
    const std::string data = dir.Write("d.bin", std::vector<uint8_t>(256, 7));
    for (std::vector<const char*> words : {std::vector<const char*>{"update", package.c_str()},
                                           std::vector<const char*>{"write", "0", data.c_str()}}) {
        Outcome ambiguous = Brevik(words);
        EXPECT_EQ(kCliUsageError, ambiguous.code) << words[0];
        EXPECT_THAT(ambiguous.err, HasSubstr("more than one device answers: COM2 (Quillex USB "
                                             "v2.11.Q), COM3 (Quillex USB v2.11.Q), COM4"));
        EXPECT_THAT(ambiguous.err, HasSubstr("--port"));
    }
    EXPECT_EQ(0, first.State().uploadsCompleted + second.State().uploadsCompleted);
    EXPECT_THAT(Brevik({"verify", "0", data.c_str()}).err,
                ::testing::Not(HasSubstr("more than one device")))
        << "reading needs no guard";

    // A fixture of four boards with three answering: nothing is sent.
    Outcome short_ = Brevik({"update", "--all", "--expect", "4", package.c_str()});
    EXPECT_EQ(kCliNoDevice, short_.code);
    EXPECT_THAT(short_.err, HasSubstr("3 of the 4 devices expected (--expect) answer: COM2"));
    EXPECT_EQ(0, first.State().uploadsCompleted + second.State().uploadsCompleted);

    // Every device the package fits, at once; the Tessaly is passed over.
    Outcome all = Brevik({"update", "--all", "--expect", "3", package.c_str(), "--json"});
    EXPECT_EQ(kCliSucceeded, all.code) << all.out;
    const nlohmann::json doc = nlohmann::json::parse(all.out);
    ASSERT_EQ(3u, doc["updates"].size());
    EXPECT_EQ("COM2", doc["updates"][0]["port"]);
    EXPECT_EQ(true, doc["updates"][0]["ok"]);
    EXPECT_EQ("02.12.Q", doc["updates"][0]["now"]);
    EXPECT_EQ(true, doc["updates"][1]["ok"]);
    EXPECT_EQ(true, doc["updates"][2]["skipped"]);
    EXPECT_EQ(1, first.State().uploadsCompleted);
    EXPECT_EQ(1, second.State().uploadsCompleted);
    EXPECT_EQ(0, third.State().uploadsCompleted);

    // A package that fits none of them is a bad package for the run.
    const std::string foreign = dir.Write("n.bfw", FirmwarePackage(999, 1, 0, 'N'));
    Outcome none = Brevik({"update", "--all", foreign.c_str(), "--json"});
    EXPECT_EQ(kCliBadPackage, none.code) << none.out;
    EXPECT_EQ(false, nlohmann::json::parse(none.out)["ok"]);

    Outcome one = Brevik({"update", "-p", "COM2", "--allow-reinstall", package.c_str()});
    EXPECT_EQ(kCliSucceeded, one.code) << one.err;
    EXPECT_EQ(2, first.State().uploadsCompleted);
    EXPECT_EQ(1, second.State().uploadsCompleted);
}

TEST(Cli, ProgressOnATerminalOffItAsJsonOrNot) {
    sim::VirtualDevice first, second;
    first.Start();
    second.Start();
    const ScopedPortTable table({first.PortPath()});
    TempDir dir;
    const std::string package = dir.Write("q.bfw", FirmwarePackage(4999, 2, 12, 'Q'));
    const std::string tiny = dir.Write("t.bfw", FirmwarePackage(999, 2, 12, 'Q'));
    auto shown = [&](ProgressStyle style, std::vector<const char*> words = {}) {
        if (words.empty())
            words = {"update", "--allow-reinstall", package.c_str()};
        std::FILE* stream = std::tmpfile();
        ConsoleProgressBar bar(stream, style);
        Outcome run = Brevik(words, &bar);
        EXPECT_EQ(kCliSucceeded, run.code) << run.err;
        return Drain(stream);
    };
    const std::string lines = shown(ProgressStyle::Lines);
    EXPECT_THAT(lines, HasSubstr("progress:  10%"));
    EXPECT_THAT(lines, HasSubstr("progress: 100%  4.9 KiB of 4.9 KiB\n"));
    EXPECT_EQ(10, std::count(lines.begin(), lines.end(), '\n')) << lines;

    const std::string terminal = shown(ProgressStyle::Terminal);
    EXPECT_THAT(terminal, HasSubstr("] 100%  4.9 KiB/4.9 KiB"));
    EXPECT_THAT(terminal, ::testing::HasSubstr("iB/s"));
    EXPECT_THAT(terminal, HasSubstr("s left"));
    EXPECT_THAT(terminal, ::testing::Not(HasSubstr(" 0 s left"))) << "no 0 s before the end";
    EXPECT_THAT(terminal, ::testing::ContainsRegex("100%.* in .+\\.. s"));
    std::istringstream frames(terminal);
    for (std::string frame; std::getline(frames, frame, '\r');)
        EXPECT_LE(frame.size(), 80u) << "within the terminal's width: " << frame;
    EXPECT_EQ('\n', terminal.back()) << "the line is closed for what follows";

    const std::string json = shown(ProgressStyle::Json);
    std::istringstream in(json);
    double last = -1;
    for (std::string line; std::getline(in, line);) {
        const nlohmann::json event = nlohmann::json::parse(line);
        EXPECT_GE(event["progress"].get<double>(), last);
        last = event["progress"].get<double>();
        EXPECT_EQ(5000, event["total"]);
    }
    EXPECT_EQ(1.0, last);
    EXPECT_EQ("", shown(ProgressStyle::Off));
    EXPECT_EQ("", shown(ProgressStyle::Terminal, {"update", "--allow-reinstall", tiny.c_str()}))
        << "no bar for work that is over at once";

    // Several devices at once: a line each, events that name their port.
    platform::PortTable::SetOverride({first.PortPath(), second.PortPath()});
    const std::vector<const char*> all = {"update", "--all", "--allow-reinstall", package.c_str()};
    const std::string board = shown(ProgressStyle::Terminal, all);
    EXPECT_THAT(board, HasSubstr("\x1b[2A")) << "the rows are redrawn together";
    EXPECT_THAT(board,
                ::testing::ContainsRegex("COM1  .#+.  100%  4\\.9/4\\.9 KiB  .+ KiB/s  done"));
    EXPECT_THAT(board, ::testing::ContainsRegex("COM2  .#+.  100%"));
    const std::string each = shown(ProgressStyle::Lines, all);
    EXPECT_THAT(each, HasSubstr("COM1 progress: 100%  4.9 KiB of 4.9 KiB\n"));
    EXPECT_THAT(each, HasSubstr("COM2 progress: 100%  4.9 KiB of 4.9 KiB\n"));
    std::istringstream events(shown(ProgressStyle::Json, all));
    std::set<std::string> ports;
    for (std::string line; std::getline(events, line);)
        ports.insert(nlohmann::json::parse(line)["port"].get<std::string>());
    EXPECT_EQ((std::set<std::string>{"COM1", "COM2"}), ports);
}

TEST(Cli, FastUpdateTakesTheFastestRateThatCarriesRepliesAndPutsItBack) {
    const std::string garbled = " baud (the port's bridge may not reach it)";
    struct Case {
        const char* bridge;
        bool refuseOnce;  // the device answers '?' to the first rate change
        uint32_t rate;
        std::string said;
        std::vector<std::string> order;  // rate changes and version requests, up to the upload
    } cases[] = {
        {"pty", false, 921600, "Link rate raised to 921600 baud for the upload.\n", {"S0", "VV"}},
        {"pty",
         true,
         460800,
         "Link rate raised to 460800 baud for the upload: the device did not take 921600 baud.\n",
         {"S0", "S1", "VV"}},
        // The garbled version request starts with no command: the device
        // answers '?' to each byte and goes back to 115200.
        {"rates:115200/230400/460800",
         false,
         460800,
         "Link rate raised to 460800 baud for the upload: no reply came through at 921600" +
             garbled + ".\n",
         {"S0", "?", "?", "VV", "S1", "VV"}},
        {"latency:16,rates:115200",
         false,
         115200,
         "Going on at 115200 baud: no reply came through at 921600" + garbled +
             "; no reply came through at 460800" + garbled + "; no reply came through at 230400" +
             garbled + ".\n",
         {"S0", "?", "?", "VV", "S1", "?", "?", "VV", "S3", "?", "?", "VV"}},
    };
    TempDir dir;
    const std::string package = dir.Write("q.bfw", FirmwarePackage(2999, 2, 12, 'Q'));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bridge);
        sim::DeviceConfig config;
        std::string error;
        ASSERT_TRUE(sim::ParseBridge(c.bridge, &config.bridge, &error)) << error;
        OneSimulatedPort port(config);
        auto refuse = [&] {
            if (c.refuseOnce)
                port.Device().InjectFault("S", {.kind = sim::FaultKind::WrongByte,
                                                .byte = '?',
                                                .delayMs = 0,
                                                .times = 1,
                                                .skip = 0});
        };
        refuse();
        Outcome fast = Brevik({"--json", "update", "--fast", package.c_str()});
        EXPECT_EQ(kCliSucceeded, fast.code) << fast.err;
        EXPECT_EQ(c.rate, nlohmann::json::parse(fast.out)["update"]["link_rate"]);
        refuse();
        port.Device().ClearLog();
        Outcome said = Brevik({"update", "--fast", "--allow-reinstall", package.c_str()});
        EXPECT_THAT(said.out, HasSubstr(c.said));
        EXPECT_THAT(said.out, HasSubstr("New version is 02.12.Q"));
        // From the first rate change (the scan changes only the host's side)
        // to the upload.
        std::vector<std::string> order;
        for (const sim::Exchange& e : port.Device().Exchanges()) {
            if (e.command == "S")
                order.push_back("S" + std::to_string(e.request[1]));
            else if (!order.empty() && (e.command == "VV" || e.command == "?"))
                order.push_back(e.command);
            else if (e.command.rfind("f", 0) == 0)  // "f", then "f.block", "f.final"
                break;
        }
        EXPECT_EQ(c.order, order);
        EXPECT_EQ(115200u, port.Device().CurrentBaud()) << "back where every device starts";
    }
}

TEST(Cli, APortHeldElsewhereIsNamedBusy) {
    OneSimulatedPort port;
    platform::OpenError error;
    auto holder = platform::SerialPort::Open(port.Device().PortPath().c_str(), &error);
    ASSERT_TRUE(holder);
    Outcome busy = Brevik({"detect"});
    EXPECT_EQ(kCliPortBusy, busy.code);
    EXPECT_THAT(busy.err, HasSubstr("COM1 (" + port.Device().PortPath() + ") is in use by"));
    holder.reset();
    EXPECT_EQ(kCliSucceeded, Brevik({"detect"}).code);
}

TEST(Cli, AnOlderDeviceIsNotTheOneLookedForButIsNamed) {
    sim::DeviceConfig older;
    older.major = 3;
    older.minor = 1;
    older.letter = '2';  // a Sundral II: the older commands
    OneSimulatedPort port(older);
    Outcome found = Brevik({"detect"});
    EXPECT_EQ(kCliNoDevice, found.code);
    EXPECT_THAT(found.err, HasSubstr("Device not found."));
    EXPECT_THAT(found.err, HasSubstr("What answered on COM1 is a Sundral"));
    EXPECT_THAT(found.err, HasSubstr("firmware 03.01.2, which speaks the older commands"));
}

TEST(Cli, CtrlCEndsTheSearchForADeviceAndNothingIsSent) {
    KeepRealPortsOutOfReach();
    TempDir dir;
    sim::VirtualDevice device;
    ASSERT_TRUE(device.Start());
    std::vector<std::unique_ptr<platform::DeviceLine>> silent;
    std::vector<std::string> paths;
    for (int i = 0; i < 15; ++i) {
        silent.push_back(sim::CreateDeviceLine());
        paths.push_back(silent.back()->HostPath());
    }
    paths.push_back(device.PortPath());
    ScopedPortTable table(paths);
    const std::string package = dir.Write("q.bfw", FirmwarePackage(999, 2, 12, 'Q'));
    const std::string out = dir.Write("kept.bin", std::vector<uint8_t>{1, 2, 3});
    for (std::vector<const char*> words :
         {std::vector<const char*>{"detect"}, std::vector<const char*>{"detect", "--all"},
          std::vector<const char*>{"eeprom", "0", "16"},
          std::vector<const char*>{"read", "0", "16", out.c_str()},
          std::vector<const char*>{"update", package.c_str()},
          std::vector<const char*>{"update", "--all", package.c_str()}}) {
        Outcome cancelled = Brevik(words, nullptr, true);
        EXPECT_EQ(kCliCancelled, cancelled.code) << words[0] << " " << words[1];
        EXPECT_THAT(cancelled.err, HasSubstr("cancelled")) << words[0];
    }
    EXPECT_EQ(0, device.State().uploadsCompleted);
    for (const sim::Exchange& e : device.Exchanges())
        EXPECT_NE('f', e.command[0]) << "no upload began";
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3}), FileBytes(out));
}

TEST(Cli, ReadNeverLosesWhatWasAtItsOutput) {
    OneSimulatedPort port;  // 64 KiB of device memory
    TempDir dir;
    port.Device().SetMemory(0, std::vector<uint8_t>(16, 0x5A));
    const std::vector<uint8_t> old = {1, 2, 3};
    const std::string kept = dir.Write("kept.bin", old);
    const std::string target = dir.Write("target.bin", old);
    const std::string link = dir.File("link.bin");
    const std::error_code noLinks = testsys::MakeLink(target, link);
    auto folderHoldsOnly = [&](std::vector<std::string> names) {
        std::vector<std::string> there;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            there.push_back(entry.path().filename().string());
        std::sort(there.begin(), there.end());
        std::sort(names.begin(), names.end());
        return there == names;
    };
    struct Case {
        const char* what;
        std::vector<const char*> words;
        int code;
        bool noDevice;
    };
    std::vector<Case> cases = {
        {"a range refused", {"read", "0xFFF0", "0x20", kept.c_str()}, kCliUsageError, false},
        {"a folder", {"read", "0", "16", dir.Path().c_str()}, kCliFileError, false},
        {"no device", {"read", "0", "16", kept.c_str()}, kCliNoDevice, true}};
    if (!noLinks)
        cases.push_back({"a link", {"read", "0", "16", link.c_str()}, kCliFileError, false});
    for (const Case& c : cases) {
        std::unique_ptr<ScopedPortTable> none;
        if (c.noDevice)
            none = std::make_unique<ScopedPortTable>(std::vector<std::string>{});
        Outcome run = Brevik(c.words);
        EXPECT_EQ(c.code, run.code) << c.what << ": " << run.err;
        EXPECT_EQ(old, FileBytes(kept)) << c.what;
        EXPECT_EQ(old, FileBytes(target)) << c.what << ": the link's target";
        EXPECT_TRUE(noLinks || std::filesystem::is_symlink(link)) << c.what;
        EXPECT_TRUE(folderHoldsOnly({"kept.bin", "target.bin", "link.bin"}) ||
                    (noLinks && folderHoldsOnly({"kept.bin", "target.bin"})))
            << c.what;
    }
    Outcome read = Brevik({"read", "0", "16", kept.c_str()});
    EXPECT_EQ(kCliSucceeded, read.code) << read.err;
    EXPECT_EQ(std::vector<uint8_t>(16, 0x5A), FileBytes(kept)) << "replaced once whole";
    EXPECT_TRUE(folderHoldsOnly({"kept.bin", "target.bin", "link.bin"}) ||
                (noLinks && folderHoldsOnly({"kept.bin", "target.bin"})));

    if (!kHasFifos)
        GTEST_SKIP() << kNoFifosHere;
    const std::string fifo = dir.File("pipe.bin");
    ASSERT_TRUE(MakeFifo(fifo));
    Outcome piped;
    EXPECT_TRUE(ReturnsWithoutBlocking(fifo, [&] {
        piped = Brevik({"read", "0", "16", fifo.c_str()});
    }));
    EXPECT_EQ(kCliFileError, piped.code);
    EXPECT_TRUE(std::filesystem::is_fifo(fifo)) << "the pipe stays";
}

TEST(Cli, TextFromOutsideReachesTerminalsPrintableAndJsonValid) {
    if (!testsys::kFileNamesAreBytes)
        GTEST_SKIP() << "file names here are UTF-16, and links need privileges";
    OneSimulatedPort port;
    TempDir dir;
    // A name that is not UTF-8 and would retitle a terminal, a package for a
    // target byte 0xFF and one for ESC, and a port named the same way.
    const std::string odd = "\xFF\x1B]0;owned\x07\x1B[2J";
    const std::string unfit = dir.Write(odd + ".bfw", FirmwarePackage(99, 2, 12, '\xFF'));
    const std::string escape = dir.Write("esc.bfw", FirmwarePackage(99, 2, 12, '\x1B'));
    const std::string fits = dir.Write(odd + "-q.bfw", FirmwarePackage(99, 2, 12, 'Q'));
    const std::string link = dir.File(odd + "-port");
    std::filesystem::create_symlink(port.Device().PortPath(), link);
    ScopedPortTable table({link});
    auto printable = [](const std::string& text) {
        return std::none_of(text.begin(), text.end(), [](char c) {
            const auto byte = static_cast<unsigned char>(c);
            return (byte < 0x20 && c != '\n') || byte == 0x7F || byte >= 0x80;
        });
    };
    struct Case {
        std::vector<const char*> words;
        int code;
    };
    for (const Case& c :
         std::vector<Case>{{{"info", unfit.c_str()}, kCliSucceeded},
                           {{"info", escape.c_str()}, kCliSucceeded},
                           {{"ports"}, kCliSucceeded},
                           {{"update", unfit.c_str()}, kCliBadPackage},
                           {{"update", fits.c_str()}, kCliSucceeded},
                           {{"read", "0", "1", dir.Path().c_str()}, kCliFileError}}) {
        Outcome shown = Brevik(c.words);
        EXPECT_EQ(c.code, shown.code) << c.words[0] << ": " << shown.err;
        EXPECT_TRUE(printable(shown.out)) << c.words[0] << ": " << shown.out;
        EXPECT_TRUE(printable(shown.err)) << c.words[0] << ": " << shown.err;
        std::vector<const char*> json = c.words;
        json.push_back("--json");
        json.push_back("--allow-reinstall");
        if (c.words[0] == std::string("ports") || c.words[0] == std::string("read") ||
            c.words[0] == std::string("info"))
            json.pop_back();
        Outcome document = Brevik(json);
        EXPECT_EQ(c.code, document.code) << c.words[0];
        nlohmann::json parsed;
        EXPECT_NO_THROW(parsed = nlohmann::json::parse(document.out)) << document.out;
        EXPECT_EQ(c.code, parsed.value("exit_code", -1)) << c.words[0];
    }
    EXPECT_EQ(2, port.Device().State().uploadsCompleted);
}

// Swaps the package file for another just before the upload begins: the
// moment the work's size is announced.
class SwappingProgress : public WorkProgress {
  public:
    SwappingProgress(std::string path, std::vector<uint8_t> other)
        : path_(std::move(path)), other_(std::move(other)) {}
    void Begin(uint64_t) override { WritePackageFile(path_, other_); }
    void End(bool) override {}
    void SetRange(int, int) override {}
    void SetStep(int) override {}
    void SetPosition(int) override {}
    void StepIt() override {}

  private:
    std::string path_;
    std::vector<uint8_t> other_;
};

TEST(Cli, ThePackageCheckedIsThePackageFlashed) {
    OneSimulatedPort port;
    TempDir dir;
    const std::vector<uint8_t> checked = FirmwarePackage(999, 2, 12, 'Q');
    const std::vector<uint8_t> foreign = FirmwarePackage(999, 10, 12, 'L');
    const std::string path = dir.Write("q.bfw", checked);
    SwappingProgress swap(path, foreign);
    Outcome update = Brevik({"update", path.c_str()}, &swap);
    EXPECT_EQ(kCliSucceeded, update.code) << update.err;
    EXPECT_EQ(std::vector<uint8_t>(checked.begin() + kPackageHeaderSize, checked.end()),
              port.Device().State().uploadedBody)
        << "the bytes that passed the family and version checks";

    // A file an upload holds is in use, not unreadable.
    const auto held = platform::ReadOnlyFile::Open(path.c_str(), platform::FileShare::None);
    ASSERT_TRUE(held);
    for (const char* command : {"info", "update"}) {
        Outcome busy = Brevik({command, path.c_str()});
        EXPECT_EQ(kCliFileError, busy.code) << command;
        EXPECT_THAT(busy.err, HasSubstr("in use: a firmware update is running from it")) << command;
    }

    // Checks that never ran are not reported as passed.
    Outcome small =
        Brevik({"info", dir.Write("small.bfw", std::vector<uint8_t>(100, 0x5A)).c_str()});
    EXPECT_EQ(kCliBadPackage, small.code);
    EXPECT_THAT(small.out, HasSubstr("size FAILED, magic not checked, header sum not checked, "
                                     "body check byte not checked"));
}

TEST(Cli, ANamedPortIsTheOnlyPortTouched) {
    KeepRealPortsOutOfReach();
    TempDir dir;
    sim::VirtualDevice first, second;
    ASSERT_TRUE(first.Start() && second.Start());
    auto silent = sim::CreateDeviceLine();
    const std::string package = dir.Write("q.bfw", FirmwarePackage(999, 2, 12, 'Q'));
    {
        ScopedPortTable table({first.PortPath(), second.PortPath()});
        Outcome one = Brevik({"--port", "COM1", "update", "--all", "--fast", package.c_str()});
        EXPECT_EQ(kCliSucceeded, one.code) << one.err;
        EXPECT_EQ(1, first.State().uploadsCompleted);
        EXPECT_EQ(0, second.State().uploadsCompleted) << "--all stays on the port named";
        bool fast = false;
        for (const sim::Exchange& e : first.Exchanges())
            fast = fast || (e.command == "S" && e.request[1] == 0);
        EXPECT_TRUE(fast) << "--fast raised the rate for the upload";
    }
    {
        // No device on COM1: its failure is explained without opening COM2,
        // which another program holds.
        ScopedPortTable table({silent->HostPath(), second.PortPath()});
        platform::OpenError error;
        auto holder = platform::SerialPort::Open(second.PortPath().c_str(), &error);
        ASSERT_TRUE(holder);
        Outcome none = Brevik({"--port", "COM1", "detect"});
        EXPECT_EQ(kCliNoDevice, none.code) << none.err;
        EXPECT_THAT(none.err, ::testing::Not(HasSubstr("COM2")));
    }
    if (testsys::kPortsArePaths) {
        Outcome folder = Brevik({"--port", dir.Path().c_str(), "detect"});
        EXPECT_EQ(kCliNoDevice, folder.code);
        EXPECT_THAT(folder.err, HasSubstr("is a folder, not a serial device"));
    }
}

TEST(Cli, AnOddRangeOnADunmarraIsAUsageErrorAndNothingIsSent) {
    sim::DeviceConfig dunmarra;
    dunmarra.major = 3;
    dunmarra.minor = 2;
    dunmarra.letter = 'D';
    OneSimulatedPort port(dunmarra);
    TempDir dir;
    const std::string two = dir.Write("two.bin", {1, 2});
    const std::string three = dir.Write("three.bin", {1, 2, 3});
    const std::string out = dir.File("out.bin");
    for (std::vector<const char*> words : {std::vector<const char*>{"read", "1", "16", out.c_str()},
                                           std::vector<const char*>{"read", "0", "15", out.c_str()},
                                           std::vector<const char*>{"write", "3", two.c_str()},
                                           std::vector<const char*>{"write", "0", three.c_str()}}) {
        port.Device().ClearLog();
        Outcome odd = Brevik(words);
        EXPECT_EQ(kCliUsageError, odd.code) << words[0] << " " << words[1] << ": " << odd.err;
        EXPECT_THAT(odd.err, HasSubstr("must be even")) << words[0];
        for (const sim::Exchange& e : port.Device().Exchanges())
            EXPECT_THAT(e.command, ::testing::Not(::testing::AnyOf("R", "W", "ZR", "ZW")))
                << "only detection went out";
    }
    EXPECT_EQ(kCliSucceeded, Brevik({"read", "2", "16", out.c_str()}).code);
}

TEST(Cli, TheBridgeTimerGoesDownForAnUploadAndBackAfterwards) {
    if (platform::SysfsRoot().empty())
        GTEST_SKIP() << "the bridge's timer is the user's to change here";
    TempDir dir;
    sim::DeviceConfig config;
    std::string error;
    ASSERT_TRUE(sim::ParseBridge("latency:16", &config.bridge, &error)) << error;
    config.sysfsRoot = dir.File("sys");
    platform::SetEnvironmentValue("BREVIK_SYSFS", config.sysfsRoot.c_str());
    OneSimulatedPort port(config);
    std::string attribute;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(config.sysfsRoot)) {
        if (entry.path().filename() == "latency_timer")
            attribute = entry.path().string();
    }
    ASSERT_FALSE(attribute.empty());
    const std::string package = dir.Write("q.bfw", FirmwarePackage(2999, 2, 12, 'Q'));
    struct Case {
        const char* what;
        bool deviceFault;
        bool unwritable;
        int code;
        std::string during;
    };
    for (const Case& c : {Case{"success", false, false, kCliSucceeded, "1"},
                          Case{"device fault", true, false, kCliDeviceRefused, "1"},
                          Case{"unwritable", false, true, kCliSucceeded, "16"}}) {
        if (c.deviceFault)
            port.Device().InjectFault("f.final", {sim::FaultKind::WrongByte, 'W', 0, 1});
        // Root writes any file: only an immutable one is refused.
        if (c.unwritable && std::system(("chattr +i " + attribute + " 2>/dev/null").c_str()) != 0)
            continue;
        TimerWatch watch(attribute);
        const Outcome run = Brevik({"update", "--allow-reinstall", package.c_str()}, &watch);
        if (c.unwritable) {
            EXPECT_EQ(0, std::system(("chattr -i " + attribute).c_str()));
        }
        EXPECT_EQ(c.code, run.code) << c.what << ": " << run.err;
        EXPECT_EQ(c.during, watch.during) << c.what;
        EXPECT_EQ("16", TimerWatch::Timer(attribute)) << c.what << ": put back";
        size_t hints = 0;
        for (size_t at = 0; (at = run.err.find("latency timer", at)) != std::string::npos; ++at)
            ++hints;
        EXPECT_EQ(c.unwritable ? 1u : 0u, hints) << c.what << ": said once: " << run.err;
    }
    platform::SetEnvironmentValue("BREVIK_SYSFS", nullptr);
}

// doctor: each port tried, what stands in a flash's way said with its fix;
// a port with nothing in the way is said to be fine.
TEST(Cli, DoctorSaysWhatStandsInTheWayOfAFlash) {
    sim::DeviceConfig off;
    std::string error;
    ASSERT_TRUE(sim::ParseBridge("rfcomm:30,absent", &off.bridge, &error)) << error;
    sim::VirtualDevice bluetooth(off), device;
    ASSERT_TRUE(bluetooth.Start(sim::DeviceLineKind::Loopback) && device.Start());
    const ScopedPortTable table({bluetooth.PortPath(), device.PortPath()});
    const Outcome words = Brevik({"doctor"});
    EXPECT_EQ(kCliFailed, words.code);
    EXPECT_THAT(words.out, HasSubstr("COM1 " + bluetooth.PortPath() +
                                     ": the Bluetooth port is bound, but no link to its device"));
    EXPECT_THAT(words.out, HasSubstr("COM2 " + device.PortPath() + ": nothing in the way"));
    EXPECT_THAT(words.err, HasSubstr("may stop a flash here"));
    const nlohmann::json doc = nlohmann::json::parse(Brevik({"--json", "doctor"}).out);
    bool bound = false;
    for (const nlohmann::json& f : doc["findings"])
        bound = bound || (f.value("path", "") == bluetooth.PortPath() &&
                          f["problem"].get<std::string>().find("Bluetooth") != std::string::npos);
    EXPECT_TRUE(bound) << doc.dump();
    EXPECT_EQ(false, doc["ports"][0]["ok"]);
    EXPECT_EQ(true, doc["ports"][1]["ok"]);
    EXPECT_EQ(0u, device.Exchanges().size()) << "doctor sends nothing to a device";
}

TEST(Cli, ABluetoothPortWithNoLinkIsSkippedAndSaidOnce) {
    KeepRealPortsOutOfReach();
    sim::DeviceConfig off;
    std::string error;
    ASSERT_TRUE(sim::ParseBridge("rfcomm:30,connect:20,absent", &off.bridge, &error)) << error;
    sim::VirtualDevice bluetooth(off), device;
    ASSERT_TRUE(bluetooth.Start(sim::DeviceLineKind::Loopback) && device.Start());
    ScopedPortTable table({bluetooth.PortPath(), device.PortPath()});
    const std::string skipped = "COM1 (" + bluetooth.PortPath() +
                                "): no link to the device (a Bluetooth device out of reach or "
                                "switched off); skipped.\n";
    struct Case {
        std::vector<const char*> words;
        int code;
        std::string out;
        std::string err;
    } cases[] = {
        {{"detect"},
         kCliSucceeded,
         skipped + "Quillex USB v2.11.Q, firmware 02.11.Q, on COM2\n",
         ""},
        {{"detect", "--all"}, kCliSucceeded, skipped, ""},
        {{"--port", "COM1", "detect"},
         kCliNoDevice,
         skipped,
         "brevik: COM1 (" + bluetooth.PortPath() + "): no link to the device"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words.back());
        Outcome run = Brevik(c.words);
        EXPECT_EQ(c.code, run.code) << run.err;
        EXPECT_THAT(run.out, HasSubstr(c.out));
        EXPECT_EQ(run.out.find(skipped), run.out.rfind(skipped)) << "said once";
        EXPECT_THAT(run.err, HasSubstr(c.err));
        std::vector<const char*> json = c.words;
        json.insert(json.begin(), "--json");
        const nlohmann::json doc = nlohmann::json::parse(Brevik(json).out);
        EXPECT_EQ(bluetooth.PortPath(), doc["unlinked_ports"][0]["path"]);
    }
}

TEST(Cli, AUsageErrorNamesWhatIsWrongAndIsOneDocumentUnderJson) {
    struct Case {
        std::vector<const char*> words;
        std::string said;     // in the message
        const char* command;  // the JSON document's, "" for null
    } cases[] = {
        {{"--json", "bogus"}, "bogus", ""},
        {{"--json", "update"}, "PACKAGE is required", "update"},
        {{"--json", "--port", "info", "update"}, "PACKAGE is required", "update"},
        {{"--json"}, "no command given", ""},
        {{"--trace=3", "ports"}, "--trace takes no value, or =2 for hex dumps, not =3", "ports"},
        {{"read", "0x1G", "16", "out.bin"}, "read: ADDRESS '0x1G' is not a number", "read"},
        {{"eeprom", "0", "1x"}, "eeprom: SIZE '1x' is not a number", "eeprom"},
        {{"write", "12z", "in.bin"}, "write: ADDRESS '12z' is not a number", "write"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.said);
        std::vector<const char*> text = c.words;
        std::erase_if(text, [](const char* w) { return std::string(w) == "--json"; });
        if (!text.empty()) {
            const Outcome plain = Brevik(text);
            EXPECT_EQ(kCliUsageError, plain.code);
            EXPECT_THAT(plain.err, HasSubstr(c.said));
        }
        std::vector<const char*> json = text;
        json.insert(json.begin(), "--json");
        const Outcome run = Brevik(json);
        EXPECT_EQ(kCliUsageError, run.code);
        EXPECT_EQ("", run.err);
        const nlohmann::json doc = nlohmann::json::parse(run.out);
        EXPECT_THAT(doc["error"]["message"].get<std::string>(), HasSubstr(c.said));
        EXPECT_EQ(kCliUsageError, doc["exit_code"]);
        EXPECT_EQ(*c.command ? nlohmann::json(c.command) : nlohmann::json(), doc["command"]);
    }
}
