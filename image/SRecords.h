// Motorola S-records: lines "S" + type digit + pairs of hexadecimal digits:
// a count of the bytes that follow it, an address, data, and a checksum that
// makes the sum of the count, address and data bytes 0xFF (mod 256) with it.
//   S0 header (2-byte address, text)   S1/S2/S3 data at a 2/3/4-byte address
//   S5/S6 the number of data records (2/3 bytes)
//   S9/S8/S7 end, with a 2/3/4-byte start address (left out by some tools)
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "image/MemoryImage.h"

namespace image {

ParsedImage ParseSRecords(std::string_view text);

// bytes from address on: an S0 header, data records of 32 bytes (S1, S2
// or S3, as the highest address needs), their count (S5 or S6) and the end
// record of the same address size.
std::string WriteSRecords(uint32_t address, std::span<const uint8_t> bytes);

}  // namespace image
