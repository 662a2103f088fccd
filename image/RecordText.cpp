#include "image/RecordText.h"

#include <cstdio>

namespace image {

bool RecordLines::Next(std::string_view* line, uint32_t* number) {
    while (at_ < text_.size()) {
        size_t end = text_.find('\n', at_);
        if (end == std::string_view::npos)
            end = text_.size();
        std::string_view text = text_.substr(at_, end - at_);
        at_ = end + 1;
        ++number_;
        while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t'))
            text.remove_suffix(1);
        if (text.empty())
            continue;
        *line = text;
        *number = number_;
        return true;
    }
    return false;
}

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string DecodePairs(std::string_view line, size_t from, std::vector<uint8_t>* bytes) {
    bytes->clear();
    for (size_t i = from; i < line.size(); ++i) {
        if (DigitValue(line[i]) < 0)
            return CharacterText(line[i]) + " is not a hexadecimal digit";
    }
    if ((line.size() - from) % 2 != 0)
        return "has an odd number of hexadecimal digits";
    bytes->reserve((line.size() - from) / 2);
    for (size_t i = from; i + 1 < line.size(); i += 2)
        bytes->push_back(static_cast<uint8_t>(DigitValue(line[i]) << 4 | DigitValue(line[i + 1])));
    return "";
}

std::string CharacterText(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > 0x20 && byte < 0x7F)
        return std::string("'") + c + "'";
    char text[16];
    std::snprintf(text, sizeof text, "byte 0x%02X", byte);
    return text;
}

std::string ByteText(uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", value);
    return text;
}

uint32_t BigEndian(const std::vector<uint8_t>& bytes, size_t from, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i)
        value = value << 8 | bytes[from + i];
    return value;
}

void AppendPairs(std::string* text, std::span<const uint8_t> bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    for (uint8_t b : bytes) {
        text->push_back(kDigits[b >> 4]);
        text->push_back(kDigits[b & 15]);
    }
}

}  // namespace image
