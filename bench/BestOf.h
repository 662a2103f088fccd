// Timing for the bench programs: the best of several runs, in milliseconds.
#pragma once

#include <algorithm>
#include <chrono>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

template <typename F>
double BestOf(int runs, F f) {
    double best = 1e18;
    for (int i = 0; i < runs; ++i) {
        const Clock::time_point start = Clock::now();
        f();
        best = std::min(best, Ms(Clock::now() - start));
    }
    return best;
}

}  // namespace bench
