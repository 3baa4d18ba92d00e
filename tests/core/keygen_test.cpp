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

TEST(BrowserKeys, PositionsOfAThousandAndMoreRoundTrip)
{
    const pos4i cases[] = {pos4i(999, 999, 999, 999), pos4i(1000, 0, 0, 0),
                           pos4i(99999, 1000, 5, 7),  pos4i(0, 99999, 1000, 0),
                           pos4i(12, 34, 5, 1000),    pos4i(4095, 4095, 99, 12345),
                           pos4i(-5, 3, 2, 1),        pos4i(10000000, -10000000, 0, 0)};
    for (const pos4i &p : cases) {
        const std::string key = keygen(p);
        EXPECT_TRUE(decode(key) == p) << key;
    }
    EXPECT_EQ(keygen(pos4i(1000, 345, 6, 7)), "007006A1000345");
    EXPECT_EQ(keygen(pos4i(12, 345, 6, 1000)), "A1000006012345");
    EXPECT_EQ(keygen(pos4i(12, 345, 6, 7)), "007006012345") << "keys below 1000 as ever";
}

TEST(BrowserKeys, KeysOfAPlaneStayTogetherBesideLargeFields)
{
    // Every key of plane (7, 5) sorts after those of (7, 4) and before those of
    // (7, 6), whatever its x and y; the same for time points around 999.
    const std::string low = keygen(pos4i(99999, 99999, 4, 7));
    const std::string mid_first = keygen(pos4i(0, 0, 5, 7));
    const std::string mid_large = keygen(pos4i(1000, 4095, 5, 7));
    const std::string high = keygen(pos4i(0, 0, 6, 7));
    EXPECT_LT(low, mid_first);
    EXPECT_LT(mid_first, mid_large);
    EXPECT_LT(mid_large, high);
    EXPECT_LT(keygen(pos4i(99999, 99999, 99, 999)), keygen(pos4i(0, 0, 0, 1000)));
    EXPECT_LT(keygen(pos4i(99999, 99999, 99, 9999)), keygen(pos4i(0, 0, 0, 10000)));
}

TEST(BrowserKeys, TimeKeyBoundsTheKeysOfATimePoint)
{
    for (int t : {0, 7, 998, 999, 1000, 9999, 10000}) {
        const std::string first = keygen(pos4i(0, 0, 0, t)), last = keygen(pos4i(99999, 99999, 999, t));
        EXPECT_EQ(first.compare(0, time_key(t).size(), time_key(t)), 0) << t;
        EXPECT_LE(time_key(t), first) << t;
        EXPECT_LT(last, time_key(t + 1)) << t;
        EXPECT_LT(keygen(pos4i(99999, 99999, 999, t - 1)), time_key(t)) << t;
    }
}
