#include "app/cli/PortCommands.h"

#include <string>
#include <vector>

#include "app/cli/DeviceFinding.h"
#include "app/common/DeviceTexts.h"
#include "app/common/MachineReport.h"
#include "app/flash/PackageTrust.h"
#include "app/flash/PortSelection.h"
#include "platform/MachineCheck.h"
#include "platform/PortAccess.h"
#include "platform/PortTable.h"

namespace cli {
namespace {

int DetectEvery(Session& s) {
    const std::vector<Found> every = FindEveryDevice(s);
    Json list = Json::array();
    for (const Found& f : every) {
        s.Say("%s, firmware %s, on %s", f.description, DeviceVersionText(f.version).c_str(),
              s.PortName(f.port).c_str());
        list.push_back(DeviceJson(f));
    }
    s.doc["devices"] = list;
    return every.empty() ? NoDevice(s) : kCliSucceeded;
}

}  // namespace

int Ports(Session& s) {
    const std::vector<platform::PortEntry> ports = platform::PortTable::List();
    if (ports.empty())
        s.Say("No serial ports.");
    std::vector<platform::PortFacts> every;
    for (const platform::PortEntry& port : ports)
        every.push_back(platform::DescribePort(port.path));
    Json list = Json::array();
    for (size_t i = 0; i < ports.size(); ++i) {
        const platform::PortEntry& port = ports[i];
        platform::PortFacts f = every[i];
        if (f.product.empty())
            f.product = port.description;
        std::string known = f.kind;
        for (const std::string& part : {f.usbId, f.manufacturer, f.product})
            known += part.empty() ? "" : (known.empty() ? "" : " ") + part;
        if (!f.serialNumber.empty())
            known += " serial " + f.serialNumber;
        if (!f.driver.empty())
            known += " (" + f.driver + ")";
        s.Say("%s  %s%s%s", platform::PortTable::ComName(port.number).c_str(), port.path.c_str(),
              known.empty() ? "" : "  ", known.c_str());
        // What --port takes for it besides COMn and the path.
        std::string names;
        for (const std::string& name : flash::SelectorsOf(f, every))
            names += (names.empty() ? "" : "  ") + name;
        for (const std::string& name : f.stableNames)
            names += (names.empty() ? "" : "  ") + name;
        if (!names.empty())
            s.Say("      %s", names.c_str());
        Json entry = {{"name", platform::PortTable::ComName(port.number)}, {"path", port.path}};
        entry.update(FactsJson(f, every));
        list.push_back(entry);
    }
    s.doc["ports"] = list;
    return kCliSucceeded;
}

int Detect(Session& s) {
    if (s.args.all)
        return DetectEvery(s);
    const Found found = FindDevice(s);
    if (found.flags == 0)
        return NoDevice(s);
    s.device.ClosePort();
    // As the dialog decides: a device of the older commands is not the one
    // looked for, but it is named.
    if (!(found.flags & kHwCurrentCommandFamily))
        return s.Fail(kCliNoDevice, std::string(ResultBoxFor(QX_E_DEVICE_NOT_FOUND).text) +
                                        " What answered on " + s.PortName(found.port) + " is a " +
                                        found.description + ", firmware " +
                                        DeviceVersionText(found.version) +
                                        ", which speaks the older commands this utility does "
                                        "not update.");
    s.Say("%s, firmware %s, on %s", found.description, DeviceVersionText(found.version).c_str(),
          s.PortName(found.port).c_str());
    return kCliSucceeded;
}

int Doctor(Session& s) {
    MachineReport report = CheckMachine(SearchedPorts(s));
    for (platform::Finding& f : flash::TrustFindings({s.args.systemFolder, s.args.userFolder}))
        report.machine.push_back(std::move(f));
    Json findings = Json::array();
    auto say = [&](const std::string& subject, const std::string& path,
                   const platform::Finding& f) {
        s.Say("%s: %s", subject.c_str(), f.problem.c_str());
        s.Say("    fix: %s", f.fix.c_str());
        Json entry = {{"subject", subject}, {"problem", f.problem}, {"fix", f.fix}};
        if (!path.empty())
            entry["path"] = path;
        findings.push_back(entry);
    };
    for (const platform::Finding& f : report.machine)
        say("this machine", "", f);
    Json checked = Json::array();
    for (const PortCheck& p : report.ports) {
        for (const platform::Finding& f : p.findings)
            say(p.name, p.port.path, f);
        if (p.findings.empty())
            s.Say("%s: nothing in the way", p.name.c_str());
        Json entry = {{"port", platform::PortTable::ComName(p.port.number)},
                      {"path", p.port.path},
                      {"ok", p.findings.empty()}};
        if (p.latencyTimerMs > 0)
            entry["latency_timer_ms"] = p.latencyTimerMs;
        checked.push_back(entry);
    }
    if (report.ports.empty())
        s.Say("%s", kNoSerialPorts);
    s.doc["findings"] = findings;
    s.doc["ports"] = checked;
    if (!findings.empty())
        return s.Fail(kCliFailed, std::to_string(findings.size()) +
                                      (findings.size() == 1 ? " thing" : " things") +
                                      " may stop a flash here; each is above with its fix");
    s.Say("%s", kNothingInTheWay);
    return kCliSucceeded;
}

}  // namespace cli
