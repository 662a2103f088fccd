// write --watch against a simulated device paced at 115200 baud: a 64 KiB
// Intel HEX image written whole, then rewritten eight times with one
// 256-byte block changed, as a build puts a new file in place. Printed: the
// whole image's write, and from each new file's last write to the loop's
// line saying the changed block is written and verified (goal: 100 ms),
// on a pseudo-terminal and behind a USB bridge whose latency timer the tool
// lowers, or may not. The whole image's figure runs from the start of the
// command (detection included) to its line: written and read back. Also
// the loop's share of a core while it waits.
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/RunCommand.h"
#include "bench/BestOf.h"
#include "image/ImageFile.h"
#include "platform/Environment.h"
#include "platform/PortTable.h"
#include "sim/VirtualDevice.h"

namespace {

void Save(const std::filesystem::path& path, const std::vector<uint8_t>& rom) {
    const std::string text = image::WriteImage(image::ImageFormat::IntelHex, 0, rom);
    const std::filesystem::path part = path.string() + ".new";
    std::ofstream(part, std::ios::binary) << text;
    std::filesystem::rename(part, path);
}

// The next line the loop says, or "" when none comes within the time.
std::string NextLine(std::FILE* in) {
    char line[512];
    return std::fgets(line, sizeof line, in) != nullptr ? line : "";
}

struct Figures {
    double wholeMs = 0, worstMs = 0, medianMs = 0, idleShare = 0;
    bool allOk = true;
};

// sysfs: where the stand-in of the bridge's timer attribute is, which the
// tool lowers to 1 ms for the loop; "" leaves it at 16 ms.
Figures Measure(const sim::BridgeModel& bridge, const std::string& sysfs,
                const std::filesystem::path& folder) {
    sim::DeviceConfig config;
    config.paceAtLineRate = true;
    config.bridge = bridge;
    config.sysfsRoot = sysfs;
    platform::SetEnvironmentValue("BREVIK_SYSFS", sysfs.empty() ? "/nonexistent" : sysfs.c_str());
    sim::VirtualDevice device(config);
    device.Start();
    platform::PortTable::SetOverride({device.PortPath()});

    std::mt19937 rng(64);
    std::vector<uint8_t> rom(64 * 1024);
    for (uint8_t& b : rom)
        b = static_cast<uint8_t>(rng());
    const std::filesystem::path path = folder / "rom.hex";
    Save(path, rom);

    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return {};
    std::FILE* said = ::fdopen(pipeEnds[0], "r");
    std::FILE* out = ::fdopen(pipeEnds[1], "w");
    const std::string file = path.string();
    const char* words[] = {"brevik", "write", "0", file.c_str(), "--watch", "--quiet"};
    CliArguments args;
    ParseCliArguments(6, words, &args);
    BKQuillex host;
    std::thread loop([&] { RunCliCommand(args, host, out, stderr, nullptr); });

    Figures figures;
    const bench::Clock::time_point start = bench::Clock::now();
    const bool whole = NextLine(said).find("written and verified") != std::string::npos;
    figures.wholeMs = bench::Ms(bench::Clock::now() - start);
    figures.allOk = whole;
    std::vector<double> reloads;
    for (int round = 0; round < 8 && figures.allOk; ++round) {
        std::this_thread::sleep_for(std::chrono::milliseconds(150 + 13 * round));
        const size_t block = (rng() % 256) * 256;
        rom[block + rng() % 256] ^= 0x5A;
        Save(path, rom);
        const bench::Clock::time_point saved = bench::Clock::now();
        const std::string line = NextLine(said);
        reloads.push_back(bench::Ms(bench::Clock::now() - saved));
        figures.allOk = line.find(" 1 block written") != std::string::npos &&
                        device.Memory(0, rom.size()) == rom;
    }
    const std::clock_t before = std::clock();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    figures.idleShare = 100.0 * double(std::clock() - before) / CLOCKS_PER_SEC / 5.0;
    host.CancelRequested = 1;
    loop.join();
    std::fclose(out);
    std::fclose(said);
    std::sort(reloads.begin(), reloads.end());
    if (!reloads.empty()) {
        figures.worstMs = reloads.back();
        figures.medianMs = reloads[reloads.size() / 2];
    }
    return figures;
}

}  // namespace

int main() {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("brevik-reload-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    bool ok = true;
    sim::BridgeModel pty, timer;
    timer.latencyTimer = true;
    timer.usbFrames = true;
    const std::string sysfs = (folder / "sys").string();
    const struct {
        const char* name;
        sim::BridgeModel bridge;
        std::string sysfs;
    } lines[] = {{"pseudo-terminal               ", pty, ""},
                 {"bridge, timer lowered to 1 ms ", timer, sysfs},
                 {"bridge, timer left at 16 ms   ", timer, ""}};
    for (const auto& line : lines) {
        const Figures f = Measure(line.bridge, line.sysfs, folder);
        const bool met = f.allOk && f.worstMs <= 100;
        ok = ok && f.allOk;
        std::printf(
            "64 KiB at 115200 baud, %s whole image %6.0f ms   one changed block: "
            "worst of 8 %6.1f ms, median %6.1f ms   goal 100 ms   %s\n",
            line.name, f.wholeMs, f.worstMs, f.medianMs,
            !f.allOk ? "WRONG"
            : met    ? "ok"
                     : "SLOW");
        std::printf("    waiting for the file, share of one core %.2f %%\n", f.idleShare);
    }
    std::filesystem::remove_all(folder);
    return ok ? 0 : 1;
}
