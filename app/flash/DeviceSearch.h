// Looking for devices on the ports of the table, as every front end does:
// one port, one path, or every port at once (one thread and device object
// each, so that silent ports cost their time-outs side by side).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/flash/Admission.h"
#include "devicelink/BKQuillex.h"
#include "platform/PortTable.h"

namespace flash {

// Detection on port COMn with the given device object, which keeps the port
// open when a device answered.
Found ProbePort(BKQuillex& device, int port);
// The same on the port at path (shown as COMport).
Found ProbePath(BKQuillex& device, const std::string& path, int port);

// Every port probed at once; the result of each, in the order of ports
// (flags 0 where nothing answered). Ports not yet started when stop() holds
// are left out.
std::vector<Found> ProbeEachPort(const std::vector<platform::PortEntry>& ports,
                                 const std::function<bool()>& stop = {});

// The path of COMn in the port table, when there is one.
std::optional<std::string> PortPath(int port);

// How a port is named to a person: "COM3 (/dev/ttyUSB0)", with the USB
// serial number where the system knows one: "COM3 (/dev/ttyUSB0), USB serial
// A1B2C3". Made printable.
std::string PortTitle(int port, const std::string& path);

}  // namespace flash
