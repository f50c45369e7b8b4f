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
// same pass; without, the spans are drawn through Dest's canvas as an area,
// so that a frame drawn over the last one knows where the picture lies.
template <typename TFix>
void RotateRows(TBitmap& Dest, const TBitmap& Src, const TBitmap* Old, int32_t PX, int32_t PY, int64_t C, int64_t S)
{
    constexpr int64_t One = 65536;
    const int32_t W = Src.Width(), H = Src.Height();
    const int32_t DW = std::min(W, Dest.Width()), DH = std::min(H, Dest.Height());
    const int64_t dx0 = 1 - int64_t(PX);
    struct TSpan {
        int64_t A, B; // the accumulators at x = 0
        int32_t Lo, Hi;
    };
    const auto rowSpan = [&](int32_t y) {
        const int64_t dy = int64_t(H) - y - PY;
        const int64_t a0 = dx0 * C + dy * S + PX * One;
        const int64_t b0 = dy * C - dx0 * S + PY * One;
        int64_t lo = 0, hi = DW;
        Narrow(a0, C, 0, W * One, lo, hi);
        Narrow(b0, -S, 0, H * One, lo, hi);
        if (lo >= hi) // no source pixel on this row
            lo = hi = 0;
        return TSpan{a0, b0, int32_t(lo), int32_t(hi)};
    };
    // The spans found for the area of a frame drawn through the canvas;
    // otherwise each band finds its own. Bands on other threads reach them
    // through the reference (the thread_local's name would be theirs).
    thread_local std::vector<TSpan> spanCache;
    std::vector<TSpan>& spans = spanCache;
    spans.clear();
    const uint32_t* src = Src.PixelRow(0);
    const int32_t pitch = Src.BytesPerLine() / 4; // from one source row to the next
    const TFix stepA = TFix(C), stepB = TFix(-S), top = TFix(H - 1);
    // The same pixel AheadRows rows down: dy is AheadRows less there.
    constexpr int64_t AheadRows = 6;
    const auto aheadA = uint32_t(-AheadRows * S), aheadB = uint32_t(-AheadRows * C);
    const TKernels& kernels = Kernels();
    // Rows are independent: bands of them may go to other threads. (Walking
    // them in tiles, for the source's sake, measured slower: the writes no
    // longer stream. What the gather waits for is memory, and the kernels
    // fetch ahead for it.)
    const auto draw = [&] {
        ForEachBand(0, DH, int64_t{DW} * DH, [&](int32_t bandTop, int32_t bandBottom) {
            for (int32_t y = bandTop; y < bandBottom; ++y) {
                const auto [a0, b0, lo, hi] = spans.empty() ? rowSpan(y) : spans[size_t(y)];
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
                    kernels.RotateSpan(d, count, src, uint32_t(pitch), top, a, b, stepA, stepB, aheadA, aheadB);
                else
                    RotateSpanWide(d, count, src, pitch, top, a, b, stepA, stepB);
            }
        });
    };
    if (Old == nullptr) {
        const auto area = [&] {
            std::vector<pixman_box32_t> boxes;
            boxes.reserve(size_t(std::max(DH, 0)));
            for (int32_t y = 0; y < DH; ++y) {
                const TSpan& s = spans.emplace_back(rowSpan(y));
                if (s.Lo < s.Hi)
                    boxes.push_back({s.Lo, y, s.Hi, y + 1});
            }
            return TRegion::FromBandedBoxes(boxes);
        };
        Dest.Canvas().DrawArea(area, draw);
        return;
    }
    Dest.OwnPixels();
    draw();
    for (int32_t y = DH; y < Dest.Height(); ++y)
        std::memcpy(Dest.PixelRow(y), Old->PixelRow(y), size_t(Dest.Width()) * 4);
}

// ---- Speckle ----

// One part of a speckle: strips F deep that overlap by half across the
// picture, each the band of length P at one end of the moving axis (of
// length L) and squares beyond its edge, on cells F long.
struct TSpeckle {
    int32_t P, L, Across, Mode;
    int32_t E = P < L ? L / 10 : 0;
    int32_t F = std::max(E / 20, 2);
    int32_t N = E / F; // cells beyond the band
    int32_t T = 3 * E / F / 4;

    // Cell I along the moving axis: I squares beyond the band, 0 the band.
    int32_t CellStart(int32_t I) const
    {
        if (I == 0)
            return Mode == 1 ? L - P : 0;
        return Mode == 1 ? L - P - I * F : P + I * F - F;
    }
    int32_t CellEnd(int32_t I) const
    {
        if (I == 0)
            return Mode == 1 ? L : P;
        return CellStart(I) + F;
    }

    // f(A, I) for every cell shown: strip by strip (A its start across), the
    // band first, then the squares from the farthest in. Square I comes
    // twice as often near the band (I <= T). A number is drawn for every
    // square, shown or not.
    template <typename TFunction>
    void ForEachCell(TFunction f) const
    {
        for (int32_t A = 0; A < Across; A += F / 2) {
            f(A, 0);
            for (int32_t I = N; I >= 1; --I) {
                const int32_t Near = I <= T ? 1 : 0;
                if (Random(I) <= Near)
                    f(A, I);
            }
        }
    }
};

void AddSpecklePart(std::vector<TRect>& rects, const TSpeckle& s, bool Horz)
{
    s.ForEachCell([&](int32_t A, int32_t I) {
        const int32_t m0 = s.CellStart(I), m1 = s.CellEnd(I);
        rects.push_back(Horz ? Rect(m0, A, m1, A + s.F) : Rect(A, m0, A + s.F, m1));
    });
}

// What a speckle frame works with, kept per thread so that a frame
// allocates nothing once the first has sized it.
struct TSpeckleScratch {
    std::vector<uint8_t> Shown; // strip k's cell I at k * (N + 1) + I
    std::vector<pixman_box32_t> Boxes;
};

// The boxes of a speckle along y, y-x banded. Its strips stand as columns,
// and their cells line up across them, so each row of cells is one band: the
// strips that show that cell, merged where they touch or overlap. (The union
// of the strips' rectangles comes to the same boxes, at the cost of sorting
// and merging thousands of narrow columns: more than drawing them.)
void VerticalSpeckleBoxes(TSpeckleScratch& scratch, const TSpeckle& s)
{
    const int32_t pitch = s.F / 2, cells = s.N + 1;
    const int32_t strips = (s.Across + pitch - 1) / pitch;
    scratch.Shown.assign(size_t(strips) * size_t(cells), 0);
    s.ForEachCell([&](int32_t A, int32_t I) { scratch.Shown[size_t(A / pitch) * size_t(cells) + size_t(I)] = 1; });
    scratch.Boxes.clear();
    // Top to bottom: at the bottom (Mode 1) the farthest square first and the
    // band last, at the top the band first.
    for (int32_t row = 0; row < cells; ++row) {
        const int32_t I = s.Mode == 1 ? s.N - row : row;
        const int32_t y0 = s.CellStart(I), y1 = s.CellEnd(I);
        if (y0 >= y1)
            continue;
        const size_t bandStart = scratch.Boxes.size();
        for (int32_t k = 0; k < strips; ++k) {
            if (scratch.Shown[size_t(k) * size_t(cells) + size_t(I)] == 0)
                continue;
            const int32_t x0 = k * pitch, x1 = x0 + s.F;
            if (scratch.Boxes.size() > bandStart && scratch.Boxes.back().x2 >= x0)
                scratch.Boxes.back().x2 = x1;
            else
                scratch.Boxes.push_back({x0, y0, x1, y1});
        }
    }
}

// The pivots' angle: 0.9 degrees a percent, in extended precision.
long double PivotAngle(int32_t Percent) { return Percent * std::numbers::pi_v<long double> / 200; }

void SpeckleFrame(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress,
                  int HorzMode, int VertMode)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    if (HorzMode == 0) {
        thread_local TSpeckleScratch scratch;
        VerticalSpeckleBoxes(scratch, TSpeckle{PH, H, W, VertMode});
        DrawBitmapThrough(Display.Canvas(), Image, scratch.Boxes.data(), scratch.Boxes.size());
        return;
    }
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
    if (Src.BytesPerLine() / 4 < 32768 && Src.Height() < 32768)
        RotateRows<uint32_t>(Dest, Src, Old, PX, PY, C, S);
    else
        RotateRows<uint64_t>(Dest, Src, Old, PX, PY, C, S);
}

TRegion SpeckleRegion(int32_t PW, int32_t PH, int32_t W, int32_t H, int HorzMode, int VertMode)
{
    std::vector<TRect> rects;
    if (HorzMode != 0)
        AddSpecklePart(rects, TSpeckle{PW, W, H, HorzMode}, true);
    if (VertMode != 0)
        AddSpecklePart(rects, TSpeckle{PH, H, W, VertMode}, false);
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
