#include "platform/LocalTime.h"

#include <chrono>
#include <ctime>

namespace platform {

LocalTimeStamp& GetLocalTimeStamp(LocalTimeStamp& stamp) {
    using namespace std::chrono;
    const system_clock::time_point now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    stamp.Year = static_cast<uint16_t>(local.tm_year + 1900);
    stamp.Month = static_cast<uint8_t>(local.tm_mon + 1);
    stamp.DayOfWeek = static_cast<uint8_t>(local.tm_wday);
    stamp.Day = static_cast<uint8_t>(local.tm_mday);
    stamp.Hour = static_cast<uint8_t>(local.tm_hour);
    stamp.Minute = static_cast<uint8_t>(local.tm_min);
    stamp.Second = static_cast<uint8_t>(local.tm_sec);
    stamp.Milliseconds =
        static_cast<uint16_t>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    return stamp;
}

}  // namespace platform
