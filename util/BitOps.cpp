#include "util/BitOps.h"

#include <algorithm>

int IsBitSet32(uint32_t value, unsigned bit) {
    return (value >> (bit % 32)) & 1;
}

void SetBit32(uint32_t* value, unsigned bit) {
    if (value != nullptr)
        *value |= 1u << (bit % 32);
}

void ClearBit32(uint32_t* value, unsigned bit) {
    if (value != nullptr)
        *value &= ~(1u << (bit % 32));
}

int IsBitSet8(uint8_t value, unsigned bit) {
    const unsigned position = bit % 32;
    return position < 8 ? (value >> position) & 1 : 0;
}

void SetBit8(uint8_t* value, unsigned bit) {
    if (value != nullptr && bit < 8)
        *value = static_cast<uint8_t>(*value | (1u << bit));
}

void ClearBit8(uint8_t* value, unsigned bit) {
    const unsigned position = bit % 32;
    if (value != nullptr && position < 8)
        *value = static_cast<uint8_t>(*value & ~(1u << position));
}

void SwapBytes(void* value, size_t size) {
    if (value == nullptr || (size != 2 && size != 4 && size != 8))
        return;
    auto* bytes = static_cast<uint8_t*>(value);
    std::reverse(bytes, bytes + size);
}
