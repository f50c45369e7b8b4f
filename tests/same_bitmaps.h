// Pixel-for-pixel comparison of two bitmaps, for tests and fuzz targets alike
// (no test framework needed).
#pragma once

#include "surface/bitmap.h"

namespace mirel::test {

inline bool SameBitmaps(const TBitmap& a, const TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x)
            if (a.Pixel(x, y) != b.Pixel(x, y))
                return false;
    return true;
}

} // namespace mirel::test
