// What sits between a real device and its host: a USB-serial bridge with a
// latency timer, a USB device of its own (CDC-ACM), a bridge that reaches
// only some link rates, or a Bluetooth serial link. The virtual device
// serves through a model of one, so that the host sees the delays real
// ports have (a pseudo-terminal delivers every byte at once: the best case).
//
// brevik-sim --bridge KIND[:OPTIONS][,KIND[:OPTIONS]...]
//   pty            no bridge (the default)
//   latency[:MS]   device-to-host bytes wait until 62 are waiting or the
//                  latency timer (MS, default 16) ticks; host-to-device
//                  bytes arrive in 1 ms USB frames. With a timer file, the
//                  timer's value is read from it at every tick, as a bridge
//                  reads its latency_timer attribute.
//   cdc            1 ms USB frames both ways, no timer
//   rates:A/B/...  the link rates the bridge reaches; at any other rate
//                  every byte is garbled both ways
//   rfcomm[:MS]    every reply arrives a round trip (MS, default 30) late
//   connect:MS     opening the port takes MS (a Bluetooth link being made)
//   absent         the link cannot be made: opening fails, after the
//                  connect time (a bound Bluetooth port whose device is off)
// connect and absent are modelled on loopback lines (a pseudo-terminal
// opens at once).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/DeviceLine.h"

namespace sim {

struct BridgeModel {
    bool latencyTimer = false;
    int latencyMs = 16;
    std::string timerFile;   // read at every tick when set
    bool usbFrames = false;  // 1 ms frames host to device (and both ways for cdc)
    bool cdc = false;
    std::vector<uint32_t> rates;  // empty: every rate
    int roundTripMs = 0;          // rfcomm
    int connectMs = 0;
    bool absent = false;

    bool IsPlain() const {
        return !latencyTimer && !usbFrames && rates.empty() && roundTripMs == 0;
    }
};

// Parses a --bridge value; false with *error set for a malformed one.
bool ParseBridge(const std::string& text, BridgeModel* model, std::string* error);

// Makes the stand-in of the bridge's latency_timer attribute for the port
// under a sysfs root of its own (class/tty/NAME/device/latency_timer, as
// Linux has it for a USB-serial port), holding ms; its path, or "".
std::string MakeTimerAttribute(const std::string& sysfsRoot, const std::string& portPath, int ms);

// The device's end of a line seen through the bridge.
std::unique_ptr<platform::DeviceLine> BridgeLine(std::unique_ptr<platform::DeviceLine> line,
                                                 const BridgeModel& model);

}  // namespace sim
