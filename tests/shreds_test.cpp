// Uneven shreds, drawn from a black old picture to a white new one. The
// strips' ends come from the shared generator, so the tests seed it and follow
// its sequence by hand to know every jitter.
#include "effects/random.h"
#include "effects/shreds.h"
#include "frame_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <latch>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace mirel::test {
namespace {

// The shared generator's sequence, advanced by hand from a known seed.
struct TSequence {
    uint32_t Seed;

    int32_t Random(int32_t n)
    {
        Seed = Seed * 134775813u + 1u;
        return n <= 0 ? 0 : int32_t((uint64_t{Seed} * uint64_t(n)) >> 32);
    }
    int32_t Jitter(int32_t amp)
    {
        const int32_t first = Random(amp);
        return first - Random(amp);
    }
    void Skip(int draws)
    {
        for (int i = 0; i < draws; ++i)
            Random(0);
    }
};

constexpr uint32_t AnySeed = 0x2545F491u;

// The new pixels of a row (or a column) as [From, To), and whether they are
// one run.
struct TRun {
    bool Single = false;
    int32_t From = 0, To = 0;
};
TRun LineRun(const TFrame& f, int32_t line, bool row)
{
    const int32_t length = row ? f.Display.Width() : f.Display.Height();
    const auto isNew = [&](int32_t i) { return row ? f.IsNew(i, line) : f.IsNew(line, i); };
    TRun run;
    int32_t i = 0;
    while (i < length && !isNew(i))
        ++i;
    run.From = i;
    while (i < length && isNew(i))
        ++i;
    run.To = i;
    while (i < length && !isNew(i))
        ++i;
    run.Single = run.From < run.To && i == length;
    return run;
}
// Row strips: 120 on 800 x 600; column strips: 160. Kinds 1 and 2 draw one
// jitter (two draws) per strip, kinds 3 and 4 two jitters.
TEST(Shreds, DrawsPerFrame)
{
    struct TCase {
        int Style;
        int32_t W, H, Progress;
        int Draws;
    };
    const TCase cases[] = {
        {65, 800, 600, 50, 120 * 2},
        {66, 800, 600, 99, 120 * 2},
        {67, 800, 600, 1, 120 * 4},
        {68, 800, 600, 50, 120 * 4},
        {76, 800, 600, 50, 160 * 2},
        {77, 800, 600, 50, 160 * 2},
        {78, 800, 600, 50, 160 * 4},
        {79, 800, 600, 50, 160 * 4},
        {100, 800, 600, 50, 120 * 2 + 160 * 2},
        {101, 800, 600, 50, 120 * 2 + 160 * 2},
        {102, 800, 600, 50, 120 * 2 + 160 * 2},
        {103, 800, 600, 50, 120 * 2 + 160 * 2},
        {104, 800, 600, 50, 120 * 2 + 160 * 4},
        {105, 800, 600, 50, 120 * 2 + 160 * 4},
        {106, 800, 600, 50, 120 * 4 + 160 * 2},
        {107, 800, 600, 50, 120 * 4 + 160 * 2},
        {108, 800, 600, 50, 120 * 4 + 160 * 4},
        {109, 800, 600, 50, 120 * 4 + 160 * 4},
        {109, 803, 603, 50, 121 * 4 + 161 * 4}, // a part strip at each far edge
        {65, 6, 600, 50, 120 * 2},              // no raggedness, the draws all the same
        {108, 1, 1, 99, 4 + 4},
    };
    for (const TCase& t : cases) {
        SCOPED_TRACE("style " + std::to_string(t.Style) + " on " + std::to_string(t.W) + "x" +
                     std::to_string(t.H));
        SetRandSeed(AnySeed);
        const TFrame f(t.W, t.H, t.Style, t.Progress);
        TSequence expected{AnySeed};
        expected.Skip(t.Draws);
        EXPECT_EQ(RandSeed(), expected.Seed);
    }
}

// On 800 x 600 each strip runs from its nominal end plus a jitter to the far
// edge (or from the near edge), one jitter per strip in order: row strips
// with Amp = 800 / 7 = 114, column strips with Amp = 600 / 7 = 85.
TEST(Shreds, StripsFollowTheDraws)
{
    struct TCase {
        int Style;
        int32_t Progress;
        bool Rows;
        int32_t Amp, Nominal; // Nominal = W - PW (from the right), PH (from the top)
    };
    const TCase cases[] = {
        {65, 50, true, 114, 400},
        {65, 99, true, 114, 8}, // PW 792 is still short of 800: still ragged
        {77, 50, false, 85, 300},
    };
    for (const TCase& t : cases) {
        SCOPED_TRACE(t.Style);
        SetRandSeed(AnySeed);
        const TFrame f(800, 600, t.Style, t.Progress);
        TSequence seq{AnySeed};
        const int32_t across = t.Rows ? 600 : 800, length = t.Rows ? 800 : 600;
        int32_t lowest = 0, highest = 0;
        for (int32_t c = 0; c < across; c += 5) {
            const int32_t J = seq.Jitter(t.Amp);
            ASSERT_LT(std::abs(J), t.Amp);
            lowest = std::min(lowest, J);
            highest = std::max(highest, J);
            for (int32_t line = c; line < c + 5; ++line) {
                const TRun run = LineRun(f, line, t.Rows);
                ASSERT_TRUE(run.Single) << line;
                EXPECT_EQ(run.From, t.Rows ? std::max(t.Nominal + J, 0) : 0) << line;
                EXPECT_EQ(run.To, t.Rows ? length : t.Nominal + J) << line;
            }
        }
        EXPECT_LT(lowest, -t.Amp / 4); // ragged, both ways
        EXPECT_GT(highest, t.Amp / 4);
    }
}

// 603 rows: strips 8 rows tall every 5 rows, so each row but the first few
// belongs to two strips and shows the longer of them; the last strip starts
// at row 600.
TEST(Shreds, StripsOverlapWhenTheHeightIsNoMultipleOf5)
{
    SetRandSeed(AnySeed);
    const TFrame f(800, 603, 66, 50); // PW 400, from the left
    TSequence seq{AnySeed};
    std::vector<int32_t> ends; // per strip, top down
    for (int32_t y = 0; y < 603; y += 5)
        ends.push_back(400 + seq.Jitter(114));
    ASSERT_EQ(ends.size(), 121u);
    for (int32_t row = 0; row < 603; ++row) {
        int32_t end = 0;
        for (int32_t k = 0; k < int32_t(ends.size()); ++k)
            if (5 * k <= row && row < 5 * k + 8)
                end = std::max(end, ends[size_t(k)]);
        const TRun run = LineRun(f, row, true);
        ASSERT_TRUE(run.Single) << row;
        EXPECT_EQ(run.From, 0) << row;
        EXPECT_EQ(run.To, end) << row;
    }
}

// Narrower than 7 pixels, the row strips' Amp is 0: straight ends.
TEST(Shreds, NarrowPictureHasStraightRowEnds)
{
    struct TCase {
        int Style;
        int32_t From, To; // PW = 3 of 6
    };
    for (const TCase t : {TCase{65, 3, 6}, TCase{66, 0, 3}}) {
        SCOPED_TRACE(t.Style);
        const TFrame f(6, 600, t.Style, 50);
        for (int32_t row = 0; row < 600; ++row) {
            const TRun run = LineRun(f, row, true);
            ASSERT_TRUE(run.Single) << row;
            EXPECT_EQ(run.From, t.From) << row;
            EXPECT_EQ(run.To, t.To) << row;
        }
    }
}

// At progress 1 a jitter can outweigh the extent: a half strip's ends cross
// and it covers the span between them, a sliver on the far side of the
// centre line.
TEST(Shreds, CrossedEndsGiveSlivers)
{
    SetRandSeed(AnySeed);
    const TFrame f(800, 600, 67, 1); // PW 8
    TSequence seq{AnySeed};
    int slivers = 0;
    for (int32_t y = 0; y < 600; y += 5) {
        const int32_t J1 = seq.Jitter(114);
        const int32_t J2 = seq.Jitter(114);
        const int32_t left = (792 + J1) / 2, right = (808 + J2) / 2;
        slivers += left > 400 || right < 400;
        const int32_t from = std::min({left, right, 400}), to = std::max({left, right, 400});
        const TRun run = LineRun(f, y, true);
        ASSERT_TRUE(run.Single) << y;
        EXPECT_EQ(run.From, from) << y;
        EXPECT_EQ(run.To, to) << y;
    }
    EXPECT_GT(slivers, 0);
}

// 109 at 50: rows show about x 0..200 and 600..800, columns about y 0..150 and
// 450..600, each end moved by at most half a jitter (rows 56, columns 42).
TEST(Shreds, Style109RoughShape)
{
    SetRandSeed(AnySeed);
    const TFrame f(800, 600, 109, 50);
    int64_t newPixels = 0;
    for (int32_t y = 0; y < 600; ++y)
        for (int32_t x = 0; x < 800; ++x) {
            const bool isNew = f.IsNew(x, y);
            newPixels += isNew;
            if (x < 143 || x >= 657 || y < 108 || y >= 492) {
                ASSERT_TRUE(isNew) << x << ", " << y;
            }
            if (x >= 257 && x < 543 && y >= 193 && y < 407) {
                ASSERT_FALSE(isNew) << x << ", " << y;
            }
        }
    // About all but the middle 400 x 300.
    EXPECT_NEAR(double(newPixels) / (800 * 600), 0.75, 0.05);
}

TEST(ShredRegion, FullExtentIsThePictureForEveryKind)
{
    for (const int32_t kind : {1, 2, 3, 4}) {
        SCOPED_TRACE(kind);
        const TRegion picture = CreateRectRgn(0, 0, 800, 600);
        SetRandSeed(AnySeed);
        EXPECT_EQ(ShredRegion(800, 0, 800, 600, kind, 0), picture);
        EXPECT_EQ(ShredRegion(0, 600, 800, 600, 0, kind), picture);
    }
}

// The row pass draws first; the column pass goes on with the sequence.
TEST(ShredRegion, RowsDrawBeforeColumns)
{
    SetRandSeed(AnySeed);
    const TRegion both = ShredRegion(400, 300, 800, 600, 3, 4);
    const uint32_t after = RandSeed();
    SetRandSeed(AnySeed);
    TRegion passes = ShredRegion(400, 300, 800, 600, 3, 0);
    UniteRgn(passes, ShredRegion(400, 300, 800, 600, 0, 4));
    EXPECT_EQ(both, passes);
    EXPECT_EQ(after, RandSeed());
}

TEST(ShredRegion, OtherKindsActAsKind4)
{
    for (const int32_t kind : {5, 100, -1}) {
        SCOPED_TRACE(kind);
        SetRandSeed(AnySeed);
        const TRegion other = ShredRegion(400, 300, 800, 600, kind, kind);
        const uint32_t after = RandSeed();
        SetRandSeed(AnySeed);
        EXPECT_EQ(other, ShredRegion(400, 300, 800, 600, 4, 4));
        EXPECT_EQ(after, RandSeed());
    }
}

TEST(ShredRegion, NoKindsNoStripsNoDraws)
{
    SetRandSeed(AnySeed);
    EXPECT_TRUE(ShredRegion(400, 300, 800, 600, 0, 0).IsEmpty());
    EXPECT_EQ(RandSeed(), AnySeed);
}

// The kinds of rows and columns of every style here.
struct TShredStyle {
    int Style;
    int32_t HorzKind, VertKind;
};
constexpr TShredStyle ShredStyles[] = {
    {65, 1, 0},  {66, 2, 0},  {67, 3, 0},  {68, 4, 0},  {76, 0, 1},  {77, 0, 2},
    {78, 0, 3},  {79, 0, 4},  {100, 1, 1}, {101, 1, 2}, {102, 2, 1}, {103, 2, 2},
    {104, 1, 3}, {105, 2, 3}, {106, 3, 1}, {107, 3, 2}, {108, 3, 3}, {109, 4, 4},
};

// The region of the frame's comb, drawn with the same seed as the frame.
TRegion ExpectedComb(const TShredStyle& s, const TRect& r, uint32_t step, int32_t progress)
{
    const TEffectGeometry g = CalcEffectGeometry(r, int32_t(step), progress);
    return ShredRegion(s.HorzKind != 0 ? g.PW : 0, s.VertKind != 0 ? g.PH : 0, g.W, g.H, s.HorzKind,
                       s.VertKind);
}

// Every frame shows the new picture exactly through the union of its strips,
// cut to the picture, on sides that are multiples of 5 or not, tiny or one
// pixel thin, with ends inside, crossed or beyond the picture.
TEST(Shreds, FrameIsTheUnionOfTheStrips)
{
    const int32_t sizes[][2] = {{403, 301}, {400, 300}, {7, 3}, {1, 99}, {99, 1}, {13, 17}};
    for (const TShredStyle& s : ShredStyles)
        for (const auto& size : sizes)
            for (const uint32_t step : {1u, 37u})
                for (const int32_t progress : {1, 37, 50, 99}) {
                    SCOPED_TRACE("style " + std::to_string(s.Style) + " on " + std::to_string(size[0]) + "x" +
                                 std::to_string(size[1]) + " step " + std::to_string(step) + " at " +
                                 std::to_string(progress));
                    const uint32_t seed = AnySeed + uint32_t(progress) * 7919u + step;
                    SetRandSeed(seed);
                    const TFrame f(size[0], size[1], s.Style, progress, step);
                    const uint32_t after = RandSeed();
                    SetRandSeed(seed);
                    TRegion expected;
                    CombineRgn(expected, ExpectedComb(s, f.Image.BoundsRect(), step, progress),
                               CreateRectRgn(0, 0, size[0], size[1]), RGN_AND);
                    EXPECT_EQ(f.NewArea(), expected);
                    EXPECT_EQ(RandSeed(), after);
                }
}

bool SamePixels(const TBitmap& a, const TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    for (int32_t y = 0; y < a.Height(); ++y)
        if (!std::equal(a.PixelRow(y), a.PixelRow(y) + a.Width(), b.PixelRow(y)))
            return false;
    return true;
}

// Called directly, a procedure draws the comb of R at the origin, cut to both
// pictures and to the display's clip, whatever their sizes.
TEST(Shreds, CombIsCutToBothPicturesAndTheClip)
{
    struct TCase {
        int32_t DisplayW, DisplayH, ImageW, ImageH;
        TRect R;
        bool Clip;
    };
    const TCase cases[] = {
        {260, 190, 203, 151, Rect(0, 0, 203, 151), false}, // the strips' far ends reach past the image
        {203, 151, 260, 190, Rect(0, 0, 260, 190), false}, // and past the display
        {260, 190, 260, 190, Rect(0, 0, 203, 151), false}, // R smaller than both
        {203, 151, 203, 151, Rect(0, 0, 203, 151), true},
    };
    for (const TShredStyle& s : ShredStyles)
        for (const TCase& t : cases) {
            SCOPED_TRACE("style " + std::to_string(s.Style) + " display " + std::to_string(t.DisplayW) + " image " +
                         std::to_string(t.ImageW) + (t.Clip ? " clipped" : ""));
            TBitmap image(t.ImageW, t.ImageH);
            for (int32_t y = 0; y < t.ImageH; ++y)
                for (int32_t x = 0; x < t.ImageW; ++x)
                    image.SetPixel(x, y, 0xff000000u | uint32_t(x * 977 + y * 131));
            TBitmap display(t.DisplayW, t.DisplayH, Old), expected(t.DisplayW, t.DisplayH, Old);
            const TRegion clip = CreateRoundRectRgn(20, 10, 180, 140, 90, 90);
            if (t.Clip) {
                display.Canvas().SelectClipRgn(clip);
                expected.Canvas().SelectClipRgn(clip);
            }
            SetRandSeed(AnySeed);
            Effects[s.Style].Proc(display, image, t.R, 4, 40);
            SetRandSeed(AnySeed);
            expected.Canvas().DrawBitmapThrough(image, ExpectedComb(s, t.R, 4, 40));
            EXPECT_TRUE(SamePixels(display, expected));
        }
}

// Several threads drawing different shred transitions at once, each from a
// seed of its own, draw the frames one thread draws alone.
TEST(Shreds, ThreadsDrawingAtOnceDrawTheFramesOfOne)
{
    constexpr int Threads = 4;
    const auto draw = [](int thread, TBitmap& display, const TBitmap& image) {
        const TShredStyle& s = ShredStyles[size_t(thread * 5) % std::size(ShredStyles)];
        for (int32_t progress = 1; progress < 100; ++progress) {
            const TRandomScope scope(AnySeed + uint32_t(progress));
            DrawEffectFrame(display, image, s.Style, 4, progress);
        }
    };
    std::vector<std::unique_ptr<TBitmap>> alone, together;
    std::vector<std::unique_ptr<TBitmap>> images;
    for (int t = 0; t < Threads; ++t) {
        images.push_back(std::make_unique<TBitmap>(301 + 2 * t, 203 + 3 * t, New + uint32_t(t)));
        alone.push_back(std::make_unique<TBitmap>(301 + 2 * t, 203 + 3 * t, Old));
        together.push_back(std::make_unique<TBitmap>(301 + 2 * t, 203 + 3 * t, Old));
        draw(t, *alone.back(), *images.back());
    }
    std::latch start(Threads);
    std::vector<std::thread> threads;
    for (int t = 0; t < Threads; ++t)
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            draw(t, *together[size_t(t)], *images[size_t(t)]);
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < Threads; ++t)
        EXPECT_TRUE(SamePixels(*alone[size_t(t)], *together[size_t(t)])) << "thread " << t;
}

} // namespace
} // namespace mirel::test
