#include "effects/edge_sweeps.h"

#include "frame_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirel::test {
namespace {

// Where the new picture shows on 800 x 600: the destination rectangles of the
// copies, cut to the picture (the new picture is white all over, so a scaled
// copy shows white exactly where it lands).
class EdgeSweepArea : public ::testing::TestWithParam<TAreaCase> {};

TEST_P(EdgeSweepArea, ShowsTheNewPictureExactlyThere)
{
    const TAreaCase& c = GetParam();
    const TFrame frame(800, 600, c.Style, c.Progress);
    EXPECT_EQ(frame.NewArea(), UnionOfRects(c.NewArea));
    EXPECT_TRUE(frame.OnlyOldOrNew());
}

INSTANTIATE_TEST_SUITE_P(
    At800x600, EdgeSweepArea,
    ::testing::Values(TAreaCase{1, 50, {{400, 0, 800, 600}}}, TAreaCase{2, 25, {{0, 0, 200, 600}}},
                      TAreaCase{3, 50, {{400, 0, 800, 600}}}, TAreaCase{4, 10, {{0, 0, 80, 600}}},
                      TAreaCase{5, 50, {{0, 0, 400, 600}}}, TAreaCase{6, 99, {{8, 0, 800, 600}}},
                      TAreaCase{7, 50, {{0, 0, 800, 600}}}, TAreaCase{9, 1, {{0, 0, 800, 600}}},
                      TAreaCase{10, 50, {{200, 0, 600, 600}}}, TAreaCase{11, 50, {{200, 0, 600, 600}}},
                      TAreaCase{12, 50, {{0, 0, 201, 600}, {599, 0, 800, 600}}},
                      TAreaCase{13, 50, {{0, 0, 201, 600}, {599, 0, 800, 600}}},
                      TAreaCase{16, 50, {{0, 0, 800, 600}}}, // the slice covers the rest
                      TAreaCase{18, 50, {{0, 300, 800, 600}}}, TAreaCase{22, 50, {{0, 0, 800, 300}}},
                      TAreaCase{28, 50, {{0, 150, 800, 450}}},
                      TAreaCase{29, 50, {{0, 0, 800, 151}, {0, 449, 800, 600}}}),
    AreaCaseName);

// Renders style on the coordinate picture: each Display pixel tells which
// Image pixel it came from.
struct TSourceFrame {
    TBitmap Display, Image;
    TSourceFrame(int32_t w, int32_t h, int style, int32_t progress) : Display(w, h, Old), Image(w, h)
    {
        FillCoordinates(Image);
        DrawEffectFrame(Display, Image, style, 4, progress);
    }
    bool Copied(int32_t x, int32_t y) const { return Display.Pixel(x, y) != Old; }
    int32_t SrcX(int32_t x, int32_t y = 0) const { return SourceX(Display.Pixel(x, y)); }
    int32_t SrcY(int32_t x, int32_t y) const { return SourceY(Display.Pixel(x, y)); }
};

TEST(EdgeSweepSource, ExpandInToMiddleMagnifiesTheMiddleFourTimes)
{
    // (200, 0, 600, 600) of Image onto (-400, 0, 1200, 600): columns 300..499 visible.
    const TSourceFrame f(800, 600, 9, 50);
    EXPECT_EQ(f.SrcX(0), 300);
    EXPECT_EQ(f.SrcX(799), 499);
    EXPECT_EQ(f.SrcX(400), 400);
    for (int32_t x = 1; x < 800; ++x)
        ASSERT_LE(f.SrcX(x - 1), f.SrcX(x));
}

TEST(EdgeSweepSource, SlideMovesThePictureAtItsOwnScale)
{
    const TSourceFrame f(800, 600, 3, 50);
    EXPECT_EQ(f.SrcX(400), 0);
    EXPECT_EQ(f.SrcX(799, 599), 399);
    EXPECT_EQ(f.SrcY(799, 599), 599);
    EXPECT_FALSE(f.Copied(399, 0));
}

TEST(EdgeSweepSource, BuildUpStretchesTheSliceNextToTheEdge)
{
    const TSourceFrame right(800, 600, 16, 50); // slice (400, 422) over (400, 800)
    EXPECT_EQ(right.SrcX(399), 399);
    EXPECT_EQ(right.SrcX(400), 400);
    EXPECT_EQ(right.SrcX(799), 421);
    const TSourceFrame late(800, 600, 16, 99); // slice cut to (792, 800)
    EXPECT_EQ(late.SrcX(799), 799);
    EXPECT_EQ(late.SrcX(792), 792);
    const TSourceFrame left(800, 600, 17, 50); // (378, 400) over (0, 400)
    EXPECT_EQ(left.SrcX(0), 378);
    EXPECT_EQ(left.SrcX(399), 399);
    EXPECT_EQ(left.SrcX(400), 400);
}

TEST(EdgeSweepSource, UnrollCarriesAMirroredRoll)
{
    // At 10: s = 40, roll (80, 0, 120, 600) from (120, 0, 160, 600).
    const TSourceFrame f(800, 600, 14, 10);
    EXPECT_EQ(f.SrcX(79), 79);
    EXPECT_GE(f.SrcX(80), 155); // the far end of the source strip first
    EXPECT_LE(f.SrcX(119), 124);
    for (int32_t x = 81; x < 120; ++x)
        ASSERT_LE(f.SrcX(x), f.SrcX(x - 1)) << x;
    EXPECT_FALSE(f.Copied(200, 0));
}

TEST(EdgeSweeps, RollWidth)
{
    EXPECT_EQ(RollWidth(800, 80), 40);  // growing: P div 2
    EXPECT_EQ(RollWidth(800, 400), 80); // a tenth of the side
    EXPECT_EQ(RollWidth(800, 720), 40); // shrinking at the far edge
    EXPECT_EQ(RollWidth(800, 0), 0);
    EXPECT_EQ(RollWidth(800, 799), 0);
}

// Styles 18 to 34 are styles 1 to 17 with x and y exchanged: on the transposed
// picture they draw the transposed frame, pixel for pixel.
TEST(EdgeSweeps, VerticalStylesAreTheHorizontalOnesTransposed)
{
    for (int style = 1; style <= 17; ++style)
        ExpectTransposedFrames(style, style + 17, 90, 50, {1, 10, 33, 50, 77, 99});
}

TEST(EdgeSweeps, TinyProgressShowsOnlyTheOldPicture)
{
    // A 40 x 30 picture at progress 1 has PW = PH = 0.
    for (const int style : {1, 2, 3, 4, 5, 6, 10, 11, 14, 15, 18, 19, 20, 21, 22, 23, 27, 28, 31, 32})
        EXPECT_TRUE(TFrame(40, 30, style, 1).NewArea().IsEmpty()) << style;
}

} // namespace
} // namespace mirel::test
