// What on this machine can stop a flash, as the system shows it, each
// finding with its fix: for the machine as a whole (Linux: the udev rule, WSL 2
// without the device passed on from Windows or without its driver,
// brltty), and for one port (who may open it, which programs hold it and
// whether they lock it, ModemManager, the bridge's latency timer, a
// Bluetooth port whose device is away). Opening a port to try it is part
// of the check; nothing else on the machine is changed.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct Finding {
    std::string problem;
    std::string fix;
};

std::vector<Finding> MachineFindings();

// timerMs, when given, receives the bridge's latency timer (0: none known).
std::vector<Finding> PortFindings(const std::string& path, int* timerMs = nullptr);

}  // namespace platform
