// A terminal device (termios, poll) as a serial line: exclusive open, raw
// 8-bit settings, modem lines where the device has them.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/Deadline.h"
#include "platform/SystemLine.h"
#include "platform/posix/DriverLowLatency.h"
#include "platform/posix/TermiosBaud.h"

namespace platform {
namespace {

// Waits for the events on fd up to timeoutMs (-1: forever). Returns the
// revents, 0 on time-out, -1 on failure. Retries on EINTR with the time left.
int WaitFor(int fd, short events, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
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

class TerminalLine : public PolledLine {
  public:
    // Short replies come up at once while a transfer holds the device (a
    // stop-and-wait exchange waits on each), and the driver is left as it
    // was found.
    TerminalLine(int fd, bool madeExclusive) : fd_(fd), madeExclusive_(madeExclusive) {
        LowLatencyLines::OfThisProcess().Opened(fd, DeviceNumberOfDescriptor(fd));
    }
    ~TerminalLine() override {
        LowLatencyLines::OfThisProcess().Closing(fd_);
        // The exclusive flag belongs to the terminal, not to this descriptor:
        // cleared only when this line set it.
        if (madeExclusive_)
            (void)::ioctl(fd_, TIOCNXCL);
        ::close(fd_);
    }

    int Receive(uint8_t* buffer, uint32_t count, int waitMs) override {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
        for (;;) {
            const int revents = WaitFor(fd_, POLLIN, waitMs);
            if (revents < 0 || (revents & POLLNVAL))
                return kFailed;
            if (revents == 0)
                return 0;
            const ssize_t n = ::read(fd_, buffer, count);
            if (n > 0)
                return static_cast<int>(n);
            if (n == 0 || (errno != EINTR && errno != EAGAIN))
                return kFailed;  // hung up: the device is gone
            if (waitMs >= 0)
                waitMs = MillisecondsUntil(deadline);
        }
    }

    int Send(const uint8_t* buffer, uint32_t count, int waitMs) override {
        for (;;) {
            const ssize_t n = ::write(fd_, buffer, count);
            if (n >= 0)
                return static_cast<int>(n);
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN)
                return kFailed;
            const int revents = WaitFor(fd_, POLLOUT, waitMs);
            if (revents < 0 || (revents & (POLLERR | POLLHUP | POLLNVAL)))
                return kFailed;
            if (revents == 0)
                return 0;
        }
    }

    bool Discard(bool output, bool input) override {
        const int queue = output && input ? TCIOFLUSH : (output ? TCOFLUSH : TCIFLUSH);
        return ::tcflush(fd_, queue) == 0;
    }

    bool GetState(LineState* state) const override;
    bool SetState(const LineState& state) override;

  private:
    int fd_;
    const bool madeExclusive_;
    bool dsrFlow_ = false;
    bool dsrSensitivity_ = false;
    LineControl dtr_ = LineControl::Enable;
    LineControl rts_ = LineControl::Enable;
};

bool TerminalLine::GetState(LineState* state) const {
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

bool TerminalLine::SetState(const LineState& state) {
    speed_t speed;
    if (!BaudToSpeed(state.BaudRate, &speed))
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
    // Reads are driven by poll and the port's time-outs.
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
        case OpenError::NoLink:
            return "no link to the device (a Bluetooth device out of reach or switched off)";
        case OpenError::Other:
            break;
    }
    return "could not be opened";
}

bool IsSupportedBaudRate(uint32_t baud) {
    speed_t speed;
    return BaudToSpeed(baud, &speed);
}

std::unique_ptr<SerialLine> OpenSystemLine(const char* path, OpenError* error) {
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
            // What a Bluetooth serial port answers when its connection
            // cannot be made.
            case EHOSTDOWN:
            case EHOSTUNREACH:
            case ECONNREFUSED:
            case ECONNRESET:
            case ETIMEDOUT:
            case ENOTCONN:
                *error = OpenError::NoLink;
                break;
            default:
                *error = OpenError::Other;
        }
        return nullptr;
    }
    // A terminal is what takes terminal settings (isatty asks the same, but
    // device mocking tools answer it for their own nodes differently).
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
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
    // A terminal another program made exclusive is in use, even where this
    // process may open it anyway (root): its flag is left as it is.
    int exclusive = 0;
#ifdef TIOCGEXCL
    if (::ioctl(fd, TIOCGEXCL, &exclusive) != 0)
        exclusive = 0;
#endif
    if (exclusive != 0) {
        ::close(fd);
        *error = OpenError::Busy;
        return nullptr;
    }
    const bool madeExclusive = ::ioctl(fd, TIOCEXCL) == 0;
    return std::make_unique<TerminalLine>(fd, madeExclusive);
}

}  // namespace platform
