// Packet layouts shared by the block and bulk transfers. Addresses go most
// significant byte first; under scrambled framing the markers 01 02 come
// before the address, and everything from the markers on is scrambled.
#pragma once

#include <cstdint>
#include <vector>

#include "ui/ProgressBar.h"

// How one read path names itself in its trace lines.
struct ReadPathLines {
    const char* timedOutTag;  // "<tag>: Read timed-out after %i bytes. Expected %i bytes."
    const char* badSumTag;    // "<tag> - invalid packet checksum. Expected %.2X, Received %.2X."
    bool countsPartPacket;    // the timed-out count includes the part of this packet
};

namespace transfer {

constexpr uint32_t kBlockPacket = 256;
constexpr uint32_t kBulkReadPacket = 2048;
constexpr uint32_t kBulkWritePacket = 4096;
// Where the scrambled region starts: block packets after the count, bulk
// packets after the page count.
constexpr size_t kBlockScrambleFrom = 2;
constexpr size_t kBulkScrambleFrom = 3;

// Command and count (0 stands for 256), then the address: 16 bits, or 24
// bits for a family with long addresses.
inline std::vector<uint8_t> BlockHeader(uint8_t command, uint32_t count, uint32_t address,
                                        bool longAddress, bool scrambled) {
    std::vector<uint8_t> packet = {command, static_cast<uint8_t>(count & 0xFF)};
    if (scrambled)
        packet.insert(packet.end(), {0x01, 0x02});
    if (longAddress)
        packet.push_back(static_cast<uint8_t>(address >> 16));
    packet.push_back(static_cast<uint8_t>(address >> 8));
    packet.push_back(static_cast<uint8_t>(address));
    return packet;
}

// 'Z', the kind, the page count, then address bits 16-23 and 8-15.
inline std::vector<uint8_t> BulkHeader(uint8_t kind, uint32_t count, uint32_t address,
                                       bool scrambled) {
    std::vector<uint8_t> packet = {'Z', kind, static_cast<uint8_t>(count / 256)};
    if (scrambled)
        packet.insert(packet.end(), {0x01, 0x02});
    packet.push_back(static_cast<uint8_t>(address >> 16));
    packet.push_back(static_cast<uint8_t>(address >> 8));
    return packet;
}

// Range 0 to size / packet (modulo 65536), step 1, position 0.
inline void StartProgress(ui::ProgressBar* progress, uint32_t size, uint32_t packet) {
    if (progress == nullptr)
        return;
    progress->SetRange(0, static_cast<int>((size / packet) & 0xFFFF));
    progress->SetStep(1);
    progress->SetPosition(0);
}

}  // namespace transfer
