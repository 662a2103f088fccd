// An auto-reset event: while signalled, exactly one waiter gets through and
// the event resets itself. The device link's port lock is one of these,
// created signalled (free).
#pragma once

#include <condition_variable>
#include <mutex>

namespace platform {

enum class WaitResult { Signaled, TimedOut, Failed };

class AutoResetEvent {
  public:
    explicit AutoResetEvent(bool initiallySignaled) : signaled_(initiallySignaled) {}
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    // Waits up to timeoutMs (negative: forever).
    WaitResult Wait(int timeoutMs);
    void Set();

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signaled_;
};

}  // namespace platform
