// Raw transfers under the port lock, the status query "SS" (reply "OO" or
// "BB") and the status words "CC" (reply: three 16-bit words high byte
// first, then one byte that is not examined; '?' first means refused).
#include "devicelink/BKQuillex.h"
#include "devicelink/StatusTasks.h"
#include "platform/Thread.h"

namespace {

constexpr int kStatusWordsReplySize = 7;
// The two status replies, each a byte twice; the device gives them their
// meaning, QueryStatus reports them as 0 and 1.
constexpr uint8_t kStatusFirst = 'O';
constexpr uint8_t kStatusSecond = 'B';

}  // namespace

int BKQuillex::SendRaw(const void* buffer, int count, int purge, int* written) {
    int result;
    int moved = 0;
    bool locked = false;
    if (buffer == nullptr || count <= 0) {
        result = QX_E_INVALID_FUNC_PARAM;
    } else {
        Trace(TraceTarget, "BKQuillex: Sending data to port...");
        if (LockPort(kPortLockWaitMs) != QX_S_OK) {
            result = QX_E_PORT_BUSY;
        } else {
            locked = true;
            SetReadTimeout(kDefaultReadTimeoutMs);
            if (purge)
                PurgePort();
            moved = WritePort(static_cast<const uint8_t*>(buffer), count);
            // A write that timed out part way is a failure; *written says
            // how far it got.
            result = moved == count ? QX_S_OK : QX_E_COMM_WRITE_FAILURE;
        }
    }
    if (written != nullptr)
        *written = moved;
    if (locked)
        UnlockPort();
    return result;
}

int BKQuillex::ReadRaw(void* buffer, int count, int purge, int* received) {
    if (buffer == nullptr || count <= 0)
        return QX_E_INVALID_FUNC_PARAM;
    Trace(TraceTarget, "BKQuillex: Reading raw data from port...");
    if (LockPort(kPortLockWaitMs) != QX_S_OK)
        return QX_E_PORT_BUSY;
    SetReadTimeout(kDefaultReadTimeoutMs);
    if (purge)
        PurgePort();
    bool failed = false;
    const int got = ReadPortReporting(static_cast<uint8_t*>(buffer), count, &failed);
    // Without a port the read fails, as the platform's read does.
    const int result = failed || !PortOpen || !PortHandle ? QX_E_COMM_WRITE_FAILURE : QX_S_OK;
    if (result == QX_S_OK && received != nullptr)
        *received = got;
    UnlockPort();
    return result;
}

int BKQuillex::QueryStatus() {
    if (!PortOpen) {
        platform::SetThreadLastError(QX_E_PORT_NOT_INITIALIZED);
        return -1;
    }
    if (LockPort(kPortLockWaitMs) != QX_S_OK)
        return QX_E_PORT_BUSY;
    int result = -1;
    const uint8_t request[2] = {'S', 'S'};
    if (SendRequest(request, 2) == QX_S_OK) {
        uint8_t reply[2] = {};
        bool failed = false;
        if (ReadPortReporting(reply, 2, &failed) == 2 && !failed) {
            if (reply[0] == kStatusFirst && reply[1] == kStatusFirst)
                result = 0;
            else if (reply[0] == kStatusSecond && reply[1] == kStatusSecond)
                result = 1;
        }
    }
    UnlockPort();
    return result;
}

int BKQuillex::ReadStatusWords(uint16_t* last, uint16_t* middle, uint16_t* first) {
    if (!(HardwareFlags & kHwCurrentCommandFamily))
        return QX_E_REQUEST_NOT_SUPPORTED;
    if (!PortOpen)
        return QX_E_PORT_NOT_INITIALIZED;
    if (last == nullptr || middle == nullptr || first == nullptr)
        return QX_E_INVALID_FUNC_PARAM;
    if (LockPort(kPortLockWaitMs) != QX_S_OK)
        return QX_E_PORT_BUSY;
    const uint8_t request[2] = {'C', 'C'};
    int result = SendRequest(request, 2);
    if (result == QX_S_OK) {
        uint8_t reply[kStatusWordsReplySize] = {};
        bool failed = false;
        const int got = ReadPortReporting(reply, kStatusWordsReplySize, &failed);
        if (failed) {
            result = QX_E_COMM_READ_FAILURE;
        } else if (got < kStatusWordsReplySize) {
            // A lone '?' (refused) or a short reply; six bytes are the
            // words, whatever the first of them is.
            result = QX_E_INVALID_RESPONSE;
        } else {
            *first = static_cast<uint16_t>(reply[0] << 8 | reply[1]);
            *middle = static_cast<uint16_t>(reply[2] << 8 | reply[3]);
            *last = static_cast<uint16_t>(reply[4] << 8 | reply[5]);
        }
    }
    UnlockPort();
    return result;
}

int StatusPollThreadProc(StatusPollTask* task) {
    const StatusPollTask poll = *task;
    while (poll.KeepRunning != nullptr && poll.KeepRunning->load() != 0) {
        const int result = poll.Device->ReadStatusWords(poll.Last, poll.Middle, poll.First);
        if (poll.NotifyWindow != nullptr)
            poll.NotifyWindow->Send(poll.NotifyMessage, 0, result);
    }
    return 1;
}
