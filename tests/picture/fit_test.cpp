// Fitting and filtered scaling: where each mode puts the picture, and what
// the filter does to flat areas, fine detail and transparency.
#include "picture/fit.h"
#include "picture_test_util.h"
#include "surface/rect.h"

#include <gtest/gtest.h>

namespace mirel {
namespace {

using namespace mirel::test;

constexpr uint32_t Red = 0xFFFF0000u, Green = 0xFF00FF00u, Blue = 0xFF0000FFu, White = 0xFFFFFFFFu;
constexpr uint32_t Grey = 0xFF404040u;

// A width x height picture of four flat quadrants.
void Quadrants(TBitmap& b, int32_t width, int32_t height)
{
    b.SetSize(width, height);
    const uint32_t colours[4] = {Red, Green, Blue, White};
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x)
            b.SetPixel(x, y, colours[(y >= height / 2) * 2 + (x >= width / 2)]);
}

bool Near(uint32_t a, uint32_t b, int tolerance = 2) { return PixelDistance(a, b) <= tolerance; }

TEST(FitPicture, EachModePlacesThePicture)
{
    TBitmap source, out;
    Quadrants(source, 200, 100);

    FitPicture(source, 50, 50, TFitMode::Stretch, out, Grey);
    ASSERT_EQ(out.Width(), 50);
    ASSERT_EQ(out.Height(), 50);
    EXPECT_TRUE(Near(out.Pixel(5, 5), Red));
    EXPECT_TRUE(Near(out.Pixel(44, 44), White));

    // The largest centred rectangle of the source's shape; background around.
    FitPicture(source, 100, 100, TFitMode::Aspect, out, Grey);
    const TRect r = AspectFitRect(Rect(0, 0, 200, 100), Rect(0, 0, 100, 100));
    ASSERT_EQ(r, Rect(0, 25, 100, 75));
    EXPECT_EQ(out.Pixel(50, 10), Grey);
    EXPECT_EQ(out.Pixel(50, 90), Grey);
    EXPECT_TRUE(Near(out.Pixel(10, 30), Red));
    EXPECT_TRUE(Near(out.Pixel(90, 70), White));

    // Unscaled: the frame shows the middle of the picture pixel for pixel.
    FitPicture(source, 60, 40, TFitMode::Center, out, Grey);
    for (int32_t y = 0; y < 40; ++y)
        for (int32_t x = 0; x < 60; ++x)
            ASSERT_EQ(out.Pixel(x, y), source.Pixel(x + 70, y + 30)) << x << "," << y;
    // And a small picture in a large frame lies in the middle of background.
    FitPicture(source, 300, 120, TFitMode::Center, out, Grey);
    EXPECT_EQ(out.Pixel(49, 60), Grey);
    EXPECT_EQ(out.Pixel(50, 10), source.Pixel(0, 0));
    EXPECT_EQ(out.Pixel(249, 109), source.Pixel(199, 99));

    // Covering a square frame cuts the sides off: the middle half shows.
    FitPicture(source, 100, 100, TFitMode::Fill, out, Grey);
    EXPECT_TRUE(Near(out.Pixel(10, 10), Red));
    EXPECT_TRUE(Near(out.Pixel(90, 10), Green));
    EXPECT_TRUE(Near(out.Pixel(10, 90), Blue));
    EXPECT_TRUE(Near(out.Pixel(90, 90), White));
    EXPECT_NE(out.Pixel(0, 0), Grey);

    // Blur: Aspect over a dark, blurred cover of the same picture.
    FitPicture(source, 100, 100, TFitMode::Blur, out, Grey);
    EXPECT_TRUE(Near(out.Pixel(10, 30), Red));
    const uint32_t above = out.Pixel(10, 5);
    EXPECT_NE(above, Grey);
    EXPECT_GT(above >> 16 & 0xFF, 40u);    // reddish, from the red quadrant above it
    EXPECT_LT(above >> 16 & 0xFF, 0xF0u);  // darkened
    EXPECT_EQ(above >> 24, 0xFFu);
}

TEST(FitPicture, APictureOfTheFramesSizeIsShownAsItIs)
{
    // Pixel for pixel in every mode, and without a copy of its own: the
    // frame shares the picture's pixels.
    TBitmap source(33, 17);
    for (int32_t y = 0; y < 17; ++y)
        for (int32_t x = 0; x < 33; ++x)
            source.SetPixel(x, y, 0xFF000000u | uint32_t(x * 7919 + y * 104729) % 0xFFFFFFu);
    const TBitmap& picture = source;
    for (TFitMode mode : {TFitMode::Stretch, TFitMode::Aspect, TFitMode::Center, TFitMode::Fill, TFitMode::Blur}) {
        TBitmap out(33, 17, Grey);
        FitPicture(picture, 33, 17, mode, out, Grey);
        const TBitmap& fitted = out;
        ASSERT_EQ(fitted.PixelRow(0), picture.PixelRow(0)) << int(mode);
        // The picture is still the caller's to draw on: that costs it a copy.
        TBitmap drawn;
        FitPicture(picture, 33, 17, mode, drawn);
        drawn.SetPixel(0, 0, Grey);
        EXPECT_EQ(picture.Pixel(0, 0), source.Pixel(0, 0));
        EXPECT_NE(picture.Pixel(0, 0), Grey);
    }
    // A source fitted onto itself stays as it is.
    FitPicture(source, 33, 17, TFitMode::Aspect, source, Grey);
    EXPECT_EQ(source.Width(), 33);
    EXPECT_EQ(source.Pixel(5, 5), 0xFF000000u | uint32_t(5 * 7919 + 5 * 104729) % 0xFFFFFFu);

    // A picture with any transparency still lies over the background.
    source.SetPixel(32, 16, 0x00FFFFFFu);
    TBitmap out;
    FitPicture(source, 33, 17, TFitMode::Aspect, out, Grey);
    EXPECT_EQ(out.Pixel(32, 16), Grey);
    EXPECT_EQ(out.Pixel(5, 5), source.Pixel(5, 5));
}

TEST(FitPicture, EmptyPicturesAndFramesAndTransparency)
{
    TBitmap out, none;
    FitPicture(none, 30, 20, TFitMode::Aspect, out, Grey);
    EXPECT_EQ(out.Width(), 30);
    EXPECT_EQ(out.Pixel(15, 10), Grey);
    TBitmap small;
    Quadrants(small, 10, 10);
    FitPicture(small, 0, 20, TFitMode::Fill, out);
    EXPECT_TRUE(out.Empty());
    // Transparent and half-transparent parts lie over the background.
    TBitmap glass(10, 10, 0x00FF0000u);
    for (int32_t x = 0; x < 10; ++x)
        glass.SetPixel(x, 9, 0x80FFFFFFu);
    FitPicture(glass, 10, 10, TFitMode::Stretch, out, 0xFF000000u);
    EXPECT_EQ(out.Pixel(5, 2), 0xFF000000u);
    EXPECT_TRUE(Near(out.Pixel(5, 9), 0xFF808080u));
}

TEST(ScaleArea, FlatAreasStayFlatAtEveryScale)
{
    // Edges repeat, so no black creeps in from beyond the picture, and the
    // filter's weights add up to one.
    const TBitmap flat(321, 123, 0xFF3080C0u);
    const int32_t sizes[][2] = {{1, 1}, {7, 3}, {80, 31}, {160, 61}, {321, 123}, {500, 200}, {1000, 11}};
    for (const auto& size : sizes) {
        TBitmap out;
        ScaleArea(flat, 0, 0, 321, 123, size[0], size[1], out);
        ASSERT_EQ(out.Width(), size[0]);
        for (int32_t y = 0; y < out.Height(); ++y)
            for (int32_t x = 0; x < out.Width(); ++x)
                ASSERT_TRUE(Near(out.Pixel(x, y), 0xFF3080C0u, 1))
                    << size[0] << "x" << size[1] << " at " << x << "," << y << std::hex << ": " << out.Pixel(x, y);
    }
}

TEST(ScaleArea, ExactCopiesAndAveragedDetail)
{
    TBitmap source(64, 64);
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x)
            source.SetPixel(x, y, 0xFF000000u | uint32_t(x * 4) << 16 | uint32_t(y * 4) << 8 | uint32_t((x ^ y) & 0xFF));
    // At one to one and whole pixels, an area is copied as it is.
    TBitmap out;
    ScaleArea(source, 10, 5, 20, 30, 20, 30, out);
    for (int32_t y = 0; y < 30; ++y)
        for (int32_t x = 0; x < 20; ++x)
            ASSERT_EQ(out.Pixel(x, y), source.Pixel(x + 10, y + 5)) << x << "," << y;

    // A one-pixel checkerboard shrunk by a large and by an odd factor is an
    // even grey, not a moiré of black and white picked by nearest neighbour.
    TBitmap checks(800, 800);
    for (int32_t y = 0; y < 800; ++y)
        for (int32_t x = 0; x < 800; ++x)
            checks.SetPixel(x, y, (x + y) % 2 ? White : 0xFF000000u);
    for (int32_t size : {37, 100, 301}) {
        ScaleArea(checks, 0, 0, 800, 800, size, size, out);
        for (int32_t y = 0; y < size; ++y)
            for (int32_t x = 0; x < size; ++x)
                ASSERT_TRUE(Near(out.Pixel(x, y), 0xFF808080u, 10)) << size << " at " << x << "," << y << std::hex << ": "
                                                                 << out.Pixel(x, y);
    }

    // A sub-pixel move of a ramp lands between its neighbours.
    TBitmap ramp(16, 1);
    for (int32_t x = 0; x < 16; ++x)
        ramp.SetPixel(x, 0, 0xFF000000u | uint32_t(x * 16));
    ScaleArea(ramp, 4.5, 0, 8, 1, 8, 1, out);
    for (int32_t x = 0; x < 8; ++x)
        EXPECT_NEAR(int(out.Pixel(x, 0) & 0xFF), (x + 4) * 16 + 8, 1) << x;
}

TEST(ScaleArea, TransparencyDoesNotDarkenColour)
{
    // Red columns, every other one clear: shrunk by half, a red at half
    // alpha, not a dark red (as filtering without premultiplying would give).
    TBitmap stripes(64, 8);
    for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 64; ++x)
            stripes.SetPixel(x, y, x % 2 ? 0x00000000u : Red);
    TBitmap out;
    ScaleArea(stripes, 0, 0, 64, 8, 32, 4, out);
    for (int32_t x = 2; x < 30; ++x) {
        const uint32_t p = out.Pixel(x, 2);
        EXPECT_NEAR(int(p >> 24), 128, 6) << x;
        EXPECT_EQ(p & 0x00FFFFFFu, 0x00FF0000u) << x << std::hex << ": " << p;
    }
}

} // namespace
} // namespace mirel
