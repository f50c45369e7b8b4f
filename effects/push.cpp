// Push and push-and-squeeze (styles 128-135): the new picture enters at one
// side and drives the old one out of the other, moving it along unchanged
// (push) or squeezing it into the room left (push and squeeze).
//
// Each frame is two copies: the old picture moved within Display (source and
// destination overlap; the canvas reads every pixel before it writes over
// it), then the entering part of the new picture. Along x the two are drawn
// together, a group of rows at a time. The two cover the frame, so the
// compose forms take the old picture from Old instead, where it lies still.
#include "effects/push.h"

#include "effects/draw.h"

namespace mirel {

namespace {

enum class TAxis { X, Y };

// The spans of one push along the moving axis of length L, P of it done.
struct TPush {
    int32_t OldS0, OldS1, OldD0, OldD1; // the old picture: Display [OldS0, OldS1) onto [OldD0, OldD1)
    int32_t NewS0, NewS1, NewD0, NewD1; // the new picture: Image [NewS0, NewS1) onto [NewD0, NewD1)
};

using TPushSpans = TPush (*)(int32_t L, int32_t P);

// Towards the far edge (right or down): the new picture's far end enters at 0.
TPush PushFar(int32_t L, int32_t P) { return {0, L - P, P, L, L - P, L, 0, P}; }
TPush SqueezeFar(int32_t L, int32_t P) { return {0, L, P, L, L - P, L, 0, P}; }
// Towards the near edge (left or up): the new picture's near end enters at L.
TPush PushNear(int32_t L, int32_t P) { return {P, L, 0, L - P, 0, P, L - P, L}; }
TPush SqueezeNear(int32_t L, int32_t P) { return {0, L, 0, L - P, 0, P, L - P, L}; }

void Push(TBitmap& Display, const TBitmap* Old, const TBitmap& Image, const TRect& R, uint32_t Step,
          int32_t Progress, TAxis axis, TPushSpans spans)
{
    const TEffectGeometry g = CalcEffectGeometry(R, int32_t(Step), Progress);
    const TPush p = axis == TAxis::X ? spans(g.W, g.PW) : spans(g.H, g.PH);
    const auto span = [&](int32_t a0, int32_t a1) {
        return axis == TAxis::X ? Rect(a0, 0, a1, g.H) : Rect(0, a0, g.W, a1);
    };
    TCanvas& canvas = Display.Canvas();
    const TAreaCopy copies[] = {
        {span(p.OldD0, p.OldD1), Old != nullptr ? &Old->Canvas() : &canvas, span(p.OldS0, p.OldS1)},
        {span(p.NewD0, p.NewD1), &Image.Canvas(), span(p.NewS0, p.NewS1)},
    };
    canvas.CopyAreas(copies);
}

} // namespace

#define MIREL_PUSH(Name, Axis, Spans) MIREL_DRAWN_AND_COMPOSED(Name, Push, TAxis::Axis, Spans)

MIREL_PUSH(PushRight, X, PushFar)              // 128
MIREL_PUSH(PushLeft, X, PushNear)              // 129
MIREL_PUSH(PushAndSqueezeRight, X, SqueezeFar) // 130
MIREL_PUSH(PushAndSqueezeLeft, X, SqueezeNear) // 131
MIREL_PUSH(PushDown, Y, PushFar)               // 132
MIREL_PUSH(PushUp, Y, PushNear)                // 133
MIREL_PUSH(PushAndSqueezeDown, Y, SqueezeFar)  // 134
MIREL_PUSH(PushAndSqueezeUp, Y, SqueezeNear)   // 135
#undef MIREL_PUSH

} // namespace mirel
