// The device object itself: construction, the port lock, the port's read
// time-out and baud rate, raw transfers with their hex dumps, accessors.
#include "devicelink/BKQuillex.h"

BKQuillex::BKQuillex() : PortLock(std::make_unique<platform::AutoResetEvent>(true)) {}

BKQuillex::~BKQuillex() {
    // No link-rate restore and no trace line: the process is ending.
    PortLock.reset();
    PortHandle.reset();
    Serial.reset();  // its destructor closes its port, with its trace line
}

int BKQuillex::LockPort(int timeoutMs) {
    switch (PortLock->Wait(timeoutMs)) {
        case platform::WaitResult::Signaled:
            PortLockFree = 0;
            return QX_S_OK;
        case platform::WaitResult::TimedOut:
            return QX_E_PORT_BUSY;
        case platform::WaitResult::Failed:
            break;
    }
    // A wait that failed outright counts as taken; the caller releases it.
    return QX_S_OK;
}

int BKQuillex::UnlockPort() {
    PortLockFree = 1;
    PortLock->Set();
    return QX_S_OK;
}

int BKQuillex::SetReadTimeout(int milliseconds) {
    int result = QX_S_OK;
    platform::Timeouts timeouts;
    if (!PortHandle) {
        result = QX_E_PORT_NOT_INITIALIZED;
    } else if (!PortHandle->GetTimeouts(&timeouts)) {
        result = QX_E_GENERAL_ERROR;
    } else {
        timeouts.ReadTotalTimeoutConstant = static_cast<uint32_t>(milliseconds);
        if (!PortHandle->SetTimeouts(timeouts))
            result = QX_E_GENERAL_ERROR;
    }
    if (result == QX_S_OK) {
        Trace(TraceTarget, "BKQuillex: Comm Read Timeout Set To %i ms", milliseconds);
    } else {
        Trace(TraceTarget, "BKQuillex: Comm Read Timeout Set Failed with %i", result);
    }
    return result;
}

int BKQuillex::SetPortBaud(int baud) {
    platform::LineState state;
    if (!PortHandle || !PortHandle->GetState(&state))
        return 0;
    state.BaudRate = static_cast<uint32_t>(baud);
    if (!PortHandle->SetState(state))
        return 0;
    Trace(TraceTarget, "BKQuillex: Current port Baud set to %i", baud);
    return 1;
}

int BKQuillex::ReadPortReporting(uint8_t* buffer, int count, bool* failed) {
    *failed = false;
    if (!PortOpen || !PortHandle || buffer == nullptr || count <= 0)
        return 0;
    uint32_t received = 0;
    if (!PortHandle->Read(buffer, static_cast<uint32_t>(count), &received)) {
        *failed = true;
        return 0;
    }
    TraceHexDump(TraceTarget, "Read Port", buffer, received);
    return static_cast<int>(received);
}

int BKQuillex::ReadPort(uint8_t* buffer, int count) {
    bool failed;
    return ReadPortReporting(buffer, count, &failed);
}

int BKQuillex::WritePort(const uint8_t* buffer, int count) {
    if (!PortOpen || !PortHandle || buffer == nullptr || count <= 0)
        return 0;
    uint32_t written = 0;
    if (!PortHandle->Write(buffer, static_cast<uint32_t>(count), &written))
        return 0;
    TraceHexDump(TraceTarget, "Write Port", buffer, written);
    return static_cast<int>(written);
}

bool BKQuillex::PurgePort() {
    return PortHandle && PortHandle->Purge(platform::kPurgeTxClear | platform::kPurgeRxClear);
}

int BKQuillex::GetFirmwareVersion(::FirmwareVersion* out) const {
    if (out == nullptr)
        return 0;
    *out = FirmwareVersion;
    return 1;
}

int BKQuillex::GetMemorySize() const {
    return MemorySizeOf(HardwareFlags);
}

int BKQuillex::GetMemoryRemaining(unsigned offset) const {
    return MemoryRemainingOf(HardwareFlags, EmulationBank, offset);
}

void BKQuillex::GetLastPort(int* portNumber, int* baudCode) const {
    if (portNumber != nullptr)
        *portNumber = static_cast<int>(LastPortIndex + 1);
    if (baudCode != nullptr)
        *baudCode = static_cast<int>(LastBaudCode);
}

void BKQuillex::SetLastPort(unsigned portNumber, int baudCode) {
    LastPortIndex = (portNumber >= 1 && portNumber <= 254) ? portNumber - 1 : 0;
    LastBaudCode = static_cast<uint32_t>(baudCode);
}

int BKQuillex::SendRequest(const uint8_t* request, int length) {
    PurgePort();
    return WritePort(request, length) == length ? QX_S_OK : QX_E_COMM_WRITE_FAILURE;
}
