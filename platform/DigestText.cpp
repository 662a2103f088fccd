#include "platform/Digest.h"

namespace platform {

std::string HexText(const Sha256Digest& digest) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

}  // namespace platform
