#include "surface/region.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace mirel {
namespace {

TEST(RectRegion, PutsEdgesInOrderAndEmptiesZeroExtents)
{
    EXPECT_EQ(CreateRectRgn(10, 8, 2, 1), CreateRectRgn(2, 1, 10, 8));
    EXPECT_TRUE(CreateRectRgn(5, 0, 5, 100).IsEmpty());
    EXPECT_TRUE(CreateRectRgn(0, 7, 100, 7).IsEmpty());
    EXPECT_EQ(CreateRectRgn(-5, -5, 5, 5).Bounds(), Rect(-5, -5, 5, 5));
}

TEST(CombineRgn, FourModes)
{
    const TRegion a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 5, 15, 15);
    struct TCase {
        TCombineMode Mode;
        int64_t Area;
        bool HasCorner00, HasCentre, HasCorner14;
    };
    const TCase cases[] = {
        {RGN_AND, 25, false, true, false},
        {RGN_OR, 175, true, true, true},
        {RGN_XOR, 150, true, false, true},
        {RGN_DIFF, 75, true, false, false},
    };
    for (const TCase& t : cases) {
        TRegion d;
        CombineRgn(d, a, b, t.Mode);
        EXPECT_EQ(d.Area(), t.Area) << t.Mode;
        EXPECT_EQ(d.Contains(0, 0), t.HasCorner00) << t.Mode;
        EXPECT_EQ(d.Contains(7, 7), t.HasCentre) << t.Mode;
        EXPECT_EQ(d.Contains(14, 14), t.HasCorner14) << t.Mode;
    }
}

TEST(CombineRgn, DestinationMayBeASource)
{
    TRegion a = CreateRectRgn(0, 0, 10, 10);
    CombineRgn(a, a, CreateRectRgn(5, 0, 20, 10), RGN_XOR);
    EXPECT_EQ(a.Area(), 50 + 100);
    EXPECT_FALSE(a.Contains(7, 3));
}

// Properties over random rectangles: inclusion-exclusion, xor as the union
// minus the intersection, and the one-pass union equal to pairwise unions.
TEST(CombineRgn, SetAlgebraHoldsOnRandomRectangles)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<int32_t> coord(-50, 50);
    const auto randomRect = [&] { return Rect(coord(rng), coord(rng), coord(rng), coord(rng)); };
    for (int i = 0; i < 200; ++i) {
        const TRegion a = CreateRectRgnIndirect(randomRect()), b = CreateRectRgnIndirect(randomRect());
        TRegion u, n, x, d;
        CombineRgn(u, a, b, RGN_OR);
        CombineRgn(n, a, b, RGN_AND);
        CombineRgn(x, a, b, RGN_XOR);
        CombineRgn(d, u, n, RGN_DIFF);
        EXPECT_EQ(u.Area(), a.Area() + b.Area() - n.Area());
        EXPECT_EQ(x, d);
    }
    for (int i = 0; i < 20; ++i) {
        std::vector<TRect> rects;
        TRegion pairwise;
        for (int k = 0; k < 60; ++k) {
            rects.push_back(randomRect());
            UniteRgn(pairwise, CreateRectRgnIndirect(rects.back()));
        }
        EXPECT_EQ(UnionOfRects(rects), pairwise);
    }
}

// Boxes handed over y-x banded are taken as they are, in one pass; bands
// split in two, boxes cut into touching pieces and boxes out of order must
// still give the region pixman would build, box for box.
TEST(FromBandedBoxes, GivesTheRegionPixmanBuilds)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<int32_t> coord(-40, 40);
    for (int i = 0; i < 300; ++i) {
        std::vector<TRect> rects;
        for (int k = 0; k < 1 + i % 25; ++k)
            rects.push_back(Rect(coord(rng), coord(rng), coord(rng), coord(rng)));
        const TRegion want = UnionOfRects(rects);
        int count = 0;
        const pixman_box32_t* box = pixman_region32_rectangles(const_cast<pixman_region32_t*>(want.Native()), &count);
        // The same area, banded still: each band cut at a row inside it
        // into two bands, each box cut in two touching pieces.
        std::vector<pixman_box32_t> split;
        for (int b = 0; b < count;) {
            int end = b;
            while (end < count && box[end].y1 == box[b].y1)
                ++end;
            const int32_t y1 = box[b].y1, y2 = box[b].y2, cut = i % 2 != 0 && y2 - y1 > 1 ? y1 + 1 : y2;
            for (const auto& [top, bottom] : {std::pair{y1, cut}, std::pair{cut, y2}}) {
                if (top == bottom)
                    continue;
                for (int k = b; k < end; ++k) {
                    const int32_t mid = box[k].x2 - box[k].x1 > 1 && i % 3 == 0 ? box[k].x1 + 1 : box[k].x2;
                    split.push_back({box[k].x1, top, mid, bottom});
                    if (mid < box[k].x2)
                        split.push_back({mid, top, box[k].x2, bottom});
                }
            }
            b = end;
        }
        EXPECT_EQ(TRegion::FromBandedBoxes(split), want);
        EXPECT_EQ(pixman_region32_n_rects(TRegion::FromBandedBoxes(split).Native()), count);
        std::reverse(split.begin(), split.end());
        EXPECT_EQ(TRegion::FromBandedBoxes(split), want);
    }
}

TEST(RoundRectRegion, LimitsTheEllipseToTheRectangle)
{
    // An oversized corner ellipse becomes the rectangle's inscribed ellipse.
    const TRegion full = CreateRoundRectRgn(0, 0, 100, 50, 1000, 1000);
    EXPECT_EQ(full, CreateRoundRectRgn(0, 0, 100, 50, 100, 50));
    EXPECT_NEAR(double(full.Area()), M_PI * 50 * 25, M_PI * 50 * 25 * 0.02);
    EXPECT_TRUE(full.Contains(0, 25));    // the ends of the long axis
    EXPECT_TRUE(full.Contains(99, 25));
    EXPECT_FALSE(full.Contains(0, 0));    // not the corners
    EXPECT_FALSE(full.Contains(99, 49));
    EXPECT_EQ(full.Bounds(), Rect(0, 0, 100, 50));

    // Limited on one axis only: a stadium whose ends are half-ellipses.
    const TRegion stadium = CreateRoundRectRgn(0, 0, 400, 50, 100, 1000);
    EXPECT_EQ(stadium, CreateRoundRectRgn(0, 0, 400, 50, 100, 50));
    EXPECT_TRUE(stadium.Contains(200, 0)); // the straight middle reaches the edges
    EXPECT_FALSE(stadium.Contains(0, 0));

    EXPECT_EQ(CreateRoundRectRgn(0, 0, 30, 20, 0, 0), CreateRectRgn(0, 0, 30, 20));
    EXPECT_EQ(CreateRoundRectRgn(30, 20, 0, 0, 10, 10), CreateRoundRectRgn(0, 0, 30, 20, 10, 10));
    EXPECT_TRUE(CreateRoundRectRgn(0, 0, 0, 20, 10, 10).IsEmpty());
}

TEST(PolygonRegion, DegenerateInputIsEmpty)
{
    const TPoint two[] = {{0, 0}, {10, 10}};
    const TPoint line[] = {{0, 0}, {5, 5}, {10, 10}};
    const TPoint flat[] = {{0, 3}, {10, 3}, {20, 3}};
    EXPECT_TRUE(CreatePolygonRgn(two, 2).IsEmpty());
    EXPECT_TRUE(CreatePolygonRgn(line, 3).IsEmpty());
    EXPECT_TRUE(CreatePolygonRgn(flat, 3).IsEmpty());
    EXPECT_TRUE(CreatePolygonRgn(nullptr, 0).IsEmpty());
}

TEST(PolygonRegion, SamplesPixelCentres)
{
    const TPoint square[] = {{0, 0}, {10, 0}, {10, 5}, {0, 5}};
    EXPECT_EQ(CreatePolygonRgn(square, 4), CreateRectRgn(0, 0, 10, 5));
    const TPoint reversed[] = {{0, 5}, {10, 5}, {10, 0}, {0, 0}};
    EXPECT_EQ(CreatePolygonRgn(reversed, 4), CreateRectRgn(0, 0, 10, 5));

    // Row y of this triangle keeps the pixels whose centre is left of 9.5 - y.
    const TPoint triangle[] = {{0, 0}, {10, 0}, {0, 10}};
    const TRegion t = CreatePolygonRgn(triangle, 3);
    EXPECT_EQ(t.Area(), 45);
    EXPECT_TRUE(t.Contains(8, 0));
    EXPECT_FALSE(t.Contains(9, 0));
    EXPECT_TRUE(t.Contains(0, 8));
}

TEST(PolygonRegion, FillsByWinding)
{
    // A pentagram: its centre is wound twice, so winding fill keeps it where
    // even-odd fill would leave a hole.
    const TPoint star[] = {{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}};
    const TRegion r = CreatePolygonRgn(star, 5);
    EXPECT_TRUE(r.Contains(50, 50));
    EXPECT_TRUE(r.Contains(50, 10));
    EXPECT_FALSE(r.Contains(50, 85));

    // Two overlapping squares traced as one polygon, both clockwise.
    const TPoint twice[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}, {5, 5}, {15, 5}, {15, 15}, {5, 15}, {5, 5}};
    EXPECT_EQ(CreatePolygonRgn(twice, 10).Area(), 175);
}

} // namespace
} // namespace mirel
