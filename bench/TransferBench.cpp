// Block and bulk transfers of device memory against the virtual device:
//   (a) unpaced: throughput of reads and writes of 256 KiB in block
//       packets, in bulk packets, and in scrambled Dunmarra bulk packets;
//   (b) paced at 115200 baud (10 bits a byte): the time of a 16 KiB read
//       and write on each path against the wire time of every byte sent and
//       received; within 3% of it is the mark.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "devicelink/BKQuillex.h"
#include "platform/PortTable.h"
#include "sim/VirtualDevice.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Path {
    const char* name;
    uint8_t major, minor;
    char letter;
    uint32_t flags;
    uint32_t options;
    // Wire bytes of one packet of this path: request overhead, reply
    // overhead, and data per packet.
    size_t readPacket, writePacket;
};

constexpr Path kPaths[] = {
    {"block", 2, 11, 'Q', 0x8485, QX_XFER_NO_BULK, 256, 256},
    {"bulk", 2, 12, 'Q', 0x8485, 0, 2048, 4096},
    {"bulk scrambled", 3, 2, 'D', 0x2081, 0, 2048, 4096},
};

// Bytes on the wire for a transfer of size bytes: requests and replies.
double WireBytes(const Path& p, bool write, size_t size) {
    const bool bulk = p.options == 0;
    const bool scrambled = p.letter == 'D';
    const size_t packet = write ? p.writePacket : p.readPacket;
    const size_t packets = (size + packet - 1) / packet;
    size_t header = bulk ? 6 : 5;  // with the checksum
    if (scrambled)
        header += bulk ? 2 : 3;
    if (write)
        return static_cast<double>(packets * (header + 1) + size);  // 'O' per packet
    return static_cast<double>(packets * (header + 1) + size);      // sum per packet
}

double Seconds(const Path& p, bool paced, bool write, size_t size) {
    sim::DeviceConfig config;
    config.major = p.major;
    config.minor = p.minor;
    config.letter = p.letter;
    config.paceAtLineRate = paced;
    sim::VirtualDevice device(config);
    device.Start();
    platform::PortTable::SetOverride({device.PortPath()});
    BKQuillex q;
    q.InitPort("COM1", 115200);
    q.HardwareFlags = p.flags;
    q.FirmwareVersion = {p.major, p.minor, p.letter};
    std::vector<uint8_t> data(size, 0x5A);
    const Clock::time_point start = Clock::now();
    const int result =
        write ? q.WriteBlock(data.data(), static_cast<uint32_t>(size), 0, p.options, nullptr)
              : q.ReadBlock(data.data(), static_cast<uint32_t>(size), 0, p.options, nullptr);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    q.ClosePort();
    if (result != QX_S_OK)
        std::printf("%s %s failed: %s\n", p.name, write ? "write" : "read", ResultCodeName(result));
    return seconds;
}

}  // namespace

int main() {
    int failures = 0;
    constexpr size_t kUnpaced = 256 * 1024;
    for (const Path& p : kPaths) {
        for (bool write : {false, true}) {
            double best = 1e9;
            for (int i = 0; i < 5; ++i)
                best = std::min(best, Seconds(p, false, write, kUnpaced));
            std::printf("(a) unpaced %-15s %-5s %8.0f KiB/s\n", p.name, write ? "write" : "read",
                        kUnpaced / 1024.0 / best);
        }
    }
    constexpr size_t kPaced = 16 * 1024;
    for (const Path& p : kPaths) {
        for (bool write : {false, true}) {
            const double wire = WireBytes(p, write, kPaced) * 10 / 115200.0;
            const double took =
                std::min(Seconds(p, true, write, kPaced), Seconds(p, true, write, kPaced));
            const bool close = took <= wire * 1.03;
            failures += !close;
            std::printf("(b) paced   %-15s %-5s %7.3f s   wire %7.3f s   %5.1f%%  %s\n", p.name,
                        write ? "write" : "read", took, wire, 100.0 * took / wire,
                        close ? "ok" : "SLOW");
        }
    }
    platform::PortTable::ClearOverride();
    return failures == 0 ? 0 : 1;
}
