#include "util/BoundedText.h"

#include <cstdio>

namespace {

bool CapacityInvalid(size_t capacity) {
    return capacity == 0 || capacity > kMaxBoundedCapacity;
}

}  // namespace

TextResult BoundedCopy(char* destination, size_t capacity, const char* source) {
    if (destination == nullptr || CapacityInvalid(capacity))
        return E_INVALIDARG;
    if (source == nullptr)
        source = "";
    size_t i = 0;
    for (; i < capacity; ++i) {
        destination[i] = source[i];
        if (source[i] == '\0')
            return S_OK;
    }
    destination[capacity - 1] = '\0';
    return STRSAFE_E_INSUFFICIENT_BUFFER;
}

TextResult BoundedVFormat(char* destination, size_t capacity, const char* format, va_list args) {
    if (destination == nullptr || CapacityInvalid(capacity))
        return E_INVALIDARG;
    if (format == nullptr)
        format = "";
    int produced = std::vsnprintf(destination, capacity, format, args);
    if (produced < 0) {
        // The formatter failed: leave an empty, terminated text rather than
        // whatever it may have written.
        destination[0] = '\0';
        destination[capacity - 1] = '\0';
        return STRSAFE_E_INSUFFICIENT_BUFFER;
    }
    if (static_cast<size_t>(produced) > capacity - 1) {
        destination[capacity - 1] = '\0';
        return STRSAFE_E_INSUFFICIENT_BUFFER;
    }
    return S_OK;
}

TextResult BoundedFormat(char* destination, size_t capacity, const char* format, ...) {
    if (capacity > kMaxBoundedCapacity)
        return E_INVALIDARG;
    va_list args;
    va_start(args, format);
    TextResult result = BoundedVFormat(destination, capacity, format, args);
    va_end(args);
    return result;
}

TextResult BoundedLength(const char* text, size_t maximum, size_t* length) {
    size_t count = 0;
    TextResult result = E_INVALIDARG;
    if (text != nullptr && maximum <= kMaxBoundedCapacity) {
        while (count < maximum && text[count] != '\0')
            ++count;
        if (count < maximum)
            result = S_OK;
    }
    if (result != S_OK)
        count = 0;
    if (length != nullptr)
        *length = count;
    return result;
}

TextResult BoundedAppend(char* destination, size_t capacity, const char* source) {
    if (capacity > kMaxBoundedCapacity)
        return E_INVALIDARG;
    size_t current = 0;
    TextResult result = BoundedLength(destination, capacity, &current);
    if (result != S_OK)
        return result;
    return BoundedCopy(destination + current, capacity - current, source);
}
