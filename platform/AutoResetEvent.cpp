#include "platform/AutoResetEvent.h"

#include <chrono>

namespace platform {

WaitResult AutoResetEvent::Wait(int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (timeoutMs < 0) {
        cv_.wait(lock, [this] { return signaled_; });
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                             [this] { return signaled_; })) {
        return WaitResult::TimedOut;
    }
    signaled_ = false;
    return WaitResult::Signaled;
}

void AutoResetEvent::Set() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        signaled_ = true;
    }
    cv_.notify_one();
}

}  // namespace platform
