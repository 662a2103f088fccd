// Faults given on brevik-sim's command line, e.g. "upload.block=3:silent":
// the reply to name (a command name of the device, or upload, upload.block,
// upload.final), optionally only the k-th one (from 0), and what goes wrong.
#pragma once

#include <string>

#include "sim/VirtualDevice.h"

namespace sim {

struct FaultOption {
    std::string command;  // as the device names its replies: "f.block", "VV", ...
    Fault fault;
};

// False with a reason when the text does not describe a fault.
bool ParseFaultOption(const std::string& text, FaultOption* option, std::string* error);

// The kinds and names ParseFaultOption takes, for --help.
const char* FaultOptionHelp();

}  // namespace sim
