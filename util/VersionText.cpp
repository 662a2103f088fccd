#include "util/VersionText.h"

#include <cstring>

#include "platform/ModuleFiles.h"
#include "util/BoundedText.h"

namespace {

constexpr size_t kVersionTextCapacity = 30;

// Major, minor and build of a version text; reentrant, unlike a tokenizer
// that keeps its place between calls.
void ParseVersion(const char* text, uint16_t parts[3]) {
    char copy[kVersionTextCapacity];
    BoundedCopy(copy, sizeof copy, text);
    int part = 0;
    const char* p = copy;
    while (*p != '\0' && part < 3) {
        while (*p == '.')
            ++p;
        if (*p == '\0')
            break;
        unsigned value = 0;
        for (; *p >= '0' && *p <= '9'; ++p)
            value = (value * 10 + static_cast<unsigned>(*p - '0')) & 0xFFFF;
        parts[part++] = static_cast<uint16_t>(value);
        while (*p != '\0' && *p != '.')
            ++p;  // the rest of a token after its digits does not count
    }
}

}  // namespace

int IsVersionNewer(const char* a, const char* b) {
    if (a == nullptr || b == nullptr)
        return 0;
    uint16_t va[3] = {}, vb[3] = {};
    ParseVersion(a, va);
    ParseVersion(b, vb);
    for (int i = 0; i < 3; ++i) {
        if (va[i] != vb[i])
            return va[i] > vb[i] ? 1 : 0;
    }
    return 0;
}

size_t FormatTimeStamp(char* destination, size_t capacity, const LocalTimeStamp& stamp) {
    if (destination == nullptr || capacity == 0)
        return 0;
    BoundedFormat(destination, capacity, "%i/%i/%i %i:%.2i:%.2i", stamp.Month, stamp.Day,
                  stamp.Year, stamp.Hour, stamp.Minute, stamp.Second);
    return std::strlen(destination);
}

size_t FormatFileVersion(char* destination, size_t capacity, uint32_t mostSignificant,
                         uint32_t leastSignificant) {
    if (destination == nullptr || capacity == 0)
        return 0;
    BoundedFormat(
        destination, capacity, "%i.%.2i.%.4i.%.2i", static_cast<int>(mostSignificant >> 16),
        static_cast<int>(mostSignificant & 0xFFFF), static_cast<int>(leastSignificant >> 16),
        static_cast<int>(leastSignificant & 0xFFFF));
    return std::strlen(destination);
}

void GetFileVersionText(const char* fileName, char* destination, size_t capacity) {
    if (destination == nullptr || capacity == 0)
        return;
    destination[0] = '\0';
    uint32_t mostSignificant = 0, leastSignificant = 0;
    if (platform::ReadFileVersion(fileName, &mostSignificant, &leastSignificant))
        FormatFileVersion(destination, capacity, mostSignificant, leastSignificant);
}
