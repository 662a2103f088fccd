#include "app/cli/DeviceFinding.h"

#include <thread>

#include "app/common/DeviceTexts.h"
#include "app/flash/FlashFlow.h"
#include "app/flash/PortHolders.h"
#include "app/flash/PortSelection.h"
#include "platform/PortAccess.h"
#include "platform/PortTable.h"
#include "platform/SerialPort.h"

namespace cli {

std::string Listed(const std::vector<Found>& devices) {
    std::string text;
    for (const Found& f : devices)
        text += std::string(text.empty() ? "" : ", ") + platform::PortTable::ComName(f.port) +
                " (" + f.description + ")";
    return text;
}

namespace {

// A port behind which no link could be made is passed over, and the user
// told, once: a Bluetooth port whose device is off can look like a device
// that does not answer.
void SayIfUnlinked(Session& s, const Found& f) {
    if (f.openError != platform::OpenError::NoLink)
        return;
    const std::string path = PortPath(f.port).value_or("");
    s.Say("%s (%s): %s; skipped.", platform::PortTable::ComName(f.port).c_str(), path.c_str(),
          platform::DescribeOpenError(f.openError));
    if (!s.doc.contains("unlinked_ports"))
        s.doc["unlinked_ports"] = Json::array();
    s.doc["unlinked_ports"].push_back(
        {{"port", platform::PortTable::ComName(f.port)}, {"path", path}});
}

bool WasUnlinked(const Session& s, int port) {
    if (!s.doc.contains("unlinked_ports"))
        return false;
    for (const Json& entry : s.doc["unlinked_ports"])
        if (entry["port"] == platform::PortTable::ComName(port))
            return true;
    return false;
}

}  // namespace

// The ports a search covers: the one --port names, or the whole table.
std::vector<platform::PortEntry> SearchedPorts(const Session& s) {
    std::vector<platform::PortEntry> ports = platform::PortTable::List();
    if (s.onlyPort != 0)
        std::erase_if(ports, [&s](const platform::PortEntry& p) { return p.number != s.onlyPort; });
    return ports;
}

// Other programs with the device's port open, which a write to the device
// must not share it with: one that took no lock can read the device's replies
// or send bytes of its own in the middle of an upload.
// Why no device answered: a port that could not be opened says why. Only
// the ports searched are opened again (opening a port toggles its lines).
int NoDevice(Session& s) {
    s.device.ClosePort();
    if (s.Cancelled())
        return s.Fail(kCliCancelled, kCancelledWhileLooking);
    if (s.waitRanOut)
        return s.Fail(kCliNoDevice, "no device answered within " + std::to_string(s.args.wait) +
                                        " s (--wait); is it plugged in and powered?");
    const std::vector<platform::PortEntry> ports = SearchedPorts(s);
    if (ports.empty())
        return s.Fail(kCliNoDevice,
                      "no serial ports here; connect the device, or name its port with --port");
    for (const platform::PortEntry& port : ports) {
        const std::string name = platform::PortTable::ComName(port.number) + " (" + port.path + ")";
        // Making the link again would take as long again, to the same end.
        if (WasUnlinked(s, port.number)) {
            if (ports.size() == 1)
                return s.Fail(
                    kCliNoDevice,
                    name + ": " + platform::DescribeOpenError(platform::OpenError::NoLink));
            continue;
        }
        platform::OpenError error = platform::OpenError::None;
        platform::SerialPort::Open(port.path.c_str(), &error);
        if (error == platform::OpenError::PermissionDenied)
            return s.Fail(kCliPermissionDenied,
                          name + ": permission denied. " + platform::PermissionAdvice(port.path));
        if (error == platform::OpenError::Busy) {
            const std::string holders =
                flash::HolderNames(platform::ProcessesHoldingDevice(port.path));
            return s.Fail(kCliPortBusy, name + " is in use by " +
                                            (holders.empty() ? "another program" : holders) +
                                            "; close it and try again");
        }
        std::error_code ec;
        if (ports.size() == 1 && std::filesystem::is_directory(port.path, ec))
            return s.Fail(kCliNoDevice, name + " is a folder, not a serial device");
        if (error == platform::OpenError::NotATerminal && ports.size() == 1)
            return s.Fail(kCliNoDevice, name + " is not a serial device");
        if (error == platform::OpenError::NotFound && ports.size() == 1)
            return s.Fail(kCliNoDevice, name + ": no such device");
    }
    std::string message = ResultBoxFor(QX_E_DEVICE_NOT_FOUND).text;
    for (const platform::PortEntry& port : ports) {
        if (const std::string advice = platform::SilentPortAdvice(port.path); !advice.empty()) {
            message += " " + advice;
            break;
        }
    }
    return s.Fail(kCliNoDevice, message);
}

Json DeviceJson(const Found& found) {
    Json device = {{"description", found.description},
                   {"firmware", DeviceVersionText(found.version)},
                   {"port", platform::PortTable::ComName(found.port)},
                   {"current_commands", (found.flags & kHwCurrentCommandFamily) != 0}};
    if (!found.path.empty()) {
        device["path"] = found.path;
        device.update(FactsJson(platform::DescribePort(found.path), flash::FactsOfEveryPort()));
    }
    return device;
}

Json FactsJson(const platform::PortFacts& f, std::span<const platform::PortFacts> every) {
    Json facts = Json::object();
    const std::pair<const char*, const std::string*> fields[] = {{"kind", &f.kind},
                                                                 {"usb_id", &f.usbId},
                                                                 {"serial_number", &f.serialNumber},
                                                                 {"product", &f.product},
                                                                 {"manufacturer", &f.manufacturer},
                                                                 {"driver", &f.driver},
                                                                 {"usb_path", &f.usbPath}};
    for (const auto& [key, value] : fields) {
        if (!value->empty())
            facts[key] = *value;
    }
    if (!f.stableNames.empty()) {
        facts["stable_name"] = f.stableNames.front();
        facts["stable_names"] = f.stableNames;
    }
    if (const std::vector<std::string> selectors = flash::SelectorsOf(f, every); !selectors.empty())
        facts["selectors"] = selectors;
    return facts;
}

// Detection on one port with a device object of its own.
namespace {

// Every port of the table probed at once; what answered, in port order.
std::vector<Found> ProbeEveryPort(Session& s) {
    const std::vector<Found> results =
        flash::ProbeEachPort(SearchedPorts(s), [&s] { return s.Cancelled(); });
    std::vector<Found> found;
    if (s.Cancelled())
        return found;
    for (const Found& f : results) {
        SayIfUnlinked(s, f);
        if (f.flags != 0)
            found.push_back(f);
    }
    return found;
}

Found FindDeviceOnce(Session& s, bool changesTheDevice, int* refusal) {
    Found found;
    if (s.onlyPort != 0) {
        found = ProbePort(s.device, s.onlyPort);
        SayIfUnlinked(s, found);
    } else if (changesTheDevice && SearchedPorts(s).size() > 1) {
        const std::vector<Found> every = ProbeEveryPort(s);
        if (every.size() > 1) {
            Json list = Json::array();
            for (const Found& f : every)
                list.push_back(DeviceJson(f));
            s.doc["devices"] = list;
            *refusal = s.Fail(kCliUsageError, "more than one device answers: " + Listed(every) +
                                                  "; name the one to change with --port");
            return Found{};
        }
        if (every.size() == 1)
            found = ProbePort(s.device, every[0].port);
    } else {
        // The scan's order, over the ports that exist: the trace then has no
        // lines about COM numbers with nothing behind them.
        for (const platform::PortEntry& port : SearchedPorts(s)) {
            if (s.Cancelled())
                break;
            found = ProbePort(s.device, port.number);
            SayIfUnlinked(s, found);
            if (found.flags != 0)
                break;
        }
    }
    if (found.flags != 0)
        s.doc["device"] = DeviceJson(found);
    return found;
}

}  // namespace

// Searches again after each port that comes or goes while --wait lasts.
std::vector<Found> FindEveryDevice(Session& s) {
    for (;;) {
        std::vector<Found> found = ProbeEveryPort(s);
        if (!found.empty() || !s.AwaitPortChange())
            return found;
    }
}

Found FindDevice(Session& s, bool changesTheDevice, int* refusal) {
    for (;;) {
        int refused = kCliSucceeded;
        Found found = FindDeviceOnce(s, changesTheDevice, &refused);
        if (refused != kCliSucceeded) {
            if (refusal != nullptr)
                *refusal = refused;
            return found;
        }
        if (found.flags != 0)
            return found;
        // A wait holds no port: other programs may use it meanwhile, and a
        // bridge replugged gets its old name back.
        s.device.ClosePort();
        if (!s.AwaitPortChange())
            return found;
    }
}

// Stops a write to the device while another program has its port open,
// unless --force says to go on.
std::optional<int> SharedPort(Session& s, int port) {
    if (s.args.force)
        return std::nullopt;
    const std::string shared = flash::PortSharedWhy(PortPath(port).value_or(""));
    if (shared.empty())
        return std::nullopt;
    s.device.ClosePort();
    return s.Fail(kCliPortBusy, platform::PortTable::ComName(port) + " " + shared);
}

std::unique_ptr<TransferHold> HoldLowLatency(Session& s, int port, uint64_t uploadBytes) {
    auto hold = std::make_unique<TransferHold>(PortPath(port).value_or(""));
    const std::string advice = flash::BridgeAdvice(hold->timer, uploadBytes);
    if (!advice.empty()) {
        if (!s.args.json)
            std::fprintf(s.err, "brevik: %s\n", ForTerminal(advice).c_str());
        s.doc["bridge_advice"] = advice;
    }
    return hold;
}

}  // namespace cli
