/// @file
/// The table that gives the Windows-style port names COM1..COM255 a meaning:
/// COMn is the n-th entry. The entries come from, in order of precedence,
///   1. an override set by the program (tests point it at virtual devices),
///   2. the paths of the environment variable BREVIK_PORTS, separated by ':'
///      on POSIX and ';' on Windows (set but empty means an empty table),
///   3. the serial devices the system has: on POSIX those sysfs shows
///      (USB-serial, CDC-ACM, Bluetooth RFCOMM and UARTs with real hardware,
///      sorted); on Windows COMn is the system's own COM port n.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

/// The highest COM number.
constexpr int kMaxPortNumber = 255;

/// A port that is there, under its COM number.
struct PortEntry {
    int number = 0;           ///< n of COMn
    std::string path;         ///< what opens it
    std::string description;  ///< the system's name for it, where it has one
};

/// The table; see the file's description.
class PortTable {
  public:
    /// The current table. The system scan is cached for a short while so that
    /// a scan over all 255 names does not list sysfs 255 times.
    static std::vector<std::string> Entries();

    /// Replaces the table with the given paths until ClearOverride.
    static void SetOverride(std::vector<std::string> paths);
    /// Goes back to BREVIK_PORTS or the system's ports.
    static void ClearOverride();
    /// The override's paths, when one is set.
    static std::optional<std::vector<std::string>> Override();
    /// The paths of a table that is set (the override, or BREVIK_PORTS);
    /// none for the system's own table.
    static std::vector<std::string> NamedEntries();
    /// Counts the changes of the override, for watchers of the table.
    static uint64_t Generation();
    /// Drops the cached system scan: the next look lists the system again
    /// (a port came or went).
    static void Rescan();

    /// The ports there are, in COM order: every entry of a table that is set,
    /// else the system's ports (on Windows only those it lists, with their
    /// own numbers and names).
    static std::vector<PortEntry> List();

    /// Resolves "COMn" (n = 1..255, case-insensitive) to its device, or a
    /// path name (see IsPathName) to itself. Empty when the name has none.
    static std::optional<std::string> Resolve(const char* name);

    /// The 1-based number of a path in the table, or 255 when it is not there.
    static int NumberOfPath(const std::string& path);

    /// Parses "COMn"; 0 when the name is not of that form or n is out of range.
    static int ParseComNumber(const char* name);
    /// "COMn", the name of entry n as users see and type it.
    static std::string ComName(int number);

    /// A name that stands for itself, not for a table entry: a device path
    /// ("/dev/ttyUSB0", or the device path of COM7 on Windows) or a loopback line's name.
    static bool IsPathName(const char* name);
    /// A path relative to the working folder ("./w1", "ports/w1") made
    /// absolute, so that it names the same file wherever it is opened;
    /// any other name as it is.
    static std::string AbsoluteName(const std::string& name);

    /// The system's own table, without cache: on POSIX the serial devices
    /// sysfs shows, on Windows the device paths of COM1 up to the highest port it lists.
    static std::vector<std::string> ScanSystemPorts();
};

}  // namespace platform
