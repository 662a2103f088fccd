// Exit codes of the brevik tool, and the one table that turns the device
// link's result codes into them.
#pragma once

#include <span>
#include <string>

constexpr int kCliSucceeded = 0;
constexpr int kCliFailed = 1;      // anything not named below (e.g. verify found differences)
constexpr int kCliUsageError = 2;  // the command line is wrong
constexpr int kCliNoDevice = 3;    // no device found, or it stopped answering
constexpr int kCliPermissionDenied = 4;
constexpr int kCliPortBusy = 5;       // another program holds the port
constexpr int kCliBadPackage = 6;     // the package file fails its checks or does not fit
constexpr int kCliDeviceRefused = 7;  // the device turned the update or transfer down
constexpr int kCliFileError = 8;      // a file could not be read or written
constexpr int kCliCancelled = 130;    // Ctrl+C

int ExitCodeForResult(int resultCode);

// An exit code as people and scripts read it.
struct ExitCodeMeaning {
    int code;
    const char* key;      // stable, in --json's error.key ("no-device", "port-busy", ...)
    const char* meaning;  // for people: --help, the man page and the README show it
};

// Every exit code once, in order.
std::span<const ExitCodeMeaning> ExitCodeTable();

// The stable key of an exit code for --json ("failed" for one not in the table).
const char* ExitCodeKey(int exitCode);

// The table as --help prints it (and help2man puts it in the man page).
std::string ExitCodeHelp();
