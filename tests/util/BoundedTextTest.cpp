#include "util/BoundedText.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(BoundedCopy, FitsTruncatesAndRejectsZeroCapacity) {
    char dest[8];
    EXPECT_EQ(S_OK, BoundedCopy(dest, 5, "abcd"));
    EXPECT_STREQ("abcd", dest);

    std::memset(dest, 'z', sizeof dest);
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, BoundedCopy(dest, 5, "abcde"));
    EXPECT_STREQ("abcd", dest);
    EXPECT_EQ('z', dest[5]) << "nothing written past the capacity";

    std::memset(dest, 'z', sizeof dest);
    EXPECT_EQ(E_INVALIDARG, BoundedCopy(dest, 0, "a"));
    EXPECT_EQ('z', dest[0]);
    EXPECT_EQ(static_cast<TextResult>(0x80070057u), E_INVALIDARG);
    EXPECT_EQ(static_cast<TextResult>(0x8007007Au), STRSAFE_E_INSUFFICIENT_BUFFER);
}

TEST(BoundedAppend, AppendsTruncatesAndRefusesUnterminatedDestination) {
    char dest[8] = "ab";
    EXPECT_EQ(S_OK, BoundedAppend(dest, sizeof dest, "cde"));
    EXPECT_STREQ("abcde", dest);
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, BoundedAppend(dest, sizeof dest, "fghij"));
    EXPECT_STREQ("abcdefg", dest);

    char raw[4] = {'w', 'x', 'y', 'z'};
    EXPECT_EQ(E_INVALIDARG, BoundedAppend(raw, sizeof raw, "q"));
    EXPECT_EQ(0, std::memcmp(raw, "wxyz", 4)) << "destination left as it was";
    EXPECT_EQ(E_INVALIDARG, BoundedAppend(dest, 0x80000000u, "q"));
}

TEST(BoundedLength, CountsWithinMaximumOnly) {
    size_t length = 99;
    EXPECT_EQ(S_OK, BoundedLength("abc", 4, &length));
    EXPECT_EQ(3u, length);
    EXPECT_EQ(E_INVALIDARG, BoundedLength("abc", 3, &length)) << "terminator beyond the maximum";
    EXPECT_EQ(0u, length);
    length = 99;
    EXPECT_EQ(E_INVALIDARG, BoundedLength("abc", 0, &length));
    EXPECT_EQ(0u, length);
    EXPECT_EQ(S_OK, BoundedLength("", 1, nullptr));
}

TEST(BoundedFormat, ExactFitTruncationAndCapacityLimits) {
    char dest[6];
    EXPECT_EQ(S_OK, BoundedFormat(dest, sizeof dest, "%d-%s", 12, "ab"));
    EXPECT_STREQ("12-ab", dest) << "exactly capacity - 1 characters fit";
    EXPECT_EQ(STRSAFE_E_INSUFFICIENT_BUFFER, BoundedFormat(dest, sizeof dest, "%d", 1234567));
    EXPECT_STREQ("12345", dest);
    EXPECT_EQ(E_INVALIDARG, BoundedFormat(dest, 0, "x"));
    EXPECT_EQ(E_INVALIDARG, BoundedFormat(dest, 0x80000000u, "x"));
    EXPECT_EQ(S_OK, BoundedFormat(dest, 1, "%s", ""));
    EXPECT_STREQ("", dest);
}
