// Windows tells of new ports through window messages or a notification
// callback of the configuration manager; a command-line program without a
// window looks at the serial device map instead (a registry read, no port
// opened), four times a second.
#include <windows.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/PortTable.h"
#include "platform/SystemPortEvents.h"

namespace platform {
namespace {

constexpr auto kLookEvery = std::chrono::milliseconds(250);

class ListedPortEvents : public SystemPortEvents {
  public:
    ListedPortEvents()
        : listed_(PortTable::ScanSystemPorts()), lookedAt_(std::chrono::steady_clock::now()) {}

    bool Changed(int timeoutMs) override {
        ::Sleep(static_cast<DWORD>(timeoutMs));
        const auto now = std::chrono::steady_clock::now();
        if (now - lookedAt_ < kLookEvery)
            return false;
        lookedAt_ = now;
        std::vector<std::string> ports = PortTable::ScanSystemPorts();
        const bool changed = ports != listed_;
        listed_ = std::move(ports);
        return changed;
    }

  private:
    std::vector<std::string> listed_;
    std::chrono::steady_clock::time_point lookedAt_;
};

}  // namespace

std::unique_ptr<SystemPortEvents> OpenSystemPortEvents() {
    return std::make_unique<ListedPortEvents>();
}

}  // namespace platform
