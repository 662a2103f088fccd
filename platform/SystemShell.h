// The system's shell (internal to platform/).
#pragma once

namespace platform {

int SystemShellOpen(const char* target, const char* directory, const void* owner);

}  // namespace platform
