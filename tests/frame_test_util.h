// Rendering frames for effect tests: a black old picture, a white new one,
// and questions about which pixels turned white.
#pragma once

#include "effects/catalogue.h"
#include "surface/bitmap.h"
#include "surface/region.h"

#include <gtest/gtest.h>

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

// A picture whose every pixel is different, to check where copies come from:
// the pixel at (x, y) is 0xFF000000 | y << 12 | x (x, y < 4096).
inline void FillCoordinates(TBitmap& bmp)
{
    for (int32_t y = 0; y < bmp.Height(); ++y)
        for (int32_t x = 0; x < bmp.Width(); ++x)
            bmp.SetPixel(x, y, 0xFF000000u | uint32_t(y) << 12 | uint32_t(x));
}
inline int32_t SourceX(uint32_t pixel) { return int32_t(pixel & 0xFFF); }
inline int32_t SourceY(uint32_t pixel) { return int32_t((pixel >> 12) & 0xFFF); }

} // namespace mirel::test
