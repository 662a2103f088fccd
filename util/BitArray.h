// A growable array of bits. Bit b lives in byte b / 8 at position b % 8
// (least significant first); the bit count is always the byte count times 8.
#pragma once

#include <cstddef>
#include <cstdint>

class BitArray {
  public:
    BitArray() = default;
    explicit BitArray(uint32_t bits) { Allocate(bits); }
    ~BitArray();
    BitArray(const BitArray& other) { Assign(other); }
    BitArray& operator=(const BitArray& other) { return Assign(other); }

    // Fresh zeroed storage for ceil(bits / 8) bytes. When the heap cannot
    // supply it, or above 0xFFFFFFF8 bits (a bit count 32 bits cannot hold),
    // the array is left empty (and usable).
    void Allocate(uint32_t bits);
    // New zeroed storage of ceil(bits / 8) bytes keeping the old contents up
    // to the smaller size. When the heap cannot supply it, or above
    // 0xFFFFFFF8 bits, nothing changes.
    void Resize(uint32_t bits);

    void SetBit(uint32_t index);
    void ClearBit(uint32_t index);
    // -1 out of range, else 1 set / 0 clear.
    int TestBit(uint32_t index) const;
    // The bit's new state; 0 and no change out of range.
    int ToggleBit(uint32_t index);
    void ClearAllBits();
    void SetAllBits();
    uint32_t CountSetBits() const;
    uint32_t CountClearBits() const;

    // A copy of the storage in a block from std::malloc, which the caller
    // releases with std::free. Returns its size; 0 with null when the array
    // is empty or the block cannot be had.
    uint32_t ExportBytes(uint8_t** out) const;
    void ImportBytes(const uint8_t* bytes, uint32_t count);
    // A copy of other (of itself: unchanged); empty when the heap fails.
    BitArray& Assign(const BitArray& other);

    uint32_t BitCount() const { return bitCount_; }
    const uint8_t* Bytes() const { return storage_; }

    // Tests replace the heap to see what a failing one does.
    using Allocator = void* (*)(size_t bytes);
    static void SetAllocatorForTesting(Allocator allocator);

  private:
    void Release();

    uint8_t* storage_ = nullptr;
    uint32_t bitCount_ = 0;
};
