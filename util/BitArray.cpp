#include "util/BitArray.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace {

BitArray::Allocator g_allocator = std::malloc;

uint32_t BytesFor(uint32_t bits) {
    return bits / 8 + (bits % 8 != 0 ? 1 : 0);
}

// The bit count is the byte count times 8 in 32 bits: above this, the
// whole bytes needed could not be counted.
constexpr uint32_t kLargestBitCount = 0xFFFFFFF8u;

// Zeroed storage of count bytes; null for 0 bytes or a failing heap.
uint8_t* ZeroedBlock(uint32_t count) {
    if (count == 0)
        return nullptr;
    auto* block = static_cast<uint8_t*>(g_allocator(count));
    if (block != nullptr)
        std::memset(block, 0, count);
    return block;
}

}  // namespace

void BitArray::SetAllocatorForTesting(Allocator allocator) {
    g_allocator = allocator != nullptr ? allocator : std::malloc;
}

BitArray::~BitArray() {
    Release();
}

void BitArray::Release() {
    std::free(storage_);
    storage_ = nullptr;
    bitCount_ = 0;
}

void BitArray::Allocate(uint32_t bits) {
    Release();
    if (bits > kLargestBitCount)
        return;  // refused: left empty, as for a failing heap
    const uint32_t bytes = BytesFor(bits);
    storage_ = ZeroedBlock(bytes);
    bitCount_ = storage_ != nullptr ? bytes * 8 : 0;
}

void BitArray::Resize(uint32_t bits) {
    if (bits > kLargestBitCount)
        return;  // refused: nothing changes, as for a failing heap
    const uint32_t bytes = BytesFor(bits);
    uint8_t* block = ZeroedBlock(bytes);
    if (block == nullptr && bytes > 0)
        return;  // keep what there is rather than lose it
    const uint32_t kept = std::min(bytes, bitCount_ / 8);
    if (kept > 0)
        std::memcpy(block, storage_, kept);
    std::free(storage_);
    storage_ = block;
    bitCount_ = bytes * 8;
}

void BitArray::SetBit(uint32_t index) {
    if (index < bitCount_)
        storage_[index / 8] |= static_cast<uint8_t>(1u << (index % 8));
}

void BitArray::ClearBit(uint32_t index) {
    if (index < bitCount_)
        storage_[index / 8] &= static_cast<uint8_t>(~(1u << (index % 8)));
}

int BitArray::TestBit(uint32_t index) const {
    if (index >= bitCount_)
        return -1;
    return (storage_[index / 8] >> (index % 8)) & 1;
}

int BitArray::ToggleBit(uint32_t index) {
    if (index >= bitCount_)
        return 0;
    storage_[index / 8] ^= static_cast<uint8_t>(1u << (index % 8));
    return TestBit(index);
}

void BitArray::ClearAllBits() {
    if (storage_ != nullptr)
        std::memset(storage_, 0x00, bitCount_ / 8);
}

void BitArray::SetAllBits() {
    if (storage_ != nullptr)
        std::memset(storage_, 0xFF, bitCount_ / 8);
}

uint32_t BitArray::CountSetBits() const {
    uint32_t count = 0;
    for (uint32_t i = 0; i < bitCount_ / 8; ++i)
        count += static_cast<uint32_t>(std::popcount(storage_[i]));
    return count;
}

uint32_t BitArray::CountClearBits() const {
    return bitCount_ - CountSetBits();
}

uint32_t BitArray::ExportBytes(uint8_t** out) const {
    if (out == nullptr)
        return 0;
    const uint32_t bytes = bitCount_ / 8;
    *out = bytes > 0 ? static_cast<uint8_t*>(g_allocator(bytes)) : nullptr;
    if (*out == nullptr)
        return 0;
    std::memcpy(*out, storage_, bytes);
    return bytes;
}

void BitArray::ImportBytes(const uint8_t* bytes, uint32_t count) {
    if (bytes == nullptr)
        count = 0;
    // count * 8 would overflow 32 bits above 512 MiB; such an array cannot
    // be described by the bit count, so it is refused (left empty).
    if (count > UINT32_MAX / 8) {
        Release();
        return;
    }
    Allocate(count * 8);
    if (storage_ != nullptr && count > 0)
        std::memcpy(storage_, bytes, count);
}

BitArray& BitArray::Assign(const BitArray& other) {
    if (&other == this)
        return *this;
    uint8_t* copy = nullptr;
    const uint32_t bytes = other.ExportBytes(&copy);
    ImportBytes(copy, bytes);
    std::free(copy);
    return *this;
}
