// The serial driver's low-latency mode for an open terminal: received bytes
// are handed up at once and, on the common USB bridge, its latency timer
// goes to 1 ms for as long as the mode is on, which needs no permission on
// its device attributes. A pseudo-terminal has no such mode.
#pragma once

namespace platform {

// Switches the mode on for fd; true when it was off before and is on now
// (the caller switches it off again before it closes fd).
bool EnterDriverLowLatency(int fd);
void LeaveDriverLowLatency(int fd);

}  // namespace platform
