// Every byte the virtual device received, in arrival order, addressed by its
// position in the stream since the device started. The device reads its
// requests out of this log and the exchange log refers to ranges of it, so
// a byte is copied once however many views there are of it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace sim {

class ReceiveLog {
  public:
    void Append(const uint8_t* bytes, size_t count) {
        bytes_.insert(bytes_.end(), bytes, bytes + count);
    }
    // Stream position one past the last byte received.
    size_t End() const { return origin_ + bytes_.size(); }
    // The bytes from position from up to (not including) to; positions that
    // were compacted away are left out.
    std::vector<uint8_t> Copy(size_t from, size_t to) const {
        from = std::clamp(from, origin_, End());
        to = std::clamp(to, from, End());
        return std::vector<uint8_t>(bytes_.begin() + static_cast<long>(from - origin_),
                                    bytes_.begin() + static_cast<long>(to - origin_));
    }
    const uint8_t* At(size_t position) const { return bytes_.data() + (position - origin_); }
    // Forgets the bytes before keepFrom once they are worth the move.
    void Compact(size_t keepFrom) {
        constexpr size_t kCompactAbove = 1 << 20;
        if (keepFrom <= origin_ || keepFrom - origin_ < kCompactAbove)
            return;
        keepFrom = std::min(keepFrom, End());
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<long>(keepFrom - origin_));
        origin_ = keepFrom;
    }

  private:
    std::vector<uint8_t> bytes_;
    size_t origin_ = 0;
};

}  // namespace sim
