// Exit codes of the brevik tool, and the one table that turns the device
// link's result codes into them.
#pragma once

#include <span>
#include <string>

// What each means is said once, in ExitCodeTable() (and from there in
// --help, the man page and the README).
constexpr int kCliSucceeded = 0;
constexpr int kCliFailed = 1;
constexpr int kCliUsageError = 2;
constexpr int kCliNoDevice = 3;
constexpr int kCliPermissionDenied = 4;
constexpr int kCliPortBusy = 5;
constexpr int kCliBadPackage = 6;
constexpr int kCliDeviceRefused = 7;
constexpr int kCliFileError = 8;
constexpr int kCliCancelled = 130;

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
