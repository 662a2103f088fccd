/// @file
/// Thread start and sleeping, in the shape the device library uses them.
#pragma once

#include <functional>
#include <memory>
#include <thread>

namespace platform {

/// Sleeps the calling thread.
void SleepMilliseconds(int milliseconds);

/// Starts a detached thread running body. Returns false when the system
/// cannot start one; body is then not run.
bool StartDetachedThread(std::function<void()> body);

/// A started thread, owned by whoever started it. Closing (or dropping) the
/// handle lets the thread run on by itself; Wait waits for it to end.
class ThreadHandle {
  public:
    /// Takes the thread over.
    explicit ThreadHandle(std::thread thread) : thread_(std::move(thread)) {}
    ~ThreadHandle() { Close(); }
    ThreadHandle(const ThreadHandle&) = delete;
    ThreadHandle& operator=(const ThreadHandle&) = delete;
    /// Waits for the thread to end.
    void Wait() {
        if (thread_.joinable())
            thread_.join();
    }
    /// Lets the thread run on by itself.
    void Close() {
        if (thread_.joinable())
            thread_.detach();
    }

  private:
    std::thread thread_;
};

/// Starts a thread running body; null when the system cannot start one.
std::unique_ptr<ThreadHandle> StartThread(std::function<void()> body);

/// The calling thread's last-error value, as commands whose results carry no
/// detail leave it for their caller (0 until a command sets it).
void SetThreadLastError(int value);
/// The value SetThreadLastError last left on this thread.
int ThreadLastError();

}  // namespace platform
