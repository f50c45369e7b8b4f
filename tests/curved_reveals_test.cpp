// Curved and circular reveals: the frame shows the new picture exactly inside
// the effect's rounded rectangle, the corner effects have their quarter-ellipse,
// and the circular pair are complements half way.
#include "effects/curved_reveals.h"
#include "frame_test_util.h"

#include <gtest/gtest.h>

#include <string>

namespace mirel::test {
namespace {

constexpr int32_t W = 800, H = 600; // so PW = 8 * Progress, PH = 6 * Progress

// The part of region that lies on the picture.
TRegion OnPicture(TRegion region)
{
    CombineRgn(region, region, CreateRectRgn(0, 0, W, H), RGN_AND);
    return region;
}

struct TRoundRectCase {
    const char* Name;
    int Style;
    int32_t Progress;
    int32_t Left, Top, Right, Bottom, EllipseWidth, EllipseHeight;
};

class RoundRectShapes : public ::testing::TestWithParam<TRoundRectCase> {};

TEST_P(RoundRectShapes, FrameShowsTheRegion)
{
    const TRoundRectCase& c = GetParam();
    const TFrame frame(W, H, c.Style, c.Progress);
    EXPECT_FALSE(frame.Display.Canvas().HasClipRgn());
    EXPECT_EQ(frame.NewArea(),
              OnPicture(CreateRoundRectRgn(c.Left, c.Top, c.Right, c.Bottom, c.EllipseWidth, c.EllipseHeight)));
}

INSTANTIATE_TEST_SUITE_P(
    Curved, RoundRectShapes,
    ::testing::Values(
        TRoundRectCase{"FromLeftAt50", 58, 50, -1600, -5, 800, 605, 1600, 1600},
        TRoundRectCase{"FromRightAt25", 59, 25, 400, -5, 2400, 605, 1600, 1600},
        TRoundRectCase{"FromTopAt50", 69, 50, -5, -1200, 805, 600, 1200, 1200},
        TRoundRectCase{"FromBottomAt30", 70, 30, -5, 240, 805, 1800, 1200, 1200},
        TRoundRectCase{"FromTopLeftAt25", 80, 25, -1600, -1200, 400, 300, 1600, 1200},
        TRoundRectCase{"FromTopRightAt25", 81, 25, 400, -1200, 2400, 300, 1600, 1200},
        TRoundRectCase{"FromBottomLeftAt25", 82, 25, -1600, 300, 400, 1800, 1600, 1200},
        // A circle of radius H, not the W x H ellipse of the other corners.
        TRoundRectCase{"FromBottomRightAt25", 83, 25, 400, 300, 2400, 1800, 1200, 1200},
        TRoundRectCase{"FromCentreAt25", 84, 25, 200, 150, 600, 450, 360, 270},
        TRoundRectCase{"FromCentreAt50", 84, 50, 0, 0, 800, 600, 720, 540}),
    [](const ::testing::TestParamInfo<TRoundRectCase>& info) { return std::string(info.param.Name); });

TEST(CircularRevealToCentre, ShowsThePictureOutsideTheShrinkingShape)
{
    const TFrame frame(W, H, 85, 25);
    TRegion outside = CreateRectRgn(0, 0, W, H);
    CombineRgn(outside, outside, CreateRoundRectRgn(-200, -150, 1000, 750, 1080, 810), RGN_DIFF);
    EXPECT_EQ(frame.NewArea(), outside);
    EXPECT_FALSE(frame.Display.Canvas().HasClipRgn());
}

TEST(CircularReveals, AreComplementsHalfWay)
{
    const TRegion out = TFrame(W, H, 84, 50).NewArea(), in = TFrame(W, H, 85, 50).NewArea();
    TRegion both, either;
    CombineRgn(both, out, in, RGN_AND);
    CombineRgn(either, out, in, RGN_OR);
    EXPECT_TRUE(both.IsEmpty());
    EXPECT_EQ(either, CreateRectRgn(0, 0, W, H));
    EXPECT_FALSE(out.IsEmpty()); // the near-ellipse leaves the corners to 85
    EXPECT_FALSE(in.IsEmpty());
}

// At 25 the corner effects uncover less than x < 400, y < 300 seen from their
// corner: a quarter-ellipse about (-400, -300) with half-axes 800 and 600.
struct TCornerCase {
    int Style;
    bool MirrorX, MirrorY; // the starting corner's side
};

class CornerShape : public ::testing::TestWithParam<TCornerCase> {};

TEST_P(CornerShape, QuarterEllipseAt25)
{
    const TCornerCase& c = GetParam();
    const TFrame frame(W, H, c.Style, 25);
    const auto at = [&](int32_t x, int32_t y) {
        return frame.IsNew(c.MirrorX ? W - 1 - x : x, c.MirrorY ? H - 1 - y : y);
    };
    EXPECT_TRUE(at(100, 100));  // well inside the quarter-ellipse
    EXPECT_FALSE(at(390, 290)); // inside the rectangle, beyond the ellipse
    // The ellipse meets the first row at x = 292.4 and the first column at
    // y = 219.4; the rectangle's straight sides lie outside the picture.
    EXPECT_TRUE(at(291, 0));
    EXPECT_FALSE(at(293, 0));
    EXPECT_TRUE(at(0, 218));
    EXPECT_FALSE(at(0, 220));
    EXPECT_FALSE(at(400, 0));   // past the rectangle
    EXPECT_FALSE(at(0, 300));
}

INSTANTIATE_TEST_SUITE_P(Curved, CornerShape,
                         ::testing::Values(TCornerCase{80, false, false}, TCornerCase{81, true, false},
                                           TCornerCase{82, false, true}),
                         [](const ::testing::TestParamInfo<TCornerCase>& info) {
                             return "Style" + std::to_string(info.param.Style);
                         });

} // namespace
} // namespace mirel::test
