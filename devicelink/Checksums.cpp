#include "devicelink/BKQuillex.h"

uint8_t BKQuillex::Checksum8(const uint8_t* data, int length) {
    uint8_t sum = 0;
    if (data == nullptr)
        return 0;
    for (int i = 0; i < length; ++i)
        sum = static_cast<uint8_t>(sum + data[i]);
    return sum;
}

uint16_t Checksum16(const uint8_t* data, unsigned length) {
    uint16_t sum = 0;
    if (data == nullptr)
        return 0;
    for (unsigned i = 0; i < length; ++i)
        sum = static_cast<uint16_t>(sum + data[i]);
    return sum;
}

uint8_t ChecksumAdd8(uint8_t seed, const uint8_t* data, unsigned length) {
    if (data == nullptr)
        return seed;
    for (unsigned i = 0; i < length; ++i)
        seed = static_cast<uint8_t>(seed + data[i]);
    return seed;
}
