#include "app/cli/CliCommands.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdarg>
#include <filesystem>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/cli/ConsoleProgressBar.h"
#include "app/cli/PortAdvice.h"
#include "app/logic/UpdaterDialogLogic.h"
#include "app/package/PackageTarget.h"
#include "package/PackageFile.h"
#include "platform/Console.h"
#include "platform/FileAccess.h"
#include "platform/PortAccess.h"
#include "platform/PortTable.h"
#include "platform/SerialPort.h"
#include "util/OutsideText.h"

namespace {

using Json = nlohmann::ordered_json;

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

// A message as one line for a terminal: the dialog's texts break their lines
// for a message box, which a space does here; every other control byte,
// from our text or from outside, is shown escaped.
std::string ForTerminal(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    return PrintableText(text);
}

// One run of the tool: what it tells people, or the JSON document it builds.
class Session {
  public:
    Session(const CliArguments& a, BKQuillex& d, std::FILE* o, std::FILE* e,
            platform::ProgressBar* p)
        : args(a), device(d), out(o), err(e), progress(p) {
        doc["schema"] = kCliJsonSchema;
        doc["command"] = a.command;
    }

    // A line for people on stdout (nothing with --json). Names and strings
    // from outside are in it, so it is made printable as a whole.
    void Say(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        if (args.json)
            return;
        va_list list;
        va_start(list, format);
        char line[1024];
        const int length = std::vsnprintf(line, sizeof line, format, list);
        va_end(list);
        std::string text = length < 0 ? std::string() : std::string(line);
        if (length >= static_cast<int>(sizeof line)) {
            text.resize(static_cast<size_t>(length) + 1);
            va_start(list, format);
            std::vsnprintf(text.data(), text.size(), format, list);
            va_end(list);
            text.pop_back();
        }
        std::fprintf(out, "%s\n", ForTerminal(text).c_str());
    }
    // Ends the run with a failure: a line on stderr, or the error object.
    int Fail(int exitCode, const std::string& message) {
        if (!args.json)
            std::fprintf(err, "brevik: %s\n", ForTerminal(message).c_str());
        doc["error"] = {{"key", ExitCodeKey(exitCode)}, {"message", message}};
        return exitCode;
    }
    int Finish(int exitCode) {
        if (args.json) {
            doc["ok"] = exitCode == kCliSucceeded;
            doc["exit_code"] = exitCode;
            if (hold && hold->HeldSignal() != 0)
                doc["held_signal"] = hold->HeldSignal();
            // Paths, package bytes and process names need not be UTF-8:
            // what is not becomes U+FFFD instead of ending the document.
            std::fprintf(out, "%s\n",
                         doc.dump(2, ' ', false, Json::error_handler_t::replace).c_str());
        }
        return exitCode;
    }
    // From here to the end of the run, signals wait for the work to end.
    void HoldStopSignals() {
        if (!hold)
            hold.emplace(
                "brevik: the firmware update goes on to its end (stopped half way, it could "
                "leave the device without firmware); the program ends after it\n");
    }
    // Ctrl+C came while a device was looked for.
    bool Cancelled() const { return device.CancelRequested.load() != 0; }

    const CliArguments& args;
    BKQuillex& device;
    std::FILE* out;
    std::FILE* err;
    platform::ProgressBar* progress;
    Json doc;
    int onlyPort = 0;  // --port: COMn alone
    std::optional<platform::StopSignalHold> hold;

    // Work of this many bytes begins and ends; the console bar shows bytes,
    // rate and time left, and 100% at a completed end.
    void BeginWork(uint64_t bytes) {
        if (auto* console = dynamic_cast<WorkProgress*>(progress))
            console->Begin(bytes);
    }
    void EndWork(bool completed) {
        if (auto* console = dynamic_cast<WorkProgress*>(progress))
            console->End(completed);
    }
};

// The ports a search covers: the one --port names, or the whole table.
std::vector<platform::PortEntry> SearchedPorts(const Session& s) {
    std::vector<platform::PortEntry> ports = platform::PortTable::List();
    if (s.onlyPort != 0)
        std::erase_if(ports, [&s](const platform::PortEntry& p) { return p.number != s.onlyPort; });
    return ports;
}

// "NAME (pid N), NAME (pid N)": the holders of a port, for people.
std::string HolderNames(const std::vector<platform::PortHolder>& holders) {
    std::string names;
    for (const platform::PortHolder& h : holders)
        names += (names.empty() ? "" : ", ") + h.name + " (pid " + std::to_string(h.pid) + ")";
    return names;
}

// Other programs with the device's port open, which a write to the device
// must not share it with: one that took no lock can read the device's replies
// or send bytes of its own in the middle of an upload. The simulator holds
// the other end of its own line (it is the device) and does not count.
std::string OthersOnThePort(int port) {
    const std::optional<std::string> path =
        platform::PortTable::Resolve(("COM" + std::to_string(port)).c_str());
    if (!path)
        return "";
    std::vector<platform::PortHolder> holders = platform::ProcessesHoldingDevice(*path);
    std::erase_if(holders, [](const platform::PortHolder& h) { return h.name == "brevik-sim"; });
    return HolderNames(holders);
}

// Why no device answered: a port that could not be opened says why. Only
// the ports searched are opened again (opening a port toggles its lines).
int NoDevice(Session& s) {
    s.device.ClosePort();
    if (s.Cancelled())
        return s.Fail(kCliCancelled, "cancelled while looking for the device");
    const std::vector<platform::PortEntry> ports = SearchedPorts(s);
    if (ports.empty())
        return s.Fail(kCliNoDevice,
                      "no serial ports here; connect the device, or name its port with --port");
    for (const platform::PortEntry& port : ports) {
        const std::string name = "COM" + std::to_string(port.number) + " (" + port.path + ")";
        platform::OpenError error = platform::OpenError::None;
        platform::SerialPort::Open(port.path.c_str(), &error);
        if (error == platform::OpenError::PermissionDenied)
            return s.Fail(kCliPermissionDenied,
                          name + ": permission denied. " +
                              PermissionAdvice(platform::GroupOwningDevice(port.path)));
        if (error == platform::OpenError::Busy) {
            const std::string holders = HolderNames(platform::ProcessesHoldingDevice(port.path));
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
        if (platform::IsModemClassDevice(port.path) && platform::ModemManagerRunning()) {
            message += " ModemManager is running and may have grabbed " + port.path +
                       ": tell it to leave the device alone (the package's udev rule does) or "
                       "stop it while flashing.";
            break;
        }
    }
    return s.Fail(kCliNoDevice, message);
}

struct Found {
    int port = 0;
    uint32_t flags = 0;
    char description[kTextCapacity] = {};
    FirmwareVersion version{};
};

Json DeviceJson(const Found& found) {
    return {{"description", found.description},
            {"firmware", DeviceVersionText(found.version)},
            {"port", "COM" + std::to_string(found.port)},
            {"current_commands", (found.flags & kHwCurrentCommandFamily) != 0}};
}

// Detection on one port with a device object of its own.
Found ProbePort(BKQuillex& device, int port) {
    Found found;
    found.port = port;
    found.flags =
        device.DetectHardwareOnPort(port, found.description, kTextCapacity, &found.version);
    return found;
}

// Every port of the table probed at once, one thread and device object each:
// silent ports cost their time-outs side by side, not one after another.
std::vector<Found> FindEveryDevice(const Session& s) {
    const std::vector<platform::PortEntry> ports = SearchedPorts(s);
    std::vector<Found> results(ports.size());
    std::vector<std::thread> probes;
    for (size_t i = 0; i < ports.size() && !s.Cancelled(); ++i) {
        probes.emplace_back([&results, &ports, i] {
            BKQuillex device;
            results[i] = ProbePort(device, ports[i].number);
            device.ClosePort();
        });
    }
    for (std::thread& probe : probes)
        probe.join();
    std::vector<Found> found;
    if (s.Cancelled())
        return found;
    for (const Found& f : results) {
        if (f.flags != 0)
            found.push_back(f);
    }
    return found;
}

std::string Listed(const std::vector<Found>& devices) {
    std::string text;
    for (const Found& f : devices)
        text += std::string(text.empty() ? "" : ", ") + "COM" + std::to_string(f.port) + " (" +
                f.description + ")";
    return text;
}

// Finds the device: on the --port alone, else the first over the table. A
// command that changes the device makes sure it is the only one answering.
Found FindDevice(Session& s, bool changesTheDevice = false, int* refusal = nullptr) {
    Found found;
    if (s.onlyPort != 0) {
        found = ProbePort(s.device, s.onlyPort);
    } else if (changesTheDevice && SearchedPorts(s).size() > 1) {
        const std::vector<Found> every = FindEveryDevice(s);
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
            if (found.flags != 0)
                break;
        }
    }
    if (found.flags != 0)
        s.doc["device"] = DeviceJson(found);
    return found;
}

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

// The package read once and described, checks and all: the bytes that are
// checked here are the ones an update sends. False when it is not uploadable.
bool DescribePackage(Session& s, const std::string& path, Package* p) {
    *p = LoadPackage(path);
    const bool readable = p->access == Package::Access::Readable;
    // A check that never ran (the file is too short or too long to read)
    // is null, not a pass or a failure.
    auto ran = [p](bool passed) { return p->checked ? Json(passed) : Json(nullptr); };
    Json checks = {{"size", p->sizeFits},
                   {"magic", ran(p->magic)},
                   {"header_sum", ran(p->HeaderSumRight())},
                   {"body_check_byte", ran(p->bodyCheckByte)}};
    s.doc["package"] = {{"path", path}, {"valid", p->Uploadable()}};
    if (readable) {
        s.doc["package"]["size"] = p->size;
        s.doc["package"]["body_size"] = p->BodySize();
        s.doc["package"]["checks"] = checks;
        if (p->magic) {
            s.doc["package"]["version"] = PackageVersionText(p->header);
            s.doc["package"]["target"] = std::string(1, p->header.Target());
            s.doc["package"]["target_name"] = TargetHardwareText(p->header.Target());
            s.doc["package"]["header_sum"] = Hex(p->storedSum);
            s.doc["package"]["computed_sum"] = Hex(p->computedSum);
        }
    }
    return p->Uploadable();
}

int Info(Session& s) {
    Package p;
    const std::string& path = s.args.operands[0];
    const bool valid = DescribePackage(s, path, &p);
    if (p.access != Package::Access::Readable)
        return s.Fail(p.access == Package::Access::InUse ? kCliFileError : kCliBadPackage,
                      path + ": " + p.Problem());
    s.Say("%s", path.c_str());
    s.Say("  size          %llu bytes (body %llu)", static_cast<unsigned long long>(p.size),
          static_cast<unsigned long long>(p.BodySize()));
    if (p.magic) {
        s.Say("  version       %s", PackageVersionText(p.header).c_str());
        s.Say("  target        %c (%s)", p.header.Target(), TargetHardwareText(p.header.Target()));
        s.Say("  header sum    0x%08X, computed 0x%08X", p.storedSum, p.computedSum);
    }
    auto verdict = [&p](bool ok) { return !p.checked ? "not checked" : ok ? "passed" : "FAILED"; };
    s.Say("  checks        size %s, magic %s, header sum %s, body check byte %s",
          p.sizeFits ? "passed" : "FAILED", verdict(p.magic), verdict(p.HeaderSumRight()),
          verdict(p.bodyCheckByte));
    if (!valid)
        return s.Fail(kCliBadPackage, path + ": " + p.Problem());
    s.Say("  verdict       valid");
    return kCliSucceeded;
}

// Whether the package may go onto the device found: code 0, or the exit code
// and why not.
struct Admission {
    int code = kCliSucceeded;
    std::string why;
};

Admission Admit(const Session& s, const PackageHeader& header, const Found& found) {
    const char target = header.Target();
    const std::string from = DeviceVersionText(found.version);
    const std::string to = PackageVersionText(header);
    if (!(found.flags & kHwCurrentCommandFamily) || !(found.flags & TargetHardwareBit(target)))
        return {kCliBadPackage, "the package (" + to + " for " + TargetHardwareText(target) +
                                    ") does not fit the " + found.description};
    const int order = header.Major() != found.version.Major
                          ? (header.Major() < found.version.Major ? -1 : 1)
                          : (header.Minor() < found.version.Minor   ? -1
                             : header.Minor() > found.version.Minor ? 1
                                                                    : 0);
    if (order == 0 && !s.args.allowReinstall)
        return {kCliFailed,
                "the device already has " + from + "; --allow-reinstall flashes it again"};
    if (order < 0 && !s.args.allowOlder)
        return {kCliFailed, "the package (" + to + ") is older than the device's " + from +
                                "; --allow-older flashes it anyway"};
    return {};
}

// Stops a write to the device while another program has its port open,
// unless --force says to go on.
std::optional<int> SharedPort(Session& s, int port) {
    if (s.args.force)
        return std::nullopt;
    const std::string others = OthersOnThePort(port);
    if (others.empty())
        return std::nullopt;
    s.device.ClosePort();
    return s.Fail(kCliPortBusy, "COM" + std::to_string(port) + " is also open in " + others +
                                    ", which may take the device's replies or send bytes of its "
                                    "own; close it, or give --force to go on; nothing was sent");
}

struct Flashed {
    int code = kCliSucceeded;
    std::string message;  // for people: the dialog's words, or what went wrong after
    std::string result;   // the library's result name
    std::string now;      // the version read back
};

// Uploads the package into the device found on its port, then reads the
// version back: a status byte that said success is not taken for the new
// firmware running. The port is closed afterwards.
Flashed FlashAndReadBack(BKQuillex& device, const Found& found, const Package& package,
                         platform::ProgressBar* progress) {
    const PackageHeader& header = package.header;
    Flashed f;
    const int result = device.UpdateFirmware(package, progress);
    f.result = ResultCodeName(result);
    // Back to the rate every device starts at, also after a failure.
    if (device.UsbBaudCode != kBaudCode115200)
        device.SetUSBBaud(kBaudCode115200, 0);
    if (result != QX_S_OK) {
        device.ClosePort();
        f.code = ExitCodeForResult(result);
        f.message = ResultBoxFor(result).text;
        return f;
    }
    FirmwareVersion now{};
    const bool again = device.DetectHardwareOnPort(found.port, nullptr, 0, &now) != 0;
    device.ClosePort();
    if (!again) {
        f.code = kCliNoDevice;
        f.message =
            "the device took the update but was not found again; its new version is "
            "unknown";
        return f;
    }
    f.now = DeviceVersionText(now);
    if (now.Major != header.Major() || now.Minor != header.Minor() ||
        now.Letter != header.Target()) {
        f.code = kCliFailed;
        f.message =
            "the device reports " + f.now + " after the update, not " + PackageVersionText(header);
        return f;
    }
    f.message = std::string(ResultBoxFor(QX_S_OK).text) + f.now;
    return f;
}

// Every attached device the package fits, flashed side by side, a line each.
int UpdateEvery(Session& s, const Package& p) {
    const std::vector<Found> every = FindEveryDevice(s);
    if (every.empty())
        return NoDevice(s);
    std::vector<Flashed> outcomes(every.size());
    std::vector<bool> skipped(every.size(), false);
    std::vector<std::thread> flashes;
    if (s.Cancelled())
        return s.Fail(kCliCancelled, "cancelled before the update began; nothing was sent");
    if (!s.args.dryRun)
        s.HoldStopSignals();
    for (size_t i = 0; i < every.size(); ++i) {
        const Admission admitted = Admit(s, p.header, every[i]);
        if (admitted.code != kCliSucceeded) {
            skipped[i] = true;
            outcomes[i].message = "skipped: " + admitted.why;
            continue;
        }
        const std::string others = s.args.force ? "" : OthersOnThePort(every[i].port);
        if (!others.empty()) {
            outcomes[i].code = kCliPortBusy;
            outcomes[i].message =
                "not updated: the port is also open in " + others + " (--force goes on)";
            continue;
        }
        if (s.args.dryRun) {
            outcomes[i].message = "would be updated to " + PackageVersionText(p.header);
            continue;
        }
        flashes.emplace_back([&, i] {
            BKQuillex device;
            const Found found = ProbePort(device, every[i].port);
            // Every device gets the bytes that were read and checked once.
            if (found.flags != 0) {
                if (s.args.fast && (found.flags & kHwUsb))
                    device.SetUSBBaud(kBaudCode921600, 0);  // refused: on at 115200
                outcomes[i] = FlashAndReadBack(device, found, p, nullptr);
            } else {
                outcomes[i].code = kCliNoDevice;
                outcomes[i].message = "the device was not found again";
            }
        });
    }
    for (std::thread& flash : flashes)
        flash.join();
    int code = kCliSucceeded;
    Json list = Json::array();
    for (size_t i = 0; i < every.size(); ++i) {
        const Flashed& f = outcomes[i];
        s.Say("COM%d %s %s: %s", every[i].port, every[i].description,
              DeviceVersionText(every[i].version).c_str(), f.message.c_str());
        Json entry = DeviceJson(every[i]);
        entry["ok"] = f.code == kCliSucceeded && !skipped[i];
        entry["skipped"] = static_cast<bool>(skipped[i]);
        entry["message"] = f.message;
        if (!f.result.empty())
            entry["result"] = f.result;
        if (!f.now.empty())
            entry["now"] = f.now;
        list.push_back(entry);
        if (code == kCliSucceeded && f.code != kCliSucceeded)
            code = f.code;
    }
    s.doc["updates"] = list;
    if (code != kCliSucceeded)
        return s.Fail(code, "not every device was updated");
    return kCliSucceeded;
}

int Update(Session& s) {
    const std::string& path = s.args.operands[0];
    Package p;
    if (!DescribePackage(s, path, &p))
        return s.Fail(p.access == Package::Access::InUse ? kCliFileError : kCliBadPackage,
                      path + ": " + p.Problem());
    if (s.args.all)
        return UpdateEvery(s, p);
    int refusal = kCliSucceeded;
    const Found found = FindDevice(s, true, &refusal);
    if (refusal != kCliSucceeded)
        return refusal;
    if (found.flags == 0)
        return NoDevice(s);
    const std::string from = DeviceVersionText(found.version);
    const std::string to = PackageVersionText(p.header);
    const Admission admitted = Admit(s, p.header, found);
    if (admitted.code != kCliSucceeded) {
        s.device.ClosePort();
        return s.Fail(admitted.code, admitted.why);
    }
    s.doc["update"] = {{"from", from}, {"to", to}, {"dry_run", s.args.dryRun}};
    if (s.args.dryRun) {
        s.Say("Would update %s from %s to %s (%llu bytes). Nothing was sent.", found.description,
              from.c_str(), to.c_str(), static_cast<unsigned long long>(p.BodySize()));
        s.device.ClosePort();
        return kCliSucceeded;
    }
    if (s.Cancelled()) {
        s.device.ClosePort();
        return s.Fail(kCliCancelled, "cancelled before the update began; nothing was sent");
    }
    if (std::optional<int> shared = SharedPort(s, found.port))
        return *shared;
    s.HoldStopSignals();
    if (s.args.fast) {
        // Eight times the rate for the upload, where the device is on USB and
        // takes the link-rate change; otherwise on at the rate there is.
        if (!(found.flags & kHwUsb))
            s.Say("The device is not on USB: staying at 115200 baud.");
        else if (s.device.SetUSBBaud(kBaudCode921600, 0) == QX_S_OK)
            s.Say("Link rate raised to 921600 baud for the upload.");
        else
            s.Say("The device did not take 921600 baud: going on at 115200.");
        s.doc["update"]["fast"] = s.device.UsbBaudCode == kBaudCode921600;
    }
    s.Say("Updating %s from %s to %s...", found.description, from.c_str(), to.c_str());
    s.BeginWork(p.BodySize());
    const Flashed flashed = FlashAndReadBack(s.device, found, p, s.progress);
    s.EndWork(flashed.result == "QX_S_OK");
    s.doc["update"]["result"] = flashed.result;
    if (!flashed.now.empty())
        s.doc["update"]["now"] = flashed.now;
    if (flashed.code != kCliSucceeded)
        return s.Fail(flashed.code, flashed.message);
    s.Say("%s", flashed.message.c_str());
    return kCliSucceeded;
}

uint32_t TransferOptions(const Session& s) {
    return (s.args.noBulk ? QX_XFER_NO_BULK : 0u) | (s.args.plain ? QX_XFER_PLAIN : 0u);
}

// A failed transfer in words people read; the port is closed.
int TransferFailed(Session& s, int result, const char* what) {
    s.device.ClosePort();
    const int code = ExitCodeForResult(result);
    const char* why = code == kCliNoDevice    ? "the device stopped answering"
                      : code == kCliPortBusy  ? "the port is busy"
                      : code == kCliCancelled ? "cancelled"
                                              : "the device turned it down";
    s.doc["result"] = ResultCodeName(result);
    return s.Fail(code, std::string(what) + " failed: " + why);
}

// The end of the device memory a transfer may reach. A family without a
// size rule is reached through 16-bit block addresses only.
uint64_t MemoryEnd(const BKQuillex& device) {
    const int remaining = device.GetMemoryRemaining(0);
    return remaining > 0 ? static_cast<uint64_t>(remaining) : 0x10000;
}

// Refuses, before any transfer, a range the device cannot take: one that
// leaves its memory (the device would drop the address bits it does not have
// and write or read somewhere else while reporting success), or an odd one on
// a Dunmarra, which moves whole 16-bit words.
std::optional<int> OutsideMemory(Session& s, uint32_t address, uint32_t size) {
    if ((s.device.HardwareFlags & kHwDunmarra) && ((address | size) & 1) != 0) {
        s.device.ClosePort();
        return s.Fail(kCliUsageError,
                      "a Dunmarra moves whole 16-bit words: ADDRESS and SIZE must be even; "
                      "nothing was transferred");
    }
    const uint64_t end = MemoryEnd(s.device);
    if (uint64_t{address} + size <= end)
        return std::nullopt;
    char text[200];
    std::snprintf(text, sizeof text,
                  "0x%X..0x%llX is outside the device's memory (0x0..0x%llX, %llu KiB); "
                  "nothing was transferred",
                  address, static_cast<unsigned long long>(uint64_t{address} + size - 1),
                  static_cast<unsigned long long>(end - 1),
                  static_cast<unsigned long long>(end / 1024));
    s.device.ClosePort();
    return s.Fail(kCliUsageError, text);
}

// Device memory is 1 MiB at most; a larger file is a mistake.
constexpr int64_t kLargestMemoryFile = 16 * 1024 * 1024;

std::optional<std::vector<uint8_t>> ReadWholeFile(Session& s, const std::string& path,
                                                  int* failure) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        *failure = s.Fail(kCliFileError, path + ": no such file");
        return std::nullopt;
    }
    auto file = platform::ReadOnlyFile::Open(path.c_str(), platform::FileShare::Read);
    const int64_t size = file ? file->Size() : -1;
    if (size <= 0 || size > kLargestMemoryFile) {
        *failure =
            s.Fail(kCliFileError, path + ": cannot be read, is empty or is larger than 16 MiB");
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    uint32_t got = 0;
    if (!file->Read(bytes.data(), static_cast<uint32_t>(size), &got) || got != size) {
        *failure = s.Fail(kCliFileError, path + ": cannot be read");
        return std::nullopt;
    }
    return bytes;
}

bool ParseAddressAndSize(const Session& s, uint32_t* address, uint32_t* size) {
    return ParseCliNumber(s.args.operands[0], address) &&
           (size == nullptr || ParseCliNumber(s.args.operands[1], size));
}

// The output of `read`: the bytes go to a new file beside the one named,
// which takes its place only when it is whole. Whatever stood at the name
// is left as it was by every failure, a signal included.
class OutputFile {
  public:
    explicit OutputFile(const std::string& path) : path_(path) {}
    // Whether a file can be made where the output goes, found out before
    // any device is asked; the trial file goes again at once.
    bool CanBeWritten() {
        std::unique_ptr<platform::NewFile> trial = CreateBeside();
        return trial && trial->Remove();
    }
    bool Write(const std::vector<uint8_t>& bytes) {
        std::unique_ptr<platform::NewFile> file = CreateBeside();
        if (!file)
            return false;
        if (file->Write(bytes.data(), bytes.size()) && file->Replace(path_.c_str()))
            return true;
        file->Remove();
        return false;
    }

  private:
    std::unique_ptr<platform::NewFile> CreateBeside() const {
        std::random_device random;
        for (int attempt = 0; attempt < 8; ++attempt) {
            char tag[32];
            std::snprintf(tag, sizeof tag, ".brevik-%08x.part", random());
            if (auto file = platform::NewFile::Create((path_ + tag).c_str()))
                return file;
        }
        return nullptr;
    }
    std::string path_;
};

int ReadMemory(Session& s) {
    uint32_t address = 0, size = 0;
    if (!ParseAddressAndSize(s, &address, &size) || size == 0 || size > kLargestMemoryFile)
        return s.Fail(kCliUsageError, "read takes ADDRESS SIZE FILE (SIZE from 1 to 16 MiB)");
    // The output first: a file that cannot be written is found out before
    // the device is asked for anything.
    const std::string& path = s.args.operands[2];
    const bool toStdout = path == "-";
    if (toStdout && s.args.json)
        return s.Fail(kCliUsageError, "read to '-' and --json both want standard output");
    OutputFile output(path);
    if (!toStdout) {
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(path, ec);
        if (!ec && std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
            return s.Fail(kCliFileError, path +
                                             ": is there and is not a regular file (a link, "
                                             "folder, pipe or device is never written over)");
        if (!output.CanBeWritten())
            return s.Fail(kCliFileError, path + ": cannot be written");
    }
    const Found found = FindDevice(s);
    if (found.flags == 0)
        return NoDevice(s);
    if (std::optional<int> refused = OutsideMemory(s, address, size))
        return *refused;
    std::vector<uint8_t> data(size);
    s.BeginWork(size);
    const int result =
        s.device.ReadBlock(data.data(), size, address, TransferOptions(s), s.progress);
    s.EndWork(result >= 0);
    s.device.ClosePort();
    if (result < 0)
        return TransferFailed(s, result, "read");
    const bool written =
        toStdout ? std::fwrite(data.data(), 1, size, s.out) == size && std::fflush(s.out) == 0
                 : output.Write(data);
    if (!written)
        return s.Fail(kCliFileError, path + ": cannot be written");
    s.doc["read"] = {{"address", address}, {"size", size}, {"file", path}};
    if (!toStdout)
        s.Say("Read %u bytes from 0x%X into %s", size, address, path.c_str());
    return kCliSucceeded;
}

int WriteOrVerify(Session& s, bool verify) {
    uint32_t address = 0;
    if (!ParseAddressAndSize(s, &address, nullptr))
        return s.Fail(kCliUsageError, std::string(verify ? "verify" : "write") +
                                          " takes ADDRESS FILE; '" + s.args.operands[0] +
                                          "' is not a number");
    const std::string& path = s.args.operands[1];
    int failure = kCliFailed;
    const std::optional<std::vector<uint8_t>> data = ReadWholeFile(s, path, &failure);
    if (!data)
        return failure;
    const uint32_t size = static_cast<uint32_t>(data->size());
    int refusal = kCliSucceeded;
    const Found found = FindDevice(s, !verify, &refusal);
    if (refusal != kCliSucceeded)
        return refusal;
    if (found.flags == 0)
        return NoDevice(s);
    if (std::optional<int> refused = OutsideMemory(s, address, size))
        return *refused;
    if (!verify) {
        if (std::optional<int> shared = SharedPort(s, found.port))
            return *shared;
        s.BeginWork(size);
        const int result =
            s.device.WriteBlock(data->data(), size, address, TransferOptions(s), s.progress);
        s.EndWork(result == QX_S_OK);
        if (result != QX_S_OK)
            return TransferFailed(s, result, "write");
        s.device.ClosePort();
        s.doc["write"] = {{"address", address}, {"size", size}, {"file", path}};
        s.Say("Wrote %u bytes to 0x%X", size, address);
        return kCliSucceeded;
    }
    // Read back and compared here, so that the first difference can be named.
    std::vector<uint8_t> device(size);
    s.BeginWork(size);
    const int result = s.device.ReadBlock(device.data(), size, address, 0, s.progress);
    s.EndWork(result >= 0);
    if (result < 0)
        return TransferFailed(s, result, "verify");
    s.device.ClosePort();
    uint32_t differing = 0, first = 0;
    for (uint32_t i = size; i-- > 0;) {
        if (device[i] != (*data)[i]) {
            ++differing;
            first = i;
        }
    }
    s.doc["verify"] = {
        {"address", address}, {"size", size}, {"file", path}, {"differing_bytes", differing}};
    if (differing == 0) {
        s.Say("Device memory at 0x%X holds the %u bytes of %s", address, size, path.c_str());
        return kCliSucceeded;
    }
    s.doc["verify"]["first_difference"] = address + first;
    char text[200];
    std::snprintf(text, sizeof text,
                  "device memory at 0x%X differs from %s: %u bytes differ, the first at 0x%X "
                  "(device 0x%02X, file 0x%02X)",
                  address, path.c_str(), differing, address + first, device[first], (*data)[first]);
    return s.Fail(kCliFailed, text);
}

int Eeprom(Session& s) {
    uint32_t address = 0, size = 0;
    if (!ParseAddressAndSize(s, &address, &size) || size < 1 || size > 256 || address > 0xFFFF)
        return s.Fail(kCliUsageError, "eeprom takes ADDRESS (below 0x10000) and SIZE (1 to 256)");
    const Found found = FindDevice(s);
    if (found.flags == 0)
        return NoDevice(s);
    uint8_t data[256] = {};
    const int result =
        s.device.ReadEEPROM(data, static_cast<uint16_t>(address), static_cast<uint16_t>(size));
    if (result != QX_S_OK)
        return TransferFailed(s, result, "eeprom");
    s.device.ClosePort();
    Json bytes = Json::array();
    for (uint32_t i = 0; i < size; i += 16) {
        std::string line;
        char cell[8];
        std::snprintf(cell, sizeof cell, "%04X:", address + i);
        line = cell;
        for (uint32_t j = i; j < size && j < i + 16; ++j) {
            std::snprintf(cell, sizeof cell, " %02X", data[j]);
            line += cell;
            bytes.push_back(data[j]);
        }
        s.Say("%s", line.c_str());
    }
    s.doc["eeprom"] = {{"address", address}, {"bytes", bytes}};
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

int RunCliCommand(const CliArguments& args, BKQuillex& device, std::FILE* out, std::FILE* err,
                  platform::ProgressBar* progress) {
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
        code = s.Finish(Dispatch(s));
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
