// Edge sweeps: expand, slide, reveal, unroll and build up along one axis.
// Every procedure here is a TEffectProc (effects/catalogue.h); the number is its style.
#pragma once

#include "effects/catalogue.h"

namespace mirel {

TEffectFunction ExpandFromRight; // 1
TEffectFunction ExpandFromLeft; // 2
TEffectFunction SlideInFromRight; // 3
TEffectFunction SlideInFromLeft; // 4
TEffectFunction RevealFromLeft; // 5
TEffectFunction RevealFromRight; // 6
TEffectFunction ExpandInFromRight; // 7
TEffectFunction ExpandInFromLeft; // 8
TEffectFunction ExpandInToMiddle; // 9
TEffectFunction ExpandOutFromMiddle; // 10
TEffectFunction RevealOutFromMiddle; // 11
TEffectFunction RevealInFromSides; // 12
TEffectFunction ExpandInFromSides; // 13
TEffectFunction UnrollFromLeft; // 14
TEffectFunction UnrollFromRight; // 15
TEffectFunction BuildUpFromRight; // 16
TEffectFunction BuildUpFromLeft; // 17
TEffectFunction ExpandFromBottom; // 18
TEffectFunction ExpandFromTop; // 19
TEffectFunction SlideInFromBottom; // 20
TEffectFunction SlideInFromTop; // 21
TEffectFunction RevealFromTop; // 22
TEffectFunction RevealFromBottom; // 23
TEffectFunction ExpandInFromBottom; // 24
TEffectFunction ExpandInFromTop; // 25
TEffectFunction ExpandInToMiddleHoriz; // 26
TEffectFunction ExpandOutFromMiddleHoriz; // 27
TEffectFunction RevealFromMiddleHoriz; // 28
TEffectFunction SlideInFromTopBottom; // 29
TEffectFunction ExpandInFromTopBottom; // 30
TEffectFunction UnrollFromTop; // 31
TEffectFunction UnrollFromBottom; // 32
TEffectFunction BuildUpFromBottom; // 33
TEffectFunction BuildUpFromTop; // 34

// Compose forms (effects/catalogue.h): the styles whose frames change whole.
TComposeFunction ComposeExpandFromRight; // 1
TComposeFunction ComposeExpandFromLeft; // 2
TComposeFunction ComposeSlideInFromRight; // 3
TComposeFunction ComposeSlideInFromLeft; // 4
TComposeFunction ComposeExpandInFromRight; // 7
TComposeFunction ComposeExpandInFromLeft; // 8
TComposeFunction ComposeExpandInToMiddle; // 9
TComposeFunction ComposeExpandInFromSides; // 13
TComposeFunction ComposeBuildUpFromRight; // 16
TComposeFunction ComposeBuildUpFromLeft; // 17
TComposeFunction ComposeExpandFromBottom; // 18
TComposeFunction ComposeExpandFromTop; // 19
TComposeFunction ComposeSlideInFromBottom; // 20
TComposeFunction ComposeSlideInFromTop; // 21
TComposeFunction ComposeExpandInFromBottom; // 24
TComposeFunction ComposeExpandInFromTop; // 25
TComposeFunction ComposeExpandInToMiddleHoriz; // 26
TComposeFunction ComposeExpandInFromTopBottom; // 30
TComposeFunction ComposeBuildUpFromBottom; // 33
TComposeFunction ComposeBuildUpFromTop; // 34

} // namespace mirel
namespace mirel {

// Copies SourceRect of Bitmap (cut to the bitmap) onto DestRect, mirrored
// left to right and/or top to bottom. A mirrored axis goes to StretchBlt with
// a negative extent two larger than the rectangle's, starting one pixel
// beyond its far edge.
void MirrorCopyArea(TCanvas& DestCanvas, const TRect& DestRect, const TBitmap& Bitmap, const TRect& SourceRect,
                    bool MirrorHorz, bool MirrorVert);

// Width of the roll of the unroll effects on a side of length L with P
// uncovered: it grows with P, keeps a tenth of L, and shrinks at the far edge.
int32_t RollWidth(int32_t L, int32_t P);

} // namespace mirel
