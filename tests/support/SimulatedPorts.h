// Test support: virtual devices on pseudo-terminals standing in the port
// table, and a device object whose trace lines can be read back.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "devicelink/BKQuillex.h"
#include "diagnostics/TextBuffer.h"
#include "sim/VirtualDevice.h"

// Points COM1.. at the given paths for the lifetime of the object, then
// puts back the table it found, or an empty one: tests never fall through to
// the machine's real serial ports.
class ScopedPortTable {
  public:
    explicit ScopedPortTable(std::vector<std::string> paths);
    ~ScopedPortTable();

  private:
    std::vector<std::string> previous_;
};

// Makes the port table empty unless a test has set one.
void KeepRealPortsOutOfReach();

// A device object with a trace buffer attached.
struct TracedDevice {
    TracedDevice() : sink(&trace) {
        KeepRealPortsOutOfReach();
        device.SetTraceTarget(&sink);
    }
    ~TracedDevice() { device.SetTraceTarget(nullptr); }
    std::vector<std::string> Lines() const { return trace.Lines(); }
    bool HasLine(const std::string& line) const;

    TextBuffer trace;
    TraceSink sink;
    BKQuillex device;
};

// One virtual device, started, as COM1.
class OneSimulatedPort {
  public:
    explicit OneSimulatedPort(sim::DeviceConfig config = {});
    sim::VirtualDevice& Device() { return *device_; }

  private:
    std::unique_ptr<sim::VirtualDevice> device_;
    std::unique_ptr<ScopedPortTable> table_;
};

// The bytes of every request the device received, concatenated.
std::vector<uint8_t> RequestBytes(const std::vector<sim::Exchange>& exchanges);
// Each request the device received, in order.
std::vector<std::vector<uint8_t>> RequestsOf(const sim::VirtualDevice& device);
// The read time-out the device object's port has now (total constant).
uint32_t ReadTimeoutOf(const BKQuillex& device);
