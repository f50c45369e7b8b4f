// Fade, pivots, speckles and random squares.
#include "effects/fade_pivot_speckle.h"
#include "effects/random.h"
#include "frame_test_util.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

namespace mirel::test {
namespace {

// The generator's seed after count draws from seed, advanced by hand.
uint32_t Advance(uint32_t seed, int64_t count)
{
    for (int64_t i = 0; i < count; ++i)
        seed = seed * 134775813u + 1u;
    return seed;
}

uint8_t Byte(uint32_t pixel, int k) { return uint8_t(pixel >> (8 * k)); }

TRegion Within(const TRegion& rgn, const TRect& r)
{
    TRegion out;
    CombineRgn(out, rgn, CreateRectRgnIndirect(r), RGN_AND);
    return out;
}

// ---- Fade ----

struct TFadeCase {
    int32_t Progress;
    uint8_t Channel; // 255 * Progress div 100
};

TEST(Fade, BlackToWhiteTruncates)
{
    for (const TFadeCase c : {TFadeCase{50, 127}, {1, 2}, {99, 252}}) {
        SCOPED_TRACE(c.Progress);
        TBitmap display(31, 7, 0x12000000u), image(31, 7, 0x34FFFFFFu);
        DrawEffectFrame(display, image, 118, 4, c.Progress);
        const uint32_t expected = 0x12000000u | uint32_t(c.Channel) * 0x010101u; // fourth byte untouched
        for (int32_t y = 0; y < 7; ++y)
            for (int32_t x = 0; x < 31; ++x)
                ASSERT_EQ(display.Pixel(x, y), expected) << x << "," << y;
    }
}

// Every pair of byte values at every percent: the vector path and the
// leftover pixels (259 is not a multiple of four) against the formula.
TEST(Fade, BlendMatchesFormulaForEveryByteAndPercent)
{
    constexpr int32_t W = 259, H = 256;
    TBitmap src(W, H);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            src.SetPixel(x, y, uint32_t(y) | uint32_t(x & 255) << 8 | uint32_t(255 - y) << 16 | 0x5Au << 24);
    for (int32_t percent = 0; percent <= 100; ++percent) {
        TBitmap dest(W, H);
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x)
                dest.SetPixel(x, y, uint32_t(x & 255) | uint32_t(y) << 8 | uint32_t(x * 7 & 255) << 16 |
                                        uint32_t(x ^ y) << 24);
        TBitmap before(W, H);
        before.Assign(dest);
        BlendBitmaps(dest, src, percent);
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) {
                const uint32_t d = before.Pixel(x, y), s = src.Pixel(x, y), out = dest.Pixel(x, y);
                for (int k = 0; k < 3; ++k)
                    ASSERT_EQ(Byte(out, k), ((100 - percent) * Byte(d, k) + percent * Byte(s, k)) / 100)
                        << "percent " << percent << " at " << x << "," << y << " byte " << k;
                ASSERT_EQ(Byte(out, 3), Byte(d, 3));
            }
    }
}

// ---- Rotation ----

// The rotation pixel by pixel, as written: 32-bit two's complement sums
// (Wide false) or 64-bit ones (Wide true).
template <bool Wide>
void ReferenceRotate(TBitmap& dest, const TBitmap& src, int32_t px, int32_t py, long double angle)
{
    const auto c = int32_t(std::trunc(std::cos(angle) * 65536.0L));
    const auto s = int32_t(std::trunc(std::sin(angle) * 65536.0L));
    const int32_t w = src.Width(), h = src.Height();
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const int64_t dx = int64_t(x) + 1 - px, dy = int64_t(h) - y - py;
            int64_t u, v;
            if constexpr (Wide) {
                u = (dx * c + dy * s) >> 16;
                v = (dy * c - dx * s) >> 16;
            } else {
                u = int32_t(uint32_t(dx) * uint32_t(c) + uint32_t(dy) * uint32_t(s)) >> 16;
                v = int32_t(uint32_t(dy) * uint32_t(c) - uint32_t(dx) * uint32_t(s)) >> 16;
            }
            const int64_t sx = px + u, sy = py + v;
            if (sx >= 0 && sx < w && sy >= 0 && sy < h)
                dest.SetPixel(x, y, src.Pixel(int32_t(sx), int32_t(h - 1 - sy)));
        }
}

constexpr uint32_t Marker = 0x00ABCDEFu; // no pixel of a FillCoordinates picture

bool SamePixels(const TBitmap& a, const TBitmap& b)
{
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x)
            if (a.Pixel(x, y) != b.Pixel(x, y)) {
                ADD_FAILURE() << "first difference at " << x << "," << y;
                return false;
            }
    return true;
}

TEST(RotateBitmap, MatchesThe32BitFormula)
{
    struct TSize {
        int32_t W, H;
    };
    const long double pi = std::numbers::pi_v<long double>;
    for (const TSize size : {TSize{160, 120}, {45, 77}, {1, 1}, {2, 5}, {9, 1}}) {
        TBitmap src(size.W, size.H);
        FillCoordinates(src);
        const int32_t w = size.W, h = size.H;
        const std::vector<std::pair<int32_t, int32_t>> pivots = {{-1, -1}, {-1, h}, {w, -1}, {w, h}, {w / 3, h / 2}};
        for (const auto& [px, py] : pivots)
            for (const long double angle : {99 * pi / 200, -99 * pi / 200, pi / 4, -pi / 200, 0.0L, 2.5L, -3.0L, pi}) {
                SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h) + " pivot " + std::to_string(px) + "," +
                             std::to_string(py) + " angle " + std::to_string(double(angle)));
                TBitmap got(w, h, Marker), want(w, h, Marker);
                RotateBitmap(got, src, px, py, angle);
                ReferenceRotate<false>(want, src, px, py, angle);
                ASSERT_TRUE(SamePixels(got, want));
            }
    }
}

// At angle 0 every pixel comes from one to the right and one up.
TEST(RotateBitmap, AngleZeroIsOffByOnePixel)
{
    TBitmap src(40, 30);
    FillCoordinates(src);
    for (const auto& [px, py] : std::vector<std::pair<int32_t, int32_t>>{{-1, -1}, {40, 30}, {17, 4}}) {
        TBitmap dest(40, 30, Marker);
        RotateBitmap(dest, src, px, py, 0.0L);
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 40; ++x) {
                const uint32_t p = dest.Pixel(x, y);
                if (x == 39 || y == 0) {
                    ASSERT_EQ(p, Marker) << x << "," << y;
                } else {
                    ASSERT_EQ(SourceX(p), x + 1) << x << "," << y;
                    ASSERT_EQ(SourceY(p), y - 1) << x << "," << y;
                }
            }
    }
}

// 40000 rows: dy * 65536 no longer fits 32 bits, and the rows far from the
// pivot map as the 64-bit formula says, not as wrapped sums would.
TEST(RotateBitmap, TallPictureMapsSoundly)
{
    constexpr int32_t W = 2, H = 40000;
    TBitmap src(W, H);
    for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
            src.SetPixel(x, y, uint32_t(y * W + x + 1));
    const long double pi = std::numbers::pi_v<long double>;
    for (const long double angle : {0.0L, pi / 200, -pi / 200, 99 * pi / 200}) {
        SCOPED_TRACE(double(angle));
        TBitmap got(W, H, 0), want(W, H, 0);
        RotateBitmap(got, src, -1, -1, angle);
        ReferenceRotate<true>(want, src, -1, -1, angle);
        ASSERT_TRUE(SamePixels(got, want));
    }
    TBitmap dest(W, H, 0);
    RotateBitmap(dest, src, -1, -1, 0.0L);
    EXPECT_EQ(dest.Pixel(0, 1), src.Pixel(1, 0));
    EXPECT_EQ(dest.Pixel(0, H - 1), src.Pixel(1, H - 2));
}

// At Progress 1 (89.1 degrees) only a thin wedge along one side shows the
// new picture, widest at the row named and about 9 pixels there for a
// picture 600 high (less the one-pixel offset), narrowing to the pivot.
TEST(Pivot, StartsAsThinWedgeAtItsSide)
{
    struct TCase {
        int Style;
        bool Left;      // the wedge's side
        bool WideAtTop; // where it is widest
    };
    constexpr int32_t W = 774, H = 600;
    for (const TCase c : {TCase{119, true, true}, {120, true, false}, {121, false, true}, {122, false, false}}) {
        SCOPED_TRACE(c.Style);
        const TFrame f(W, H, c.Style, 1);
        const auto count = [&](int32_t y) {
            int32_t n = 0;
            for (int32_t x = 0; x < W; ++x)
                n += f.IsNew(x, y);
            return n;
        };
        const int32_t wide = count(c.WideAtTop ? 0 : H - 1), narrow = count(c.WideAtTop ? H - 1 : 0);
        EXPECT_GE(wide, 6);
        EXPECT_LE(wide, 10);
        EXPECT_LE(narrow, 1);
        const TRect side = c.Left ? Rect(0, 0, 10, H) : Rect(W - 10, 0, W, H);
        EXPECT_TRUE(Within(f.NewArea(), side) == f.NewArea()) << "new pixels away from the side";
    }
}

// ---- Speckle ----

// 774 x 600 at Step 4, Progress 50: PW 387, PH 300. Horizontally E 77, F 3,
// N 25 and a strip at every row; vertically E 60, F 3, N 20 and a strip at
// every column.
struct TSpeckleCase {
    int Style;
    int64_t Draws; // strips times squares per strip
    TRect Always;  // the band and the two squares next to it
    TRect Bounds;  // the band and all N squares beyond it
};

TEST(Speckle, DrawsEveryNumberAndFraysTheBand)
{
    const TSpeckleCase cases[] = {
        {123, 600 * 25, Rect(387 - 6, 0, 774, 600), Rect(387 - 75, 0, 774, 600)},
        {124, 600 * 25, Rect(0, 0, 387 + 6, 600), Rect(0, 0, 387 + 75, 600)},
        {125, 774 * 20, Rect(0, 300 - 6, 774, 600), Rect(0, 300 - 60, 774, 600)},
        {126, 774 * 20, Rect(0, 0, 774, 300 + 6), Rect(0, 0, 774, 300 + 60)},
    };
    for (const TSpeckleCase& c : cases) {
        SCOPED_TRACE(c.Style);
        SetRandSeed(20240601u);
        const TFrame f(774, 600, c.Style, 50);
        EXPECT_EQ(RandSeed(), Advance(20240601u, c.Draws));
        const TRegion area = f.NewArea();
        TRegion missing;
        CombineRgn(missing, CreateRectRgnIndirect(c.Always), area, RGN_DIFF);
        EXPECT_TRUE(missing.IsEmpty());
        EXPECT_TRUE(Within(area, c.Bounds) == area);
        EXPECT_GT(area.Area(), c.Always.Width() * int64_t(c.Always.Height())) << "no speckle at all";
    }
}

// The speckles along y build their boxes band by band instead of as the
// union of their strips; the frames show exactly that union, whatever the
// size, the progress and the numbers drawn (odd pitches, strips past the
// edge, squares beyond the picture, a band over all of it).
TEST(Speckle, FramesAlongYShowTheUnionOfTheirStrips)
{
    for (const auto& [w, h] : std::vector<std::pair<int32_t, int32_t>>{{774, 600}, {1, 1}, {37, 213}, {301, 45}}) {
        for (const int style : {125, 126}) {
            for (const int32_t progress : {1, 4, 37, 50, 96, 100}) {
                SCOPED_TRACE(testing::Message() << w << "x" << h << ", style " << style << ", " << progress);
                const uint32_t seed = uint32_t(w * 7919 + progress);
                SetRandSeed(seed);
                const TFrame f(w, h, style, progress);
                const uint32_t after = RandSeed();
                SetRandSeed(seed);
                const TEffectGeometry g = CalcEffectGeometry(Rect(0, 0, w, h), 4, progress);
                TRegion want = SpeckleRegion(g.PW, g.PH, w, h, 0, style == 125 ? 1 : 2);
                CombineRgn(want, want, CreateRectRgnIndirect(Rect(0, 0, w, h)), RGN_AND);
                EXPECT_EQ(RandSeed(), after);
                EXPECT_TRUE(f.NewArea() == want);
            }
        }
    }
}

// Once the band spans the picture no squares are drawn, and no numbers.
TEST(SpeckleRegion, FullBandIsSolid)
{
    const TRect all = Rect(0, 0, 774, 600);
    for (const auto& [horz, vert] : std::vector<std::pair<int, int>>{{1, 0}, {2, 0}, {0, 1}, {0, 2}}) {
        SetRandSeed(7);
        const TRegion rgn = SpeckleRegion(774, 600, 774, 600, horz, vert);
        EXPECT_EQ(RandSeed(), 7u);
        EXPECT_TRUE(Within(rgn, all) == CreateRectRgnIndirect(all));
    }
}

// ---- Random squares ----

TEST(RandomSquares, SameSeedAtEveryFrame)
{
    SetRandSeed(1);
    const TFrame a(774, 600, 127, 40);
    // 46 columns by 36 rows of grid points, one number each.
    EXPECT_EQ(RandSeed(), Advance(774u * 600u, 46 * 36));
    SetRandSeed(0xDEADBEEFu);
    const TFrame b(774, 600, 127, 40);
    EXPECT_TRUE(a.NewArea() == b.NewArea());
}

TEST(RandomSquares, NewAreaOnlyGrows)
{
    TBitmap previous(774, 600, Old);
    for (int32_t progress = 4; progress <= 96; progress += 4) {
        const TFrame f(774, 600, 127, progress);
        for (int32_t y = 0; y < 600; ++y)
            for (int32_t x = 0; x < 774; ++x)
                ASSERT_TRUE(previous.Pixel(x, y) != New || f.IsNew(x, y))
                    << x << "," << y << " lost at " << progress;
        previous.Assign(f.Display);
    }
    EXPECT_FALSE(TFrame(774, 600, 127, 4).NewArea().IsEmpty());
}

// Band 0 (a picture a few pixels across) gives a grid of pitch 1.
TEST(RandomSquares, TinyPictureEnds)
{
    const TFrame f(10, 10, 127, 99);
    EXPECT_EQ(RandSeed(), Advance(100u, 10 * 10));
    EXPECT_FALSE(f.NewArea().IsEmpty());
    EXPECT_TRUE(f.OnlyOldOrNew());
}

// When no grid point is chosen, nothing of the new picture shows.
TEST(RandomSquares, NoSquareDrawsNothing)
{
    constexpr int32_t Progress = 10;
    uint32_t seed = 5u * 5u;
    for (int i = 0; i < 25; ++i) {
        seed = seed * 134775813u + 1u;
        ASSERT_GE(int32_t((uint64_t{seed} * 100u) >> 32), Progress) << "a square would be chosen";
    }
    EXPECT_TRUE(TFrame(5, 5, 127, Progress).NewArea().IsEmpty());
}

} // namespace
} // namespace mirel::test
