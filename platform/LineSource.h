// Lines that are not the system's ports: the simulator and the tests make
// lines in memory and register a source for their names here.
// SerialPort::Open asks the registered sources before the system, so the
// port layer needs to know nothing of them.
#pragma once

#include <memory>

#include "platform/SerialLine.h"
#include "platform/SerialPort.h"

namespace platform {

class LineSource {
  public:
    virtual ~LineSource() = default;
    // How a port of this source is described ("loopback").
    virtual const char* Kind() const = 0;
    virtual bool Claims(const char* name) const = 0;
    // The host end of the line of that name; null with *error set.
    virtual std::unique_ptr<SerialLine> Open(const char* name, OpenError* error) = 0;
};

// Registers a source for the rest of the process (it must live that long);
// registering one twice has no further effect.
void RegisterLineSource(LineSource* source);

// The registered source that claims name; null for a name of the system.
LineSource* LineSourceFor(const char* name);

}  // namespace platform
