// Rendering frames for effect tests: a black old picture, a white new one,
// and questions about which pixels turned white.
#pragma once

#include "effects/catalogue.h"
#include "surface/bitmap.h"
#include "surface/parallel.h"
#include "surface/region.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace mirel::test {

constexpr uint32_t Old = clBlack;
constexpr uint32_t New = clWhite;

// One frame of style at progress, from black to white, on a w x h picture.
struct TFrame {
    TBitmap Display;
    TBitmap Image;

    TFrame(int32_t w, int32_t h, int style, int32_t progress, uint32_t step = 4)
        : Display(w, h, Old), Image(w, h, New)
    {
        DrawEffectFrame(Display, Image, style, step, progress);
    }

    bool IsNew(int32_t x, int32_t y) const { return Display.Pixel(x, y) == New; }

    // The pixels that show the new picture, as a region.
    TRegion NewArea() const;

    // Every pixel is either old or new: no effect of this kind mixes colours.
    bool OnlyOldOrNew() const;
};

inline TRegion TFrame::NewArea() const
{
    TRegion area;
    for (int32_t y = 0; y < Display.Height(); ++y) {
        int32_t x = 0;
        while (x < Display.Width()) {
            if (!IsNew(x, y)) {
                ++x;
                continue;
            }
            const int32_t start = x;
            while (x < Display.Width() && IsNew(x, y))
                ++x;
            UniteRgn(area, CreateRectRgn(start, y, x, y + 1));
        }
    }
    return area;
}

inline bool TFrame::OnlyOldOrNew() const
{
    for (int32_t y = 0; y < Display.Height(); ++y)
        for (int32_t x = 0; x < Display.Width(); ++x)
            if (Display.Pixel(x, y) != Old && Display.Pixel(x, y) != New)
                return false;
    return true;
}

// Draws on n threads while it lives, then on one again, whatever the test does.
struct TDrawingThreads {
    explicit TDrawingThreads(int n) { SetDrawingThreads(n); }
    ~TDrawingThreads() { SetDrawingThreads(1); }
    TDrawingThreads(const TDrawingThreads&) = delete;
    TDrawingThreads& operator=(const TDrawingThreads&) = delete;
};

// A picture whose every pixel is different, to check where copies come from:
// the pixel at (x, y) is 0xFF000000 | y << 12 | x (x, y < 4096).
inline void FillCoordinates(TBitmap& bmp)
{
    for (int32_t y = 0; y < bmp.Height(); ++y)
        for (int32_t x = 0; x < bmp.Width(); ++x)
            bmp.SetPixel(x, y, 0xFF000000u | uint32_t(y) << 12 | uint32_t(x));
}
// An old picture for image: its pixels in other colours, the fourth byte too.
inline void FillOtherColours(TBitmap& old, const TBitmap& image)
{
    old.SetSize(image.Width(), image.Height());
    for (int32_t y = 0; y < image.Height(); ++y)
        for (int32_t x = 0; x < image.Width(); ++x)
            old.SetPixel(x, y, image.Pixel(x, y) ^ 0x7FC0A050u);
}

inline int32_t SourceX(uint32_t pixel) { return int32_t(pixel & 0xFFF); }
inline int32_t SourceY(uint32_t pixel) { return int32_t((pixel >> 12) & 0xFFF); }

// A row of a table of frames: where the new picture shows at a progress, as
// rectangles whose union is the new area.
struct TAreaCase {
    int Style;
    int32_t Progress;
    std::vector<TRect> NewArea;
};

inline std::string AreaCaseName(const ::testing::TestParamInfo<TAreaCase>& info)
{
    return "Style" + std::to_string(info.param.Style) + "At" + std::to_string(info.param.Progress);
}

// Checks that style on a w x h picture and mirrored on the transposed picture
// (x and y exchanged) draw transposed frames, pixel for pixel.
inline void ExpectTransposedFrames(int style, int mirrored, int32_t w, int32_t h,
                                   const std::vector<int32_t>& progressValues)
{
    TBitmap image(w, h), imageT(h, w);
    FillCoordinates(image);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            imageT.SetPixel(y, x, image.Pixel(x, y));
    for (const int32_t progress : progressValues) {
        TBitmap display(w, h, Old), displayT(h, w, Old);
        DrawEffectFrame(display, image, style, 4, progress);
        DrawEffectFrame(displayT, imageT, mirrored, 4, progress);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                ASSERT_EQ(displayT.Pixel(y, x), display.Pixel(x, y))
                    << "styles " << style << "/" << mirrored << " at " << progress << ", pixel " << x << "," << y;
    }
}

} // namespace mirel::test
