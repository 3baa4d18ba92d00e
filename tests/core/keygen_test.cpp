// Browser keys and their decoding.
#include "keygen.h"

#include <gtest/gtest.h>

TEST(BrowserKeys, LayoutIsTimePlaneXY)
{
    EXPECT_EQ(keygen(pos4i(0, 0, 0, 0)), "000000000000");
    EXPECT_EQ(keygen(pos4i(12, 345, 6, 7)), "007006012345");
    EXPECT_TRUE(decode("007006012345") == pos4i(12, 345, 6, 7));
    EXPECT_EQ(keygen(pos4i(999, 1, 2, 3)).substr(0, 6), "003002") << "a plane's keys sort together";
}

TEST(BrowserKeys, PaddingKeepsTheSignInsideTheField)
{
    EXPECT_EQ(digit3(5), "005");
    EXPECT_EQ(digit3(1000), "1000");
    EXPECT_EQ(digit3(-5), "0-5");
    EXPECT_EQ(decode(digit3(-5) + "000000000").t(), 0);
}

TEST(BrowserKeys, DecodeRoundTripsEveryCoordinateRange)
{
    for (int v = 0; v < 1000; v += 37) {
        pos4i p(v, 999 - v, v % 60, v % 150);
        EXPECT_TRUE(decode(keygen(p)) == p) << v;
    }
}

TEST(BrowserKeys, ShortKeysDecodeWithoutReadingPastTheEnd)
{
    EXPECT_TRUE(decode("") == pos4i(0, 0, 0, 0));
    EXPECT_TRUE(decode("N/A") == pos4i(0, 0, 0, 0));
    EXPECT_TRUE(decode("00700") == pos4i(0, 0, 0, 7)) << "the plane field is cut short";
    EXPECT_TRUE(decode("007006012") == pos4i(12, 0, 6, 7));
}
