#include "app/flash/DeviceSearch.h"

#include <thread>

#include "platform/PortAccess.h"
#include "util/OutsideText.h"

namespace flash {

Found ProbePort(BKQuillex& device, int port) {
    Found found;
    found.port = port;
    found.path = PortPath(port).value_or("");
    found.flags =
        device.DetectHardwareOnPort(port, found.description, kTextCapacity, &found.version);
    if (found.flags == 0)
        found.openError = device.LastOpenError();
    return found;
}

Found ProbePath(BKQuillex& device, const std::string& path, int port) {
    Found found;
    found.port = port;
    found.path = path;
    found.flags =
        device.DetectHardwareOnPath(path.c_str(), found.description, kTextCapacity, &found.version);
    if (found.flags == 0)
        found.openError = device.LastOpenError();
    return found;
}

std::vector<Found> ProbeEachPort(const std::vector<platform::PortEntry>& ports,
                                 const std::function<bool()>& stop) {
    std::vector<Found> results(ports.size());
    std::vector<std::thread> probes;
    size_t started = 0;
    for (; started < ports.size() && !(stop && stop()); ++started) {
        probes.emplace_back([&results, &ports, i = started] {
            BKQuillex device;
            results[i] = ProbePort(device, ports[i].number);
            device.ClosePort();
        });
    }
    for (std::thread& probe : probes)
        probe.join();
    results.resize(started);
    return results;
}

std::optional<std::string> PortPath(int port) {
    return platform::PortTable::Resolve(platform::PortTable::ComName(port).c_str());
}

std::string PortTitle(int port, const std::string& path) {
    std::string title = platform::PortTable::ComName(port) + " (" + path + ")";
    const std::string serial = platform::DescribePort(path).serialNumber;
    if (!serial.empty())
        title += ", USB serial " + serial;
    return PrintableText(title);
}

}  // namespace flash
