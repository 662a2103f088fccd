// A serial line whose far end is a script of replies: each write of the host
// releases the next reply, a purge of the input drops what was released and
// not taken, and a read that finds nothing times out at once. Time is
// virtual, so thousands of exchanges run in a second and a reply that never
// comes costs nothing.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "platform/SerialLine.h"
#include "platform/SerialPort.h"

class ScriptedLine : public platform::PolledLine {
  public:
    // hostBytes, when given, receives everything the host writes.
    explicit ScriptedLine(std::vector<std::vector<uint8_t>> replies,
                          std::vector<uint8_t>* hostBytes = nullptr)
        : replies_(std::move(replies)), hostBytes_(hostBytes) {
        state_.BaudRate = 115200;
    }

    int Receive(uint8_t* buffer, uint32_t count, int) override {
        uint32_t n = 0;
        for (; n < count && !released_.empty(); ++n) {
            buffer[n] = released_.front();
            released_.pop_front();
        }
        return static_cast<int>(n);
    }
    int Send(const uint8_t* buffer, uint32_t count, int) override {
        if (hostBytes_ != nullptr)
            hostBytes_->insert(hostBytes_->end(), buffer, buffer + count);
        if (next_ < replies_.size()) {
            const std::vector<uint8_t>& reply = replies_[next_++];
            released_.insert(released_.end(), reply.begin(), reply.end());
        }
        return static_cast<int>(count);
    }
    bool Discard(bool, bool input) override {
        if (input)
            released_.clear();
        return true;
    }
    bool GetState(platform::LineState* state) const override {
        *state = state_;
        return true;
    }
    bool SetState(const platform::LineState& state) override {
        state_ = state;
        return true;
    }

  private:
    std::vector<std::vector<uint8_t>> replies_;
    size_t next_ = 0;
    std::deque<uint8_t> released_;
    std::vector<uint8_t>* hostBytes_;
    platform::LineState state_;
};
