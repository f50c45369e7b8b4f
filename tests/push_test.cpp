// Push and push-and-squeeze: where every pixel of a frame comes from.
#include "effects/push.h"
#include "frame_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace mirel::test {
namespace {

// Both pictures carry their coordinates; the old one has a fourth byte of 0,
// the new one of 0xFF.
struct TPushFrame {
    TBitmap Display, Image;
    TPushFrame(int32_t w, int32_t h, int style, int32_t progress) : Display(w, h), Image(w, h)
    {
        FillCoordinates(Image);
        FillCoordinates(Display);
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x)
                Display.SetPixel(x, y, Display.Pixel(x, y) & 0x00FFFFFFu);
        DrawEffectFrame(Display, Image, style, 4, progress);
    }
};

bool FromNew(uint32_t pixel) { return pixel >> 24 == 0xFF; }

std::string Where(int32_t x, int32_t y) { return std::to_string(x) + "," + std::to_string(y); }

// 774 x 600 at Progress 50: PW 387, PH 300, half of each side. The new
// picture enters unscaled; the old one moves along unscaled (push) or is
// squeezed whole into the other half, every second line of it.
TEST(Push, EveryPixelComesFromItsPlace)
{
    struct TCase {
        int Style;
        bool Vertical; // moves along y
        bool Far;      // towards the right or the bottom
        bool Squeeze;
    };
    constexpr int32_t W = 774, H = 600;
    for (const TCase c : {TCase{128, false, true, false}, {129, false, false, false}, {130, false, true, true},
                          {131, false, false, true}, {132, true, true, false}, {133, true, false, false},
                          {134, true, true, true}, {135, true, false, true}}) {
        SCOPED_TRACE(c.Style);
        const TPushFrame f(W, H, c.Style, 50);
        const int32_t L = c.Vertical ? H : W, P = c.Vertical ? 300 : 387;
        for (int32_t y = 0; y < H; ++y)
            for (int32_t x = 0; x < W; ++x) {
                const uint32_t p = f.Display.Pixel(x, y);
                const int32_t along = c.Vertical ? y : x, across = c.Vertical ? x : y;
                const int32_t from = c.Vertical ? SourceY(p) : SourceX(p);
                // Far: new [0, P) from [L - P, L), old at [P, L). Near: old at
                // [0, L - P), new [L - P, L) from [0, P).
                const bool isNew = c.Far ? along < P : along >= L - P;
                const int32_t oldStart = c.Far ? P : 0;
                ASSERT_EQ(FromNew(p), isNew) << Where(x, y);
                ASSERT_EQ(c.Vertical ? SourceX(p) : SourceY(p), across) << Where(x, y);
                if (isNew)
                    ASSERT_EQ(from, c.Far ? along + L - P : along - (L - P)) << Where(x, y);
                else if (c.Squeeze)
                    ASSERT_LE(std::abs(from - 2 * (along - oldStart)), 1) << Where(x, y);
                else
                    ASSERT_EQ(from, c.Far ? along - P : along + P) << Where(x, y);
            }
    }
}

// 40 x 30 at Progress 1: PW and PH are 0, and the frame is the old picture.
TEST(Push, NothingMovesAtZeroExtent)
{
    for (int style = 128; style <= 135; ++style) {
        SCOPED_TRACE(style);
        const TPushFrame f(40, 30, style, 1);
        for (int32_t y = 0; y < 30; ++y)
            for (int32_t x = 0; x < 40; ++x) {
                const uint32_t p = f.Display.Pixel(x, y);
                ASSERT_FALSE(FromNew(p)) << Where(x, y);
                ASSERT_EQ(SourceX(p), x);
                ASSERT_EQ(SourceY(p), y);
            }
    }
}

} // namespace
} // namespace mirel::test
