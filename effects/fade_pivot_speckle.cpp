// Fade, pivots, speckles and random squares (styles 118-127).
//
// The fade and the pivots touch every pixel of every frame, so they work on
// the 32-bit rows directly, through the kernels of kernels.h: the fade row by
// row, the pivots over the one span of each destination row that has a
// source pixel, walked with two incremental 16.16 accumulators. The speckles
// and the random squares collect rectangles and draw the new picture once
// through their union.
#include "effects/fade_pivot_speckle.h"

#include "effects/draw.h"
#include "effects/kernels.h"
#include "effects/random.h"
#include "surface/parallel.h"

#include <algorithm>
#include <cstring>
#include <cmath>
#include <numbers>
#include <vector>

namespace mirel {

namespace {

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

// The span of a row of pictures too large for 32-bit sums: rare enough to
// be left to the plain loop.
void RotateSpanWide(uint32_t* d, size_t count, const uint32_t* src, int32_t W, uint64_t top, uint64_t a, uint64_t b,
                    uint64_t stepA, uint64_t stepB)
{
    for (size_t x = 0; x < count; ++x) {
        d[x] = src[size_t(top - (b >> 16)) * size_t(W) + size_t(a >> 16)];
        a += stepA;
        b += stepB;
    }
}

// The rows of a rotation. Per row, a = sx * 65536 + fraction and
// b = sy * 65536 + fraction are linear in x, so the x with a source pixel
// (0 <= sx < W, 0 <= sy < H) form one span, found once per row; inside it
// both accumulators lie in [0, side * 65536) and only step. The span is
// solved in 64 bits, so pictures of 32768 pixels a side or more map soundly,
// and wherever 32-bit sums would not overflow the result is theirs exactly.
// TFix is uint32_t when both sides are below 32768 and uint64_t beyond;
// unsigned, so that the step past the span's end wraps harmlessly.
// With Old (of Dest's size), the rest of each row is copied from it in the
// same pass.
template <typename TFix>
void RotateRows(TBitmap& Dest, const TBitmap& Src, const TBitmap* Old, int32_t PX, int32_t PY, int64_t C, int64_t S)
{
    constexpr int64_t One = 65536;
    const int32_t W = Src.Width(), H = Src.Height();
    const int32_t DW = std::min(W, Dest.Width()), DH = std::min(H, Dest.Height());
    const uint32_t* src = Src.PixelRow(0); // rows are contiguous, W pixels apart
    const TFix stepA = TFix(C), stepB = TFix(-S), top = TFix(H - 1);
    const int64_t dx0 = 1 - int64_t(PX);
    // The same pixel AheadRows rows down: dy is AheadRows less there.
    constexpr int64_t AheadRows = 6;
    const auto aheadA = uint32_t(-AheadRows * S), aheadB = uint32_t(-AheadRows * C);
    const TKernels& kernels = Kernels();
    // Rows are independent: bands of them may go to other threads. (Walking
    // them in tiles, for the source's sake, measured slower: the writes no
    // longer stream. What the gather waits for is memory, and the kernels
    // fetch ahead for it.)
    Dest.OwnPixels();
    ForEachBand(0, DH, int64_t{DW} * DH, [&](int32_t bandTop, int32_t bandBottom) {
        for (int32_t y = bandTop; y < bandBottom; ++y) {
            const int64_t dy = int64_t(H) - y - PY;
            const int64_t a0 = dx0 * C + dy * S + PX * One;
            const int64_t b0 = dy * C - dx0 * S + PY * One;
            int64_t lo = 0, hi = DW;
            Narrow(a0, C, 0, W * One, lo, hi);
            Narrow(b0, -S, 0, H * One, lo, hi);
            if (lo >= hi) // no source pixel on this row
                lo = hi = 0;
            if (Old != nullptr) {
                const uint32_t* o = Old->PixelRow(y);
                uint32_t* row = Dest.PixelRow(y);
                std::memcpy(row, o, size_t(lo) * 4);
                std::memcpy(row + hi, o + hi, size_t(Dest.Width() - hi) * 4);
            }
            if (lo == hi)
                continue;
            const TFix a = TFix(a0 + lo * C), b = TFix(b0 - lo * S);
            uint32_t* d = Dest.PixelRow(y) + lo;
            const auto count = size_t(hi - lo);
            if constexpr (sizeof(TFix) == 4)
                kernels.RotateSpan(d, count, src, uint32_t(W), top, a, b, stepA, stepB, aheadA, aheadB);
            else
                RotateSpanWide(d, count, src, W, top, a, b, stepA, stepB);
        }
    });
    for (int32_t y = DH; Old != nullptr && y < Dest.Height(); ++y)
        std::memcpy(Dest.PixelRow(y), Old->PixelRow(y), size_t(Dest.Width()) * 4);
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

void BlendBitmaps(TBitmap& Dest, const TBitmap& Src, int32_t Percent) { BlendBitmaps(Dest, Dest, Src, Percent); }

void BlendBitmaps(TBitmap& Dest, const TBitmap& From, const TBitmap& Src, int32_t Percent)
{
    // A bitmap blended with itself stays as it is.
    if (&Dest == &Src && &From == &Src)
        return;
    const auto p = uint32_t(std::clamp(Percent, 0, 100));
    const int32_t w = std::min({Dest.Width(), From.Width(), Src.Width()});
    const int32_t h = std::min({Dest.Height(), From.Height(), Src.Height()});
    if (w <= 0 || h <= 0)
        return;
    const TKernels& kernels = Kernels();
    Dest.OwnPixels();
    ForEachBand(0, h, int64_t{w} * h, [&](int32_t top, int32_t bottom) {
        for (int32_t y = top; y < bottom; ++y)
            kernels.BlendRow(Dest.PixelRow(y), From.PixelRow(y), Src.PixelRow(y), size_t(w), p);
    });
}

void RotateBitmap(TBitmap& Dest, const TBitmap& Src, int32_t PX, int32_t PY, long double Angle, const TBitmap* Old)
{
    if (Src.Empty() || Dest.Empty())
        return;
    if (&Dest == &Src) { // turning a bitmap in place reads the source whole first
        TBitmap copy;
        copy.Assign(Src);
        copy.OwnPixels();
        RotateBitmap(Dest, copy, PX, PY, Angle, Old);
        return;
    }
    const auto C = int64_t(int32_t(std::trunc(std::cos(Angle) * 65536.0L)));
    const auto S = int64_t(int32_t(std::trunc(std::sin(Angle) * 65536.0L)));
    if (Src.Width() < 32768 && Src.Height() < 32768)
        RotateRows<uint32_t>(Dest, Src, Old, PX, PY, C, S);
    else
        RotateRows<uint64_t>(Dest, Src, Old, PX, PY, C, S);
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

// 119 .. 122: the picture turns into place about one of its corners.
namespace {

enum class TCorner { TopLeft, BottomLeft, TopRight, BottomRight };

void Pivot(TBitmap& Display, const TBitmap* Old, const TBitmap& Image, const TRect& R, int32_t Progress, TCorner c)
{
    const bool left = c == TCorner::TopLeft || c == TCorner::BottomLeft;
    const bool top = c == TCorner::TopLeft || c == TCorner::TopRight;
    RotateBitmap(Display, Image, left ? -1 : R.Right, top ? -1 : R.Bottom,
                 PivotAngle(top == left ? 100 - Progress : Progress - 100), Old);
}

} // namespace

void PivotFromTopLeft(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t, int32_t Progress)
{
    Pivot(Display, nullptr, Image, R, Progress, TCorner::TopLeft);
}

void PivotFromBottomLeft(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t, int32_t Progress)
{
    Pivot(Display, nullptr, Image, R, Progress, TCorner::BottomLeft);
}

void PivotFromTopRight(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t, int32_t Progress)
{
    Pivot(Display, nullptr, Image, R, Progress, TCorner::TopRight);
}

void PivotFromBottomRight(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t, int32_t Progress)
{
    Pivot(Display, nullptr, Image, R, Progress, TCorner::BottomRight);
}

// The fade and the pivots drawn from the old picture in the same pass.
void ComposeFade(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, const TRect&, uint32_t, int32_t Progress)
{
    BlendBitmaps(Display, Old, Image, Progress);
}

void ComposePivotFromTopLeft(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, const TRect& R, uint32_t,
                             int32_t Progress)
{
    Pivot(Display, &Old, Image, R, Progress, TCorner::TopLeft);
}

void ComposePivotFromBottomLeft(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, const TRect& R, uint32_t,
                                int32_t Progress)
{
    Pivot(Display, &Old, Image, R, Progress, TCorner::BottomLeft);
}

void ComposePivotFromTopRight(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, const TRect& R, uint32_t,
                              int32_t Progress)
{
    Pivot(Display, &Old, Image, R, Progress, TCorner::TopRight);
}

void ComposePivotFromBottomRight(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, const TRect& R,
                                 uint32_t, int32_t Progress)
{
    Pivot(Display, &Old, Image, R, Progress, TCorner::BottomRight);
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
