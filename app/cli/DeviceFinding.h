// Finding the device for a command of the brevik tool: probing the ports
// searched (the one --port names, or the table), explaining why nothing
// answered, and who else has a port open.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/cli/CliSession.h"
#include "app/flash/Admission.h"
#include "app/flash/DeviceSearch.h"
#include "platform/BridgeLatency.h"
#include "platform/Console.h"
#include "platform/PortAccess.h"
#include "platform/PortTable.h"

namespace cli {

// A device that answered, or flags 0.
using flash::Found;

// "COM2 (Quillex USB v2.11.Q), COM3 (...)".
std::string Listed(const std::vector<Found>& devices);

// A device found, with what the system knows of its port.
Json DeviceJson(const Found& found);

// What the system knows of a port, the fields it has: kind, USB ids and
// strings, driver, USB socket, stable names and the selectors --port takes
// for it among the ports of `every`.
Json FactsJson(const platform::PortFacts& facts, std::span<const platform::PortFacts> every);

// The ports a search covers: the one --port names, or the whole table.
std::vector<platform::PortEntry> SearchedPorts(const Session& s);

using flash::ProbePath;
using flash::ProbePort;

// Every port searched, probed at once; what answered, in port order.
// A port whose link could not be made (a Bluetooth device out of reach) is
// said to be skipped, once.
std::vector<Found> FindEveryDevice(Session& s);

// Finds the device: on the --port alone, else the first over the table. A
// command that changes the device makes sure it is the only one answering
// (else *refusal is the failure's exit code).
Found FindDevice(Session& s, bool changesTheDevice = false, int* refusal = nullptr);

// What a Ctrl+C during the search says.
constexpr const char* kCancelledWhileLooking = "cancelled while looking for the device";

// Ends the run when no device answered, saying why where the ports tell.
int NoDevice(Session& s);

using flash::PortPath;

// A long exchange with a found device: the bridge's latency timer lowered
// to 1 ms, put back when the hold ends, and for as long, SIGTERM and SIGHUP
// ending the work as Ctrl+C does, so that the timer is put back then too.
struct TransferHold {
    explicit TransferHold(const std::string& path) : timer(path) {}
    platform::StopAsInterrupt stops;  // made first, ended last
    platform::LowLatencyHold timer;
};

// Takes the hold for the port; where the timer may not be lowered, the user
// is told once how to (with what it costs an upload of uploadBytes).
std::unique_ptr<TransferHold> HoldLowLatency(Session& s, int port, uint64_t uploadBytes = 0);

// Stops a write to the device while another program has its port open,
// unless --force says to go on; the exit code, or nothing.
std::optional<int> SharedPort(Session& s, int port);

}  // namespace cli
