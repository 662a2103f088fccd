// Small number and text helpers of the device library's toolbox.
#pragma once

#include <cstddef>
#include <cstdint>

// Positive values round half up (2.5 -> 3); negative ones lose their
// fraction (-2.7 -> -2). Values beyond the 32-bit range give its nearest
// end, NaN gives 0.
int32_t RoundHalfUp(double x);

enum RoundMode : int { kRoundNearest = 0, kRoundUp = 1, kRoundDown = 2 };
// Rounds to a multiple of step by mode (nearest: the nearer multiple, an
// exact half going up).
// A step of 0 or an unknown mode leaves the value unchanged; a round-up
// past the largest 32-bit value rounds down instead.
uint32_t RoundToMultiple(uint32_t value, uint32_t step, int mode);

// Every hexadecimal digit shifts in 4 bits; other characters are skipped.
uint32_t ParseHex(const char* text);

// -1 for null text (or a 0 character); else the count before the terminator.
int CountChar(const char* text, char character);
int CountLetters(const char* text);

// Replaces, within the first limit characters, each character found in the
// first setLength characters of from by the one at the same place in to.
// -1 (also for null arguments); 0 and no change for a limit of 0.
int TranslateChars(char* text, size_t limit, const char* from, const char* to, int setLength);

int BytesEqual(const void* a, const void* b, size_t count);
int AllBytesEqual(const void* block, int count, uint8_t value);

// Removes a pair of enclosing double quotes; the new length, or 0.
int StripQuotes(char* text, int length);

// Splits a path at a separator ('\' or '/', never at index 0): level 0
// takes the last one, level 1 the one before, and so on. name receives what
// follows it, directory the path up to and including it. With fewer
// separators, the split falls at the first separator (or before the path
// when it has none). Both outputs are optional, bounded and terminated.
void SplitPath(const char* path, char* name, size_t nameCapacity, char* directory,
               size_t directoryCapacity, int level);

// Rectangles as left, top, right, bottom (either order per axis); 1 when
// they overlap, 0 when they are apart or only touch. Centres are compared
// exactly (a rectangle with an odd side has a centre between two units).
int RectsOverlap(const int32_t a[4], const int32_t b[4]);

// A process-wide slot: get 0 stores value and returns it, else returns
// what is stored.
int32_t SharedValue(int get, int32_t value);
