// Which format a memory image file is in, and reading it in that format.
// The content decides: a file whose first line is an Intel HEX or
// S-record line is read as one whatever its name, so that a ROM tool's
// ".hex" holding S-records is read right; a name of a record format whose
// content is no record is read as that format and refused at its first line.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "image/MemoryImage.h"

namespace image {

// The format of a name's extension: .hex and .ihx Intel HEX; .s19, .s28,
// .s37, .srec and .mot S-records; .bin binary; none for any other.
std::optional<ImageFormat> FormatOfName(std::string_view path);

// The format the first line of bytes is written in; binary for none.
ImageFormat FormatOfContent(std::span<const uint8_t> bytes);

// The image in bytes: as the content says, else as named, else binary
// (the whole file from address 0).
ParsedImage ReadImage(std::span<const uint8_t> bytes, std::optional<ImageFormat> named);
// The image in bytes read as format, whatever the content (--format).
ParsedImage ReadImageAs(ImageFormat format, std::span<const uint8_t> bytes);

// bytes from address on, written in format.
std::string WriteImage(ImageFormat format, uint32_t address, std::span<const uint8_t> bytes);

// "ihex", "srec", "bin": the words of --format.
std::optional<ImageFormat> FormatOfWord(std::string_view word);

}  // namespace image
