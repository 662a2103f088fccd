#include "util/VersionText.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/LocalTime.h"

TEST(IsVersionNewer, ComparesMajorMinorBuild) {
    EXPECT_EQ(1, IsVersionNewer("1.2.10", "1.2.9")) << "numbers, not text";
    EXPECT_EQ(0, IsVersionNewer("1.2", "1.2.0"));
    EXPECT_EQ(1, IsVersionNewer("2", "1.99.99"));
    EXPECT_EQ(0, IsVersionNewer("1.2.3", "1.2.3"));
    EXPECT_EQ(0, IsVersionNewer("1.2.3", "1.2.4"));
    EXPECT_EQ(0, IsVersionNewer(nullptr, "1"));
    EXPECT_EQ(0, IsVersionNewer("1", nullptr));
    EXPECT_EQ(1, IsVersionNewer("1..3", "1.2")) << "runs of dots are one separator";
    EXPECT_EQ(0, IsVersionNewer("1.2.3.9", "1.2.3")) << "a fourth part is ignored";
    EXPECT_EQ(1, IsVersionNewer("1.5beta", "1.4")) << "leading digits of a part";
    EXPECT_EQ(0, IsVersionNewer("1.x", "1.0")) << "no digits: 0";
    EXPECT_EQ(0, IsVersionNewer("65536", "0")) << "parts are 16-bit";
    const char* longer = "1.2.00000000000000000000000009";  // the 9 is the 30th character
    EXPECT_EQ(0, IsVersionNewer(longer, "1.2.0")) << "only 29 characters count";
}

TEST(TimeStamp, FormatAndTheLocalClock) {
    LocalTimeStamp stamp;
    stamp.Year = 2009;
    stamp.Month = 12;
    stamp.Day = 31;
    stamp.Hour = 23;
    stamp.Minute = 59;
    stamp.Second = 7;
    char text[32];
    EXPECT_EQ(19u, FormatTimeStamp(text, sizeof text, stamp));
    EXPECT_STREQ("12/31/2009 23:59:07", text);
    stamp = {2009, 3, 6, 7, 9, 5, 1, 0};
    FormatTimeStamp(text, sizeof text, stamp);
    EXPECT_STREQ("3/7/2009 9:05:01", text);
    char tiny[5];
    EXPECT_EQ(4u, FormatTimeStamp(tiny, sizeof tiny, stamp));
    EXPECT_STREQ("3/7/", tiny);

    LocalTimeStamp now;
    platform::GetLocalTimeStamp(now);
    EXPECT_GE(now.Year, 2024);
    EXPECT_GE(now.Month, 1);
    EXPECT_LE(now.Month, 12);
    EXPECT_LT(now.Milliseconds, 1000);
}
