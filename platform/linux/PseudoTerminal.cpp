#include "platform/PseudoTerminal.h"

#include "platform/posix/TermiosBaud.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace platform {

std::unique_ptr<PseudoTerminal> PseudoTerminal::Create() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        if (master >= 0)
            ::close(master);
        return nullptr;
    }
    char name[128];
    std::unique_ptr<PseudoTerminal> pty =
        ::ptsname_r(master, name, sizeof name) == 0 ? Adopt(master, name) : nullptr;
    ::close(master);
    return pty;
}

std::unique_ptr<PseudoTerminal> PseudoTerminal::Adopt(int master, const std::string& hostPath) {
    std::unique_ptr<PseudoTerminal> pty(new PseudoTerminal());
    pty->master_ = ::fcntl(master, F_DUPFD_CLOEXEC, 0);
    char name[128];
    if (pty->master_ < 0 || ::ptsname_r(pty->master_, name, sizeof name) != 0)
        return nullptr;
    pty->slavePath_ = hostPath;
    pty->slaveKeeper_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (pty->slaveKeeper_ < 0)
        return nullptr;
    termios tio{};
    if (::tcgetattr(pty->slaveKeeper_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::cfsetispeed(&tio, B115200);
        ::cfsetospeed(&tio, B115200);
        ::tcsetattr(pty->slaveKeeper_, TCSANOW, &tio);
    }
    int flags = ::fcntl(pty->master_, F_GETFL);
    ::fcntl(pty->master_, F_SETFL, flags | O_NONBLOCK);
    pty->wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (pty->wakeFd_ < 0)
        return nullptr;
    return pty;
}

PseudoTerminal::~PseudoTerminal() {
    HangUp();
    if (wakeFd_ >= 0)
        ::close(wakeFd_);
}

int PseudoTerminal::Read(uint8_t* buffer, size_t count, int timeoutMs) {
    if (master_ < 0)
        return kClosed;
    for (;;) {
        pollfd fds[2] = {{master_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        int rc = ::poll(fds, 2, timeoutMs);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return kClosed;
        }
        if (rc == 0)
            return kTimedOut;
        if (fds[1].revents & POLLIN) {
            uint64_t value;
            (void)!::read(wakeFd_, &value, sizeof value);
            return kInterrupted;
        }
        ssize_t n = ::read(master_, buffer, count);
        if (n > 0)
            return static_cast<int>(n);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        return kClosed;
    }
}

bool PseudoTerminal::Write(const uint8_t* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        if (master_ < 0)
            return false;
        ssize_t n = ::write(master_, buffer + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            if (::poll(&p, 1, 1000) <= 0)
                return false;
        } else if (!(n < 0 && errno == EINTR)) {
            return false;
        }
    }
    return true;
}

uint32_t PseudoTerminal::HostBaudRate() const {
    if (master_ < 0)
        return 0;
    termios tio{};
    if (::tcgetattr(master_, &tio) != 0)
        return 0;
    return SpeedToBaud(::cfgetospeed(&tio));
}

void PseudoTerminal::Interrupt() {
    uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
}

void PseudoTerminal::HangUp() {
    if (master_ >= 0)
        ::close(master_);
    if (slaveKeeper_ >= 0)
        ::close(slaveKeeper_);
    master_ = -1;
    slaveKeeper_ = -1;
}

}  // namespace platform
