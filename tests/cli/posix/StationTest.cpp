// The station on the program's own port table (the watch hears its changes
// as it hears the system's): devices flashed side by side as they appear,
// a result line each in the log, SIGINT ending the watch once the uploads
// under way have finished. Here rather than with the other command-line
// tests, as the stop is a POSIX signal.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/CliExitCodes.h"
#include "package/PackageBuilder.h"
#include "platform/Digest.h"
#include "platform/PortTable.h"
#include "sim/DeviceLines.h"
#include "sim/VirtualDevice.h"
#include "tests/support/CliRun.h"
#include "tests/support/SimulatedPorts.h"
#include "tests/support/TempDir.h"

namespace {

// The "result" of each line of the station's log once there are n of them
// (or what there is after 15 s).
std::vector<std::string> ResultsIn(const std::string& log, size_t n) {
    std::vector<std::string> lines;
    for (int i = 0; i < 300 && lines.size() < n; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        lines.clear();
        std::ifstream in(log);
        for (std::string text; std::getline(in, text);)
            lines.push_back(nlohmann::json::parse(text)["result"]);
    }
    return lines;
}

}  // namespace

TEST(Station, FlashesDevicesAsTheyAppearAndStopsAfterTheirUploads) {
    const ScopedPortTable none({});
    TempDir dir;
    const std::string package = dir.Write("q.bfw", FirmwarePackage(9999, 2, 12, 'Q'));
    const std::string log = dir.File("station.log");
    sim::DeviceConfig paced;
    paced.paceAtLineRate = true;  // a second of upload each: the stop comes mid-way
    sim::VirtualDevice first(paced), second(paced);
    ASSERT_TRUE(first.Start() && second.Start());
    Outcome run;
    std::thread station([&] {
        run = Brevik({"update", "--watch", "--log", log.c_str(), package.c_str()});
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    platform::PortTable::SetOverride({first.PortPath()});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    platform::PortTable::SetOverride({first.PortPath(), second.PortPath()});
    // Stopped once both uploads have begun: each still runs to its end.
    auto uploading = [](const sim::VirtualDevice& device) {
        for (const sim::Exchange& e : device.Exchanges())
            if (e.command == "f" || e.command.rfind("f.", 0) == 0)  // the upload's replies
                return true;
        return false;
    };
    for (int i = 0; i < 1000 && !(uploading(first) && uploading(second)); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(0, first.State().uploadsCompleted + second.State().uploadsCompleted)
        << "the stop comes while they upload";
    std::raise(SIGINT);
    station.join();
    EXPECT_EQ(130, run.code) << run.err;
    EXPECT_EQ(1, first.State().uploadsCompleted);
    EXPECT_EQ(1, second.State().uploadsCompleted);
    EXPECT_THAT(run.out, ::testing::HasSubstr("Stopped watching: 2 updated, 0 failed, 0 skipped."));
    std::ifstream in(log);
    std::vector<std::string> results;
    for (std::string line; std::getline(in, line);)
        results.push_back(nlohmann::json::parse(line)["result"]);
    EXPECT_EQ((std::vector<std::string>{"updated", "updated"}), results);
}

// A board pulled and plugged in again while the station's first look at it
// still runs (it has not answered yet) is looked at afresh as soon as that
// look has ended, with no other port coming or going.
TEST(Station, ABoardRepluggedDuringItsFirstLookIsTakenWhenThatLookEnds) {
    const ScopedPortTable none({});
    TempDir dir;
    const std::string package = dir.Write("q.bfw", FirmwarePackage(999, 2, 12, 'Q'));
    const std::string log = dir.File("station.log");
    auto line = sim::CreateDeviceLine();
    const std::string path = line->HostPath();
    Outcome run;
    std::thread station([&] {
        run = Brevik({"update", "--watch", "--log", log.c_str(), package.c_str()});
    });
    auto results = [&log](size_t n) { return ResultsIn(log, n); };
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    platform::PortTable::SetOverride({path});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    platform::PortTable::SetOverride({});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    platform::PortTable::SetOverride({path});
    EXPECT_EQ((std::vector<std::string>{"no_device"}), results(1));
    // The board answers from now on.
    sim::VirtualDevice device;
    ASSERT_TRUE(device.StartOn(std::move(line)));
    EXPECT_EQ((std::vector<std::string>{"no_device", "updated"}), results(2));
    std::raise(SIGINT);
    station.join();
    EXPECT_EQ(1, device.State().uploadsCompleted);
}

// Named paths are boards as they appear (a simulator's link made in a
// folder of the table), not "no device" while they are absent; a board whose
// flash failed is retried when it is plugged in again, although it may now
// report the package's version; --count ends the station by itself, exit 1
// when one of its boards failed.
TEST(Station, NamedPathsRetriedFailuresAndCount) {
    TempDir dir;
    const std::string link = dir.File("w1");
    const ScopedPortTable table({link});
    const std::string package = dir.Write("q.bfw", FirmwarePackage(999, 2, 12, 'Q'));
    const std::string log = dir.File("station.log");
    sim::DeviceConfig failing;
    failing.finalStatus = 'W';
    sim::VirtualDevice device(failing);
    ASSERT_TRUE(device.Start());
    Outcome run;
    std::thread station([&] {
        run = Brevik({"update", "--watch", "--count", "2", "--log", log.c_str(), package.c_str()});
    });
    auto results = [&log](size_t n) { return ResultsIn(log, n); };
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(results(0).empty()) << "an absent path is no board";
    std::filesystem::create_symlink(device.PortPath(), link);
    EXPECT_EQ((std::vector<std::string>{"failed"}), results(1));
    std::filesystem::remove(link);
    // Unplugged; it now reports the package's version and stores the next image.
    sim::DeviceConfig stored = device.Config();
    stored.minor = 12;
    stored.finalStatus = sim::DeviceConfig{}.finalStatus;
    device.SetConfig(stored);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    std::filesystem::create_symlink(device.PortPath(), link);
    EXPECT_EQ((std::vector<std::string>{"failed", "updated"}), results(2));
    station.join();
    EXPECT_EQ(kCliFailed, run.code) << run.err;
    EXPECT_EQ(1, device.State().uploadsCompleted);
    EXPECT_THAT(run.out, ::testing::HasSubstr("FAILED: "));
    EXPECT_THAT(run.out, ::testing::HasSubstr("with --allow-reinstall"));
    EXPECT_THAT(run.out, ::testing::HasSubstr("Stopped watching: 1 updated, 1 failed, 0 skipped."));

    // The log's records, as docs/command-line.md describes them.
    std::ifstream in(log);
    std::vector<nlohmann::json> records;
    for (std::string text; std::getline(in, text);)
        records.push_back(nlohmann::json::parse(text));
    ASSERT_EQ(2u, records.size());
    const std::vector<uint8_t> bytes = FirmwarePackage(999, 2, 12, 'Q');
    for (const nlohmann::json& r : records) {
        EXPECT_EQ(1, r["schema"]);
        EXPECT_FALSE(r["host"].get<std::string>().empty());
        EXPECT_EQ("COM1", r["com"]);
        EXPECT_EQ(link, r["path"]);
        EXPECT_EQ(package, r["package"]["file"]);
        EXPECT_EQ(platform::HexText(platform::Sha256(bytes)), r["package"]["sha256"]);
        for (const char* stage : {"detect", "upload", "read_back"})
            EXPECT_TRUE(r["stages"][stage].is_number()) << stage;
    }
    EXPECT_EQ("upload_failed", records[0]["outcome"]);
    EXPECT_EQ("device", records[0]["error_class"]);
    EXPECT_EQ("final_status", records[0]["stage"]);
    EXPECT_THAT(records[0]["hint"].get<std::string>(), ::testing::HasSubstr("--allow-reinstall"));
    EXPECT_EQ("updated", records[1]["outcome"]);
    EXPECT_EQ("none", records[1]["error_class"]);
}

// update --wait on a port named by its path: a board linked there after the
// wait began is found and flashed (the watch hears the link being made).
TEST(Station, WaitTakesABoardLinkedAtANamedPathLater) {
    const ScopedPortTable none({});
    TempDir dir;
    const std::string link = dir.File("w1");
    const std::string package = dir.Write("q.bfw", FirmwarePackage(999, 2, 12, 'Q'));
    sim::VirtualDevice device;
    ASSERT_TRUE(device.Start());
    std::thread plug([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(700));
        std::filesystem::create_symlink(device.PortPath(), link);
    });
    const Outcome run = Brevik({"update", "--wait=10", "--port", link.c_str(), package.c_str()});
    plug.join();
    EXPECT_EQ(kCliSucceeded, run.code) << run.err;
    EXPECT_EQ(1, device.State().uploadsCompleted);
}
