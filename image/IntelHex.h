// Intel HEX: lines ":LLAAAATT" + LL data bytes + CC, all as hexadecimal
// pairs. LL counts the data bytes, AAAA is a 16-bit offset, TT the type:
//   00 data at base + AAAA      01 end of file (LL 00)
//   02 base = (2-byte segment) * 16      04 base = (2-byte upper half) << 16
//   03, 05 a start address (4 bytes), which memory images do not use
// CC makes the sum of every byte of the record 0 (mod 256).
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "image/MemoryImage.h"

namespace image {

ParsedImage ParseIntelHex(std::string_view text);

// bytes from address on as records of 16 bytes, a type 04 record wherever
// the upper half of the address changes, and the end record.
std::string WriteIntelHex(uint32_t address, std::span<const uint8_t> bytes);

}  // namespace image
