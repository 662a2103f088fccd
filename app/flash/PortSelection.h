// Choosing a port by what stays with the device rather than by a name that
// moves: usb:SERIAL (the USB serial number), usb-path:BUS-PORT.PORT (the
// USB socket, for identical boards without serial numbers) and
// id:VID:PID[:SERIAL]. `brevik ports` shows each port with the selectors
// that name it, so what is shown can be typed back.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "platform/PortAccess.h"
#include "platform/PortTable.h"

namespace flash {

// usb:, usb-path: or id: (a path or COMn is no selector).
bool IsPortSelector(const std::string& text);

// The selectors to show for the port with these facts, the most particular
// first: those that name it and no other of `every` (the facts of each port
// of the table; serial numbers are not unique), and that can be typed back
// as shown. None for a port the system knows nothing of.
std::vector<std::string> SelectorsOf(const platform::PortFacts& facts,
                                     std::span<const platform::PortFacts> every);

// The facts of each port of the table, in its order.
std::vector<platform::PortFacts> FactsOfEveryPort();

// The ports of the table the selector names. A malformed selector matches
// nothing and says why in *malformed.
std::vector<platform::PortEntry> PortsSelected(const std::string& selector, std::string* malformed);

}  // namespace flash
