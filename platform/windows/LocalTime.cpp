#include "platform/LocalTime.h"

#include <windows.h>

namespace platform {

LocalTimeStamp& GetLocalTimeStamp(LocalTimeStamp& stamp) {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    stamp.Year = now.wYear;
    stamp.Month = static_cast<uint8_t>(now.wMonth);
    stamp.DayOfWeek = static_cast<uint8_t>(now.wDayOfWeek);
    stamp.Day = static_cast<uint8_t>(now.wDay);
    stamp.Hour = static_cast<uint8_t>(now.wHour);
    stamp.Minute = static_cast<uint8_t>(now.wMinute);
    stamp.Second = static_cast<uint8_t>(now.wSecond);
    stamp.Milliseconds = now.wMilliseconds;
    return stamp;
}

}  // namespace platform
