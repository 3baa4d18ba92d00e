// Position vectors: arithmetic, equality and lengths.
#include "OXEL_pos"

#include <gtest/gtest.h>

TEST(Positions, LengthsNestOverAllComponents)
{
    EXPECT_DOUBLE_EQ(pos2i(3, 4).size(), 5.0);
    EXPECT_DOUBLE_EQ(pos4i(1, 2, 2, 4).size(), 5.0);
    EXPECT_DOUBLE_EQ(pos2i(0, 0).size(), 0.0);
    EXPECT_DOUBLE_EQ(pos3i(2, 3, 6).size(), 7.0);
    EXPECT_DOUBLE_EQ(pos3d(2.0, 3.0, 6.0).size(), 7.0);
}

TEST(Positions, EqualityComparesEveryComponent)
{
    EXPECT_FALSE(pos3i(1, 2, 3) == pos3i(1, 2, 4));
    EXPECT_TRUE(pos4i(1, 2, 3, 4) == pos4i(1, 2, 3, 4));
    EXPECT_FALSE(pos4i(1, 2, 3, 4) == pos4i(1, 2, 3, 5));
    EXPECT_TRUE(pos4i() == pos4i(0, 0, 0, 0));
}

TEST(Positions, IntegerDivisionTruncatesTowardZero)
{
    EXPECT_TRUE(pos2i(-7, 7) / 2 == pos2i(-3, 3));
    EXPECT_TRUE(pos4i(7, -7, 9, -9) / 2 == pos4i(3, -3, 4, -4));
}

TEST(Positions, ArithmeticLeavesOperandsAndReturnsNewValues)
{
    pos4i a(1, 2, 3, 4), b(10, 20, 30, 40);
    EXPECT_TRUE(a + b == pos4i(11, 22, 33, 44));
    EXPECT_TRUE(b - a == pos4i(9, 18, 27, 36));
    EXPECT_TRUE(a * 3 == pos4i(3, 6, 9, 12));
    EXPECT_TRUE(a == pos4i(1, 2, 3, 4));

    pos3d d(1.0, 2.0, 3.0);
    pos3d half = d * 0.5;
    EXPECT_DOUBLE_EQ(half.x(), 0.5);
    EXPECT_DOUBLE_EQ(half.y(), 1.0);
    EXPECT_DOUBLE_EQ(half.z(), 1.5);
    EXPECT_DOUBLE_EQ((d - d).size(), 0.0);
    pos3d q = d / 2.0;
    EXPECT_DOUBLE_EQ(q.z(), 1.5);
}

TEST(Positions, AssignmentReturnsTheNewValue)
{
    pos3i a(1, 2, 3);
    pos3i b = (a = pos3i(4, 5, 6));
    EXPECT_TRUE(a == pos3i(4, 5, 6));
    EXPECT_TRUE(b == pos3i(4, 5, 6));
    pos2d p;
    pos2d r = (p = pos2d(1.5, 2.5));
    EXPECT_DOUBLE_EQ(r.y(), 2.5);
}
