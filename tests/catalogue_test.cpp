#include "effects/catalogue.h"
#include "effects/random.h"

#include "frame_test_util.h"
#include "same_bitmaps.h"

#include <gtest/gtest.h>

#include <utility>

#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace mirel {
namespace {

TEST(Catalogue, NamesAndLookups)
{
    EXPECT_EQ(StyleName(0), "Custom");
    EXPECT_EQ(StyleName(1), "Expand from right");
    EXPECT_EQ(StyleName(76), "Unven shred from bottom");
    EXPECT_EQ(StyleName(150), "Rotational star");
    EXPECT_EQ(StyleName(151), "");
    EXPECT_EQ(StyleName(33), StyleName(18));
    EXPECT_EQ(StyleName(34), StyleName(25));

    // The first of two equal names wins; case does not matter.
    EXPECT_EQ(StyleOfName("EXPAND FROM BOTTOM"), 18);
    EXPECT_EQ(StyleOfName("expand in from top"), 25);
    EXPECT_EQ(StyleOfName("cUsToM"), 0);
    EXPECT_EQ(StyleOfName("Rectangles apear from up and disapear to bottom"), 147);
    EXPECT_EQ(StyleOfName("Expand from bottom "), std::nullopt);
    EXPECT_EQ(StyleOfName(""), std::nullopt);

    // Every row has a procedure, and every name but the two repeats is unique.
    std::set<std::string> names;
    for (int style = 1; style <= MaxShowStyle; ++style) {
        EXPECT_NE(Effects[style].Proc, nullptr) << style;
        names.insert(Effects[style].Name);
    }
    EXPECT_EQ(names.size(), 148u);
}

TEST(Catalogue, Geometry)
{
    struct TCase {
        TRect R;
        int32_t Step, Progress;
        TEffectGeometry Expected;
    };
    const TCase cases[] = {
        {Rect(0, 0, 800, 600), 4, 50, {800, 600, 400, 300, 36}},
        {Rect(0, 0, 600, 800), 4, 50, {600, 800, 300, 400, 36}},
        {Rect(0, 0, 500, 500), 4, 33, {500, 500, 165, 165, 22}},
        {Rect(0, 0, 774, 600), 4, 50, {774, 600, 387, 300, 34}},
        {Rect(0, 0, 40, 30), 4, 1, {40, 30, 0, 0, 2}},
        {Rect(0, 0, 11, 11), 4, 50, {11, 11, 6, 6, 0}}, // Band 0 below 45 / Step
    };
    for (const TCase& t : cases) {
        const TEffectGeometry g = CalcEffectGeometry(t.R, t.Step, t.Progress);
        EXPECT_EQ(g.W, t.Expected.W);
        EXPECT_EQ(g.H, t.Expected.H);
        EXPECT_EQ(g.PW, t.Expected.PW) << t.R.Right << "x" << t.R.Bottom;
        EXPECT_EQ(g.PH, t.Expected.PH) << t.R.Right << "x" << t.R.Bottom;
        EXPECT_EQ(g.Band, t.Expected.Band) << t.R.Right << "x" << t.R.Bottom;
    }
}

TEST(Random, FollowsTheSharedSequence)
{
    SetRandSeed(0);
    const int expected[] = {1, 5, 130, 31, 41, 101};
    for (int e : expected)
        EXPECT_EQ(Random(150) + 1, e);

    SetRandSeed(0);
    EXPECT_EQ(Random(0), 0); // advances all the same
    EXPECT_EQ(RandSeed(), 1u);
    EXPECT_EQ(Random(-3), 0);
    EXPECT_EQ(RandSeed(), 134775814u);
}

// Progress 0 is the old picture and 100 the new one, whatever the style.
TEST(DrawEffectFrame, EndsAreTheOldAndTheNewPicture)
{
    for (int style = 0; style <= MaxShowStyle; ++style) {
        const test::TFrame start(30, 20, style, 0), end(30, 20, style, 100);
        EXPECT_TRUE(start.NewArea().IsEmpty()) << style;
        EXPECT_EQ(end.NewArea(), CreateRectRgn(0, 0, 30, 20)) << style;
    }
    const test::TFrame custom(30, 20, 0, 50);
    EXPECT_TRUE(custom.NewArea().IsEmpty());
}

// RandomFrames names exactly the styles whose frames change with the
// generator's state: the widget draws those again for Display from the
// state it drew them from on screen.
TEST(Catalogue, RandomFramesAreTheStylesDrawnByChance)
{
    TBitmap old, image(160, 90);
    test::FillCoordinates(image);
    test::FillOtherColours(old, image);
    for (int style = 1; style <= MaxShowStyle; ++style) {
        bool differ = false;
        for (const int progress : {20, 50, 80}) {
            TBitmap a, b;
            {
                const TRandomScope scope(1);
                DrawEffectFrame(a, old, image, style, 4, progress);
            }
            {
                const TRandomScope scope(987654321);
                DrawEffectFrame(b, old, image, style, 4, progress);
            }
            differ = differ || !test::SameBitmaps(a, b);
        }
        EXPECT_EQ(differ, RandomFrames(style)) << "style " << style;
    }
}

// A frame built from the old picture in one go is the frame of the old
// picture copied into Display and drawn over, bit for bit: for every style
// (those with a compose form take it), sizes down to one pixel, the ends and
// the middle of a transition, one thread and three, and a Display that held
// something else before, of another size or of the same.
TEST(DrawEffectFrame, FromTheOldPictureGivesTheFrameDrawnOverIt)
{
    int composed = 0;
    for (int style = 1; style <= MaxShowStyle; ++style) {
        composed += Effects[style].Compose != nullptr;
        for (const auto& [w, h] : {std::pair{1, 1}, {7, 3}, {61, 37}, {700, 300}}) {
            if (w * h > 10000 && Effects[style].Compose == nullptr)
                continue; // the large size is there for the split into bands
            TBitmap old, image(w, h);
            test::FillCoordinates(image);
            test::FillOtherColours(old, image);
            image.Canvas().BrushColor = 0xFF0000FFu;
            image.Canvas().FillArea({w / 3, h / 3, w, h});
            for (const int threads : {1, 3}) {
                const test::TDrawingThreads use(threads);
                for (const int progress : {0, 1, 37, 50, 99, 100}) {
                    SetRandSeed(7);
                    TBitmap want;
                    want.Assign(old);
                    DrawEffectFrame(want, image, style, 4, progress);
                    SetRandSeed(7);
                    TBitmap got(w + 3, h, 0xFF123456u), same(w, h, 0xFF654321u);
                    DrawEffectFrame(got, old, image, style, 4, progress);
                    SetRandSeed(7);
                    DrawEffectFrame(same, old, image, style, 4, progress);
                    ASSERT_TRUE(test::SameBitmaps(got, want))
                        << "style " << style << ", " << w << "x" << h << ", progress " << progress;
                    ASSERT_TRUE(test::SameBitmaps(same, want))
                        << "style " << style << ", " << w << "x" << h << ", progress " << progress << ", same size";
                    // Given up by its caller, the old picture becomes the
                    // frame where the style draws over it: no copy.
                    TBitmap spent, taken(w, h, 0xFF654321u);
                    spent.Assign(old);
                    const uint32_t* block = spent.OwnPixels();
                    SetRandSeed(7);
                    DrawEffectFrame(taken, std::move(spent), image, style, 4, progress);
                    ASSERT_TRUE(test::SameBitmaps(taken, want))
                        << "style " << style << ", " << w << "x" << h << ", progress " << progress << ", old given up";
                    if (Effects[style].Compose == nullptr && progress < 100) {
                        EXPECT_EQ(std::as_const(taken).PixelRow(0), block) << "style " << style;
                    }
                    if (Effects[style].Compose == nullptr || progress == 0 || progress == 100)
                        continue;
                    // Composed onto rows of a larger image (as the widget
                    // composes onto a window), the frame is there and
                    // nothing is written around it.
                    constexpr uint32_t Margin = 0xFF5A5A5Au;
                    const int32_t stride = w + 9;
                    std::vector<uint32_t> window(size_t(stride) * size_t(h + 4), Margin);
                    {
                        TBitmap onto(window.data() + 2 * stride + 5, w, h, stride);
                        SetRandSeed(7);
                        Effects[style].Compose(onto, old, image, onto.BoundsRect(), 4, progress);
                    }
                    int wrong = 0;
                    for (int32_t y = 0; y < h + 4; ++y)
                        for (int32_t x = 0; x < stride; ++x) {
                            const bool inside = y >= 2 && y < h + 2 && x >= 5 && x < w + 5;
                            wrong += window[size_t(y) * size_t(stride) + size_t(x)] !=
                                     (inside ? want.Pixel(x - 5, y - 2) : Margin);
                        }
                    ASSERT_EQ(wrong, 0) << "style " << style << ", " << w << "x" << h << ", progress " << progress
                                        << ", onto foreign rows";
                }
            }
        }
    }
    EXPECT_GE(composed, 77) << "the fade, the pivots, the pushes, the sweeps that change whole, the criss-crosses "
                               "and the shreds with column strips, the triangular and the rectangular shred compose";
}

} // namespace
} // namespace mirel
