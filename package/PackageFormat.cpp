#include "package/PackageFormat.h"

#include <cstring>

bool PackageHeader::HasMagic() const {
    return std::memcmp(Bytes, "ZRFW", 4) == 0;
}

uint32_t PackageHeader::HeaderSum() const {
    return uint32_t{Bytes[4]} | uint32_t{Bytes[5]} << 8 | uint32_t{Bytes[6]} << 16 |
           uint32_t{Bytes[7]} << 24;
}

uint32_t AddToHeaderSum(uint32_t sum, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return sum;
}

bool BodyCheckByteValid(const uint8_t* body, size_t length) {
    if (length == 0)
        return false;
    uint8_t sum = 0;
    for (size_t i = 0; i + 1 < length; ++i)
        sum = static_cast<uint8_t>(sum + body[i]);
    return sum == body[length - 1];
}
