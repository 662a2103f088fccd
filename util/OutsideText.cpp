#include "util/OutsideText.h"

#include <cstdint>
#include <cstdio>

namespace {

// The length of the well-formed UTF-8 sequence at text[at] and its code
// point, or 0 when the bytes there are not one (overlong forms, surrogates
// and code points past U+10FFFF included).
size_t Utf8Sequence(std::string_view text, size_t at, uint32_t* codePoint) {
    const auto byte = [&](size_t i) { return static_cast<uint8_t>(text[at + i]); };
    const uint8_t lead = byte(0);
    size_t length;
    uint32_t value;
    if (lead < 0x80) {
        *codePoint = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(i) & 0x3F);
    }
    const uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < smallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *codePoint = value;
    return length;
}

bool IsControl(uint32_t codePoint) {
    return codePoint < 0x20 || codePoint == 0x7F || (codePoint >= 0x80 && codePoint <= 0x9F);
}

}  // namespace

std::string PrintableText(std::string_view text) {
    std::string printable;
    printable.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        uint32_t codePoint = 0;
        size_t length = Utf8Sequence(text, at, &codePoint);
        if (length != 0 && !IsControl(codePoint)) {
            printable.append(text.substr(at, length));
            at += length;
            continue;
        }
        // A control character's bytes, or the one byte that is not UTF-8.
        for (size_t i = 0; i < (length == 0 ? 1 : length); ++i) {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<uint8_t>(text[at + i]));
            printable += escaped;
        }
        at += length == 0 ? 1 : length;
    }
    return printable;
}
