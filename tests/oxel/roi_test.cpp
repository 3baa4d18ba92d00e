// The ROI record and its text form.
#include "OXEL_roi"

#include <gtest/gtest.h>

#include <sstream>

TEST(RoiRecord, EqualityNeedsPositionAndOutline)
{
    EXPECT_TRUE(roi() == roi());
    EXPECT_FALSE(roi(1, 2, 3, 4, "01") == roi(1, 2, 3, 4, "012"));
    EXPECT_FALSE(roi(1, 2, 3, 4, "01") == roi(1, 2, 3, 5, "01"));
    EXPECT_TRUE(roi(pos4i(1, 2, 3, 4), "01") == roi(1, 2, 3, 4, "01"));
}

TEST(RoiRecord, TextFormIsByteExactAndReadsBack)
{
    roi r(12, 34, 5, 7, "301");
    std::ostringstream out;
    out << r;
    EXPECT_EQ(out.str(), "12 34 5 7 301");

    roi back;
    std::istringstream in(out.str());
    in >> back;
    EXPECT_TRUE(back == r);

    roi neg(-3, 0, 0, 1, "23");
    std::ostringstream out2;
    out2 << neg;
    EXPECT_EQ(out2.str(), "-3 0 0 1 23");
}

TEST(RoiRecord, ReadingTwoLinesThenFails)
{
    std::istringstream in("1 2 3 4 012\n5 6 7 8 321\n");
    roi a, b, c(9, 9, 9, 9, "9");
    in >> a;
    in >> b;
    EXPECT_TRUE(a == roi(1, 2, 3, 4, "012"));
    EXPECT_TRUE(b == roi(5, 6, 7, 8, "321"));
    in >> c;
    EXPECT_TRUE(in.fail());
    EXPECT_TRUE(c == roi(9, 9, 9, 9, "9")) << "a failed read leaves the target as it was";
}

TEST(RoiRecord, EmptyOutlineDoesNotSurviveTheTextForm)
{
    roi r(1, 2, 3, 4, "");
    std::ostringstream out;
    out << r;
    EXPECT_EQ(out.str(), "1 2 3 4 ");
}

TEST(RoiRecord, ConstRecordsArePrinted)
{
    const roi r(-3, 0, 0, 1, "23");
    std::ostringstream out;
    out << r << '|' << roi(1, 2, 3, 4, "0");
    EXPECT_EQ(out.str(), "-3 0 0 1 23|1 2 3 4 0");
}
