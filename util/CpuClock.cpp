#include "util/CpuClock.h"

#include <chrono>

#if defined(__x86_64__) || defined(__i386__)
#include <x86intrin.h>
#define BREVIK_HAS_TSC 1
#endif

int32_t MeasureCpuMhz() {
#ifdef BREVIK_HAS_TSC
    using Clock = std::chrono::steady_clock;
    const Clock::time_point target = Clock::now() + std::chrono::seconds(1);
    const uint64_t first = __rdtsc();
    while (Clock::now() <= target) {
    }
    const uint64_t second = __rdtsc();
    return static_cast<int32_t>(static_cast<int64_t>(second - first) / 1000000);
#else
    return 0;
#endif
}
