// Console helpers for command-line programs: whether a stream is a
// terminal, and Ctrl+C turned into a flag for as long as a guard lives.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>

namespace platform {

bool IsTerminal(std::FILE* stream);

// While it lives, Ctrl+C (SIGINT) sets *flag to 1 instead of ending the
// program; the previous handling comes back when it goes. One at a time.
class InterruptGuard {
  public:
    explicit InterruptGuard(std::atomic<int32_t>* flag);
    ~InterruptGuard();
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
};

}  // namespace platform
