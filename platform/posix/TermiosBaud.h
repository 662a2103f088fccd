// Baud rates and their termios speed constants (internal to platform/).
#pragma once

#include <termios.h>

#include <cstdint>

namespace platform {

// False when the rate has no standard constant.
bool BaudToSpeed(uint32_t baud, speed_t* speed);
// 0 for a speed constant outside the table.
uint32_t SpeedToBaud(speed_t speed);

}  // namespace platform
