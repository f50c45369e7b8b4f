// Pixel-for-pixel comparison of two bitmaps, for tests and fuzz targets alike
// (no test framework needed).
#pragma once

#include "surface/bitmap.h"

#include <algorithm>

namespace mirel::test {

inline bool SameBitmaps(const TBitmap& a, const TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    // Row by row: a row compares as one memcmp, which keeps the checks quick
    // in unoptimised sanitizer builds too.
    for (int32_t y = 0; y < a.Height(); ++y)
        if (!std::equal(a.PixelRow(y), a.PixelRow(y) + a.Width(), b.PixelRow(y)))
            return false;
    return true;
}

} // namespace mirel::test
