#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "util/BitOps.h"
#include "util/NumberText.h"

TEST(SingleBits, PositionsWrapAtThirtyTwoExceptForSetBit8) {
    EXPECT_EQ(1, IsBitSet32(0x80000000u, 31));
    EXPECT_EQ(1, IsBitSet32(0x2u, 33));
    uint32_t v = 0;
    SetBit32(&v, 35);
    EXPECT_EQ(0x8u, v);
    ClearBit32(&v, 3);
    EXPECT_EQ(0u, v);
    SetBit32(nullptr, 1);

    EXPECT_EQ(0, IsBitSet8(0xFF, 8));
    EXPECT_EQ(1, IsBitSet8(0x02, 33));
    uint8_t b = 0;
    SetBit8(&b, 8);
    SetBit8(&b, 33);
    EXPECT_EQ(0, b) << "SetBit8 ignores any position from 8 up";
    SetBit8(&b, 7);
    EXPECT_EQ(0x80, b);
    b = 0xFF;
    ClearBit8(&b, 33);
    EXPECT_EQ(0xFD, b) << "ClearBit8 takes the position modulo 32";
    ClearBit8(&b, 8);
    EXPECT_EQ(0xFD, b);
}

TEST(SwapBytes, ReversesTwoFourAndEightBytes) {
    uint8_t four[4] = {1, 2, 3, 4};
    SwapBytes(four, 4);
    EXPECT_EQ(0, std::memcmp(four, "\x04\x03\x02\x01", 4));
    uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    SwapBytes(eight, 8);
    EXPECT_EQ(8, eight[0]);
    EXPECT_EQ(1, eight[7]);
    uint8_t three[3] = {1, 2, 3};
    SwapBytes(three, 3);
    EXPECT_EQ(1, three[0]);
    SwapBytes(nullptr, 4);
}

TEST(Rounding, HalfUpAndMultiples) {
    EXPECT_EQ(3, RoundHalfUp(2.5));
    EXPECT_EQ(2, RoundHalfUp(2.49));
    EXPECT_EQ(-2, RoundHalfUp(-2.7));
    EXPECT_EQ(0, RoundHalfUp(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(std::numeric_limits<int32_t>::max(), RoundHalfUp(1e12));
    EXPECT_EQ(std::numeric_limits<int32_t>::min(), RoundHalfUp(-1e12));

    EXPECT_EQ(12u, RoundToMultiple(10, 4, 0));
    EXPECT_EQ(8u, RoundToMultiple(9, 4, 0));
    EXPECT_EQ(12u, RoundToMultiple(9, 4, 1));
    EXPECT_EQ(8u, RoundToMultiple(11, 4, 2));
    for (int mode : {0, 1, 2, 7})
        EXPECT_EQ(8u, RoundToMultiple(8, 4, mode));
    EXPECT_EQ(9u, RoundToMultiple(9, 4, 7));
    EXPECT_EQ(9u, RoundToMultiple(9, 0, 1)) << "a step of 0 leaves the value";
    EXPECT_EQ(0xFFFFFFF0u, RoundToMultiple(0xFFFFFFFFu, 16, 1)) << "no wrap to 0";
}

TEST(Rounding, NearestIsTheNearestMultipleForEveryStep) {
    EXPECT_EQ(3u, RoundToMultiple(4, 3, kRoundNearest));
    EXPECT_EQ(5u, RoundToMultiple(7, 5, kRoundNearest));
    EXPECT_EQ(10u, RoundToMultiple(8, 5, kRoundNearest));
    for (uint32_t step = 1; step <= 17; ++step) {
        for (uint32_t value = 0; value <= 60; ++value) {
            const uint32_t down = value / step * step, up = down + step;
            // Twice the distance, so an exact half compares without halving.
            const uint32_t expected = value == down ? value : 2 * (value - down) < step ? down : up;
            EXPECT_EQ(expected, RoundToMultiple(value, step, kRoundNearest))
                << value << " to a multiple of " << step;
        }
    }
    EXPECT_EQ(0xFFFFFFFEu, RoundToMultiple(0xFFFFFFFFu, 0xFFFFFFFEu, kRoundNearest))
        << "no wrap when the step is large";
}

TEST(TextHelpers, HexCountsTranslationAndQuotes) {
    EXPECT_EQ(0x1A2Bu, ParseHex("1A-2b"));
    EXPECT_EQ(0u, ParseHex("xyz"));
    EXPECT_EQ(0u, ParseHex(""));
    EXPECT_EQ(0x23456789u, ParseHex("123456789")) << "high bits drop off";

    EXPECT_EQ(2, CountChar("a,b,c", ','));
    EXPECT_EQ(-1, CountChar(nullptr, ','));
    EXPECT_EQ(-1, CountChar("abc", '\0'));
    EXPECT_EQ(4, CountLetters("ab1 C-d\xE9"));
    EXPECT_EQ(-1, CountLetters(nullptr));

    char text[] = "abcdef";
    EXPECT_EQ(-1, TranslateChars(text, 3, "ab", "xy", 2));
    EXPECT_STREQ("xycdef", text);
    EXPECT_EQ(0, TranslateChars(text, 0, "x", "z", 1));
    EXPECT_STREQ("xycdef", text);
    EXPECT_EQ(-1, TranslateChars(text, 100, nullptr, "z", 1));
    char shortText[] = "aa";
    TranslateChars(shortText, 100, "a", "b", 1);
    EXPECT_STREQ("bb", shortText) << "stops at the terminator";

    char quoted[] = "\"abc\"";
    EXPECT_EQ(3, StripQuotes(quoted, 5));
    EXPECT_STREQ("abc", quoted);
    char bare[] = "abc\"";
    EXPECT_EQ(0, StripQuotes(bare, 4));
    EXPECT_STREQ("abc\"", bare);
    char single[] = "\"";
    EXPECT_EQ(0, StripQuotes(single, 1));

    EXPECT_EQ(1, BytesEqual("abc", "abd", 2));
    EXPECT_EQ(0, BytesEqual("abc", "abd", 3));
    EXPECT_EQ(1, BytesEqual(nullptr, "x", 0));
    EXPECT_EQ(0, BytesEqual(nullptr, "x", 1));
    EXPECT_EQ(1, AllBytesEqual("\x07\x07", 2, 7));
    EXPECT_EQ(0, AllBytesEqual("\x07\x08", 2, 7));
    EXPECT_EQ(1, AllBytesEqual(nullptr, 5, 7));
    EXPECT_EQ(1, AllBytesEqual("\x01", -1, 7));
}

TEST(SplitPath, LevelsAndShortPathsStayInTheirBuffers) {
    char name[64], dir[64];
    SplitPath("C:\\dir\\file.txt", name, sizeof name, dir, sizeof dir, 0);
    EXPECT_STREQ("file.txt", name);
    EXPECT_STREQ("C:\\dir\\", dir);
    SplitPath("C:\\dir\\file.txt", name, sizeof name, dir, sizeof dir, 1);
    EXPECT_STREQ("dir\\file.txt", name);
    EXPECT_STREQ("C:\\", dir);
    SplitPath("/usr/lib/x", name, sizeof name, dir, sizeof dir, 5);
    EXPECT_STREQ("lib/x", name) << "fewer separators: split at the earliest one found";
    EXPECT_STREQ("/usr/", dir) << "the leading '/' at index 0 is not a separator";
    SplitPath("plain", name, sizeof name, dir, sizeof dir, 0);
    EXPECT_STREQ("plain", name);
    EXPECT_STREQ("", dir);
    SplitPath("\\x", name, sizeof name, dir, sizeof dir, 0);
    EXPECT_STREQ("\\x", name) << "index 0 is never a separator";

    char tinyName[4] = {'#', '#', '#', '#'}, tinyDir[3] = {'#', '#', '#'};
    SplitPath("C:\\directory\\file.txt", tinyName, sizeof tinyName, tinyDir, sizeof tinyDir, 0);
    EXPECT_STREQ("fil", tinyName);
    EXPECT_STREQ("C:", tinyDir);
    std::strcpy(name, "kept");
    SplitPath("", name, sizeof name, nullptr, 0, 0);
    EXPECT_STREQ("kept", name);
    SplitPath("a/b", nullptr, 0, nullptr, 0, 0);
}

TEST(RectsOverlap, TouchingIsApart) {
    const int32_t a[4] = {0, 0, 10, 10};
    const int32_t b[4] = {10, 0, 20, 10};
    const int32_t c[4] = {9, 9, 20, 20};
    const int32_t flipped[4] = {20, 20, 9, 9};
    EXPECT_EQ(0, RectsOverlap(a, b));
    EXPECT_EQ(1, RectsOverlap(a, c));
    EXPECT_EQ(1, RectsOverlap(a, flipped));
    const int32_t huge[4] = {INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    EXPECT_EQ(1, RectsOverlap(a, huge));
    const int32_t odd[4] = {0, 0, 5, 5};
    const int32_t oddNeighbour[4] = {5, 0, 10, 5};
    EXPECT_EQ(0, RectsOverlap(odd, oddNeighbour)) << "odd sides that only touch";
}

TEST(RectsOverlap, AgreesWithExactCentresOnAGrid) {
    // Centre and half-extent compared exactly (in doubles), per axis.
    auto apart = [](double aLow, double aHigh, double bLow, double bHigh) {
        const double aCentre = (aLow + aHigh) / 2, bCentre = (bLow + bHigh) / 2;
        const double halves = std::abs(aHigh - aLow) / 2 + std::abs(bHigh - bLow) / 2;
        return std::abs(bCentre - aCentre) >= halves;
    };
    for (int32_t l = -3; l <= 3; ++l) {
        for (int32_t r = -3; r <= 3; ++r) {
            for (int32_t bl = -3; bl <= 3; ++bl) {
                for (int32_t br = -3; br <= 3; ++br) {
                    const int32_t a[4] = {l, 0, r, 4};
                    const int32_t b[4] = {bl, 1, br, 3};
                    const int expected = apart(l, r, bl, br) ? 0 : 1;
                    EXPECT_EQ(expected, RectsOverlap(a, b))
                        << "[" << l << "," << r << "] and [" << bl << "," << br << "]";
                }
            }
        }
    }
}

TEST(SharedValue, StoresAndReads) {
    EXPECT_EQ(17, SharedValue(0, 17));
    EXPECT_EQ(17, SharedValue(1, 99));
    EXPECT_EQ(-3, SharedValue(0, -3));
    EXPECT_EQ(-3, SharedValue(5, 0));
}
