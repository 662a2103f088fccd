// What brevik-updater takes on its command line: a package to select and
// the port to look on, which, as for brevik, may also come from BREVIK_PORT
// or the settings file's 'port' (the command line winning over both, the
// environment over the file).
#pragma once

#include <string>

#include "app/flash/TrustPolicy.h"

struct UpdaterArguments {
    std::string port;     // as brevik's --port takes it; "" for every port
    std::string package;  // "" for none
    std::string error;    // why the line or the settings were refused
    // The settings' signatures (or BREVIK_SIGNATURES), approved and blocked,
    // as brevik takes them: they only tighten the administrator's policy.
    flash::TrustWishes trust;
};

// argv without the toolkit's own options. settingsFile: the settings file
// to read ("" for none; one that is missing is no error).
UpdaterArguments ParseUpdaterArguments(int argc, char** argv, const std::string& settingsFile);

// Takes the port choice as brevik takes --port: a malformed selector is
// refused (the reason returned); a path in no table becomes a table of its
// own, where it is COM1 (*port says so). "" when it may be used.
std::string AdoptPortChoice(std::string* port);
