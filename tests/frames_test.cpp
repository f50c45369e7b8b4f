#include "effects/frames.h"
#include "effects/random.h"

#include "frame_test_util.h"
#include "same_bitmaps.h"

#include <gtest/gtest.h>

#include <vector>

namespace mirel {
namespace {

struct TPictures {
    TBitmap Old, Image;
    TPictures(int32_t w, int32_t h) : Image(w, h)
    {
        test::FillCoordinates(Image);
        test::FillOtherColours(Old, Image);
    }
};

// Every pixel that differs between a and b lies inside area.
bool ChangesInside(const TBitmap& a, const TBitmap& b, const TRegion& area)
{
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x)
            if (a.Pixel(x, y) != b.Pixel(x, y) && !area.Contains(x, y))
                return false;
    return true;
}

// One frame from the builder, which must be the frame drawn over the old
// picture in full, bit for bit, with nothing changed outside the area it
// reports (changed).
testing::AssertionResult DrawsTheFrame(TFrameBuilder& builder, TBitmap& display, const TPictures& pictures,
                                       int style, int32_t progress, TRegion& changed)
{
    TBitmap before;
    before.Assign(display);
    before.OwnPixels();
    SetRandSeed(uint32_t(progress));
    changed = builder.Draw(display, pictures.Old, pictures.Image, style, 4, progress);
    SetRandSeed(uint32_t(progress));
    TBitmap want;
    DrawEffectFrame(want, pictures.Old, pictures.Image, style, 4, progress);
    if (!test::SameBitmaps(display, want))
        return testing::AssertionFailure() << "not the frame drawn over the old picture";
    if (!ChangesInside(before, display, changed))
        return testing::AssertionFailure() << "a change outside the area reported";
    return testing::AssertionSuccess();
}

// Frame after frame, forwards, backwards and through both ends, the builder's
// frame is the one drawn over the old picture in full, bit for bit, and
// nothing changed outside the area it reports. For every style, on one
// thread and three; most styles are drawn over their last frame.
TEST(FrameBuilder, EachFrameIsTheOneDrawnOverTheOldPicture)
{
    std::vector<int32_t> progress;
    for (int32_t p = 0; p <= 100; p += 9)
        progress.push_back(p);
    progress.insert(progress.end(), {97, 50, 13, 14, 14, 99, 100, 30, 0, 60});
    int drawnOver = 0;
    for (int style = 1; style <= MaxShowStyle; ++style) {
        bool partly = false;
        for (const auto& [w, h, threads] : {std::tuple{1, 1, 1}, {7, 3, 1}, {61, 37, 1}, {37, 61, 3}}) {
            const test::TDrawingThreads use(threads);
            const TPictures pictures(w, h);
            TFrameBuilder builder;
            TBitmap display(w, h, 0xFF123456u);
            for (const int32_t p : progress) {
                TRegion changed;
                ASSERT_TRUE(DrawsTheFrame(builder, display, pictures, style, p, changed))
                    << "style " << style << ", " << w << "x" << h << ", progress " << p;
                partly = partly || !(changed == TRegion(display.BoundsRect()));
            }
        }
        drawnOver += partly;
        EXPECT_TRUE(!partly || !RaggedFrames(style)) << "style " << style << " is not to be followed";
    }
    // All but the fade, the pushes and the ragged ones: the sweeps with a
    // compose form and the pivots, whose turned picture is an area of the
    // canvas, too.
    EXPECT_GE(drawnOver, 109);

    // Ragged shapes, the shred from the right (its ends drawn anew every
    // frame) and the random squares, are followed to the end.
    for (const int style : {65, 127}) {
        const TPictures pictures(1280, 200);
        TFrameBuilder builder;
        TBitmap display;
        int partly = 0;
        for (int32_t p = 2; p < 100; p += 6) {
            TRegion changed;
            ASSERT_TRUE(DrawsTheFrame(builder, display, pictures, style, p, changed))
                << "style " << style << ", progress " << p;
            partly += !(changed == TRegion(display.BoundsRect()));
        }
        EXPECT_EQ(partly, 16) << "style " << style;
    }
}

// A reveal redraws the strip it gained, not the frame, and a reveal from both
// sides its two strips; whatever else draws on
// Display between two frames, through the canvas or past it, is gone from
// the next frame.
TEST(FrameBuilder, DrawsOnlyWhatChangedAndOverridesOtherDrawing)
{
    const TPictures pictures(200, 100);
    TFrameBuilder builder;
    TBitmap display;
    const TRegion whole(Rect(0, 0, 200, 100));
    const int reveal = 5; // "Reveal from left"
    EXPECT_EQ(builder.Draw(display, pictures.Old, pictures.Image, reveal, 4, 40), whole);
    EXPECT_EQ(builder.Draw(display, pictures.Old, pictures.Image, reveal, 4, 44), TRegion(Rect(80, 0, 88, 100)));
    EXPECT_EQ(builder.Draw(display, pictures.Old, pictures.Image, reveal, 4, 20), TRegion(Rect(40, 0, 88, 100)));

    const auto next = [&](int32_t p) {
        TRegion changed = builder.Draw(display, pictures.Old, pictures.Image, reveal, 4, p);
        TBitmap want;
        DrawEffectFrame(want, pictures.Old, pictures.Image, reveal, 4, p);
        EXPECT_TRUE(test::SameBitmaps(display, want)) << p;
        return changed;
    };
    display.Canvas().BrushColor = 0xFF00FF00u;
    display.Canvas().FillArea(Rect(150, 10, 160, 20));
    EXPECT_EQ(next(24), whole);
    display.SetPixel(190, 90, 0xFF00FF00u);
    EXPECT_EQ(next(28), whole);
    EXPECT_EQ(next(32), TRegion(Rect(56, 0, 64, 100)));
    builder.Reset();
    EXPECT_EQ(next(36), whole);

    const int sides = 12; // "Reveal in from sides"
    builder.Draw(display, pictures.Old, pictures.Image, sides, 4, 40);
    TRegion strips = CreateRectRgn(41, 0, 45, 100);
    UniteRgn(strips, CreateRectRgn(155, 0, 159, 100));
    EXPECT_EQ(builder.Draw(display, pictures.Old, pictures.Image, sides, 4, 44), strips);

    // The last frame drawn in place: over a reveal, the part not shown yet;
    // the frames after it go on from it, and one not drawn by the builder
    // before gets the whole picture.
    EXPECT_EQ(next(80), whole);
    EXPECT_EQ(builder.DrawLast(display, pictures.Old, pictures.Image, reveal), TRegion(Rect(160, 0, 200, 100)));
    EXPECT_TRUE(test::SameBitmaps(display, pictures.Image));
    EXPECT_EQ(next(40), TRegion(Rect(80, 0, 200, 100)));
    EXPECT_EQ(builder.DrawLast(display, pictures.Old, pictures.Image, sides), whole);
    EXPECT_TRUE(test::SameBitmaps(display, pictures.Image));
}

} // namespace
} // namespace mirel
