// Identity of a Dunmarra: its serial number and the vendor identifier.
//
// Serial request: 'N' 'S' 0xA1 (the sum of the two letters); reply: 9 serial
// bytes and one byte that is not examined. Vendor write: 'N', the vendor
// identifier, serial bytes 1 to 8, checksum; reply 'O'.
#include "devicelink/BKQuillex.h"

namespace {

constexpr int kSerialSize = 9;
constexpr int kSerialReadTimeoutMs = 600;
constexpr int kVendorWriteTimeoutMs = 20000;

}  // namespace

int BKQuillex::GetSerialNumber(uint8_t* out, int size) {
    if (out == nullptr || size != kSerialSize)
        return QX_E_INVALID_FUNC_PARAM;
    if (!AnyFamily(HardwareFlags, &Family::identityCommands))
        return QX_E_REQUEST_NOT_SUPPORTED;
    Trace(TraceTarget, "DunMarra: Serial requested");
    if (LockPort(kPortLockWaitMs) != QX_S_OK)
        return QX_E_PORT_BUSY;

    // The read time-out stays at 600 ms for the next command.
    SetReadTimeout(kSerialReadTimeoutMs);
    const uint8_t request[3] = {'N', 'S', 0xA1};
    int result = SendRequest(request, 3);
    if (result == QX_S_OK) {
        bool failed = false;
        const int got = ReadPortReporting(out, kSerialSize, &failed);
        if (failed) {
            result = QX_E_COMM_READ_FAILURE;
        } else if (got < kSerialSize) {
            Trace(TraceTarget, "Dunmarra serial request timed out");
            result = QX_E_COMM_READ_TIMEOUT;
        } else {
            uint8_t trailing = 0;
            ReadPortReporting(&trailing, 1, &failed);
            if (failed)
                result = QX_E_COMM_READ_FAILURE;
        }
    }
    UnlockPort();
    return result;
}

int BKQuillex::SetVendorID(uint8_t vendorId) {
    if (!AnyFamily(HardwareFlags, &Family::identityCommands))
        return QX_E_REQUEST_NOT_SUPPORTED;
    uint8_t serial[kSerialSize] = {};
    if (GetSerialNumber(serial, kSerialSize) < 0)
        return QX_E_INVALID_RESPONSE;

    uint8_t request[11] = {'N', vendorId};
    for (int i = 1; i < kSerialSize; ++i)
        request[i + 1] = serial[i];
    request[10] = Checksum8(request, 10);
    Trace(TraceTarget, "DunMarra: Setting Vendor ID");
    if (LockPort(kPortLockWaitMs) != QX_S_OK)
        return QX_E_PORT_BUSY;

    // The device takes its time to store the identifier.
    SetReadTimeout(kVendorWriteTimeoutMs);
    int result = SendRequest(request, 11);
    if (result == QX_S_OK) {
        uint8_t reply = 0;
        bool failed = false;
        const int got = ReadPortReporting(&reply, 1, &failed);
        if (failed) {
            result = QX_E_COMM_READ_FAILURE;
        } else if (got == 1 && reply == kAck) {
            SetReadTimeout(kDefaultReadTimeoutMs);
        } else {
            result = QX_E_INVALID_RESPONSE;  // the 20000 ms time-out stays
        }
    }
    UnlockPort();
    return result;
}
