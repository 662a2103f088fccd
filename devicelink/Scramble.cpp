// Byte scrambling of Dunmarra packets. Each byte is XORed with the chain
// (the previous scrambled byte, starting from 0x5A plus the key's sum),
// then run through the key: even key bytes added, odd ones XORed. Whether a
// transfer's packets are scrambled is decided here too, for the block and
// the bulk transfers alike.
#include "devicelink/BKQuillex.h"
#include "devicelink/Families.h"

namespace {

constexpr uint8_t kBuiltInKey[8] = {0x3E, 0xA1, 0x57, 0xC4, 0x09, 0xD8, 0x62, 0xBB};

void SelectKey(const uint8_t** key, int* keyLength) {
    if (*key == nullptr || *keyLength <= 0) {
        *key = kBuiltInKey;
        *keyLength = static_cast<int>(sizeof kBuiltInKey);
    }
}

}  // namespace

bool BKQuillex::ScrambledFraming(uint32_t options) const {
    return AnyFamily(HardwareFlags, &Family::scrambledFraming) && !(options & QX_XFER_PLAIN);
}

int32_t BKQuillex::ScrambleBytes(const uint8_t* key, int keyLength, uint8_t* buffer,
                                 uint32_t length, uint8_t* chainOut) {
    SelectKey(&key, &keyLength);
    uint8_t chain = 0;
    int32_t result = E_FAIL;
    if (buffer != nullptr && length > 0) {
        unsigned start = 0x5A;
        for (int j = 0; j < keyLength; ++j)
            start += key[j];
        chain = static_cast<uint8_t>(start);
        for (uint32_t i = 0; i < length; ++i) {
            uint8_t b = buffer[i] ^ chain;
            for (int j = 0; j < keyLength; ++j)
                b = j % 2 == 0 ? static_cast<uint8_t>(b + key[j]) : b ^ key[j];
            buffer[i] = b;
            chain = b;
        }
        result = 0;
    }
    if (chainOut != nullptr)
        *chainOut = chain;
    return result;
}

int32_t BKQuillex::UnscrambleBytes(uint8_t seed, const uint8_t* key, int keyLength, uint8_t* buffer,
                                   uint32_t length) {
    SelectKey(&key, &keyLength);
    if (buffer == nullptr || length == 0)
        return E_FAIL;
    uint8_t previous = seed;
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t scrambled = buffer[i];
        uint8_t b = scrambled;
        for (int j = keyLength - 1; j >= 0; --j)
            b = j % 2 == 0 ? static_cast<uint8_t>(b - key[j]) : b ^ key[j];
        buffer[i] = b ^ previous;
        previous = scrambled;
    }
    return 0;
}
