// Block transfers of device memory: 256-byte packets, after trying the bulk
// commands; the read-back check; the large-bin bank switch.
//
// Read request: 'R', count (0 for 256), address high, low (a family with
// long addresses sends three address bytes), checksum; the reply is the
// count of data bytes and their checksum. Write: 'W' (or 'w', or 'X' whose
// reply is the 16-bit sum of the data, low byte first), count, address,
// the data, checksum; the reply is 'O'. Under scrambled framing the
// markers 01 02 follow the count and everything from them on is scrambled.
#include <algorithm>
#include <memory>
#include <new>

#include "devicelink/BKQuillex.h"
#include "devicelink/TransferPackets.h"
#include "platform/Thread.h"

namespace {

constexpr int kBulkFallbackPauseMs = 800;

const ReadPathLines kBlockReadLines = {"BKQuillex: ReadBlock", "BKQuillex Read Error", false};

bool Odd(uint32_t size, uint32_t address) {
    return ((size | address) & 1) != 0;
}

// A bulk attempt that was cancelled or found the port busy ends the whole
// transfer: the block path would otherwise ignore the cancel (the bulk
// attempt has cleared the flag) or wait for the same busy port again.
bool EndsTheTransfer(int bulkResult) {
    return bulkResult == QX_E_OPERATION_CANCELED || bulkResult == QX_E_PORT_BUSY;
}

// A bulk attempt that succeeded has already run the exit step under the
// lock and given the lock back. Restoring the time-out or clearing the
// cancel flag again, without the lock, would reach into the transfer of
// whichever thread has taken the lock since; only the bar is ours.
int BulkAttemptDone(ui::ProgressBar* progress) {
    if (progress != nullptr)
        progress->SetPosition(0);
    return QX_S_OK;
}

}  // namespace

int BKQuillex::LargeBinBankSwitch(uint32_t a) {
    const uint8_t bank = static_cast<uint8_t>(a >> 16);
    for (const Family& f : Families()) {
        if ((HardwareFlags & f.bit) && f.largeBinBank != 0 && EmulationBank == f.largeBinBank &&
            bank != ReadWriteBank)
            return SetBank(bank, 1, 0, kCallerHoldsLock);
    }
    return QX_S_OK;
}

int BKQuillex::ReadBlock(uint8_t* destination, uint32_t size, uint32_t address, uint32_t options,
                         ui::ProgressBar* progress) {
    if (!PortOpen) {
        Trace(TraceTarget, "BKQuillex: ReadBlock requested on uninitialized port");
        return QX_E_PORT_NOT_INITIALIZED;
    }
    if (destination == nullptr && size > 0)
        return QX_E_INVALID_FUNC_PARAM;
    if (!(options & QX_XFER_NO_BULK)) {
        const int bulk = BulkRead(destination, size, address, 0, progress);
        if (bulk >= 0)
            return BulkAttemptDone(progress);
        if (EndsTheTransfer(bulk))
            return bulk;
    }
    const bool wide = AnyFamily(HardwareFlags, &Family::longAddresses);
    if (AnyFamily(HardwareFlags, &Family::wordTransfers) && Odd(size, address)) {
        Trace(TraceTarget, "BKQuillex: DunMarra I/O request address/size alignment error");
        return QX_E_INVALID_FUNC_PARAM;
    }
    transfer::StartProgress(progress, size, transfer::kBlockPacket);
    Trace(TraceTarget, "BKQuillex ReadBlock Request initiated for %i bytes.",
          static_cast<int>(size));
    const bool scrambled = ScrambledFraming(options);
    return RunPacketLoop(
        size, transfer::kBlockPacket, kDefaultReadTimeoutMs,
        "BKQuillex: ReadBlock - Operation Canceled", progress, [&](uint32_t done, uint32_t n) {
            const uint32_t a = address + done;
            if (LargeBinBankSwitch(a) < 0)
                return QX_E_LARGE_BIN_BANK_FAILED;
            std::vector<uint8_t> request = transfer::BlockHeader('R', n, a, wide, scrambled);
            uint8_t seed = 0;
            const int sent =
                SendTransferPacket(&request, transfer::kBlockScrambleFrom, scrambled, &seed);
            if (sent != QX_S_OK)
                return sent;
            return ReceiveReadPacket(destination + done, n, scrambled, seed, done, size,
                                     kBlockReadLines);
        });
}

int BKQuillex::WriteBlock(const uint8_t* source, uint32_t size, uint32_t address, uint32_t options,
                          ui::ProgressBar* progress) {
    if (!PortOpen)
        return QX_E_PORT_NOT_INITIALIZED;
    if (source == nullptr && size > 0)
        return QX_E_INVALID_FUNC_PARAM;
    if (!(options & QX_XFER_NO_BULK) && size % 256 == 0 && address % 256 == 0) {
        const int bulk = BulkWrite(source, size, address, 0, progress);
        if (bulk >= 0)
            return BulkAttemptDone(progress);
        if (EndsTheTransfer(bulk))
            return bulk;
        platform::SleepMilliseconds(kBulkFallbackPauseMs);
    }
    const bool wide = AnyFamily(HardwareFlags, &Family::longAddresses);
    if (AnyFamily(HardwareFlags, &Family::wordTransfers) && Odd(size, address)) {
        Trace(TraceTarget, "BKQuillex: DunMarra I/O request address/size alignment error");
        return QX_E_INVALID_FUNC_PARAM;
    }
    transfer::StartProgress(progress, size, transfer::kBlockPacket);
    const bool alternate = (options & QX_XFER_ALT_WRITE) != 0;
    const uint8_t command = alternate ? 'X' : (options & QX_XFER_WRITE_LOWER) ? 'w' : 'W';
    const int replyLength = alternate ? 2 : 1;
    const bool scrambled = ScrambledFraming(options);
    return RunPacketLoop(
        size, transfer::kBlockPacket, kDefaultReadTimeoutMs,
        "BKQuillex: WriteBlock - Operation Canceled", progress, [&](uint32_t done, uint32_t n) {
            const uint32_t a = address + done;
            if (LargeBinBankSwitch(a) < 0)
                return QX_E_LARGE_BIN_BANK_FAILED;
            std::vector<uint8_t> packet = transfer::BlockHeader(command, n, a, wide, scrambled);
            packet.insert(packet.end(), source + done, source + done + n);
            const int sent =
                SendTransferPacket(&packet, transfer::kBlockScrambleFrom, scrambled, nullptr);
            if (sent != QX_S_OK)
                return sent;
            // A reply cut short is a time-out: a missing byte of the 'X' sum
            // must not be taken as 0.
            uint8_t reply[2] = {};
            if (ReadPort(reply, replyLength) < replyLength)
                return QX_E_COMM_READ_TIMEOUT;
            if (alternate) {
                // The 16-bit sum low byte first, or (older firmware) in the
                // second byte alone.
                const uint16_t sum = Checksum16(source + done, n);
                return reply[1] * 256u + reply[0] == sum || reply[1] == sum
                           ? QX_S_OK
                           : QX_E_ALT_WRITE_BAD_CHECKSUM;
            }
            return reply[0] == kAck ? QX_S_OK : QX_E_INVALID_RESPONSE;
        });
}

int BKQuillex::Verify(const uint8_t* expected, uint32_t address, uint32_t length,
                      ui::ProgressBar* progress) {
    if (!PortOpen)
        return QX_E_PORT_NOT_INITIALIZED;
    Trace(TraceTarget, "BKQuillex: %i-length Verify requested", static_cast<int>(length));
    auto reset = [progress](int result) {
        if (progress != nullptr)
            progress->SetPosition(0);
        return result;
    };
    if (expected == nullptr && length > 0)
        return reset(QX_E_INVALID_FUNC_PARAM);
    std::unique_ptr<uint8_t[]> readBack(new (std::nothrow) uint8_t[length > 0 ? length : 1]());
    if (!readBack)
        return reset(QX_E_GENERAL_ERROR);
    const int result = ReadBlock(readBack.get(), length, address, 0, progress);
    if (result < 0)
        return reset(result);
    int differences = 0;
    for (uint32_t i = 0; i < length; ++i)
        differences += readBack[i] != expected[i] ? 1 : 0;
    if (differences == 0)
        return reset(1);
    Trace(TraceTarget, "BKQuillex: ERROR! Verify failed with %i differences.", differences);
    return reset(0);
}
