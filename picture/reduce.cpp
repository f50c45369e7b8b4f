#include "picture/reduce.h"

#include <algorithm>

namespace mirel::picture {

TBlockReducer::TBlockReducer(uint32_t width, uint32_t height, uint32_t k, TBitmap& out)
    : Width(width), Height(height), K(k), Out(out)
{
    const uint32_t reducedWidth = (width + k - 1) / k, reducedHeight = (height + k - 1) / k;
    Out.SetSize(int32_t(reducedWidth), int32_t(reducedHeight), 0);
    Sums.assign(size_t(reducedWidth) * 4, 0);
}

int64_t TBlockReducer::WorkingBytes(uint32_t width, uint32_t k)
{
    return int64_t((width + k - 1) / k) * 4 * int64_t(sizeof(uint64_t));
}

void TBlockReducer::Add(uint32_t y, const uint32_t* row)
{
    if (y / K != Block) {
        Emit();
        Block = y / K;
    }
    // Colour is weighted by alpha, so that a transparent pixel's colour,
    // which shows nowhere, does not bleed into its neighbours: the average
    // the fitter would take of premultiplied pixels, without their rounding.
    uint64_t* sums = Sums.data();
    for (uint32_t x0 = 0; x0 < Width; x0 += K, sums += 4) {
        const uint32_t x1 = std::min(Width, x0 + K);
        uint64_t a = 0, r = 0, g = 0, b = 0;
        for (uint32_t x = x0; x < x1; ++x) {
            const uint32_t p = row[x], pa = p >> 24;
            a += pa;
            r += (p >> 16 & 0xFF) * pa;
            g += (p >> 8 & 0xFF) * pa;
            b += (p & 0xFF) * pa;
        }
        sums[0] += a;
        sums[1] += r;
        sums[2] += g;
        sums[3] += b;
    }
}

void TBlockReducer::Finish() { Emit(); }

void TBlockReducer::Emit()
{
    if (Block == UINT32_MAX)
        return;
    const uint32_t rows = std::min(K, Height - Block * K);
    uint32_t* out = Out.PixelRow(int32_t(Block));
    uint64_t* sums = Sums.data();
    for (uint32_t x0 = 0; x0 < Width; x0 += K, sums += 4, ++out) {
        const uint64_t n = uint64_t(std::min(Width, x0 + K) - x0) * rows, a = sums[0];
        const auto colour = [a](uint64_t c) { return a == 0 ? 0u : uint32_t((c + a / 2) / a); };
        *out = uint32_t((a + n / 2) / n) << 24 | colour(sums[1]) << 16 | colour(sums[2]) << 8 | colour(sums[3]);
        std::fill(sums, sums + 4, 0);
    }
    Block = UINT32_MAX;
}

} // namespace mirel::picture
