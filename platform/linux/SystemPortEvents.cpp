// udev's events for tty devices: a USB bridge plugged or pulled, a
// Bluetooth port bound or released. udev sends them once its rules have
// run, so the node and its stable links are there (and its permissions
// set) when the event arrives.
#include "platform/SystemPortEvents.h"

#include <poll.h>

#include <cerrno>

#include "platform/PortTable.h"
#include "platform/linux/UdevDevice.h"

namespace platform {
namespace {

struct MonitorRelease {
    void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
};

class UdevPortEvents : public SystemPortEvents {
  public:
    UdevPortEvents() : context_(udev_new()) {
        if (!context_)
            return;
        monitor_.reset(udev_monitor_new_from_netlink(context_.get(), "udev"));
        if (monitor_ &&
            (udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(), "tty", nullptr) < 0 ||
             udev_monitor_enable_receiving(monitor_.get()) < 0))
            monitor_.reset();
        if (!monitor_)
            listed_ = PortTable::ScanSystemPorts();
    }

    bool Changed(int timeoutMs) override {
        if (!monitor_)
            return ListChanged(timeoutMs);
        pollfd events{udev_monitor_get_fd(monitor_.get()), POLLIN, 0};
        const int ready = ::poll(&events, 1, timeoutMs);
        if (ready <= 0)
            return false;
        // Every event waiting is taken: one plug sends several.
        bool any = false;
        while (const UdevDevicePtr device{udev_monitor_receive_device(monitor_.get())})
            any = true;
        return any;
    }

  private:
    // Without a monitor (no netlink here), the system's list compared at
    // the end of each wait: slower to notice, never wrong.
    bool ListChanged(int timeoutMs) {
        pollfd none{-1, 0, 0};
        ::poll(&none, 0, timeoutMs);
        std::vector<std::string> now = PortTable::ScanSystemPorts();
        const bool changed = now != listed_;
        listed_ = std::move(now);
        return changed;
    }

    UdevContext context_;
    std::unique_ptr<udev_monitor, MonitorRelease> monitor_;
    std::vector<std::string> listed_;
};

}  // namespace

std::unique_ptr<SystemPortEvents> OpenSystemPortEvents() {
    return std::make_unique<UdevPortEvents>();
}

}  // namespace platform
