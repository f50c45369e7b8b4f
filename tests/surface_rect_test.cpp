#include "surface/rect.h"
#include "surface/region.h"

#include <gtest/gtest.h>

#include <climits>

namespace mirel {
namespace {

TEST(MulDiv, RoundsToNearestWithHalvesAwayFromZero)
{
    struct TCase {
        int32_t a, b, c, expected;
    };
    const TCase cases[] = {
        {800, 4, 90, 36},   // 35.56
        {5, 1, 2, 3},       // 2.5
        {-5, 1, 2, -3},     // -2.5
        {3, -1, 2, -2},     // -1.5
        {7, 1, -2, -4},     // -3.5
        {10, 1, 3, 3},      // 3.33
        {2, 1, 3, 1},       // 0.67
        {774, 50, 100, 387},
        {400, 600, 800, 300},
        {INT_MAX, INT_MAX, INT_MAX, INT_MAX}, // needs the 64-bit product
    };
    for (const TCase& t : cases)
        EXPECT_EQ(MulDiv(t.a, t.b, t.c), t.expected) << t.a << "*" << t.b << "/" << t.c;
}

TEST(MulDiv, ZeroDivisorOrOverflowGivesMinusOne)
{
    EXPECT_EQ(MulDiv(1, 1, 0), -1);
    EXPECT_EQ(MulDiv(0, 0, 0), -1);
    EXPECT_EQ(MulDiv(INT_MAX, 2, 1), -1);
}

TEST(Rect, IsHalfOpen)
{
    const TRect r = Rect(0, 0, 10, 5);
    EXPECT_EQ(r.Width(), 10);
    EXPECT_EQ(CreateRectRgnIndirect(r).Area(), 50);
    EXPECT_TRUE(CreateRectRgnIndirect(r).Contains(9, 4));
    EXPECT_FALSE(CreateRectRgnIndirect(r).Contains(10, 4));
    EXPECT_FALSE(CreateRectRgnIndirect(r).Contains(9, 5));

    // Rectangles that share an edge share no pixel.
    TRect common;
    EXPECT_FALSE(IntersectRect(common, r, Rect(10, 0, 20, 5)));
    EXPECT_EQ(common, TRect{});
}

TEST(Rect, ArithmeticHelpers)
{
    TRect r;
    SetRect(r, 1, 2, 3, 4);
    OffsetRect(r, 10, -2);
    EXPECT_EQ(r, Rect(11, 0, 13, 2));

    TRect common;
    EXPECT_TRUE(IntersectRect(common, Rect(0, 0, 10, 10), Rect(5, -5, 15, 5)));
    EXPECT_EQ(common, Rect(5, 0, 10, 5));
    EXPECT_FALSE(IntersectRect(common, Rect(0, 0, 10, 10), Rect(20, 20, 30, 30)));
    EXPECT_EQ(common, Rect(0, 0, 0, 0));
}

TEST(Rect, AspectFitRectCentresTheLargestFit)
{
    EXPECT_EQ(AspectFitRect(Rect(0, 0, 400, 300), Rect(0, 0, 1000, 500)), Rect(166, 0, 833, 500));
    EXPECT_EQ(AspectFitRect(Rect(0, 0, 400, 300), Rect(0, 0, 400, 1000)), Rect(0, 350, 400, 650));
    EXPECT_EQ(AspectFitRect(Rect(0, 0, 40, 30), Rect(10, 20, 90, 80)), Rect(10, 20, 90, 80)); // same ratio
    EXPECT_EQ(AspectFitRect(Rect(0, 0, 0, 30), Rect(0, 0, 50, 50)), Rect(0, 0, 50, 50));
}

} // namespace
} // namespace mirel
