// The table that gives the Windows-style port names COM1..COM255 a meaning:
// COMn is the n-th entry. The entries come from, in order of precedence,
//   1. an override set by the program (tests point it at pseudo-terminals),
//   2. the colon-separated paths of the environment variable BREVIK_PORTS
//      (set but empty means an empty table),
//   3. the serial devices the system has, found through sysfs: USB-serial,
//      CDC-ACM, Bluetooth RFCOMM and UARTs with real hardware, sorted.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace platform {

constexpr int kMaxPortNumber = 255;

class PortTable {
  public:
    // The current table. The system scan is cached for a short while so that
    // a scan over all 255 names does not list sysfs 255 times.
    static std::vector<std::string> Entries();

    // Replaces the table with the given paths until ClearOverride.
    static void SetOverride(std::vector<std::string> paths);
    static void ClearOverride();
    static std::optional<std::vector<std::string>> Override();

    // Resolves "COMn" (n = 1..255, case-insensitive) to the n-th entry, or a
    // name beginning with '/' to itself. Empty when the name has no device.
    static std::optional<std::string> Resolve(const char* name);

    // The 1-based number of a path in the table, or 255 when it is not there.
    static int NumberOfPath(const std::string& path);

    // Parses "COMn"; 0 when the name is not of that form or n is out of range.
    static int ParseComNumber(const char* name);

    // Serial devices found in sysfs, without cache (the system's own list).
    static std::vector<std::string> ScanSystemPorts();
};

}  // namespace platform
