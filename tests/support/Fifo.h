// A named pipe in a scratch folder, and a guard for calls that might block
// on opening it: a call still blocked after the wait is set free by opening
// the pipe from this side, so a failing test ends instead of hanging.
// Windows has no named pipes in the file system: tests that need one skip
// there with kNoFifosHere.
#pragma once

#include <chrono>
#include <functional>
#include <future>
#include <string>

#include "tests/support/SystemFacts.h"

inline const bool& kHasFifos = testsys::kHasFifos;
constexpr char kNoFifosHere[] = "no named pipes in the file system on this system";

inline bool MakeFifo(const std::string& path) {
    return testsys::MakeFifo(path);
}

// True when call returned within the wait without help.
inline bool ReturnsWithoutBlocking(const std::string& fifo, const std::function<void()>& call,
                                   std::chrono::milliseconds wait = std::chrono::seconds(3)) {
    std::future<void> done = std::async(std::launch::async, call);
    if (done.wait_for(wait) == std::future_status::ready)
        return true;
    testsys::ReleaseFifoOpener(
        fifo, [](void* f) { static_cast<std::future<void>*>(f)->wait(); }, &done);
    return false;
}
