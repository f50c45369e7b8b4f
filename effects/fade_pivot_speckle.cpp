// Fade, pivots, speckles and random squares (styles 118-127).
//
// The fade and the pivots touch every pixel of every frame, so they work on
// the 32-bit rows directly: the fade blends byte by byte in 16-bit lanes, the
// pivots walk each destination row with two incremental 16.16 accumulators
// over the one span of the row that has a source pixel. The speckles and the
// random squares collect rectangles and draw the new picture once through
// their union.
#include "effects/fade_pivot_speckle.h"

#include "effects/draw.h"
#include "effects/random.h"
#include "surface/parallel.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace mirel {

namespace {

// ---- Fade ----

// v div 100 for every v up to 100 * 255 as one multiply-high and a shift:
// the form the vectoriser turns into pmulhuw. Checked over that whole range.
constexpr uint8_t Div100(uint16_t v) { return uint8_t(uint16_t((uint32_t(v) * 5243u) >> 16) >> 3); }

constexpr bool Div100IsExact()
{
    for (uint32_t v = 0; v <= 100 * 255; ++v)
        if (Div100(uint16_t(v)) != v / 100)
            return false;
    return true;
}
static_assert(Div100IsExact());

// One row of count pixels, as bytes: blue, green and red weighted keep : take,
// the fourth byte weighted 100 : 0, which leaves it exactly as it was. Four
// pixels at a time in a loop of fixed length, which the vectoriser takes even
// at -O2 (16 bytes at once in 8 x 16-bit lanes); the few left over one by one.
void BlendRow(uint8_t* __restrict d, const uint8_t* __restrict s, size_t count, uint16_t keep, uint16_t take)
{
    constexpr size_t Block = 16; // bytes: four pixels
    uint16_t keepOf[Block], takeOf[Block];
    for (size_t k = 0; k < Block; ++k) {
        const bool fourth = k % 4 == 3;
        keepOf[k] = fourth ? 100 : keep;
        takeOf[k] = fourth ? 0 : take;
    }
    const size_t bytes = count * 4, blocks = bytes - bytes % Block;
    for (size_t i = 0; i < blocks; i += Block)
        for (size_t k = 0; k < Block; ++k)
            d[i + k] = Div100(uint16_t(d[i + k] * keepOf[k] + s[i + k] * takeOf[k]));
    for (size_t i = blocks; i < bytes; ++i)
        d[i] = Div100(uint16_t(d[i] * keepOf[i % Block] + s[i] * takeOf[i % Block]));
}

// ---- Pivot ----

// ceil(n / d) for d > 0.
int64_t CeilDiv(int64_t n, int64_t d) { return n >= 0 ? (n + d - 1) / d : -(-n / d); }

// Narrows [lo, hi) to the x for which low <= a + x * c < high.
void Narrow(int64_t a, int64_t c, int64_t low, int64_t high, int64_t& lo, int64_t& hi)
{
    if (c == 0) {
        if (a < low || a >= high)
            hi = lo;
        return;
    }
    if (c < 0) { // the same condition on -a - x * c, which grows with x
        Narrow(-a, -c, 1 - high, 1 - low, lo, hi);
        return;
    }
    lo = std::max(lo, CeilDiv(low - a, c));
    hi = std::min(hi, CeilDiv(high - a, c));
}

// The rows of a rotation. Per row, a = sx * 65536 + fraction and
// b = sy * 65536 + fraction are linear in x, so the x with a source pixel
// (0 <= sx < W, 0 <= sy < H) form one span, found once per row; inside it
// both accumulators lie in [0, side * 65536) and only step. The span is
// solved in 64 bits, so pictures of 32768 pixels a side or more map soundly,
// and wherever 32-bit sums would not overflow the result is theirs exactly.
// TFix is uint32_t when both sides are below 32768 and uint64_t beyond;
// unsigned, so that the step past the span's end wraps harmlessly.
template <typename TFix>
void RotateRows(TBitmap& Dest, const TBitmap& Src, int32_t PX, int32_t PY, int64_t C, int64_t S)
{
    constexpr int64_t One = 65536;
    const int32_t W = Src.Width(), H = Src.Height();
    const int32_t DW = std::min(W, Dest.Width()), DH = std::min(H, Dest.Height());
    const uint32_t* src = Src.PixelRow(0); // rows are contiguous, W pixels apart
    const TFix stepA = TFix(C), stepB = TFix(-S), top = TFix(H - 1);
    const int64_t dx0 = 1 - int64_t(PX);
    // Rows are independent: bands of them may go to other threads.
    ForEachBand(0, DH, int64_t{DW} * DH, [&](int32_t bandTop, int32_t bandBottom) {
        for (int32_t y = bandTop; y < bandBottom; ++y) {
            const int64_t dy = int64_t(H) - y - PY;
            const int64_t a0 = dx0 * C + dy * S + PX * One;
            const int64_t b0 = dy * C - dx0 * S + PY * One;
            int64_t lo = 0, hi = DW;
            Narrow(a0, C, 0, W * One, lo, hi);
            Narrow(b0, -S, 0, H * One, lo, hi);
            if (lo >= hi)
                continue;
            TFix a = TFix(a0 + lo * C), b = TFix(b0 - lo * S);
            uint32_t* d = Dest.PixelRow(y) + lo;
            const int64_t count = hi - lo;
            int64_t x = 0;
            if constexpr (sizeof(TFix) == 4) {
                // Eight source offsets at a time in a loop of fixed length, which
                // the vectoriser takes (the loads themselves stay one by one).
                constexpr int Block = 8;
                for (; x + Block <= count; x += Block) {
                    uint32_t at[Block];
                    for (int k = 0; k < Block; ++k)
                        at[k] = (top - ((b + TFix(k) * stepB) >> 16)) * TFix(W) + ((a + TFix(k) * stepA) >> 16);
                    for (int k = 0; k < Block; ++k)
                        d[x + k] = src[at[k]];
                    a += Block * stepA;
                    b += Block * stepB;
                }
            }
            for (; x < count; ++x) {
                d[x] = src[size_t(top - (b >> 16)) * size_t(W) + size_t(a >> 16)];
                a += stepA;
                b += stepB;
            }
        }
    });
}

// ---- Speckle ----

// One part of a speckle: strips F deep that overlap by half across the
// picture, each the band of length P at one end of the moving axis (of
// length L) and squares beyond its edge. Horz says the moving axis is x.
void AddSpecklePart(std::vector<TRect>& rects, int32_t P, int32_t L, int32_t Across, int Mode, bool Horz)
{
    const int32_t E = P < L ? L / 10 : 0;
    const int32_t F = std::max(E / 20, 2);
    const int32_t N = E / F, T = 3 * E / F / 4;
    const auto add = [&](int32_t m0, int32_t m1, int32_t a0) {
        rects.push_back(Horz ? Rect(m0, a0, m1, a0 + F) : Rect(a0, m0, a0 + F, m1));
    };
    for (int32_t A = 0; A < Across; A += F / 2) {
        if (Mode == 1)
            add(L - P, L, A);
        else
            add(0, P, A);
        // Square I lies I squares beyond the band; the ones near it (I <= T)
        // come twice as often. A number is drawn for every I.
        for (int32_t I = N; I >= 1; --I) {
            const int32_t Near = I <= T ? 1 : 0;
            if (Random(I) > Near)
                continue;
            if (Mode == 1)
                add(L - P - I * F, L - P - I * F + F, A);
            else
                add(P + I * F - F, P + I * F, A);
        }
    }
}

// The pivots' angle: 0.9 degrees a percent, in extended precision.
long double PivotAngle(int32_t Percent) { return Percent * std::numbers::pi_v<long double> / 200; }

void SpeckleFrame(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress,
                  int HorzMode, int VertMode)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    DrawImageThrough(Display, Image, SpeckleRegion(PW, PH, W, H, HorzMode, VertMode));
}

} // namespace

void BlendBitmaps(TBitmap& Dest, const TBitmap& Src, int32_t Percent)
{
    // A bitmap blended with itself stays as it is.
    if (&Dest == &Src)
        return;
    const int32_t p = std::clamp(Percent, 0, 100);
    const int32_t w = std::min(Dest.Width(), Src.Width()), h = std::min(Dest.Height(), Src.Height());
    ForEachBand(0, h, int64_t{w} * h, [&](int32_t top, int32_t bottom) {
        for (int32_t y = top; y < bottom; ++y)
            BlendRow(reinterpret_cast<uint8_t*>(Dest.PixelRow(y)),
                     reinterpret_cast<const uint8_t*>(Src.PixelRow(y)), size_t(std::max(w, 0)), uint16_t(100 - p),
                     uint16_t(p));
    });
}

void RotateBitmap(TBitmap& Dest, const TBitmap& Src, int32_t PX, int32_t PY, long double Angle)
{
    if (Src.Empty() || Dest.Empty())
        return;
    if (&Dest == &Src) { // turning a bitmap in place reads the source whole first
        TBitmap copy;
        copy.Assign(Src);
        RotateBitmap(Dest, copy, PX, PY, Angle);
        return;
    }
    const auto C = int64_t(int32_t(std::trunc(std::cos(Angle) * 65536.0L)));
    const auto S = int64_t(int32_t(std::trunc(std::sin(Angle) * 65536.0L)));
    if (Src.Width() < 32768 && Src.Height() < 32768)
        RotateRows<uint32_t>(Dest, Src, PX, PY, C, S);
    else
        RotateRows<uint64_t>(Dest, Src, PX, PY, C, S);
}

TRegion SpeckleRegion(int32_t PW, int32_t PH, int32_t W, int32_t H, int HorzMode, int VertMode)
{
    std::vector<TRect> rects;
    if (HorzMode != 0)
        AddSpecklePart(rects, PW, W, H, HorzMode, true);
    if (VertMode != 0)
        AddSpecklePart(rects, PH, H, W, VertMode, false);
    return UnionOfRects(rects);
}

// 118
void Fade(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t Progress)
{
    BlendBitmaps(Display, Image, Progress);
}

// 119
void PivotFromTopLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t Progress)
{
    RotateBitmap(Display, Image, -1, -1, PivotAngle(100 - Progress));
}

// 120
void PivotFromBottomLeft(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t, int32_t Progress)
{
    RotateBitmap(Display, Image, -1, R.Bottom, PivotAngle(Progress - 100));
}

// 121
void PivotFromTopRight(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t, int32_t Progress)
{
    RotateBitmap(Display, Image, R.Right, -1, PivotAngle(Progress - 100));
}

// 122
void PivotFromBottomRight(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t, int32_t Progress)
{
    RotateBitmap(Display, Image, R.Right, R.Bottom, PivotAngle(100 - Progress));
}

// 123
void SpeckleAppearFromRight(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    SpeckleFrame(Display, Image, R, Step, Progress, 1, 0);
}

// 124
void SpeckleAppearFromLeft(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    SpeckleFrame(Display, Image, R, Step, Progress, 2, 0);
}

// 125
void SpeckleAppearFromBottom(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    SpeckleFrame(Display, Image, R, Step, Progress, 0, 1);
}

// 126
void SpeckleAppearFromTop(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    SpeckleFrame(Display, Image, R, Step, Progress, 0, 2);
}

// 127: a grid of squares twice the pitch wide, each chosen with a chance of
// Progress percent. The seed is the same at every frame, so a square once
// chosen stays chosen and the new picture only grows.
void RandomSquaresAppear(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    SetRandSeed(uint32_t(W) * uint32_t(H));
    // A Band of 0 (a picture of a few pixels) acts as 1: the finest grid.
    const int32_t Size = Band > 1 ? Band / 2 : 1;
    std::vector<TRect> squares;
    for (int32_t X = 0; X < W; X += Size)
        for (int32_t Y = 0; Y < H; Y += Size)
            if (Random(100) < Progress)
                squares.push_back(Rect(X - Size, Y - Size, X + Size, Y + Size));
    // No square chosen draws nothing new.
    DrawImageThrough(Display, Image, UnionOfRects(squares));
}

} // namespace mirel
