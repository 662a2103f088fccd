// Configuration memory. Current command family: "HR" count addrHi addrLo cs
// to read, "HW" count addrHi addrLo data... cs to write. Older devices: 'E'
// count addrHi addrLo, size zero bytes, cs to read; 'e' count addrHi addrLo
// data... cs to write. A read is answered by the data and its Checksum8, a
// write by 'O'. Counts travel modulo 256 (256 as 0), addresses high byte
// first, and every request ends with the Checksum8 of the bytes before it.
#include <vector>

#include "devicelink/BKQuillex.h"

namespace {

constexpr int kMaxConfigTransfer = 256;

bool SizeValid(const void* buffer, uint16_t size) {
    return buffer != nullptr && size >= 1 && size <= kMaxConfigTransfer;
}

// Command letters, count and address; the caller adds data and checksum.
std::vector<uint8_t> ConfigHeader(bool currentFamily, bool write, uint16_t address, uint16_t size) {
    std::vector<uint8_t> request;
    if (currentFamily) {
        request = {'H', static_cast<uint8_t>(write ? 'W' : 'R')};
    } else {
        request = {static_cast<uint8_t>(write ? 'e' : 'E')};
    }
    request.push_back(static_cast<uint8_t>(size & 0xFF));
    request.push_back(static_cast<uint8_t>(address >> 8));
    request.push_back(static_cast<uint8_t>(address & 0xFF));
    return request;
}

void AppendChecksum(std::vector<uint8_t>* request) {
    request->push_back(BKQuillex::Checksum8(request->data(), static_cast<int>(request->size())));
}

}  // namespace

int BKQuillex::ReadEEPROM(uint8_t* buffer, uint16_t address, uint16_t size) {
    if (!PortOpen)
        return QX_E_PORT_NOT_INITIALIZED;
    if (!SizeValid(buffer, size))
        return QX_E_INVALID_FUNC_PARAM;
    Trace(TraceTarget, "BKQuillex: ReadEEPROM requested, %i bytes from address %X", size, address);
    if (LockPort(kPortLockWaitMs) != QX_S_OK)
        return QX_E_PORT_BUSY;

    const bool currentFamily = (HardwareFlags & kHwCurrentCommandFamily) != 0;
    std::vector<uint8_t> request = ConfigHeader(currentFamily, false, address, size);
    if (!currentFamily)
        request.insert(request.end(), size, 0x00);
    AppendChecksum(&request);

    int result = SendRequest(request.data(), static_cast<int>(request.size()));
    if (result == QX_S_OK) {
        // A refusal is a lone '?' and nothing after it within the reply
        // window; data may start with 0x3F as well, and then the rest of the
        // reply and its checksum follow.
        bool failed = false;
        int got = ReadPortReporting(buffer, size, &failed);
        const bool loneRefusal = got == 1 && buffer[0] == kUnknownCommand;
        if (failed) {
            result = QX_E_COMM_READ_FAILURE;
        } else if (got < size) {
            result = loneRefusal ? QX_E_UNKNOWN_COMMAND : QX_E_COMM_READ_TIMEOUT;
        } else {
            uint8_t deviceSum = 0;
            int sumBytes = ReadPortReporting(&deviceSum, 1, &failed);
            const uint8_t ownSum = Checksum8(buffer, size);
            if (failed) {
                result = QX_E_COMM_READ_FAILURE;
            } else if (sumBytes == 0 && loneRefusal) {
                result = QX_E_UNKNOWN_COMMAND;  // a one-byte read turned down
            } else if (sumBytes != 1 || deviceSum != ownSum) {
                result = QX_E_EXTERNAL_CS_INVALID;
                Trace(TraceTarget,
                      "BKQuillex: ReadEEPROM: Invalid external data checksum\r\n\tCS of recvd "
                      "data: %.2X\r\n\tCS from device: %.2x",
                      ownSum, deviceSum);
            }
        }
    }
    UnlockPort();
    return result;
}

int BKQuillex::WriteEEPROM(const uint8_t* data, uint16_t address, uint16_t size) {
    if (!PortOpen)
        return QX_E_PORT_NOT_INITIALIZED;
    if (!SizeValid(data, size))
        return QX_E_INVALID_FUNC_PARAM;
    Trace(TraceTarget, "BKQuillex: WriteEEPROM requested, %i bytes to address %X", size, address);
    if (LockPort(kPortLockWaitMs) != QX_S_OK)
        return QX_E_PORT_BUSY;

    const bool currentFamily = (HardwareFlags & kHwCurrentCommandFamily) != 0;
    std::vector<uint8_t> request = ConfigHeader(currentFamily, true, address, size);
    request.insert(request.end(), data, data + size);
    AppendChecksum(&request);

    int result = SendRequest(request.data(), static_cast<int>(request.size()));
    if (result == QX_S_OK) {
        uint8_t reply = 0;
        bool failed = false;
        int got = ReadPortReporting(&reply, 1, &failed);
        if (failed) {
            result = QX_E_COMM_READ_FAILURE;
        } else if (got != 1 || reply != kAck) {
            result = QX_E_GENERAL_ERROR;
        }
    }
    UnlockPort();
    return result;
}
