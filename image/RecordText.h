// What Intel HEX and S-record files share: lines of one start character
// and a type, then pairs of hexadecimal digits.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace image {

// The file's lines one by one, numbered from 1; line ends are "\n" or
// "\r\n", blanks at a line's end are dropped, and blank lines are passed.
class RecordLines {
  public:
    explicit RecordLines(std::string_view text) : text_(text) {}
    // False at the end of the text.
    bool Next(std::string_view* line, uint32_t* number);
    uint32_t LastNumber() const { return number_; }

  private:
    std::string_view text_;
    size_t at_ = 0;
    uint32_t number_ = 0;
};

// The pairs of hexadecimal digits of line from character from on into
// bytes; "" or what is wrong ("'G' is not a hexadecimal digit").
std::string DecodePairs(std::string_view line, size_t from, std::vector<uint8_t>* bytes);

// A character of a file as a message shows it: 'G', or byte 0x8F when it
// is no printable character.
std::string CharacterText(char c);

// "0x1F", two digits at least.
std::string ByteText(uint8_t value);

// Big-endian value of bytes[from .. from + count).
uint32_t BigEndian(const std::vector<uint8_t>& bytes, size_t from, size_t count);

// Appends bytes as upper-case hexadecimal pairs.
void AppendPairs(std::string* text, std::span<const uint8_t> bytes);

}  // namespace image
