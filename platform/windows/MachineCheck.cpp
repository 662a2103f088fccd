// Windows: a port is opened by one program at a time, and the system does
// not say which holds it; the bridge driver keeps its latency timer in its
// own settings, which only the user changes.
#include "platform/MachineCheck.h"

#include "platform/BridgeLatency.h"
#include "platform/SerialPort.h"

namespace platform {

std::vector<Finding> MachineFindings() {
    return {};
}

std::vector<Finding> PortFindings(const std::string& path, int* timerMs) {
    std::vector<Finding> findings;
    OpenError error = OpenError::None;
    if (SerialPort::Open(path.c_str(), &error) == nullptr) {
        if (error == OpenError::Busy || error == OpenError::PermissionDenied)
            findings.push_back({"another program has the port open",
                                "close the program that uses the port (a terminal, another "
                                "flasher, a modem or sync tool)"});
        else if (error == OpenError::NoLink)
            findings.push_back(
                {"the Bluetooth port is bound, but no link to its device could "
                 "be made (it is off or out of reach)",
                 "switch the device on and bring it near, or pair it again"});
    }
    // Read, never written: the doctor changes nothing.
    const BridgeTimer timer = InspectBridgeTimer(path);
    if (timerMs != nullptr)
        *timerMs = timer.timerMs;
    if (!timer.advice.empty())
        findings.push_back({"the USB bridge holds each reply up to " +
                                std::to_string(timer.timerMs) + " ms (its latency timer)",
                            timer.advice});
    return findings;
}

}  // namespace platform
