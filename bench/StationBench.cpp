// Station mode (update --watch) against simulated devices, each paced at
// 115200 baud and given a 64 KiB package, printed beside its goals:
// - 8 devices plugged 100 ms apart: every one flashed within 1.2 times one
//   device's update plus the time the plugs are spread over;
// - 32 devices plugged 50 ms apart while another thread keeps a core busy:
//   within 1.3 times one device's update plus the spread;
// - a named port (a path in the table) appearing: the watch says so within
//   100 ms of the link being made;
// - an idle station watching for 60 s: at most 1% of one core.
// The devices join the program's port table as they are plugged, which the
// watch hears as it hears the system's events.
#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include "app/cli/RunCommand.h"
#include "bench/BestOf.h"
#include "package/PackageBuilder.h"
#include "platform/PortTable.h"
#include "platform/PortWatch.h"
#include "sim/VirtualDevice.h"

namespace {

const std::string kPackage = "/tmp/brevik-station-bench.bfw";
const std::string kLog = "/tmp/brevik-station-bench.log";

int Run(std::vector<const char*> words) {
    words.insert(words.begin(), "brevik");
    CliArguments args;
    ParseCliArguments(static_cast<int>(words.size()), words.data(), &args);
    std::FILE* sink = std::tmpfile();
    BKQuillex device;
    const int code = RunCliCommand(args, device, sink, sink, nullptr);
    std::fclose(sink);
    return code;
}

size_t LinesIn(const std::string& path) {
    std::ifstream in(path);
    size_t lines = 0;
    for (std::string line; std::getline(in, line);)
        ++lines;
    return lines;
}

std::unique_ptr<sim::VirtualDevice> PacedDevice() {
    sim::DeviceConfig config;
    config.paceAtLineRate = true;
    auto device = std::make_unique<sim::VirtualDevice>(config);
    device->Start();
    return device;
}

// A station that runs until Ctrl+C (raised by Stop).
class Station {
  public:
    Station() {
        std::remove(kLog.c_str());
        thread_ = std::thread([this] {
            code = Run({"update", "--watch", "--log", kLog.c_str(), kPackage.c_str()});
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // watching
    }
    void Stop() {
        std::raise(SIGINT);
        thread_.join();
    }
    int code = -1;

  private:
    std::thread thread_;
};

// Boards plugged spreadMs apart; whether all were flashed within the goal.
bool PluggedApart(int count, std::chrono::milliseconds spread, double factor, double oneMs,
                  bool busyCore) {
    std::vector<std::unique_ptr<sim::VirtualDevice>> devices;
    for (int i = 0; i < count; ++i)
        devices.push_back(PacedDevice());
    platform::PortTable::SetOverride({});
    std::atomic<bool> spinning{busyCore};
    std::thread busy([&spinning] {
        volatile uint64_t n = 0;
        while (spinning.load(std::memory_order_relaxed))
            n = n + 1;
    });
    Station station;
    const bench::Clock::time_point start = bench::Clock::now();
    std::vector<std::string> plugged;
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            std::this_thread::sleep_for(spread);
        plugged.push_back(devices[i]->PortPath());
        platform::PortTable::SetOverride(plugged);
    }
    const double spreadMs = bench::Ms(bench::Clock::now() - start);
    while (LinesIn(kLog) < static_cast<size_t>(count) &&
           bench::Ms(bench::Clock::now() - start) < 180000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const double allMs = bench::Ms(bench::Clock::now() - start);
    station.Stop();
    spinning = false;
    busy.join();
    int updated = 0;
    for (const auto& device : devices)
        updated += device->State().uploadsCompleted;
    const double goalMs = factor * oneMs + spreadMs;
    const bool ok = updated == count && allMs <= goalMs;
    std::printf(
        "station, %2d devices plugged %3lld ms apart%s %7.0f ms   goal %6.0f ms "
        "(%.1f x one + %.0f ms of plugs)   %s\n",
        count, static_cast<long long>(spread.count()), busyCore ? ", a core busy" : "            ",
        allMs, goalMs, factor, spreadMs, ok ? "ok" : "SLOW");
    if (updated != count)
        std::printf("    only %d of %d devices updated\n", updated, count);
    return ok;
}

// A named port appearing: from the link made to the watch saying so (what
// --watch and --wait wait on); and, for the whole station, to its first
// request at the device, which comes after the 100 ms a port is given to
// settle once opened.
bool NamedPathSeen() {
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("brevik-station-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const std::string link = (folder / "board").string();
    sim::VirtualDevice device;
    device.Start();
    platform::PortTable::SetOverride({link});

    double seenMs = 1e9;
    // The watch already waiting when the link is made, at points spread
    // over its looks; the slowest of the rounds.
    for (int round = 0; round < 8; ++round) {
        platform::PortWatch watch;
        std::filesystem::remove(link);
        watch.Wait(0);  // the removal heard
        bench::Clock::time_point heardAt{};
        std::thread waiter([&] {
            if (watch.Wait(2000) == platform::PortChange::Changed)
                heardAt = bench::Clock::now();
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(40 + 7 * round));
        const bench::Clock::time_point made = bench::Clock::now();
        std::filesystem::create_symlink(device.PortPath(), link);
        waiter.join();
        const double ms = heardAt == bench::Clock::time_point{} ? 1e9 : bench::Ms(heardAt - made);
        seenMs = round == 0 ? ms : std::max(seenMs, ms);
    }
    std::filesystem::remove(link);

    Station station;
    const bench::Clock::time_point made = bench::Clock::now();
    std::filesystem::create_symlink(device.PortPath(), link);
    while (device.ReceivedBytes().empty() && bench::Ms(bench::Clock::now() - made) < 5000)
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    const double requestMs = bench::Ms(bench::Clock::now() - made);
    while (LinesIn(kLog) < 1 && bench::Ms(bench::Clock::now() - made) < 30000)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    station.Stop();
    std::filesystem::remove_all(folder);
    const bool ok = seenMs <= 100;
    std::printf("--watch sees a named path appear           %7.1f ms   goal %6.0f ms   %s\n",
                seenMs, 100.0, ok ? "ok" : "SLOW");
    std::printf("    the station's first request at the device %.1f ms after the link\n",
                requestMs);
    return ok;
}

// The whole process's processor time while a station watches and nothing comes.
bool IdleCpu(int seconds) {
    platform::PortTable::SetOverride({"/tmp/brevik-station-bench-absent"});
    Station station;
    const std::clock_t before = std::clock();
    const bench::Clock::time_point start = bench::Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
    const double wallMs = bench::Ms(bench::Clock::now() - start);
    station.Stop();
    const double share = 100.0 * cpuMs / wallMs;
    const bool ok = share <= 1.0;
    std::printf("idle station over %d s, share of one core   %7.2f %%    goal %6.0f %%      %s\n",
                seconds, share, 1.0, ok ? "ok" : "BUSY");
    return ok;
}

// BREVIK_BENCH_IDLE_SECONDS shortens the idle run for a quick look.
int IdleSeconds() {
    const char* text = std::getenv("BREVIK_BENCH_IDLE_SECONDS");
    return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : 60;
}

}  // namespace

int main() {
    {
        const std::vector<uint8_t> bytes = FirmwarePackage(65535, 2, 12, 'Q');
        std::ofstream(kPackage, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    }
    // One device, the whole command.
    const std::unique_ptr<sim::VirtualDevice> alone = PacedDevice();
    platform::PortTable::SetOverride({alone->PortPath()});
    const bench::Clock::time_point oneStart = bench::Clock::now();
    const int oneCode = Run({"update", kPackage.c_str()});
    const double oneMs = bench::Ms(bench::Clock::now() - oneStart);
    std::printf("one device, 64 KiB at 115200 baud          %7.0f ms%s\n", oneMs,
                oneCode == 0 ? "" : "   (FAILED)");

    bool ok = oneCode == 0;
    ok = PluggedApart(8, std::chrono::milliseconds(100), 1.2, oneMs, false) && ok;
    ok = PluggedApart(32, std::chrono::milliseconds(50), 1.3, oneMs, true) && ok;
    ok = NamedPathSeen() && ok;
    ok = IdleCpu(IdleSeconds()) && ok;
    std::remove(kPackage.c_str());
    std::remove(kLog.c_str());
    return ok ? 0 : 1;
}
