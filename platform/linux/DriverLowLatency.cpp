// ASYNC_LOW_LATENCY through TIOCGSERIAL/TIOCSSERIAL: a flag ordinary users
// may set on a port they have open.
#include "platform/posix/DriverLowLatency.h"

#include <linux/serial.h>
#include <sys/ioctl.h>

namespace platform {

bool EnterDriverLowLatency(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0 || (info.flags & ASYNC_LOW_LATENCY))
        return false;
    info.flags |= ASYNC_LOW_LATENCY;
    return ::ioctl(fd, TIOCSSERIAL, &info) == 0;
}

void LeaveDriverLowLatency(int fd) {
    serial_struct info{};
    if (::ioctl(fd, TIOCGSERIAL, &info) != 0 || !(info.flags & ASYNC_LOW_LATENCY))
        return;
    info.flags &= ~ASYNC_LOW_LATENCY;
    (void)::ioctl(fd, TIOCSSERIAL, &info);
}

}  // namespace platform
