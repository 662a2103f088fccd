#include "app/cli/CliCommands.h"

#include <optional>
#include <string>
#include <vector>

#include "app/cli/CliSession.h"
#include "app/cli/DeviceFinding.h"
#include "app/cli/MemoryCommands.h"
#include "app/cli/PackageCommands.h"
#include "app/common/DeviceTexts.h"
#include "platform/PortAccess.h"
#include "platform/PortTable.h"

namespace cli {
namespace {

int Ports(Session& s) {
    const std::vector<platform::PortEntry> ports = platform::PortTable::List();
    if (ports.empty())
        s.Say("No serial ports.");
    Json list = Json::array();
    for (const platform::PortEntry& port : ports) {
        platform::PortFacts f = platform::DescribePort(port.path);
        if (f.product.empty())
            f.product = port.description;
        std::string known = f.kind;
        for (const std::string& part : {f.usbId, f.manufacturer, f.product})
            known += part.empty() ? "" : (known.empty() ? "" : " ") + part;
        if (!f.serialNumber.empty())
            known += " serial " + f.serialNumber;
        if (!f.driver.empty())
            known += " (" + f.driver + ")";
        s.Say("COM%d  %s%s%s", port.number, port.path.c_str(), known.empty() ? "" : "  ",
              known.c_str());
        Json entry = {{"name", "COM" + std::to_string(port.number)}, {"path", port.path}};
        const std::pair<const char*, const std::string*> fields[] = {
            {"kind", &f.kind},
            {"usb_id", &f.usbId},
            {"serial_number", &f.serialNumber},
            {"product", &f.product},
            {"manufacturer", &f.manufacturer},
            {"driver", &f.driver}};
        for (const auto& [key, value] : fields) {
            if (!value->empty())
                entry[key] = *value;
        }
        list.push_back(entry);
    }
    s.doc["ports"] = list;
    return kCliSucceeded;
}

int DetectEvery(Session& s) {
    const std::vector<Found> every = FindEveryDevice(s);
    Json list = Json::array();
    for (const Found& f : every) {
        s.Say("%s, firmware %s, on COM%d", f.description, DeviceVersionText(f.version).c_str(),
              f.port);
        list.push_back(DeviceJson(f));
    }
    s.doc["devices"] = list;
    return every.empty() ? NoDevice(s) : kCliSucceeded;
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
                                        " What answered on COM" + std::to_string(found.port) +
                                        " is a " + found.description + ", firmware " +
                                        DeviceVersionText(found.version) +
                                        ", which speaks the older commands this utility does "
                                        "not update.");
    s.Say("%s, firmware %s, on COM%d", found.description, DeviceVersionText(found.version).c_str(),
          found.port);
    return kCliSucceeded;
}
int Dispatch(Session& s) {
    const std::string& c = s.args.command;
    if (c == "ports")
        return Ports(s);
    if (c == "detect")
        return Detect(s);
    if (c == "info")
        return Info(s);
    if (c == "update")
        return Update(s);
    if (c == "read")
        return ReadMemory(s);
    if (c == "write")
        return WriteOrVerify(s, false);
    if (c == "verify")
        return WriteOrVerify(s, true);
    if (c == "eeprom")
        return Eeprom(s);
    return s.Fail(kCliUsageError, "unknown command " + c + "; run 'brevik --help'");
}

}  // namespace
}  // namespace cli

int RunCliCommand(const CliArguments& args, BKQuillex& device, std::FILE* out, std::FILE* err,
                  platform::ProgressBar* progress) {
    using cli::Session;
    Session s(args, device, out, err, progress);
    if (!args.port.empty()) {
        // Only the named port, under its own number: COM7 stays COM7. A path
        // outside the table becomes a table of its own.
        const std::optional<std::string> path = platform::PortTable::Resolve(args.port.c_str());
        if (!path)
            return s.Finish(
                s.Fail(kCliNoDevice, args.port + " is not a serial port here (see: brevik ports)"));
        s.onlyPort = platform::PortTable::NumberOfPath(*path);
        if (s.onlyPort >= platform::kMaxPortNumber) {
            platform::PortTable::SetOverride({*path});
            s.onlyPort = 1;
        }
    }
    int code;
    try {
        code = s.Finish(cli::Dispatch(s));
    } catch (const std::exception& e) {
        // Nothing above is meant to throw; should something, the run still
        // ends with its line or document and an exit code, not an abort.
        code = s.Finish(s.Fail(kCliFailed, std::string("internal error: ") + e.what()));
    }
    // Out while the hold lasts: a pipe that went away fails these writes
    // instead of ending the program with SIGPIPE at its exit.
    std::fflush(out);
    std::fflush(err);
    // A signal held through an update ends the program as the signal would
    // have, now that the result is out.
    if (s.hold && s.hold->HeldExitCode() != 0)
        return s.hold->HeldExitCode();
    return code;
}
