#include "platform/Thread.h"

#include <chrono>
#include <system_error>
#include <thread>

namespace platform {

void SleepMilliseconds(int milliseconds) {
    if (milliseconds > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

bool StartDetachedThread(std::function<void()> body) {
    try {
        std::thread(std::move(body)).detach();
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

std::unique_ptr<ThreadHandle> StartThread(std::function<void()> body) {
    try {
        return std::make_unique<ThreadHandle>(std::thread(std::move(body)));
    } catch (const std::system_error&) {
        return nullptr;
    }
}

namespace {
thread_local int t_lastError = 0;
}  // namespace

void SetThreadLastError(int value) {
    t_lastError = value;
}

int ThreadLastError() {
    return t_lastError;
}

}  // namespace platform
