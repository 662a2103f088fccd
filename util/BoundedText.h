// Text building in fixed buffers that never overruns and always terminates.
// Results follow the platform's string-safety convention: 0 is success,
// negative values are failures.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

using TextResult = int32_t;

// On Windows these names are macros of the system's headers, with the same
// values; whichever comes first in a file, callers get the one value.
#ifndef S_OK
constexpr TextResult S_OK = 0;
#endif
// A capacity of 0 or above kMaxBoundedCapacity, or no terminator within the maximum.
#ifndef E_INVALIDARG
constexpr TextResult E_INVALIDARG = static_cast<TextResult>(0x80070057u);
#endif
// The result did not fit; the destination holds the truncated text, terminated.
#ifndef STRSAFE_E_INSUFFICIENT_BUFFER
constexpr TextResult STRSAFE_E_INSUFFICIENT_BUFFER = static_cast<TextResult>(0x8007007Au);
#endif

constexpr size_t kMaxBoundedCapacity = 0x7FFFFFFF;

TextResult BoundedCopy(char* destination, size_t capacity, const char* source);
TextResult BoundedAppend(char* destination, size_t capacity, const char* source);
// length may be null; it receives 0 on failure.
TextResult BoundedLength(const char* text, size_t maximum, size_t* length);
TextResult BoundedFormat(char* destination, size_t capacity, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
TextResult BoundedVFormat(char* destination, size_t capacity, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));
