// Fade, pivots, speckles and random squares.
// Every procedure here is a TEffectProc (effects/catalogue.h); the number is its style.
#pragma once

#include "effects/catalogue.h"
#include "surface/region.h"

namespace mirel {

TEffectFunction Fade; // 118
TEffectFunction PivotFromTopLeft; // 119
TEffectFunction PivotFromBottomLeft; // 120
TEffectFunction PivotFromTopRight; // 121
TEffectFunction PivotFromBottomRight; // 122
TEffectFunction SpeckleAppearFromRight; // 123
TEffectFunction SpeckleAppearFromLeft; // 124
TEffectFunction SpeckleAppearFromBottom; // 125
TEffectFunction SpeckleAppearFromTop; // 126
TEffectFunction RandomSquaresAppear; // 127

// Their compose forms (effects/catalogue.h).
TComposeFunction ComposeFade;                 // 118
TComposeFunction ComposePivotFromTopLeft;     // 119
TComposeFunction ComposePivotFromBottomLeft;  // 120
TComposeFunction ComposePivotFromTopRight;    // 121
TComposeFunction ComposePivotFromBottomRight; // 122

// Dest := ((100 - Percent) * Dest + Percent * Src) div 100 in each of the
// blue, green and red bytes; the fourth byte of Dest stays as it is. Percent
// is held to 0 .. 100. Covers the area both bitmaps share.
void BlendBitmaps(TBitmap& Dest, const TBitmap& Src, int32_t Percent);
// The same blend of From (which may be Dest) towards Src, into Dest; the
// fourth byte is From's. Covers the area the three share.
void BlendBitmaps(TBitmap& Dest, const TBitmap& From, const TBitmap& Src, int32_t Percent);

// Src turned by Angle radians (counter-clockwise on screen when positive)
// about the pivot (PX, PY), drawn into Dest in 16.16 fixed point. PX counts
// from the left edge, PY upwards from the bottom edge (PY = -1 lies just
// below the bottom row). Dest pixels that no source pixel lands on keep their
// value, or with Old (Dest's size) take Old's. At Angle 0 Dest(x, y) gets
// Src(x + 1, y - 1): the mapping is one pixel off, which the caller's final
// frame puts right.
void RotateBitmap(TBitmap& Dest, const TBitmap& Src, int32_t PX, int32_t PY, long double Angle,
                  const TBitmap* Old = nullptr);

// A solid band PW wide at the right (HorzMode 1) or left (2) edge, and/or PH
// high at the bottom (VertMode 1) or top (2), frayed by squares drawn at
// random from the shared generator beyond its edge. Mode 0 leaves that part
// out. Draws the same count of numbers whatever comes out of them.
TRegion SpeckleRegion(int32_t PW, int32_t PH, int32_t W, int32_t H, int HorzMode, int VertMode);

} // namespace mirel
