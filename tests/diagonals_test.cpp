// Diagonal reveals, wedges, starburst, triangular shred and clock sweeps: the
// frame shows the new picture exactly inside the effect's polygons.
#include "effects/diagonals.h"
#include "frame_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numbers>
#include <string>
#include <vector>

namespace mirel::test {
namespace {

constexpr int32_t W = 800, H = 600; // Step 4: PW = 8 * Progress, PH = 6 * Progress, Band 36
constexpr long double Pi = std::numbers::pi_v<long double>;

// The frame shows the new picture on exactly the pixels of region.
::testing::AssertionResult ShowsNewExactlyIn(const TFrame& frame, const TRegion& region)
{
    int64_t wrong = 0;
    int32_t firstX = -1, firstY = -1;
    for (int32_t y = 0; y < frame.Display.Height(); ++y)
        for (int32_t x = 0; x < frame.Display.Width(); ++x)
            if (frame.IsNew(x, y) != region.Contains(x, y) && wrong++ == 0) {
                firstX = x;
                firstY = y;
            }
    if (wrong == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << wrong << " pixels differ, the first at (" << firstX << ", " << firstY
                                         << "), " << (frame.IsNew(firstX, firstY) ? "new" : "old")
                                         << " in the frame";
}

using TTriangle = std::array<int32_t, 6>;

TRegion UnionOf(const std::vector<TTriangle>& triangles)
{
    TRegion all;
    for (const TTriangle& t : triangles)
        UniteRgn(all, TriangleRegion(t[0], t[1], t[2], t[3], t[4], t[5]));
    return all;
}

// ---- Corner triangles, wedges and starburst ----

struct TTrianglesCase {
    const char* Name;
    int Style;
    int32_t Progress;
    std::vector<TTriangle> Triangles;
};

class TriangleShapes : public ::testing::TestWithParam<TTrianglesCase> {};

TEST_P(TriangleShapes, FrameShowsTheTriangles)
{
    const TTrianglesCase& c = GetParam();
    const TFrame frame(W, H, c.Style, c.Progress);
    EXPECT_FALSE(frame.Display.Canvas().HasClipRgn());
    EXPECT_TRUE(ShowsNewExactlyIn(frame, UnionOf(c.Triangles)));
}

INSTANTIATE_TEST_SUITE_P(
    Diagonal, TriangleShapes,
    ::testing::Values(
        TTrianglesCase{"FromTopLeftAt50", 110, 50, {{0, 0, 800, 0, 0, 600}}},
        TTrianglesCase{"FromTopRightAt25", 111, 25, {{800, 0, 400, 0, 800, 300}}},
        TTrianglesCase{"FromBottomLeftAt25", 112, 25, {{0, 600, 400, 600, 0, 300}}},
        TTrianglesCase{"FromBottomRightAt99", 113, 99, {{800, 600, -784, 600, 800, -588}}},
        TTrianglesCase{"SweepAnticlockwiseAt50", 114, 50, {{0, 600, 0, 0, 400, 600}, {800, 600, 800, 0, 400, 0}}},
        TTrianglesCase{"SweepClockwiseAt50", 115, 50, {{800, 0, 0, 0, 800, 300}, {800, 600, 0, 600, 0, 300}}},
        TTrianglesCase{"StarburstAt50",
                       116,
                       50,
                       {{400, 300, 0, 600, 0, 300},
                        {0, 0, 400, 0, 400, 300},
                        {400, 600, 400, 300, 800, 600},
                        {400, 300, 800, 0, 800, 300}}}),
    [](const ::testing::TestParamInfo<TTrianglesCase>& info) { return std::string(info.param.Name); });

TEST(RevealDiagonalFromTopLeft, IsTheUpperLeftHalfAt50)
{
    const TFrame frame(W, H, 110, 50);
    EXPECT_TRUE(frame.IsNew(0, 0));
    EXPECT_TRUE(frame.IsNew(399, 299)); // just above the diagonal from (800, 0) to (0, 600)
    EXPECT_FALSE(frame.IsNew(400, 300));
    EXPECT_FALSE(frame.IsNew(799, 599));
    EXPECT_NEAR(double(frame.NewArea().Area()), W * H / 2.0, W);
}

// ---- Triangular shred ----

// The shred as written out: every triangle built on its own and united one by
// one, i = n .. 0, j = n .. 0. A Band of 0 counts as 1.
TRegion ShredOneByOne(int32_t w, int32_t h, uint32_t step, int32_t progress)
{
    const TEffectGeometry g = CalcEffectGeometry(Rect(0, 0, w, h), int32_t(step), progress);
    const int32_t n = std::max(g.Band > 1 ? g.Band / 2 : g.Band, 1);
    const int32_t PW = g.PW / n, PH = g.PH / n, CW = g.W / n, CH = g.H / n;
    TRegion all;
    for (int32_t i = n; i >= 0; --i)
        for (int32_t j = n; j >= 0; --j)
            UniteRgn(all, TriangleRegion(j * CW - PW, i * CH - PH, j * CW + PW, i * CH - PH, j * CW - PW, i * CH + PH));
    return all;
}

struct TShredCase {
    int32_t W, H;
    uint32_t Step;
    int32_t Progress;
};

class TriangularShred : public ::testing::TestWithParam<TShredCase> {};

TEST_P(TriangularShred, IsTheUnionOfAllItsTriangles)
{
    const TShredCase& c = GetParam();
    const TFrame frame(c.W, c.H, 117, c.Progress, c.Step);
    EXPECT_FALSE(frame.Display.Canvas().HasClipRgn());
    EXPECT_TRUE(ShowsNewExactlyIn(frame, ShredOneByOne(c.W, c.H, c.Step, c.Progress)));
}

INSTANTIATE_TEST_SUITE_P(Diagonal, TriangularShred,
                         ::testing::Values(TShredCase{800, 600, 4, 10}, TShredCase{800, 600, 4, 50},
                                           TShredCase{800, 600, 4, 77}, TShredCase{800, 600, 4, 99},
                                           TShredCase{300, 500, 4, 33}, TShredCase{640, 480, 10, 60},
                                           TShredCase{123, 45, 1, 90},
                                           // Band 0 and 1: n is 1, four triangles on the corners.
                                           TShredCase{10, 8, 4, 50}, TShredCase{20, 9, 4, 99}),
                         [](const ::testing::TestParamInfo<TShredCase>& info) {
                             const TShredCase& c = info.param;
                             return std::to_string(c.W) + "x" + std::to_string(c.H) + "Step" +
                                    std::to_string(c.Step) + "At" + std::to_string(c.Progress);
                         });

TEST(TriangularShredToTopLeft, GridTriangleAt50)
{
    // n = 18, cells 44 x 33, triangles 2 * 22 by 2 * 16. Nothing else reaches
    // into the bounding box of the triangle on the grid point (44, 33).
    const TFrame frame(W, H, 117, 50);
    const TRegion triangle = TriangleRegion(22, 17, 66, 17, 22, 49);
    for (int32_t y = 17; y < 49; ++y)
        for (int32_t x = 22; x < 66; ++x)
            ASSERT_EQ(frame.IsNew(x, y), triangle.Contains(x, y)) << "at (" << x << ", " << y << ")";
}

// ---- Clock sweeps ----

// The fans of styles 143 (Turn 1) and 144 (Turn -1) at 25 on 800 x 600.
std::vector<TPoint> FanAt25(int Turn)
{
    return SweepPoints(400, 300, 500, -Pi / 2, 25 * (Turn * Pi) / 50 - Pi / 2, 25);
}

TEST(SweepPoints, FansAt25)
{
    const std::vector<TPoint> cw = FanAt25(1), acw = FanAt25(-1);
    ASSERT_EQ(cw.size(), 26u);
    ASSERT_EQ(acw.size(), 26u);
    EXPECT_EQ(cw[0], (TPoint{400, 300}));
    EXPECT_EQ(cw[1], (TPoint{400, -200}));
    EXPECT_EQ(cw[2], (TPoint{431, -199}));
    EXPECT_EQ(cw[24], (TPoint{896, 237}));
    EXPECT_EQ(cw[25], (TPoint{899, 269})); // at -3.6 degrees, one step short of 0
    // The anticlockwise fan is its mirror image, (369, -199) ... (-99, 269).
    for (size_t k = 0; k < cw.size(); ++k)
        EXPECT_EQ(acw[k], (TPoint{800 - cw[k].X, cw[k].Y})) << "point " << k;
}

TEST(SweepRegion, FewerThanTwoArcPointsEncloseNothing)
{
    EXPECT_TRUE(SweepPoints(10, 10, 5, 0, 1, 0).empty());
    EXPECT_EQ(SweepPoints(10, 10, 5, 0, 1, 1).size(), 2u);
    EXPECT_TRUE(SweepRegion(10, 10, 5, 0, 1, 0).IsEmpty());
    EXPECT_TRUE(SweepRegion(10, 10, 5, 0, 1, 1).IsEmpty());
    EXPECT_FALSE(SweepRegion(10, 10, 5, 0, 1, 2).IsEmpty());
}

TEST(ClockSweeps, FramesAt25AreTheirFans)
{
    const std::vector<TPoint> cw = FanAt25(1), acw = FanAt25(-1);
    const TFrame clockwise(W, H, 143, 25), anticlockwise(W, H, 144, 25);
    EXPECT_TRUE(ShowsNewExactlyIn(clockwise, CreatePolygonRgn(cw.data(), int(cw.size()))));
    EXPECT_TRUE(ShowsNewExactlyIn(anticlockwise, CreatePolygonRgn(acw.data(), int(acw.size()))));
    EXPECT_FALSE(clockwise.Display.Canvas().HasClipRgn());
    EXPECT_FALSE(anticlockwise.Display.Canvas().HasClipRgn());
    // The pie reaches into the corner but stops 3.6 degrees short of 3 o'clock.
    EXPECT_TRUE(clockwise.IsNew(795, 5));
    EXPECT_FALSE(clockwise.IsNew(790, 280));
}

// At 1 the shred's triangles have no size and the sweeps' fans one arc point.
TEST(DiagonalFamily, ShowsNothingAt1)
{
    for (const int style : {117, 143, 144})
        EXPECT_TRUE(ShowsNewExactlyIn(TFrame(W, H, style, 1), TRegion())) << "style " << style;
}

} // namespace
} // namespace mirel::test
