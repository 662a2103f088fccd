// ASYNC_LOW_LATENCY through TIOCGSERIAL/TIOCSSERIAL: a flag ordinary users
// may set on a port they have open.
#include <linux/serial.h>
#include <sys/ioctl.h>

#include "platform/posix/DriverLowLatency.h"

namespace platform {
namespace {

class SerialFlags : public DriverMode {
  public:
    bool Enter(int fd) override {
        serial_struct info{};
        if (::ioctl(fd, TIOCGSERIAL, &info) != 0 || (info.flags & ASYNC_LOW_LATENCY))
            return false;
        info.flags |= ASYNC_LOW_LATENCY;
        return ::ioctl(fd, TIOCSSERIAL, &info) == 0;
    }

    void Leave(int fd) override {
        serial_struct info{};
        if (::ioctl(fd, TIOCGSERIAL, &info) != 0 || !(info.flags & ASYNC_LOW_LATENCY))
            return;
        info.flags &= ~ASYNC_LOW_LATENCY;
        (void)::ioctl(fd, TIOCSSERIAL, &info);
    }
};

}  // namespace

DriverMode& SystemDriverMode() {
    static SerialFlags* const mode = new SerialFlags;  // never destroyed, as its users
    return *mode;
}

}  // namespace platform
