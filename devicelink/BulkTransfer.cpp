// Bulk transfers of device memory: 'Z' 'W' packets of up to 4096 bytes and
// 'Z' 'R' requests of up to 2048, for firmware that carries them. Size and
// address are multiples of 256.
#include <algorithm>

#include "devicelink/BKQuillex.h"
#include "devicelink/TransferPackets.h"

namespace {

constexpr int kBulkWriteReadTimeoutMs = 6000;
const ReadPathLines kBulkReadLines = {"BrevikWare: BulkRead", "BrevikWare Bulk Read Error", true};

}  // namespace

// The checks both bulk directions share; 0 when the transfer may go ahead.
static int BulkAdmitted(const BKQuillex& device, uint32_t size, uint32_t address,
                        const char* alignmentLine, const char* closedPortLine) {
    if (!(device.HardwareFlags & kHwCurrentCommandFamily))
        return QX_E_REQUEST_NOT_SUPPORTED;
    if (FirmwareTooOld(device.HardwareFlags, &Family::bulkLevel, device.FirmwareVersion)) {
        Trace(device.TraceTarget, "BrevikWare: BulkXfer - unsupported FW version");
        return QX_E_REQUEST_NOT_SUPPORTED;
    }
    if (size % 256 != 0 || address % 256 != 0) {
        Trace(device.TraceTarget, "%s", alignmentLine);
        return QX_E_INVALID_FUNC_PARAM;
    }
    if (!device.PortOpen) {
        Trace(device.TraceTarget, "%s", closedPortLine);
        return QX_E_PORT_NOT_INITIALIZED;
    }
    return QX_S_OK;
}

int BKQuillex::BulkWrite(const uint8_t* source, uint32_t size, uint32_t address, uint32_t options,
                         ui::ProgressBar* progress) {
    const int admitted =
        BulkAdmitted(*this, size, address,
                     "BrevikWare: BulkWrite failure. Size/Address must be divisible by 256.",
                     "BrevikWare: BulkWrite failure. Uninitialized Port.");
    if (admitted != QX_S_OK)
        return admitted;
    if (source == nullptr && size > 0)
        return QX_E_INVALID_FUNC_PARAM;
    transfer::StartProgress(progress, size, transfer::kBulkWritePacket);
    const bool scrambled = ScrambledFraming(options);
    // Storing 4096 bytes takes the device a while: 6000 ms per packet.
    return RunPacketLoop(
        size, transfer::kBulkWritePacket, kBulkWriteReadTimeoutMs,
        "BrevikWare: BulkWrite - Operation Canceled", progress, [&](uint32_t done, uint32_t n) {
            std::vector<uint8_t> packet = transfer::BulkHeader('W', n, address + done, scrambled);
            packet.insert(packet.end(), source + done, source + done + n);
            const int sent =
                SendTransferPacket(&packet, transfer::kBulkScrambleFrom, scrambled, nullptr);
            if (sent != QX_S_OK)
                return sent;
            uint8_t reply = 0;
            if (ReadPort(&reply, 1) != 1)
                return QX_E_COMM_READ_TIMEOUT;
            return reply == kAck ? QX_S_OK : QX_E_INVALID_RESPONSE;
        });
}

int BKQuillex::BulkRead(uint8_t* destination, uint32_t size, uint32_t address, uint32_t options,
                        ui::ProgressBar* progress) {
    const int admitted =
        BulkAdmitted(*this, size, address,
                     "BrevikWare: BulkRead failure. Size/Address must be divisible by 256.",
                     "BrevikWare: BulkRead requested on uninitialized port");
    if (admitted != QX_S_OK)
        return admitted;
    if (destination == nullptr && size > 0)
        return QX_E_INVALID_FUNC_PARAM;
    transfer::StartProgress(progress, size, transfer::kBulkReadPacket);
    Trace(TraceTarget, "BrevikWare: Bulk Read Request initiated for %i bytes.",
          static_cast<int>(size));
    const bool scrambled = ScrambledFraming(options);
    return RunPacketLoop(
        size, transfer::kBulkReadPacket, kDefaultReadTimeoutMs,
        "BrevikWare: Bulk Read - Operation Canceled", progress, [&](uint32_t done, uint32_t n) {
            std::vector<uint8_t> request = transfer::BulkHeader('R', n, address + done, scrambled);
            uint8_t seed = 0;
            const int sent =
                SendTransferPacket(&request, transfer::kBulkScrambleFrom, scrambled, &seed);
            if (sent != QX_S_OK)
                return sent;
            return ReceiveReadPacket(destination + done, n, scrambled, seed, done, size,
                                     kBulkReadLines);
        });
}
