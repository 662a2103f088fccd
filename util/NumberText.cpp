#include "util/NumberText.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>

#include "util/BoundedText.h"

int32_t RoundHalfUp(double x) {
    const double f = std::fmod(x, 1.0);
    const double rounded = f >= 0.5 ? x + (1.0 - f) : x - f;
    // Converting a double outside the 32-bit range is undefined: clamp.
    if (std::isnan(rounded))
        return 0;
    if (rounded >= 2147483647.0)
        return std::numeric_limits<int32_t>::max();
    if (rounded <= -2147483648.0)
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(rounded);
}

uint32_t RoundToMultiple(uint32_t value, uint32_t step, int mode) {
    if (step == 0)
        return value;  // no multiple to round to
    const uint32_t r = value % step;
    if (r == 0)
        return value;
    const uint32_t down = value - r;
    const bool upFits = down <= std::numeric_limits<uint32_t>::max() - step;
    switch (mode) {
        case kRoundNearest:
            // Twice the remainder against the step: halving the step would
            // send values below the half of an odd step up.
            return uint64_t{r} * 2 < step || !upFits ? down : down + step;
        case kRoundUp:
            return upFits ? down + step : down;
        case kRoundDown:
            return down;
        default:
            return value;
    }
}

uint32_t ParseHex(const char* text) {
    uint32_t result = 0;
    for (const char* p = text; p != nullptr && *p != '\0'; ++p) {
        const char c = *p;
        int digit = -1;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        if (digit >= 0)
            result = (result << 4) + static_cast<uint32_t>(digit);
    }
    return result;
}

int CountChar(const char* text, char character) {
    if (text == nullptr || character == '\0')
        return -1;
    return static_cast<int>(std::count(text, text + std::strlen(text), character));
}

int CountLetters(const char* text) {
    if (text == nullptr)
        return -1;
    int count = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        if ((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z'))
            ++count;
    }
    return count;
}

int TranslateChars(char* text, size_t limit, const char* from, const char* to, int setLength) {
    if (text == nullptr || from == nullptr || to == nullptr)
        return -1;
    if (limit == 0)
        return 0;
    for (size_t i = 0; i < limit && text[i] != '\0'; ++i) {
        for (int k = 0; k < setLength; ++k) {
            if (text[i] == from[k]) {
                text[i] = to[k];
                break;
            }
        }
    }
    return -1;
}

int BytesEqual(const void* a, const void* b, size_t count) {
    if (count == 0 || a == b)
        return 1;
    if (a == nullptr || b == nullptr)
        return 0;
    return std::memcmp(a, b, count) == 0 ? 1 : 0;
}

int AllBytesEqual(const void* block, int count, uint8_t value) {
    if (block == nullptr || count <= 0)
        return 1;
    const auto* bytes = static_cast<const uint8_t*>(block);
    return std::all_of(bytes, bytes + count, [value](uint8_t b) { return b == value; }) ? 1 : 0;
}

int StripQuotes(char* text, int length) {
    if (text == nullptr || length < 2 || text[0] != '"' || text[length - 1] != '"')
        return 0;
    std::memmove(text, text + 1, static_cast<size_t>(length - 2));
    text[length - 2] = '\0';
    return length - 2;
}

namespace {

bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The first count characters of text, cut to the capacity, terminated.
void CopyLeading(char* destination, size_t capacity, const char* text, size_t count) {
    if (destination == nullptr || capacity == 0)
        return;
    const size_t n = std::min(count, capacity - 1);
    std::memcpy(destination, text, n);
    destination[n] = '\0';
}

}  // namespace

void SplitPath(const char* path, char* name, size_t nameCapacity, char* directory,
               size_t directoryCapacity, int level) {
    if (path == nullptr || path[0] == '\0')
        return;
    const size_t length = std::strlen(path);
    size_t separator = 0;  // 0: none found (index 0 never counts)
    int passed = 0;
    for (size_t i = length - 1; i >= 1; --i) {
        if (IsSeparator(path[i])) {
            separator = i;
            if (name != nullptr && nameCapacity > 0)
                BoundedCopy(name, nameCapacity, path + i + 1);
            if (passed++ == std::max(level, 0))
                break;
        }
    }
    // With fewer separators than asked for, the split stays at the earliest
    // one; without any, the whole path is the name and the directory empty.
    if (separator == 0 && name != nullptr && nameCapacity > 0)
        BoundedCopy(name, nameCapacity, path);
    CopyLeading(directory, directoryCapacity, path, separator == 0 ? 0 : separator + 1);
}

int RectsOverlap(const int32_t a[4], const int32_t b[4]) {
    if (a == nullptr || b == nullptr)
        return 0;
    // The centre test with everything doubled, so that no halving loses the
    // half of an odd side (which made touching rectangles overlap); 64-bit so
    // that extreme rectangles cannot overflow.
    auto apart = [](int64_t aLow, int64_t aHigh, int64_t bLow, int64_t bHigh) {
        const int64_t aCentre2 = aLow + aHigh, bCentre2 = bLow + bHigh;
        const int64_t aExtent = std::max(aLow, aHigh) - std::min(aLow, aHigh);
        const int64_t bExtent = std::max(bLow, bHigh) - std::min(bLow, bHigh);
        const int64_t distance2 = bCentre2 > aCentre2 ? bCentre2 - aCentre2 : aCentre2 - bCentre2;
        return distance2 >= aExtent + bExtent;
    };
    if (apart(a[0], a[2], b[0], b[2]) || apart(a[1], a[3], b[1], b[3]))
        return 0;
    return 1;
}

int32_t SharedValue(int get, int32_t value) {
    static std::atomic<int32_t> slot{0};
    if (get == 0) {
        slot = value;
        return value;
    }
    return slot;
}
