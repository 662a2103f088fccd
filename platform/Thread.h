// Thread start and sleeping, in the shape the device library uses them.
#pragma once

#include <functional>

namespace platform {

void SleepMilliseconds(int milliseconds);

// Starts a detached thread running body. Returns false when the system
// cannot start one; body is then not run.
bool StartDetachedThread(std::function<void()> body);

// The calling thread's last-error value, as commands whose results carry no
// detail leave it for their caller (0 until a command sets it).
void SetThreadLastError(int value);
int ThreadLastError();

}  // namespace platform
