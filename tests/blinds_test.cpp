// Blinds, rectangular shred, travelling rectangles and rotating shapes.
#include "effects/blinds.h"
#include "frame_test_util.h"

#include <gtest/gtest.h>

#include <functional>
#include <numbers>
#include <string>
#include <vector>

namespace mirel::test {
namespace {

const TRect Picture = Rect(0, 0, 800, 600); // Step 4: Band 36

// Which pixels a frame should show new, said as closed formulas.
struct TFrameCase {
    const char* Name;
    int Style;
    int32_t Progress;
    std::function<bool(int32_t x, int32_t y)> IsNew;
    int32_t W = 800, H = 600;
};

bool Between(int32_t v, int32_t from, int32_t to) { return from <= v && v < to; }

class BlindFrames : public ::testing::TestWithParam<TFrameCase> {};

TEST_P(BlindFrames, ShowExactlyTheExpectedPixels)
{
    const TFrameCase& c = GetParam();
    const TFrame f(c.W, c.H, c.Style, c.Progress);
    int mismatches = 0;
    for (int32_t y = 0; y < c.H; ++y)
        for (int32_t x = 0; x < c.W; ++x)
            if (f.IsNew(x, y) != c.IsNew(x, y) && ++mismatches <= 5)
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") should be " << (c.IsNew(x, y) ? "new" : "old");
    EXPECT_EQ(mismatches, 0);
    EXPECT_TRUE(f.OnlyOldOrNew());
}

// Stripes of period 16 across the rows (4 rows either side of 8) and of 22
// across the columns (5 columns either side of 11); uneven blinds at 50.
bool Stripes145(int32_t, int32_t y) { return Between(y % 16, 4, 12); }
bool Stripes147(int32_t x, int32_t) { return Between(x % 22, 6, 16); } // d = 5 about 11
bool FromLeft50(int32_t x, int32_t) { return x < 200 || Between(x, 400, 600); }
bool FromRight50(int32_t x, int32_t) { return x >= 600 || Between(x, 200, 400); }
bool FromTop50(int32_t, int32_t y) { return y < 150 || Between(y, 300, 450); }
bool FromBottom50(int32_t, int32_t y) { return y >= 450 || Between(y, 150, 300); }

INSTANTIATE_TEST_SUITE_P(
    Combs, BlindFrames,
    ::testing::Values(
        TFrameCase{"Vertically50", 136, 50, [](int32_t x, int32_t) { return x % 22 < 11; }},
        TFrameCase{"Vertically99LeavesAColumnPerPeriod", 136, 99, [](int32_t x, int32_t) { return x % 22 < 21; }},
        TFrameCase{"Horizontally50", 137, 50, [](int32_t, int32_t y) { return y % 16 < 8; }},
        TFrameCase{"FromLeft50", 138, 50, FromLeft50},
        TFrameCase{"FromRight50", 139, 50, FromRight50},
        TFrameCase{"FromTop50", 140, 50, FromTop50},
        TFrameCase{"FromBottom50", 141, 50, FromBottom50},
        TFrameCase{"FromLeft1ShowsNothing", 138, 1, [](int32_t, int32_t) { return false; }},
        // Half-sizes 11 x 8 about the points of a grid of 44 x 33 cells.
        TFrameCase{"Shred50", 142, 50,
                   [](int32_t x, int32_t y) { return (x + 11) % 44 < 22 && (y + 8) % 33 < 16; }},
        TFrameCase{"TravellingFromLeft50", 145, 50,
                   [](int32_t x, int32_t y) { return Stripes145(x, y) || FromLeft50(x, y); }},
        TFrameCase{"TravellingFromRight50", 146, 50,
                   [](int32_t x, int32_t y) { return Stripes145(x, y) || FromRight50(x, y); }},
        TFrameCase{"TravellingFromTop50", 147, 50,
                   [](int32_t x, int32_t y) { return Stripes147(x, y) || FromTop50(x, y); }},
        TFrameCase{"TravellingFromBottom50", 148, 50,
                   [](int32_t x, int32_t y) { return Stripes147(x, y) || FromBottom50(x, y); }},
        // Degenerate periods draw nothing, and a Band of 0 counts as 1.
        TFrameCase{"NarrowerThanBandHasNoVerticalSlats", 136, 50, [](int32_t, int32_t) { return false; }, 3, 700},
        TFrameCase{"NoProgressedWidthHasNoSlats", 139, 1, [](int32_t, int32_t) { return false; }, 40, 30},
        TFrameCase{"BandZeroGivesOneSlat", 136, 50, [](int32_t x, int32_t) { return x < 5; }, 10, 10},
        TFrameCase{"BandZeroGivesOneStripeAndSlats", 145, 50,
                   [](int32_t x, int32_t y) { return Between(y, 3, 7) || x < 2 || Between(x, 5, 7); }, 10, 10}),
    [](const ::testing::TestParamInfo<TFrameCase>& info) { return std::string(info.param.Name); });

struct TCombCase {
    const char* Name;
    TBlindSide Side;
    int32_t P, Progress;
    size_t Count;
    TRect First, Last;
};

class BlindSlats : public ::testing::TestWithParam<TCombCase> {};

// The test comes before every slat, the first included, and pieces may lie
// partly or wholly outside the picture.
TEST_P(BlindSlats, StartAndEndWhereTheTestSays)
{
    const TCombCase& c = GetParam();
    std::vector<TRect> slats;
    AddBlindSlats(slats, Picture, c.Side, c.P, c.Progress);
    ASSERT_EQ(slats.size(), c.Count);
    if (c.Count == 0)
        return;
    EXPECT_EQ(slats.front(), c.First);
    EXPECT_EQ(slats.back(), c.Last);
}

INSTANTIATE_TEST_SUITE_P(
    Combs, BlindSlats,
    ::testing::Values(TCombCase{"Vertically50", TBlindSide::Left, 22, 50, 37, {0, 0, 11, 600}, {792, 0, 803, 600}},
                      TCombCase{"FromRight50", TBlindSide::Right, 400, 50, 3, {600, 0, 800, 600}, {-200, 0, 0, 600}},
                      TCombCase{"FromBottom50", TBlindSide::Bottom, 300, 50, 3, {0, 450, 800, 600}, {0, -150, 800, 0}},
                      TCombCase{"FromLeft1", TBlindSide::Left, 8, 1, 100, {0, 0, 0, 600}, {792, 0, 792, 600}},
                      TCombCase{"PeriodZero", TBlindSide::Right, 0, 50, 0, {}, {}},
                      TCombCase{"PeriodNegative", TBlindSide::Bottom, -1, 50, 0, {}, {}}),
    [](const ::testing::TestParamInfo<TCombCase>& info) { return std::string(info.param.Name); });

TEST(RectangularShred, BuildsAGridOfGrowingRectangles)
{
    const std::vector<TRect> pieces = RectangularShredPieces(Picture, 4, 50);
    ASSERT_EQ(pieces.size(), 19u * 19u);
    EXPECT_EQ(pieces[17 * 19 + 17], Rect(33, 25, 55, 41)); // i = j = 1, counted from n = 18 down
    EXPECT_TRUE(RectangularShredPieces(Picture, 4, 1).empty()); // half-sizes 8 div 36 = 0
}

template <size_t N>
std::vector<TPoint> List(const std::array<TPoint, N>& a)
{
    return {a.begin(), a.end()};
}

TEST(RotatingShapes, TurnClockwiseAsTheyGrow)
{
    EXPECT_EQ(List(RotationalRectanglePoints(Picture, 4, 25)),
              (std::vector<TPoint>{{475, 200}, {475, 400}, {325, 400}, {325, 200}}));
    EXPECT_EQ(List(RotationalRectanglePoints(Picture, 4, 5)),
              (std::vector<TPoint>{{386, 280}, {424, 292}, {414, 320}, {376, 308}}));
    EXPECT_EQ(List(RotationalStarPoints(Picture, 4, 25)),
              (std::vector<TPoint>{{400, -100}, {475, 200}, {700, 300}, {475, 400}, {400, 700}, {325, 400},
                                   {100, 300}, {325, 200}}));
}

TEST(RotatingShapes, RotatePointsUsesTheOldCoordinatesForBoth)
{
    std::vector<TPoint> points{{110, 50}, {100, 60}, {100, 50}};
    RotatePoints(points, 100, 50, std::numbers::pi_v<long double> / 2);
    EXPECT_EQ(points, (std::vector<TPoint>{{100, 60}, {90, 50}, {100, 50}}));
    RotatePoints(points, 100, 50, 0);
    EXPECT_EQ(points, (std::vector<TPoint>{{100, 60}, {90, 50}, {100, 50}}));
}

// Half a turn maps the star onto itself, so the frame shows the unturned star.
TEST(RotatingShapes, StarAtHalfATurnCoversTheUnturnedStar)
{
    const std::array<TPoint, 8> unturned{
        {{-400, 300}, {200, 150}, {400, -300}, {600, 150}, {1200, 300}, {600, 450}, {400, 900}, {200, 450}}};
    const TRegion star = CreatePolygonRgn(unturned.data(), 8);
    const std::array<TPoint, 8> turned = RotationalStarPoints(Picture, 4, 50);
    EXPECT_EQ(CreatePolygonRgn(turned.data(), 8), star);

    const TFrame f(800, 600, 150, 50);
    int mismatches = 0;
    for (int32_t y = 0; y < 600; ++y)
        for (int32_t x = 0; x < 800; ++x)
            mismatches += f.IsNew(x, y) != star.Contains(x, y);
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(star.Area(), 0);
}

TEST(RotatingShapes, RectangleFrameShowsItsPolygon)
{
    const TFrame f(800, 600, 149, 25); // a 150 x 200 upright rectangle about the centre
    for (const TPoint p : {TPoint{325, 200}, TPoint{474, 399}, TPoint{400, 300}})
        EXPECT_TRUE(f.IsNew(p.X, p.Y)) << p.X << ", " << p.Y;
    for (const TPoint p : {TPoint{324, 300}, TPoint{475, 300}, TPoint{400, 199}, TPoint{400, 400}})
        EXPECT_FALSE(f.IsNew(p.X, p.Y)) << p.X << ", " << p.Y;
}

} // namespace
} // namespace mirel::test
