#include "platform/SerialPort.h"

#include "platform/TermiosBaud.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds from now until the deadline, rounded up so that poll never
// wakes before it.
int MillisecondsUntil(Clock::time_point deadline) {
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, 0x7FFFFFFF));
}

// Waits for the events on fd up to timeoutMs (-1: forever). Returns the
// revents, 0 on time-out, -1 on failure. Retries on EINTR with the time left.
int WaitFor(int fd, short events, int timeoutMs) {
    Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        pollfd p{fd, events, 0};
        int rc = ::poll(&p, 1, timeoutMs);
        if (rc > 0)
            return p.revents;
        if (rc == 0)
            return 0;
        if (errno != EINTR)
            return -1;
        if (timeoutMs >= 0)
            timeoutMs = MillisecondsUntil(deadline);
    }
}

void ApplyModemLine(int fd, int line, LineControl control) {
    int bits = line;
    // A pseudo-terminal has no modem lines and refuses these requests.
    (void)::ioctl(fd, control == LineControl::Disable ? TIOCMBIC : TIOCMBIS, &bits);
}

}  // namespace

const char* DescribeOpenError(OpenError error) {
    switch (error) {
        case OpenError::None:
            return "no error";
        case OpenError::NotFound:
            return "no such device";
        case OpenError::PermissionDenied:
            return "permission denied (add the user to the 'dialout' group and log in again)";
        case OpenError::Busy:
            return "port is in use by another program";
        case OpenError::NotATerminal:
            return "not a serial device";
        case OpenError::Other:
            break;
    }
    return "could not be opened";
}

bool IsSupportedBaudRate(uint32_t baud) {
    speed_t speed;
    return BaudToSpeed(baud, &speed);
}

std::unique_ptr<SerialPort> SerialPort::Open(const char* path, OpenError* error) {
    OpenError ignored;
    if (error == nullptr)
        error = &ignored;
    *error = OpenError::None;
    if (path == nullptr || path[0] == '\0') {
        *error = OpenError::NotFound;
        return nullptr;
    }
    int fd;
    do {
        fd = ::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        switch (errno) {
            case ENOENT:
            case ENODEV:
            case ENXIO:
            case ENOTDIR:
                *error = OpenError::NotFound;
                break;
            case EACCES:
            case EPERM:
                *error = OpenError::PermissionDenied;
                break;
            case EBUSY:
                *error = OpenError::Busy;
                break;
            default:
                *error = OpenError::Other;
        }
        return nullptr;
    }
    if (!::isatty(fd)) {
        ::close(fd);
        *error = OpenError::NotATerminal;
        return nullptr;
    }
    // flock keeps out every other opener, root included; TIOCEXCL also keeps
    // out programs that do not use flock (root is exempt from it).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        *error = OpenError::Busy;
        return nullptr;
    }
    (void)::ioctl(fd, TIOCEXCL);
    return std::unique_ptr<SerialPort>(new SerialPort(fd));
}

SerialPort::~SerialPort() {
    // The exclusive flag belongs to the terminal, not to this descriptor.
    (void)::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
}

bool SerialPort::SetupQueues(uint32_t inQueue, uint32_t outQueue) {
    if (inQueue == 0 || outQueue == 0)
        return false;
    inQueue_ = inQueue;
    outQueue_ = outQueue;
    return true;
}

bool SerialPort::GetState(LineState* state) const {
    if (state == nullptr)
        return false;
    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0)
        return false;
    state->BaudRate = SpeedToBaud(::cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
        case CS5:
            state->ByteSize = 5;
            break;
        case CS6:
            state->ByteSize = 6;
            break;
        case CS7:
            state->ByteSize = 7;
            break;
        default:
            state->ByteSize = 8;
    }
    state->Parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? 1 : 2) : kNoParity;
    state->StopBits = (tio.c_cflag & CSTOPB) ? kTwoStopBits : kOneStopBit;
    state->OutxCtsFlow = (tio.c_cflag & CRTSCTS) != 0;
    state->OutX = (tio.c_iflag & IXON) != 0;
    state->InX = (tio.c_iflag & IXOFF) != 0;
    state->OutxDsrFlow = dsrFlow_;
    state->DsrSensitivity = dsrSensitivity_;
    state->DtrControl = dtr_;
    state->RtsControl = rts_;
    return true;
}

bool SerialPort::SetState(const LineState& state) {
    speed_t speed;
    if (!BaudToSpeed(state.BaudRate, &speed))
        return false;
    if (state.ByteSize < 5 || state.ByteSize > 8 || state.Parity > 2)
        return false;
    if (state.StopBits != kOneStopBit && state.StopBits != kTwoStopBits)
        return false;
    // Linux has no DSR output flow control.
    if (state.OutxDsrFlow || state.DsrSensitivity)
        return false;

    termios tio{};
    if (::tcgetattr(fd_, &tio) != 0)
        return false;
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    if (state.OutX)
        tio.c_iflag |= IXON;
    if (state.InX)
        tio.c_iflag |= IXOFF;
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
    tio.c_cflag |= kSizes[state.ByteSize - 5] | CREAD | CLOCAL;
    if (state.Parity != kNoParity)
        tio.c_cflag |= PARENB | (state.Parity == 1 ? PARODD : 0);
    if (state.StopBits == kTwoStopBits)
        tio.c_cflag |= CSTOPB;
    if (state.OutxCtsFlow || state.RtsControl == LineControl::Handshake)
        tio.c_cflag |= CRTSCTS;
    // Reads are driven by poll and the time-outs of this class.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0)
        return false;
    if (::tcsetattr(fd_, TCSANOW, &tio) != 0)
        return false;

    dsrFlow_ = state.OutxDsrFlow;
    dsrSensitivity_ = state.DsrSensitivity;
    dtr_ = state.DtrControl;
    rts_ = state.RtsControl;
    ApplyModemLine(fd_, TIOCM_DTR, dtr_);
    if (rts_ != LineControl::Handshake)
        ApplyModemLine(fd_, TIOCM_RTS, rts_);
    return true;
}

bool SerialPort::GetTimeouts(Timeouts* timeouts) const {
    if (timeouts == nullptr)
        return false;
    std::lock_guard<std::mutex> lock(timeoutsMutex_);
    *timeouts = timeouts_;
    return true;
}

bool SerialPort::SetTimeouts(const Timeouts& timeouts) {
    std::lock_guard<std::mutex> lock(timeoutsMutex_);
    timeouts_ = timeouts;
    return true;
}

bool SerialPort::Purge(unsigned flags) {
    bool tx = (flags & kPurgeTxClear) != 0;
    bool rx = (flags & kPurgeRxClear) != 0;
    if (!tx && !rx)
        return (flags & (kPurgeTxAbort | kPurgeRxAbort)) != 0;
    int queue = tx && rx ? TCIOFLUSH : (tx ? TCOFLUSH : TCIFLUSH);
    return ::tcflush(fd_, queue) == 0;
}

bool SerialPort::Read(uint8_t* buffer, uint32_t count, uint32_t* received) {
    uint32_t got = 0;
    if (received != nullptr)
        *received = 0;
    if (buffer == nullptr && count > 0)
        return false;

    Timeouts t;
    GetTimeouts(&t);
    const bool immediate = t.ReadIntervalTimeout == kMaxTimeout &&
                           t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0;
    const bool returnOnFirstByte =
        t.ReadIntervalTimeout == kMaxTimeout && t.ReadTotalTimeoutMultiplier == kMaxTimeout &&
        t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < kMaxTimeout;
    const bool useInterval = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != kMaxTimeout;
    const uint64_t totalMs = returnOnFirstByte ? t.ReadTotalTimeoutConstant
                                               : uint64_t{t.ReadTotalTimeoutMultiplier} * count +
                                                     t.ReadTotalTimeoutConstant;
    const bool useTotal = totalMs != 0 && !immediate;
    const Clock::time_point start = Clock::now();
    const Clock::time_point totalDeadline = start + std::chrono::milliseconds(totalMs);
    Clock::time_point lastByte = start;

    bool ok = true;
    while (got < count) {
        if (got > 0 && returnOnFirstByte)
            break;
        int waitMs = -1;
        if (immediate) {
            waitMs = 0;
        } else {
            if (useTotal)
                waitMs = MillisecondsUntil(totalDeadline);
            if (useInterval && got > 0) {
                int gap =
                    MillisecondsUntil(lastByte + std::chrono::milliseconds(t.ReadIntervalTimeout));
                waitMs = waitMs < 0 ? gap : std::min(waitMs, gap);
            }
        }
        int revents = WaitFor(fd_, POLLIN, waitMs);
        if (revents < 0 || (revents & POLLNVAL)) {
            ok = false;
            break;
        }
        if (revents == 0)
            break;  // time-out
        ssize_t n = ::read(fd_, buffer + got, count - got);
        if (n > 0) {
            got += static_cast<uint32_t>(n);
            lastByte = Clock::now();
            if (waitMs == 0 && !immediate)
                break;  // a deadline passed: take what came, stop
        } else if (n == 0) {
            ok = false;  // hung up: the device is gone
            break;
        } else if (errno != EINTR && errno != EAGAIN) {
            ok = false;
            break;
        }
    }
    if (received != nullptr)
        *received = got;
    return ok;
}

bool SerialPort::Write(const uint8_t* buffer, uint32_t count, uint32_t* written) {
    uint32_t put = 0;
    if (written != nullptr)
        *written = 0;
    if (buffer == nullptr && count > 0)
        return false;

    Timeouts t;
    GetTimeouts(&t);
    const uint64_t totalMs =
        uint64_t{t.WriteTotalTimeoutMultiplier} * count + t.WriteTotalTimeoutConstant;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(totalMs);

    bool ok = true;
    while (put < count) {
        ssize_t n = ::write(fd_, buffer + put, count - put);
        if (n > 0) {
            put += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            ok = false;
            break;
        }
        int revents = WaitFor(fd_, POLLOUT, totalMs == 0 ? -1 : MillisecondsUntil(deadline));
        if (revents < 0 || (revents & (POLLERR | POLLHUP | POLLNVAL))) {
            ok = false;
            break;
        }
        if (revents == 0)
            break;  // time-out: report what went out
    }
    if (written != nullptr)
        *written = put;
    return ok;
}

}  // namespace platform
