// Edge sweeps: the new picture expands, slides or is revealed along one axis,
// full height (styles 1-17) or full width (styles 18-34, the same effects
// with the axes exchanged).
#include "effects/edge_sweeps.h"

#include "effects/sweep.h"

#include <algorithm>
#include <array>

namespace mirel {

using namespace sweep;

namespace {

// The copy of MirrorCopyArea.
TAreaCopy MirroredCopy(const TRect& DestRect, const TBitmap& Bitmap, const TRect& SourceRect, bool MirrorHorz,
                       bool MirrorVert)
{
    TRect S;
    IntersectRect(S, SourceRect, Bitmap.BoundsRect());
    TRect D = DestRect;
    if (MirrorHorz) {
        D.Left = DestRect.Right + 1;
        D.Right = DestRect.Left - 1;
    }
    if (MirrorVert) {
        D.Top = DestRect.Bottom + 1;
        D.Bottom = DestRect.Top - 1;
    }
    return {D, &Bitmap.Canvas(), S};
}

} // namespace

void MirrorCopyArea(TCanvas& DestCanvas, const TRect& DestRect, const TBitmap& Bitmap, const TRect& SourceRect,
                    bool MirrorHorz, bool MirrorVert)
{
    const TAreaCopy c = MirroredCopy(DestRect, Bitmap, SourceRect, MirrorHorz, MirrorVert);
    DestCanvas.CopyArea(c.Dest, *c.Source, c.SourceRect);
}

int32_t RollWidth(int32_t L, int32_t P)
{
    if (P < L / 5)
        return P / 2;
    if (P + L / 5 > L)
        return (L - P) / 2;
    return L / 10;
}

namespace {

enum class TAxis { X, Y };

// An edge sweep that makes several copies: spans along the moving axis, the
// other axis whole. The copies are gathered and drawn together (Draw), row by
// row: along x they lie side by side on every row. Given the old picture (a
// compose form), Keep copies it where the new one is not.
class TEdge {
public:
    TEdge(TBitmap& display, const TBitmap& image, const TRect& r, uint32_t step, int32_t progress, TAxis axis,
          const TBitmap* old = nullptr)
        : display_(display), image_(image), old_(old), axis_(axis)
    {
        const TEffectGeometry g = CalcEffectGeometry(r, int32_t(step), progress);
        L = axis == TAxis::X ? g.W : g.H;
        P = axis == TAxis::X ? g.PW : g.PH;
        across_ = axis == TAxis::X ? g.H : g.W;
        // A Band of 0 (a picture of a few pixels) acts as 1: the widest slice.
        Slice = L / std::max(g.Band, 1);
    }

    int32_t L = 0;     // the moving side's length
    int32_t P = 0;     // its progressed length
    int32_t Slice = 0; // the build-up slice: L div Band

    TRect Span(int32_t a0, int32_t a1) const
    {
        return axis_ == TAxis::X ? Rect(a0, 0, a1, across_) : Rect(0, a0, across_, a1);
    }
    void Copy(int32_t d0, int32_t d1, int32_t s0, int32_t s1)
    {
        Add({Span(d0, d1), &image_.Canvas(), Span(s0, s1)});
    }
    void Reveal(int32_t a0, int32_t a1) { Copy(a0, a1, a0, a1); }
    void Keep(int32_t a0, int32_t a1)
    {
        if (old_ != nullptr && a0 < a1)
            Add({Span(a0, a1), &old_->Canvas(), Span(a0, a1)});
    }
    // The roll of an unroll: the source strip mirrored along the moving axis.
    void Roll(int32_t d0, int32_t d1, int32_t s0, int32_t s1)
    {
        Add(MirroredCopy(Span(d0, d1), image_, Span(s0, s1), axis_ == TAxis::X, axis_ == TAxis::Y));
    }
    // The copies, in the order made.
    void Draw() const { display_.Canvas().CopyAreas({copies_.data(), count_}); }

private:
    void Add(const TAreaCopy& c) { copies_.at(count_++) = c; }

    TBitmap& display_;
    const TBitmap& image_;
    const TBitmap* old_;
    TAxis axis_;
    int32_t across_ = 0;
    std::array<TAreaCopy, 3> copies_{};
    size_t count_ = 0;
};

void RevealInFromEnds(TEdge& e)
{
    e.Reveal(0, e.P / 2 + 1);
    e.Reveal(e.L - e.P / 2 - 1, e.L);
}

// The two halves' sources share the middle line L div 2. Composed, the old
// picture stays between them.
void ExpandInFromEnds(TEdge& e)
{
    e.Keep(e.P / 2 + 1, e.L - e.P / 2 - 1);
    e.Copy(0, e.P / 2 + 1, 0, e.L / 2 + 1);
    e.Copy(e.L - e.P / 2 - 1, e.L, e.L / 2, e.L);
}

// The roll shows, mirrored, the strip it is about to uncover.
void UnrollFromNear(TEdge& e)
{
    const int32_t s = RollWidth(e.L, e.P);
    e.Roll(e.P, e.P + s, e.P + s, e.P + 2 * s);
    e.Reveal(0, e.P);
}

void UnrollFromFar(TEdge& e)
{
    const int32_t s = RollWidth(e.L, e.P);
    const int32_t edge = e.L - e.P;
    e.Roll(edge - s, edge, edge - 2 * s, edge - s);
    e.Reveal(edge, e.L);
}

// The slice next to the moving edge stretched over the whole unrevealed part
// (composed, the old picture stays there while the slice is empty).
void BuildUpTowardsFar(TEdge& e)
{
    e.Reveal(0, e.P);
    const int32_t end = std::min(e.P + e.Slice, e.L);
    if (end > e.P)
        e.Copy(e.P, e.L, e.P, end);
    else
        e.Keep(e.P, e.L);
}

void BuildUpTowardsNear(TEdge& e)
{
    const int32_t edge = e.L - e.P, start = std::max(edge - e.Slice, 0);
    e.Reveal(edge, e.L);
    if (start < edge)
        e.Copy(0, edge, start, edge);
    else
        e.Keep(0, edge);
}

// One frame of an edge sweep moving along axis as How says; composed over
// Old when given.
void EdgeSweep(TBitmap& Display, const TBitmap* Old, const TBitmap& Image, const TRect& R, uint32_t Step,
               int32_t Progress, TAxis axis, void (*How)(TEdge&))
{
    TEdge e(Display, Image, R, Step, Progress, axis, Old);
    How(e);
    e.Draw();
}

} // namespace

// Each row below reads like a line of the catalogue: name, then how it moves.
#define MIREL_EDGE(Name, Axis, How)                                                                      \
    void Name(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)  \
    {                                                                                                    \
        EdgeSweep(Display, nullptr, Image, R, Step, Progress, TAxis::Axis, How);                         \
    }
// A compose form besides: the squeezes and build-ups, whose frames change
// whole, or nearly.
#define MIREL_EDGE_COMPOSED(Name, Axis, How) MIREL_DRAWN_AND_COMPOSED(Name, EdgeSweep, TAxis::Axis, How)

MIREL_SWEEP_COMPOSED(ExpandFromRight, ExpandFar, Whole)            // 1
MIREL_SWEEP_COMPOSED(ExpandFromLeft, ExpandNear, Whole)            // 2
MIREL_SWEEP_COMPOSED(SlideInFromRight, SlideFar, Whole)            // 3
MIREL_SWEEP_COMPOSED(SlideInFromLeft, SlideNear, Whole)            // 4
MIREL_SWEEP(RevealFromLeft, RevealNear, Whole)                     // 5
MIREL_SWEEP(RevealFromRight, RevealFar, Whole)                     // 6
MIREL_SWEEP_COMPOSED(ExpandInFromRight, ExpandInFar, Whole)        // 7
MIREL_SWEEP_COMPOSED(ExpandInFromLeft, ExpandInNear, Whole)        // 8
MIREL_SWEEP_COMPOSED(ExpandInToMiddle, ExpandInMiddle, Whole)      // 9
MIREL_SWEEP(ExpandOutFromMiddle, ExpandOutMiddle, Whole)           // 10
MIREL_SWEEP(RevealOutFromMiddle, RevealMiddle, Whole)              // 11
MIREL_EDGE(RevealInFromSides, X, RevealInFromEnds)                 // 12
MIREL_EDGE_COMPOSED(ExpandInFromSides, X, ExpandInFromEnds)        // 13
MIREL_EDGE(UnrollFromLeft, X, UnrollFromNear)                      // 14
MIREL_EDGE(UnrollFromRight, X, UnrollFromFar)                      // 15
MIREL_EDGE_COMPOSED(BuildUpFromRight, X, BuildUpTowardsFar)        // 16
MIREL_EDGE_COMPOSED(BuildUpFromLeft, X, BuildUpTowardsNear)        // 17

MIREL_SWEEP_COMPOSED(ExpandFromBottom, Whole, ExpandFar)           // 18
MIREL_SWEEP_COMPOSED(ExpandFromTop, Whole, ExpandNear)             // 19
MIREL_SWEEP_COMPOSED(SlideInFromBottom, Whole, SlideFar)           // 20
MIREL_SWEEP_COMPOSED(SlideInFromTop, Whole, SlideNear)             // 21
MIREL_SWEEP(RevealFromTop, Whole, RevealNear)                      // 22
MIREL_SWEEP(RevealFromBottom, Whole, RevealFar)                    // 23
MIREL_SWEEP_COMPOSED(ExpandInFromBottom, Whole, ExpandInFar)       // 24
MIREL_SWEEP_COMPOSED(ExpandInFromTop, Whole, ExpandInNear)         // 25
MIREL_SWEEP_COMPOSED(ExpandInToMiddleHoriz, Whole, ExpandInMiddle) // 26
MIREL_SWEEP(ExpandOutFromMiddleHoriz, Whole, ExpandOutMiddle)      // 27
MIREL_SWEEP(RevealFromMiddleHoriz, Whole, RevealMiddle)            // 28
MIREL_EDGE(SlideInFromTopBottom, Y, RevealInFromEnds)              // 29
MIREL_EDGE_COMPOSED(ExpandInFromTopBottom, Y, ExpandInFromEnds)    // 30
MIREL_EDGE(UnrollFromTop, Y, UnrollFromNear)                       // 31
MIREL_EDGE(UnrollFromBottom, Y, UnrollFromFar)                     // 32
MIREL_EDGE_COMPOSED(BuildUpFromBottom, Y, BuildUpTowardsFar)       // 33
MIREL_EDGE_COMPOSED(BuildUpFromTop, Y, BuildUpTowardsNear)         // 34

#undef MIREL_SWEEP_COMPOSED
#undef MIREL_SWEEP
#undef MIREL_EDGE_COMPOSED
#undef MIREL_EDGE

} // namespace mirel
