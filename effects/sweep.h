// One-axis moves, the building blocks of the edge and corner sweeps.
//
// Most sweeps make a single copy whose destination and source are each the
// product of two independent axes: along one axis something moves (a span
// that expands, slides or is revealed), along the other the picture either
// moves too (corner sweeps) or stays whole (edge sweeps). A TMove gives the
// destination and source spans of one axis from the side's length L and its
// progressed length P, so "Expand from bottom right" is ExpandFar on x times
// ExpandFar on y, and "Expand from right" is ExpandFar on x times Whole on y.
//
// "Near" is the edge at 0 (left or top), "far" the edge at L (right or
// bottom); "div" is C++'s truncating division.
#pragma once

#include "effects/catalogue.h"
#include "effects/draw.h"

namespace mirel::sweep {

struct TSpans {
    int32_t D0, D1; // destination span [D0, D1)
    int32_t S0, S1; // source span [S0, S1) of the new picture
};

using TMove = TSpans (*)(int32_t L, int32_t P);

// The axis does not move: the whole side, 1:1.
inline TSpans Whole(int32_t L, int32_t) { return {0, L, 0, L}; }
// The whole side squeezed into P at the far (near) edge.
inline TSpans ExpandFar(int32_t L, int32_t P) { return {L - P, L, 0, L}; }
inline TSpans ExpandNear(int32_t L, int32_t P) { return {0, P, 0, L}; }
// The whole side at its own scale, P of it inside, entering at the far (near) edge.
inline TSpans SlideFar(int32_t L, int32_t P) { return {L - P, 2 * L - P, 0, L}; }
inline TSpans SlideNear(int32_t L, int32_t P) { return {P - L, P, 0, L}; }
// P of the side uncovered in place, from the near (far) edge.
inline TSpans RevealNear(int32_t, int32_t P) { return {0, P, 0, P}; }
inline TSpans RevealFar(int32_t L, int32_t P) { return {L - P, L, L - P, L}; }
// The near (far) P of the side magnified so that it shrinks onto its place.
inline TSpans ExpandInFar(int32_t L, int32_t P) { return {0, 2 * L - P, 0, P}; }
inline TSpans ExpandInNear(int32_t L, int32_t P) { return {P - L, L, L - P, L}; }
// The middle P of the side magnified about the centre.
inline TSpans ExpandInMiddle(int32_t L, int32_t P) { return {P - L, 2 * L - P, (L - P) / 2, (L + P) / 2}; }
// The whole side squeezed into the middle P.
inline TSpans ExpandOutMiddle(int32_t L, int32_t P) { return {(L - P) / 2, (L + P) / 2, 0, L}; }
// The middle P of the side uncovered in place.
inline TSpans RevealMiddle(int32_t L, int32_t P) { return {(L - P) / 2, (L + P) / 2, (L - P) / 2, (L + P) / 2}; }

// The one copy of a sweep: x and y combined into destination and source.
inline TAreaCopy SweepCopy(const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress, TMove x, TMove y)
{
    const TEffectGeometry g = CalcEffectGeometry(R, int32_t(Step), Progress);
    const TSpans a = x(g.W, g.PW), b = y(g.H, g.PH);
    return {Rect(a.D0, b.D0, a.D1, b.D1), &Image.Canvas(), Rect(a.S0, b.S0, a.S1, b.S1)};
}

inline void Sweep(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress,
                  TMove x, TMove y)
{
    const TAreaCopy c = SweepCopy(Image, R, Step, Progress, x, y);
    Display.Canvas().CopyArea(c.Dest, *c.Source, c.SourceRect);
}

// The compose form of a sweep: its copy, and the old picture around it, in
// one pass over the frame.
inline void ComposeSweep(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, const TRect& R, uint32_t Step,
                         int32_t Progress, TMove x, TMove y)
{
    const TAreaCopy c = SweepCopy(Image, R, Step, Progress, x, y);
    ComposeCopies(Display, Old, R, {&c, 1});
}

} // namespace mirel::sweep

// A sweep's procedure as a line of the catalogue: its name, then how it
// moves along x and along y; with its compose form besides, for the sweeps
// whose copy changes whole every frame (the new picture squeezed, stretched
// or moved as it comes in). The files of the sweeps #undef them after use.
#define MIREL_SWEEP(Name, X, Y)                                                                          \
    void Name(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)  \
    {                                                                                                    \
        sweep::Sweep(Display, Image, R, Step, Progress, sweep::X, sweep::Y);                             \
    }
#define MIREL_SWEEP_COMPOSED(Name, X, Y)                                                                 \
    MIREL_SWEEP(Name, X, Y)                                                                              \
    void Compose##Name(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, const TRect& R,       \
                       uint32_t Step, int32_t Progress)                                                  \
    {                                                                                                    \
        sweep::ComposeSweep(Display, Old, Image, R, Step, Progress, sweep::X, sweep::Y);                 \
    }
