#include "tests/support/SimulatedPorts.h"

#include <algorithm>

#include "platform/PortTable.h"

void KeepRealPortsOutOfReach() {
    if (!platform::PortTable::Override())
        platform::PortTable::SetOverride({});
}

ScopedPortTable::ScopedPortTable(std::vector<std::string> paths)
    : previous_(platform::PortTable::Override().value_or(std::vector<std::string>{})) {
    platform::PortTable::SetOverride(std::move(paths));
}

ScopedPortTable::~ScopedPortTable() {
    platform::PortTable::SetOverride(previous_);
}

bool TracedDevice::HasLine(const std::string& line) const {
    std::vector<std::string> lines = Lines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

OneSimulatedPort::OneSimulatedPort(sim::DeviceConfig config)
    : device_(std::make_unique<sim::VirtualDevice>(config)) {
    device_->Start();
    table_ = std::make_unique<ScopedPortTable>(std::vector<std::string>{device_->PortPath()});
}

std::vector<uint8_t> RequestBytes(const std::vector<sim::Exchange>& exchanges) {
    std::vector<uint8_t> bytes;
    for (const sim::Exchange& e : exchanges) {
        bytes.insert(bytes.end(), e.request.begin(), e.request.end());
    }
    return bytes;
}

std::vector<std::vector<uint8_t>> RequestsOf(const sim::VirtualDevice& device) {
    std::vector<std::vector<uint8_t>> requests;
    for (const sim::Exchange& e : device.Exchanges())
        requests.push_back(e.request);
    return requests;
}

uint32_t ReadTimeoutOf(const BKQuillex& device) {
    platform::Timeouts timeouts;
    if (!device.PortHandle || !device.PortHandle->GetTimeouts(&timeouts))
        return 0;
    return timeouts.ReadTotalTimeoutConstant;
}
