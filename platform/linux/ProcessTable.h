// The processes of this machine as /proc shows them (internal to
// platform/linux).
#pragma once

#include <string>

namespace platform {

// A process whose name (what it gives itself, /proc/PID/comm) is name.
bool ProcessRunning(const std::string& name);

// The first line of a file, or "".
std::string FirstLineOf(const std::string& path);

}  // namespace platform
