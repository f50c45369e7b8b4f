#include "effects/catalogue.h"
#include "effects/random.h"
#include "surface/parallel.h"

#include "frame_test_util.h"
#include "same_bitmaps.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace mirel::test {
namespace {


TEST(ForEachBand, CoversEveryRowOnce)
{
    const TDrawingThreads threads(3);
    for (const int32_t rows : {1, 2, 7, 1000}) {
        std::vector<std::atomic<int>> seen(static_cast<size_t>(rows));
        ForEachBand(0, rows, int64_t{1} << 30, [&](int32_t top, int32_t bottom) {
            for (int32_t y = top; y < bottom; ++y)
                seen[size_t(y)]++;
        });
        for (const auto& s : seen)
            ASSERT_EQ(s.load(), 1) << rows;
    }
}

// A frame is the same, pixel for pixel and in the random numbers drawn,
// whatever the number of drawing threads.
TEST(ForEachBand, FramesDoNotDependOnTheThreadCount)
{
    const int32_t w = 701, h = 503; // large enough to be split
    TBitmap old(w, h), image(w, h), one(w, h), many(w, h);
    FillCoordinates(image);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            old.SetPixel(x, y, 0xFF000000u | uint32_t((x * 13 + y * 7) & 0xFFFFFF));
    for (int style = 1; style <= MaxShowStyle; ++style)
        for (const int32_t progress : {3, 50, 97}) {
            uint32_t seedAfter[2];
            for (const int threads : {1, 3}) {
                const TDrawingThreads set(threads);
                TBitmap& display = threads == 1 ? one : many;
                display.Assign(old);
                SetRandSeed(12345);
                DrawEffectFrame(display, image, style, 4, progress);
                seedAfter[threads == 1 ? 0 : 1] = RandSeed();
            }
            ASSERT_EQ(seedAfter[0], seedAfter[1]) << "style " << style;
            if (SameBitmaps(one, many))
                continue;
            for (int32_t y = 0; y < h; ++y)
                for (int32_t x = 0; x < w; ++x)
                    ASSERT_EQ(one.Pixel(x, y), many.Pixel(x, y))
                        << "style " << style << " progress " << progress << " at " << x << "," << y;
        }
}

} // namespace
} // namespace mirel::test
