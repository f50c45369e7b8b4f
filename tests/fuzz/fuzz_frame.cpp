// Draws one frame of a fuzzer-chosen style, size (up to 2048 a side), step,
// progress and generator seed, and checks the frame contract afterwards.
#include "effects/catalogue.h"
#include "effects/random.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace mirel;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 12)
        return 0;
    const auto u16 = [&](size_t at) { return uint32_t(data[at]) | uint32_t(data[at + 1]) << 8; };
    const int style = 1 + data[0] % MaxShowStyle;
    const int32_t w = 1 + int32_t(u16(1) % 2048), h = 1 + int32_t(u16(3) % 2048);
    const uint32_t step = 1 + data[5] % 100;
    const int32_t progress = 1 + data[6] % 99;
    uint32_t seed = 0;
    std::memcpy(&seed, data + 7, 4);
    // Keep an execution quick: large areas are rare but allowed.
    if (int64_t{w} * h > (int64_t{1} << 20) && data[11] % 16 != 0)
        return 0;

    TBitmap display(w, h, clBlack), image(w, h, clWhite);
    SetRandSeed(seed);
    Effects[style].Proc(display, image, image.BoundsRect(), step, progress);
    if (display.Canvas().HasClipRgn() || display.Width() != w || display.Height() != h)
        std::abort();
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            if (image.Pixel(x, y) != clWhite)
                std::abort();
    return 0;
}
