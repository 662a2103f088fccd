// write --watch: the image written and verified, then written again each
// time its file is: only the 256-byte blocks whose bytes differ from what
// this run wrote last, each verified. A new version is taken once it has
// rested: its stamp (the file, its size and time) unchanged over kSettle.
// A version that fails to parse (an Intel HEX file cut short lacks its end
// record) or no longer fits the device is said and passed over: the device
// keeps the last good image.
#include <array>
#include <bitset>
#include <chrono>
#include <ctime>
#include <map>
#include <thread>

#include "app/cli/ImageTransfer.h"
#include "app/cli/MemoryAccess.h"
#include "image/ImageFile.h"
#include "platform/Console.h"

namespace cli {
namespace {

using Clock = std::chrono::steady_clock;

// How often the file is looked at, and how long it must rest unchanged.
constexpr auto kLook = std::chrono::milliseconds(10);
constexpr auto kSettle = std::chrono::milliseconds(20);

constexpr uint32_t kBlock = 256;

// The image by device block: its bytes and which of them the image holds.
struct Block {
    std::array<uint8_t, kBlock> bytes{};
    std::bitset<kBlock> held;
    bool operator==(const Block& other) const = default;
};
using BlockMap = std::map<uint32_t, Block>;

BlockMap BlocksOf(const PlacedImage& placed) {
    BlockMap blocks;
    for (const DeviceRange& range : RangesOf(placed)) {
        for (size_t i = 0; i < range.bytes.size(); ++i) {
            const uint32_t at = range.address + static_cast<uint32_t>(i);
            Block& block = blocks[at / kBlock * kBlock];
            block.bytes[at % kBlock] = range.bytes[i];
            block.held.set(at % kBlock);
        }
    }
    return blocks;
}

// Bytes for the device from one address on, held.
struct OwnedRange {
    uint32_t address = 0;
    std::vector<uint8_t> bytes;
};

// The bytes of the blocks that differ from before, as runs of the bytes the
// image holds (its gaps stay untouched); *count: how many blocks.
std::vector<OwnedRange> ChangedRanges(const BlockMap& now, const BlockMap& before, size_t* count) {
    std::vector<OwnedRange> ranges;
    *count = 0;
    for (const auto& [start, block] : now) {
        const auto old = before.find(start);
        if (old != before.end() && old->second == block)
            continue;
        ++*count;
        for (uint32_t i = 0; i < kBlock; ++i) {
            if (!block.held[i])
                continue;
            if (ranges.empty() || ranges.back().address + ranges.back().bytes.size() != start + i)
                ranges.push_back({start + i, {}});
            ranges.back().bytes.push_back(block.bytes[i]);
        }
    }
    return ranges;
}

std::vector<DeviceRange> Views(const std::vector<OwnedRange>& owned) {
    std::vector<DeviceRange> views;
    for (const OwnedRange& range : owned)
        views.push_back({range.address, range.bytes});
    return views;
}

// What WriteAndVerify gives when a range reads back other bytes (the
// device link's result codes are 0 or below).
constexpr int kReadBackDiffers = 1;

// Writes and verifies the ranges; QX_S_OK, a failure, or kReadBackDiffers.
int WriteAndVerify(Session& s, const std::vector<DeviceRange>& ranges, ui::ProgressBar* bar) {
    if (const int result = WriteRanges(s, ranges, bar); result != QX_S_OK)
        return result;
    for (const DeviceRange& range : ranges) {
        const int same = s.device.Verify(range.bytes.data(), range.address,
                                         static_cast<uint32_t>(range.bytes.size()), nullptr);
        if (same != 1)
            return same < 0 ? same : kReadBackDiffers;
    }
    return QX_S_OK;
}

using FileLook = platform::FileStamp;
std::optional<FileLook> Look(const std::string& path) {
    return platform::StampOfFile(path);
}

std::string TimeOfDay() {
    const std::time_t now = std::time(nullptr);
    char text[16] = "";
    if (const std::tm* local = std::localtime(&now))
        std::strftime(text, sizeof text, "%H:%M:%S", local);
    return text;
}

// Waits for the file to be written anew and rest; false on Ctrl+C.
bool AwaitNewVersion(Session& s, const std::string& path, std::optional<FileLook>* taken) {
    std::optional<FileLook> seen = *taken;
    Clock::time_point seenSince = Clock::now();
    while (!s.Cancelled()) {
        std::this_thread::sleep_for(kLook);
        const std::optional<FileLook> now = Look(path);
        if (now != seen) {
            seen = now;
            seenSince = Clock::now();
        } else if (seen && seen != *taken && Clock::now() - seenSince >= kSettle) {
            *taken = seen;
            return true;
        }
    }
    return false;
}

// One pass: the blocks that differ from those written before go out and
// are verified, and a line says so. 0, or the run's exit code. A reload
// (not the first, whole write) runs to its end: Ctrl+C, SIGTERM and SIGHUP
// wait for it, and the loop ends after it with their code.
int WriteChanges(Session& s, const PlacedImage& placed, BlockMap* written, bool whole,
                 Json* reloads) {
    const Clock::time_point start = Clock::now();
    const BlockMap blocks = BlocksOf(placed);
    size_t count = 0;
    const std::vector<OwnedRange> changed = ChangedRanges(blocks, *written, &count);
    const std::vector<DeviceRange> ranges = Views(changed);
    const uint64_t bytes = TotalBytes(ranges);
    std::optional<platform::StopSignalHold> hold;
    if (whole)
        s.BeginWork(bytes);
    else
        hold.emplace("brevik: the reload under way goes on to its end; the loop ends after it\n");
    const int result = WriteAndVerify(s, ranges, whole ? s.progress : nullptr);
    if (whole)
        s.EndWork(result == QX_S_OK);
    const int held = hold ? hold->HeldExitCode() : 0;
    hold.reset();
    const std::string& path = placed.path;
    if (result == kReadBackDiffers)
        return s.Fail(kCliFailed, path + ": the device read back other bytes than were written");
    if (result != QX_S_OK)
        return TransferFailed(s, result, "write");
    *written = blocks;
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    reloads->push_back({{"blocks", count}, {"bytes", bytes}, {"seconds", seconds}});
    s.doc["reloads"] = *reloads;
    s.Say("%s  %s: %llu block%s written and verified in %.2f s%s", TimeOfDay().c_str(),
          path.c_str(), static_cast<unsigned long long>(count), count == 1 ? "" : "s", seconds,
          whole ? "; waiting for the file to change (Ctrl+C ends)" : "");
    if (held == 0)
        return 0;
    s.device.ClosePort();
    return s.Fail(held, "stopped after the reload; the device holds the image written last");
}

// The next version of the file that parses and fits the device; none when
// Ctrl+C came first. A version that fails is said and passed over.
std::optional<PlacedImage> NextImage(Session& s, const PlacedImage& first,
                                     std::optional<FileLook>* taken) {
    const std::string& path = first.path;
    while (AwaitNewVersion(s, path, taken)) {
        // The build may still hold the file a moment (on Windows a
        // writer's share mode keeps readers out): a few more tries.
        std::string unreadable;
        std::optional<std::vector<uint8_t>> file;
        for (int attempt = 0; attempt < 10 && !file; ++attempt) {
            if (attempt > 0)
                std::this_thread::sleep_for(kSettle);
            file = ReadFileBytes(path, &unreadable, platform::FileShare::Anything);
        }
        ImageReading reading =
            file ? ParseImageFile(s.args, path, *file) : ImageReading{{}, unreadable};
        PlacedImage next{reading.image ? std::move(*reading.image) : image::MemoryImage{},
                         first.address, path};
        const std::string problem =
            reading.image ? ImageProblemOnDevice(s.device, next) : path + ": " + reading.problem;
        if (problem.empty())
            return next;
        std::fprintf(s.err, "brevik: %s  %s; passed over, the device keeps the last image\n",
                     TimeOfDay().c_str(), ForTerminal(problem).c_str());
    }
    return std::nullopt;
}

}  // namespace

int ReloadOnChange(Session& s, const Found& found, const PlacedImage& first) {
    const auto lowLatency = HoldLowLatency(s, found.port);
    std::optional<FileLook> taken = Look(first.path);
    BlockMap written;
    Json reloads = Json::array();
    std::optional<PlacedImage> placed = first;
    for (bool whole = true; placed; whole = false) {
        if (const int ended = WriteChanges(s, *placed, &written, whole, &reloads); ended != 0)
            return ended;
        placed = NextImage(s, first, &taken);
    }
    s.device.ClosePort();
    return s.Fail(kCliCancelled, "stopped; the device holds the image written last");
}

}  // namespace cli
