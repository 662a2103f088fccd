// What every long exchange with the device shares: the port lock taken for
// it, packets of a transfer sent with their checksum (scrambled where the
// framing asks), read packets checked against theirs, the loop over packets
// with its cancel test and progress step, and the exit that gives the port
// back (bar to 0, read time-out 300 ms, the lock released).
#include <algorithm>

#include "devicelink/BKQuillex.h"
#include "devicelink/TransferPackets.h"

bool BKQuillex::LockForTransfer(ui::ProgressBar* progress) {
    if (LockPort(kPortLockWaitMs) == QX_S_OK)
        return true;
    if (progress != nullptr)
        progress->SetPosition(0);
    return false;
}

int BKQuillex::SendTransferPacket(std::vector<uint8_t>* packet, size_t scrambleFrom, bool scrambled,
                                  uint8_t* seed) {
    if (scrambled) {
        ScrambleBytes(nullptr, 0, packet->data() + scrambleFrom,
                      static_cast<uint32_t>(packet->size() - scrambleFrom), seed);
    }
    packet->push_back(Checksum8(packet->data(), static_cast<int>(packet->size())));
    const int length = static_cast<int>(packet->size());
    return WritePort(packet->data(), length) == length ? QX_S_OK : QX_E_COMM_WRITE_FAILURE;
}

int BKQuillex::ReceiveReadPacket(uint8_t* packet, uint32_t n, bool scrambled, uint8_t seed,
                                 uint32_t done, uint32_t size, const ReadPathLines& lines) {
    const int got = ReadPort(packet, static_cast<int>(n));
    if (got < static_cast<int>(n)) {
        const int counted = static_cast<int>(done) + (lines.countsPartPacket ? got : 0);
        Trace(TraceTarget, "%s: Read timed-out after %i bytes. Expected %i bytes.",
              lines.timedOutTag, counted, static_cast<int>(size));
        return QX_E_COMM_READ_TIMEOUT;
    }
    uint8_t deviceSum = 0;
    if (ReadPort(&deviceSum, 1) != 1)
        return QX_E_COMM_READ_TIMEOUT;
    const uint8_t ownSum = Checksum8(packet, static_cast<int>(n));
    if (ownSum != deviceSum) {
        Trace(TraceTarget, "%s - invalid packet checksum. Expected %.2X, Received %.2X.",
              lines.badSumTag, ownSum, deviceSum);
        return QX_E_EXTERNAL_CS_INVALID;
    }
    // A packet that failed its checksum stays as it came, scrambled.
    if (scrambled)
        UnscrambleBytes(seed, nullptr, 0, packet, n);
    return QX_S_OK;
}

int BKQuillex::RunPacketLoop(uint32_t size, uint32_t packetSize, int readTimeoutMs,
                             const char* cancelLine, ui::ProgressBar* progress,
                             const std::function<int(uint32_t, uint32_t)>& packet) {
    if (!LockForTransfer(progress))
        return QX_E_PORT_BUSY;
    SetReadTimeout(readTimeoutMs);
    PurgePort();
    int result = QX_S_OK;
    for (uint32_t done = 0; done < size;) {
        // Read once per packet: a cancel takes effect between packets.
        if (CancelRequested) {
            Trace(TraceTarget, "%s", cancelLine);
            result = QX_E_OPERATION_CANCELED;
            break;
        }
        const uint32_t n = std::min(size - done, packetSize);
        result = packet(done, n);
        if (result != QX_S_OK)
            break;
        if (progress != nullptr)
            progress->StepIt();
        done += n;
    }
    return FinishTransfer(result, progress);
}

int BKQuillex::FinishTransfer(int result, ui::ProgressBar* progress, bool clearCancel) {
    if (progress != nullptr)
        progress->SetPosition(0);
    SetReadTimeout(kDefaultReadTimeoutMs);
    // Cleared before the lock goes back: a cancel meant for the next lock
    // holder's transfer must survive.
    if (clearCancel)
        CancelRequested = 0;
    UnlockPort();
    return result;
}
