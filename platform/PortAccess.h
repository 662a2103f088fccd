// What the system can tell about why a port cannot be had: the group that
// owns its device node, the program that holds it open, and whether
// ModemManager (which probes new modem-class devices) is running.
#pragma once

#include <string>

namespace platform {

// The group owning the device node ("dialout"), or "" when unknown.
std::string GroupOwningDevice(const std::string& path);

// "NAME (pid N)" of a process that has the device open, or "" when none is
// visible to us (another user's processes usually are not).
std::string ProcessHoldingDevice(const std::string& path);

bool ModemManagerRunning();

// True for a USB modem-class (CDC-ACM) serial device, which ModemManager
// probes unless told to leave it alone.
bool IsModemClassDevice(const std::string& path);

}  // namespace platform
