/// @file
/// An auto-reset event: while signalled, exactly one waiter gets through and
/// the event resets itself. The device link's port lock is one of these,
/// created signalled (free).
#pragma once

#include <condition_variable>
#include <mutex>

namespace platform {

/// How a wait ended.
enum class WaitResult { Signaled, TimedOut, Failed };

/// The event; see the file's description.
class AutoResetEvent {
  public:
    /// A new event, signalled or not.
    explicit AutoResetEvent(bool initiallySignaled) : signaled_(initiallySignaled) {}
    AutoResetEvent(const AutoResetEvent&) = delete;
    AutoResetEvent& operator=(const AutoResetEvent&) = delete;

    /// Waits up to timeoutMs (negative: forever).
    WaitResult Wait(int timeoutMs);
    /// Signals the event: one waiter, now or later, gets through.
    void Set();

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool signaled_;
};

}  // namespace platform
