// Milliseconds left until a deadline, for waits that take an int time-out
// (internal to platform/).
#pragma once

#include <algorithm>
#include <chrono>

namespace platform {

using Clock = std::chrono::steady_clock;

// Rounded up, so that a wait never ends before the deadline; 0 once past it.
inline int MillisecondsUntil(Clock::time_point deadline) {
    auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, 0x7FFFFFFF));
}

}  // namespace platform
