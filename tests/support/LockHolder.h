// Another thread that takes a device's port lock and keeps it until the
// object is released or destroyed.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "devicelink/BKQuillex.h"

class PortLockHolder {
  public:
    explicit PortLockHolder(BKQuillex& device) : device_(device) {
        thread_ = std::thread([this] {
            taken_ = device_.LockPort(0) == QX_S_OK;
            held_ = true;
            while (!release_)
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (taken_)
                device_.UnlockPort();
        });
        while (!held_)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~PortLockHolder() { Release(); }
    bool Taken() const { return taken_; }
    void Release() {
        release_ = true;
        if (thread_.joinable())
            thread_.join();
    }

  private:
    BKQuillex& device_;
    std::thread thread_;
    std::atomic<bool> taken_{false};
    std::atomic<bool> held_{false};
    std::atomic<bool> release_{false};
};
