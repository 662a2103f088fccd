// Version comparison, the text form of a file version, and of a local time
// stamp.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/LocalTime.h"

// 1 when version text a ("major.minor.build", missing parts 0) is strictly
// newer than b; 0 otherwise, also when either is null. Only the first 29
// characters count; runs of dots are one separator; each part is the value
// of its leading digits modulo 65536.
int IsVersionNewer(const char* a, const char* b);

// "month/day/year hour:mm:ss" (3/7/2009 9:05:01); the length of what the
// destination holds (cut to its capacity).
size_t FormatTimeStamp(char* destination, size_t capacity, const LocalTimeStamp& stamp);

// A file version's text, "major.mm.bbbb.rr" (10.0.1234.5 gives
// 10.00.1234.05), from the two 32-bit halves a version resource holds:
// major and minor in the more significant, build and revision in the less.
// Returns the length of what the destination holds (cut to its capacity).
size_t FormatFileVersion(char* destination, size_t capacity, uint32_t mostSignificant,
                         uint32_t leastSignificant);

// The version text of a file's version resource ("10.00.1234.05"); an empty
// text when the file has none (every file outside Windows).
void GetFileVersionText(const char* fileName, char* destination, size_t capacity);
