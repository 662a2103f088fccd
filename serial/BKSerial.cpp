#include "serial/BKSerial.h"

#include <optional>
#include <string>

#include "platform/PortTable.h"

BKSerial::~BKSerial() {
    Close();
}

int BKSerial::Open(const char* name, int baud) {
    if (PortHandle)
        Close();
    lastOpenError_ = platform::OpenError::NotFound;
    const std::optional<std::string> path =
        name != nullptr ? platform::PortTable::Resolve(name) : std::nullopt;
    if (!path)
        return 0;
    PortHandle = platform::SerialPort::Open(path->c_str(), &lastOpenError_);
    if (!PortHandle)
        return 0;

    platform::LineState state;
    if (!PortHandle->GetState(&state)) {
        Trace(TraceTarget, "BKSerial: GetCommState Failed");
        Close();
        return 0;
    }
    // Only the settings this class owns; stop bits and XON/XOFF are the
    // port's own.
    state.BaudRate = baud > 0 ? static_cast<uint32_t>(baud) : 0;
    state.ByteSize = 8;
    state.Parity = platform::kNoParity;
    state.OutxCtsFlow = false;
    state.OutxDsrFlow = false;
    state.DsrSensitivity = false;
    state.DtrControl = platform::LineControl::Enable;
    state.RtsControl = platform::LineControl::Enable;
    if (!PortHandle->SetState(state)) {
        Close();
        return 0;
    }
    Trace(TraceTarget, "BKSerial: %s opened at %i baud", name, baud);
    return 1;
}

void BKSerial::Close() {
    PortHandle.reset();
    Trace(TraceTarget, "BKSerial: Port Closed");
}

int BKSerial::SetBaud(int baud) {
    if (!PortHandle)
        return 0;
    platform::LineState state;
    if (!PortHandle->GetState(&state)) {
        Trace(TraceTarget, "BKSerial: GetCommState Failed");
        return 0;
    }
    state.BaudRate = baud > 0 ? static_cast<uint32_t>(baud) : 0;
    if (!PortHandle->SetState(state)) {
        Trace(TraceTarget, "BKSerial: SetCommState Failed");
        return 0;
    }
    Trace(TraceTarget, "BKSerial: Baud changed to %i", baud);
    return 1;
}

void BKSerial::SetQueueSizes(uint32_t inQueue, uint32_t outQueue) {
    if (PortHandle)
        (void)PortHandle->SetupQueues(inQueue, outQueue);
}

void BKSerial::SetTimeouts(uint32_t readInterval, uint32_t readMultiplier, uint32_t readConstant,
                           uint32_t writeMultiplier, uint32_t writeConstant) {
    if (PortHandle) {
        (void)PortHandle->SetTimeouts(
            {readInterval, readMultiplier, readConstant, writeMultiplier, writeConstant});
    }
}

int BKSerial::SetReadTimeout(int milliseconds) {
    if (!PortHandle)
        return 0;
    platform::Timeouts timeouts;
    if (!PortHandle->GetTimeouts(&timeouts)) {
        Trace(TraceTarget, "BKSerial: GetCommTimeouts Failed");
        return 0;
    }
    timeouts.ReadTotalTimeoutConstant = static_cast<uint32_t>(milliseconds);
    if (!PortHandle->SetTimeouts(timeouts)) {
        Trace(TraceTarget, "BKSerial: SetCommTimeouts Failed");
        return 0;
    }
    Trace(TraceTarget, "BKSerial: Comm Read Timeout Set To %i ms", milliseconds);
    return 1;
}

int BKSerial::Purge(bool clearTransmit, bool clearReceive) {
    if (!PortHandle)
        return 0;  // the platform call fails without a port
    const unsigned flags = (clearTransmit ? platform::kPurgeTxClear : 0u) |
                           (clearReceive ? platform::kPurgeRxClear : 0u);
    return PortHandle->Purge(flags) ? 1 : 0;
}

int BKSerial::Read(uint8_t* buffer, int count) {
    if (!PortHandle || buffer == nullptr || count <= 0)
        return 0;
    uint32_t received = 0;
    if (!PortHandle->Read(buffer, static_cast<uint32_t>(count), &received))
        received = 0;
    TraceHexDump(TraceTarget, "BKSerial: Read", buffer, received);
    return static_cast<int>(received);
}

int BKSerial::Write(const uint8_t* bytes, int count) {
    if (!PortHandle || bytes == nullptr || count <= 0)
        return 0;
    uint32_t written = 0;
    if (!PortHandle->Write(bytes, static_cast<uint32_t>(count), &written))
        written = 0;
    TraceHexDump(TraceTarget, "BKSerial: Write", bytes, written);
    return static_cast<int>(written);
}
