// Opening and closing the port, and moving device and port to another link
// rate. Link-rate request on the wire: 'S', code, ('S' + code) mod 256; the
// device answers 'O' and switches.
#include <chrono>
#include <string>

#include "devicelink/BKQuillex.h"
#include "platform/PortTable.h"
#include "platform/Thread.h"

namespace {

constexpr uint32_t kQueueSize = 1024;
constexpr int kSettlingPauseMs = 100;
constexpr int kSlowOpenMs = 20;
constexpr uint8_t kLinkRateCommand = 'S';

const platform::Timeouts kInitialTimeouts = {
    /*ReadIntervalTimeout=*/200,
    /*ReadTotalTimeoutMultiplier=*/1,
    /*ReadTotalTimeoutConstant=*/kDefaultReadTimeoutMs,
    /*WriteTotalTimeoutMultiplier=*/0,
    /*WriteTotalTimeoutConstant=*/300,
};

// The number a port name stands for: the digits after "COM", or the place
// of a device path in the port table (255 when it has none).
uint8_t PortNumberOfName(const char* name) {
    if (platform::PortTable::IsPathName(name))
        return static_cast<uint8_t>(platform::PortTable::NumberOfPath(name));
    return static_cast<uint8_t>(platform::PortTable::ParseComNumber(name));
}

}  // namespace

int LinkRateOfBaudCode(int baudCode) {
    switch (baudCode) {
        case 0:
        case 1:
        case 3:
        case 7:
            return kLinkRateBase / (baudCode + 1);
        default:
            return 0;
    }
}

int BKQuillex::InitPort(const char* portName, int baud) {
    const char* name = portName != nullptr ? portName : "";
    if (PortHandle)
        ClosePort();

    bool configured = false;
    std::optional<std::string> path = platform::PortTable::Resolve(name);
    if (!path) {
        lastOpenError_ = platform::OpenError::NotFound;
        Trace(TraceTarget, "BKQuillex: %s is not in the port table", name);
    } else {
        const auto opening = std::chrono::steady_clock::now();
        PortHandle = platform::SerialPort::Open(path->c_str(), &lastOpenError_);
        // A Bluetooth port makes its link while it opens: seconds when the
        // device is out of reach. Worth a line; a local port opens at once.
        const auto openMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                                std::chrono::steady_clock::now() - opening)
                                .count();
        if (openMs >= kSlowOpenMs)
            Trace(TraceTarget, "BKQuillex: %s (%s): opening took %i ms", name, path->c_str(),
                  static_cast<int>(openMs));
        if (!PortHandle) {
            Trace(TraceTarget, "BKQuillex: %s (%s): %s", name, path->c_str(),
                  platform::DescribeOpenError(lastOpenError_));
        }
    }
    if (PortHandle && PortHandle->SetupQueues(kQueueSize, kQueueSize)) {
        platform::LineState state;
        if (PortHandle->GetState(&state)) {
            state.BaudRate = static_cast<uint32_t>(baud);
            state.ByteSize = 8;
            state.Parity = platform::kNoParity;
            state.DtrControl = platform::LineControl::Enable;
            state.RtsControl = platform::LineControl::Enable;
            state.OutxCtsFlow = false;
            state.OutxDsrFlow = false;
            state.DsrSensitivity = false;
            configured = PortHandle->SetState(state) && PortHandle->SetTimeouts(kInitialTimeouts);
        }
    }
    if (!configured) {
        // A handle that did open stays recorded; ClosePort or the next
        // InitPort closes it.
        PortOpen = 0;
        Trace(TraceTarget, "BKQuillex: %s init failed with error %s.", name,
              ResultCodeName(QX_E_PORT_NOT_INITIALIZED));
        return QX_E_PORT_NOT_INITIALIZED;
    }
    platform::SleepMilliseconds(kSettlingPauseMs);
    ComPortNumber = PortNumberOfName(name);
    PortOpen = 1;
    Trace(TraceTarget, "BKQuillex: %s Successfully initialized at %i baud.", name, baud);
    return QX_S_OK;
}

int BKQuillex::SetUSBBaud(int baudCode, int force) {
    int rate = kLinkRateBase / static_cast<int>(UsbBaudCode + 1);
    int result = QX_S_OK;
    bool locked = false;
    bool lockHeldElsewhere = false;

    if (HardwareFlags != 0 && !(HardwareFlags & kHwCurrentCommandFamily)) {
        result = QX_E_REQUEST_NOT_SUPPORTED;
    } else if (LinkRateOfBaudCode(baudCode) == 0) {
        result = QX_E_INVALID_FUNC_PARAM;
    } else {
        rate = LinkRateOfBaudCode(baudCode);
        if (HardwareFlags == 0) {
            // Nothing identified yet (the scan): no exchange, no lock.
            if (force) {
                UsbBaudCode = static_cast<uint32_t>(baudCode);
                SetPortBaud(rate);
            }
        } else if (LockPort(kPortLockWaitMs) != QX_S_OK) {
            result = QX_E_PORT_BUSY;
            lockHeldElsewhere = true;
        } else {
            locked = true;
            SetReadTimeout(kLinkRateReadTimeoutMs);
            PurgePort();
            const uint8_t request[3] = {kLinkRateCommand, static_cast<uint8_t>(baudCode),
                                        static_cast<uint8_t>(kLinkRateCommand + baudCode)};
            uint8_t reply = 0;
            bool readFailed = false;
            if (WritePort(request, sizeof request) != static_cast<int>(sizeof request)) {
                result = QX_E_COMM_WRITE_FAILURE;
            } else if (ReadPortReporting(&reply, 1, &readFailed) == 1 && reply == kAck) {
                UsbBaudCode = static_cast<uint32_t>(baudCode);
                SetPortBaud(rate);
                platform::SleepMilliseconds(kAfterRateChangePauseMs);
            } else if (readFailed) {
                result = QX_E_COMM_READ_FAILURE;
            } else if (!force) {
                result = QX_E_GENERAL_ERROR;
            }
        }
    }

    // The holder of the lock may have raised the time-out for its own
    // exchange (a firmware upload waits 6000 ms); only put it back when this
    // call is not trespassing on another thread's exchange.
    if (!lockHeldElsewhere)
        SetReadTimeout(kDefaultReadTimeoutMs);
    if (locked)
        UnlockPort();
    const char* forced = force ? "TRUE" : "FALSE";
    if (result >= 0) {
        Trace(TraceTarget, "BKQuillex: SetUSBBaud to %i, Force = %s SUCCEEDED", rate, forced);
    } else {
        Trace(TraceTarget, "BKQuillex: SetUSBBaud to %i, Force = %s FAILED with %s", rate, forced,
              ResultCodeName(result));
    }
    return result;
}

void BKQuillex::ClosePort() {
    // Bring a device that was moved to another rate back to where it starts.
    if (UsbBaudCode != kBaudCode115200)
        SetUSBBaud(kBaudCode115200, 1);
    PortHandle.reset();
    PortOpen = 0;
    HardwareFlags = 0;
    ComPortNumber = 255;
    EmulationBank = 0;
    ReadWriteBank = 0;
    Trace(TraceTarget, "BKQuillex: COM Port closed.");
}
