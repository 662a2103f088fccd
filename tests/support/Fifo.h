// A named pipe in a scratch folder, and a guard for calls that might block
// on opening it: a call still blocked after the wait is set free by opening
// the pipe from this side, so a failing test ends instead of hanging.
// Windows has no named pipes in the file system: tests that need one skip
// there with kNoFifosHere.
#pragma once

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <chrono>
#include <functional>
#include <future>
#include <string>

#ifdef _WIN32
constexpr bool kHasFifos = false;
#else
constexpr bool kHasFifos = true;
#endif
constexpr char kNoFifosHere[] = "no named pipes in the file system on this system";

inline bool MakeFifo([[maybe_unused]] const std::string& path) {
#ifdef _WIN32
    return false;
#else
    return ::mkfifo(path.c_str(), 0600) == 0;
#endif
}

// True when call returned within the wait without help.
inline bool ReturnsWithoutBlocking(const std::string& fifo, const std::function<void()>& call,
                                   std::chrono::milliseconds wait = std::chrono::seconds(3)) {
    std::future<void> done = std::async(std::launch::async, call);
    if (done.wait_for(wait) == std::future_status::ready)
        return true;
#ifndef _WIN32
    // A reader waiting in open() for a writer is let through by one.
    const int fd = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    done.wait();
    if (fd >= 0)
        ::close(fd);
#else
    (void)fifo;
    done.wait();
#endif
    return false;
}
