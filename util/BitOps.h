// Single bits of 32-bit values and bytes, and byte-order reversal. Bit
// positions are taken modulo 32, except by SetBit8, which ignores any
// position from 8 up.
#pragma once

#include <cstddef>
#include <cstdint>

int IsBitSet32(uint32_t value, unsigned bit);
void SetBit32(uint32_t* value, unsigned bit);
void ClearBit32(uint32_t* value, unsigned bit);
int IsBitSet8(uint8_t value, unsigned bit);
void SetBit8(uint8_t* value, unsigned bit);
void ClearBit8(uint8_t* value, unsigned bit);

// Reverses a 2-, 4- or 8-byte value in place; other sizes and null change nothing.
void SwapBytes(void* value, size_t size);
