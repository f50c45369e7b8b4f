#include "effects/corner_sweeps.h"

#include "frame_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirel::test {
namespace {

class CornerSweepArea : public ::testing::TestWithParam<TAreaCase> {};

TEST_P(CornerSweepArea, ShowsTheNewPictureExactlyThere)
{
    const TAreaCase& c = GetParam();
    const TFrame frame(800, 600, c.Style, c.Progress);
    EXPECT_EQ(frame.NewArea(), UnionOfRects(c.NewArea));
}

INSTANTIATE_TEST_SUITE_P(
    At800x600, CornerSweepArea,
    ::testing::Values(TAreaCase{35, 50, {{400, 300, 800, 600}}}, TAreaCase{36, 25, {{600, 0, 800, 150}}},
                      TAreaCase{39, 50, {{400, 300, 800, 600}}}, TAreaCase{42, 50, {{0, 300, 400, 600}}},
                      TAreaCase{43, 50, {{0, 0, 400, 300}}}, TAreaCase{44, 50, {{0, 300, 400, 600}}},
                      TAreaCase{47, 10, {{0, 0, 800, 600}}}, TAreaCase{52, 50, {{200, 150, 600, 450}}},
                      TAreaCase{53, 50, {{200, 150, 600, 450}}},
                      TAreaCase{54, 50, {{0, 0, 800, 150}, {0, 450, 800, 600}, {0, 0, 200, 600}, {600, 0, 800, 600}}},
                      TAreaCase{55, 50, {{0, 0, 201, 151}, {0, 449, 201, 600}, {599, 449, 800, 600}, {599, 0, 800, 151}}},
                      TAreaCase{56, 50, {{0, 0, 201, 151}, {0, 450, 201, 600}, {600, 450, 800, 600}, {600, 0, 800, 151}}}),
    AreaCaseName);

TEST(CornerSweeps, QuartersSlideInWithTruncatingDivision)
{
    // 801 x 600 at 40: PW 320, PH 240. The top-left quarter lands on
    // (-240, 0, 161, 301), 1:1, so column 0 shows source column 240.
    TBitmap display(801, 600, Old), image(801, 600);
    FillCoordinates(image);
    DrawEffectFrame(display, image, 57, 4, 40);
    EXPECT_EQ(SourceX(display.Pixel(0, 0)), 240);
    EXPECT_EQ(SourceX(display.Pixel(160, 300)), 400);
    // Top right (399, -180, 801, 121) from (399, 0, 801, 301).
    EXPECT_EQ(SourceY(display.Pixel(500, 0)), 180);
    EXPECT_EQ(SourceY(display.Pixel(500, 120)), 300);
    // Bottom right (641, 299, 1041, 600) from (401, 299, 801, 600).
    EXPECT_EQ(SourceX(display.Pixel(641, 400)), 401);
    EXPECT_EQ(display.Pixel(640, 400), Old);
    // Bottom left (0, 480, 401, 780) from (0, 301, 401, 600).
    EXPECT_EQ(SourceY(display.Pixel(10, 480)), 301);
    EXPECT_EQ(display.Pixel(10, 479), Old);
}

TEST(CornerSweeps, AppearAndContractMagnifiesTheCorner)
{
    // 49 at 50: (W-PW, H-PH, W, H) = (400, 300, 800, 600) onto (-400, -300, 800, 600).
    TBitmap display(800, 600, Old), image(800, 600);
    FillCoordinates(image);
    DrawEffectFrame(display, image, 49, 4, 50);
    EXPECT_EQ(SourceX(display.Pixel(0, 0)), 533);
    EXPECT_EQ(SourceY(display.Pixel(0, 0)), 400);
    EXPECT_EQ(SourceX(display.Pixel(799, 599)), 799);
    EXPECT_EQ(SourceY(display.Pixel(799, 599)), 599);
}

// The transposed picture turns each corner style into its mirror across the
// diagonal: top right into bottom left, and so on.
TEST(CornerSweeps, MirrorPairsAcrossTheDiagonal)
{
    const int pairs[][2] = {{35, 35}, {36, 38}, {37, 37}, {39, 39}, {40, 42}, {41, 41}, {43, 43},
                            {44, 46}, {45, 45}, {47, 47}, {48, 50}, {49, 49}, {51, 51}, {52, 52},
                            {53, 53}, {54, 54}};
    for (const auto& pair : pairs)
        ExpectTransposedFrames(pair[0], pair[1], 90, 50, {7, 50, 93});
}

} // namespace
} // namespace mirel::test
