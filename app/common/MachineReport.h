// The machine check that 'brevik doctor' prints and the dialog's Diagnose
// box shows: what on this machine, and on each port searched, may stop a
// flash, each finding with its fix.
#pragma once

#include <string>
#include <vector>

#include "platform/MachineCheck.h"
#include "platform/PortTable.h"

struct PortCheck {
    platform::PortEntry port;
    std::string name;  // "COM3 /dev/ttyUSB0"
    std::vector<platform::Finding> findings;
    int latencyTimerMs = 0;  // 0: none known
};

struct MachineReport {
    std::vector<platform::Finding> machine;
    std::vector<PortCheck> ports;

    size_t FindingCount() const;
};

// Checks the machine and each of ports (opening a port to try it is part of
// the check; nothing is changed).
MachineReport CheckMachine(const std::vector<platform::PortEntry>& ports);

// What is said when there is no serial port at all.
constexpr const char* kNoSerialPorts =
    "No serial ports: is the device plugged in? ('brevik ports' lists what the system has)";
// What is said when nothing was found.
constexpr const char* kNothingInTheWay = "Nothing found that would stop a flash.";

// The report as lines of text: "SUBJECT: PROBLEM" and "    fix: FIX" for
// each finding, "NAME: nothing in the way" for a port without one.
std::string MachineReportText(const MachineReport& report);
