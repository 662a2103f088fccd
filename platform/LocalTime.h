// The local date and time, as the time-stamp helpers take it.
#pragma once

#include <cstdint>

// A compact local date and time.
struct LocalTimeStamp {
    uint16_t Year = 0;
    uint8_t Month = 0;      // 1..12
    uint8_t DayOfWeek = 0;  // 0 = Sunday
    uint8_t Day = 0;
    uint8_t Hour = 0;  // 0..23
    uint8_t Minute = 0;
    uint8_t Second = 0;
    uint16_t Milliseconds = 0;
};

namespace platform {

// Fills the stamp from the local clock and returns it.
LocalTimeStamp& GetLocalTimeStamp(LocalTimeStamp& stamp);

}  // namespace platform
