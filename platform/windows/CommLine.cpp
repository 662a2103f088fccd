// A Windows communications handle as a serial line. The handle is opened
// for overlapped I/O: a synchronous handle runs one call at a time, so a
// purge, a time-out change or a cancel from another thread would wait
// behind a read that blocks for seconds. The time-outs are the system's own
// (SetCommTimeouts); each read and write waits for its own completion.
#include <windows.h>

#include <cstring>
#include <string>

#include "platform/SystemLine.h"

namespace platform {
namespace {

constexpr uint32_t kSupportedRates[] = {110,     300,     600,     1200,   2400,   4800,    9600,
                                        14400,   19200,   38400,   57600,  115200, 128000,  230400,
                                        256000,  460800,  500000,  576000, 921600, 1000000, 1152000,
                                        1500000, 2000000, 2500000, 3000000};

// LineControl carries the DCB's own values for both modem lines.
static_assert(static_cast<DWORD>(LineControl::Disable) == DTR_CONTROL_DISABLE &&
              static_cast<DWORD>(LineControl::Enable) == DTR_CONTROL_ENABLE &&
              static_cast<DWORD>(LineControl::Handshake) == DTR_CONTROL_HANDSHAKE &&
              static_cast<DWORD>(LineControl::Disable) == RTS_CONTROL_DISABLE &&
              static_cast<DWORD>(LineControl::Enable) == RTS_CONTROL_ENABLE &&
              static_cast<DWORD>(LineControl::Handshake) == RTS_CONTROL_HANDSHAKE);

DWORD DcbControlOf(LineControl control) {
    return static_cast<DWORD>(control);
}

LineControl LineControlOf(DWORD value) {
    return value == 0 ? LineControl::Disable
                      : (value == 1 ? LineControl::Enable : LineControl::Handshake);
}

// One overlapped transfer, waited for to its end. An operation that a purge
// aborted ends with what it had moved, as a time-out would.
class Transfer {
  public:
    Transfer() { overlapped_.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr); }
    ~Transfer() {
        if (overlapped_.hEvent != nullptr)
            ::CloseHandle(overlapped_.hEvent);
    }
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;

    OVERLAPPED* Overlapped() { return overlapped_.hEvent != nullptr ? &overlapped_ : nullptr; }

    // started: what ReadFile/WriteFile returned.
    bool Finish(HANDLE handle, BOOL started, uint32_t* moved) {
        DWORD n = 0;
        if (!started && ::GetLastError() != ERROR_IO_PENDING) {
            *moved = 0;
            return false;
        }
        const BOOL done = ::GetOverlappedResult(handle, &overlapped_, &n, TRUE);
        *moved = n;
        if (done)
            return true;
        // Wine ends a serial read that timed out with ERROR_TIMEOUT where
        // Windows reports success: both are a time-out, not a failure.
        const DWORD error = ::GetLastError();
        return error == ERROR_OPERATION_ABORTED || error == ERROR_TIMEOUT;
    }

  private:
    OVERLAPPED overlapped_{};
};

class CommLine : public SerialLine {
  public:
    explicit CommLine(HANDLE handle) : handle_(handle) {}
    ~CommLine() override { ::CloseHandle(handle_); }

    bool Read(uint8_t* buffer, uint32_t count, const Timeouts&, uint32_t* got) override {
        *got = 0;
        if (count == 0)
            return true;
        Transfer transfer;
        if (transfer.Overlapped() == nullptr)
            return false;
        return transfer.Finish(
            handle_, ::ReadFile(handle_, buffer, count, nullptr, transfer.Overlapped()), got);
    }

    bool Write(const uint8_t* buffer, uint32_t count, const Timeouts&, uint32_t* put) override {
        *put = 0;
        if (count == 0)
            return true;
        Transfer transfer;
        if (transfer.Overlapped() == nullptr)
            return false;
        return transfer.Finish(
            handle_, ::WriteFile(handle_, buffer, count, nullptr, transfer.Overlapped()), put);
    }

    bool Purge(unsigned flags) override {
        // The abort flags end pending transfers on Windows; Wine's PurgeComm
        // only empties the queues, so the transfers are cancelled here too.
        if ((flags & (kPurgeTxAbort | kPurgeRxAbort)) != 0)
            (void)::CancelIoEx(handle_, nullptr);
        return ::PurgeComm(handle_, flags) != 0;
    }

    bool ApplyTimeouts(const Timeouts& t) override {
        COMMTIMEOUTS native{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                            t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                            t.WriteTotalTimeoutConstant};
        return ::SetCommTimeouts(handle_, &native) != 0;
    }

    bool SetupQueues(uint32_t inQueue, uint32_t outQueue) override {
        return ::SetupComm(handle_, inQueue, outQueue) != 0;
    }

    bool GetState(LineState* state) const override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(handle_, &dcb))
            return false;
        state->BaudRate = dcb.BaudRate;
        state->ByteSize = dcb.ByteSize;
        state->Parity = dcb.Parity;
        state->StopBits = dcb.StopBits;
        state->OutxCtsFlow = dcb.fOutxCtsFlow != 0;
        state->OutxDsrFlow = dcb.fOutxDsrFlow != 0;
        state->DsrSensitivity = dcb.fDsrSensitivity != 0;
        state->OutX = dcb.fOutX != 0;
        state->InX = dcb.fInX != 0;
        state->DtrControl = LineControlOf(dcb.fDtrControl);
        state->RtsControl = LineControlOf(dcb.fRtsControl);
        return true;
    }

    bool SetState(const LineState& state) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!::GetCommState(handle_, &dcb))
            return false;
        dcb.BaudRate = state.BaudRate;
        dcb.ByteSize = state.ByteSize;
        dcb.Parity = state.Parity;
        dcb.StopBits = state.StopBits;
        dcb.fBinary = TRUE;
        dcb.fParity = state.Parity != kNoParity;
        dcb.fOutxCtsFlow = state.OutxCtsFlow;
        dcb.fOutxDsrFlow = state.OutxDsrFlow;
        dcb.fDsrSensitivity = state.DsrSensitivity;
        dcb.fOutX = state.OutX;
        dcb.fInX = state.InX;
        dcb.fDtrControl = DcbControlOf(state.DtrControl);
        dcb.fRtsControl = DcbControlOf(state.RtsControl);
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        if (!::SetCommState(handle_, &dcb))
            return false;
        // The modem lines as asked; a line without them (Wine maps ports to
        // pseudo-terminals) refuses, which is not an error here.
        if (state.DtrControl != LineControl::Handshake)
            (void)::EscapeCommFunction(handle_,
                                       state.DtrControl == LineControl::Enable ? SETDTR : CLRDTR);
        if (state.RtsControl != LineControl::Handshake)
            (void)::EscapeCommFunction(handle_,
                                       state.RtsControl == LineControl::Enable ? SETRTS : CLRRTS);
        return true;
    }

  private:
    HANDLE handle_;
};

OpenError OpenErrorOf(DWORD code) {
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_BAD_UNIT:
        case ERROR_DEV_NOT_EXIST:
            return OpenError::NotFound;
        // A COM port that another program holds answers "access denied".
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return OpenError::Busy;
        // A Bluetooth COM port whose device does not answer the connection.
        case ERROR_SEM_TIMEOUT:
        case ERROR_DEVICE_NOT_CONNECTED:
            return OpenError::NoLink;
        default:
            return OpenError::Other;
    }
}

}  // namespace

const char* DescribeOpenError(OpenError error) {
    switch (error) {
        case OpenError::None:
            return "no error";
        case OpenError::NotFound:
            return "no such port";
        case OpenError::PermissionDenied:
            return "access denied";
        case OpenError::Busy:
            return "port is in use by another program";
        case OpenError::NotATerminal:
            return "not a serial port";
        case OpenError::NoLink:
            return "no link to the device (a Bluetooth device out of reach or switched off)";
        case OpenError::Other:
            break;
    }
    return "could not be opened";
}

bool IsSupportedBaudRate(uint32_t baud) {
    for (uint32_t rate : kSupportedRates) {
        if (rate == baud)
            return true;
    }
    return false;
}

std::unique_ptr<SerialLine> OpenSystemLine(const char* path, OpenError* error) {
    // COM10 and up open only through the device namespace.
    std::string name = path;
    if (_strnicmp(path, "COM", 3) == 0)
        name = "\\\\.\\" + name;
    HANDLE handle = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = OpenErrorOf(::GetLastError());
        return nullptr;
    }
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (::GetFileType(handle) != FILE_TYPE_CHAR || !::GetCommState(handle, &dcb)) {
        ::CloseHandle(handle);
        *error = OpenError::NotATerminal;
        return nullptr;
    }
    return std::make_unique<CommLine>(handle);
}

}  // namespace platform
