// Bars and criss-cross reveals.
// Every procedure here is a TEffectProc (effects/catalogue.h); the number is its style.
#pragma once

#include "effects/catalogue.h"
#include "surface/region.h"

namespace mirel {

// The comb of every style here: 5-pixel bars on a 10-pixel period counted
// from the top edge (row bands, horizontal bars growing along x) and from the
// left edge (column bands, vertical bars growing along y). Bars at 0, 10, 20,
// ... are the even bars, those at 5, 15, 25, ... the odd bars.
//
// HorzExtent is how far the horizontal bars have travelled: up to Width it is
// the length of the first group; beyond Width the first group is complete and
// the second is HorzExtent - Width long. VertExtent does the same against
// Height. Snap completes the first group once it is less than Snap short.
// Kinds, one per axis (horizontal: right / left; vertical: bottom / top):
//   0 none
//   1 from the right (bottom): even bars, then odd bars
//   2 from the left (top): even bars, then odd bars
//   3 even bars from the right (bottom), odd from the left (top), together
//   4 even bars from the left (top), then odd bars from the right (bottom)
//   5 even bars from the right (bottom), then odd bars from the left (top)
// Kind 3 has no second group: an extent beyond the side completes both of
// its groups. Kind 0, and any kind not listed, builds nothing. No bar at all
// gives an empty region, through which nothing is drawn.
TRegion BarsRegion(int32_t HorzExtent, int32_t VertExtent, int32_t Width, int32_t Height, int32_t Snap,
                   int32_t HorzKind, int32_t VertKind);

TEffectFunction BarsInFromRight; // 60
TEffectFunction BarsInFromLeft; // 61
TEffectFunction BarsLeftThenRight; // 62
TEffectFunction BarsRightThenLeft; // 63
TEffectFunction BarsFromBothSides; // 64
TEffectFunction BarsFromBottom; // 71
TEffectFunction BarsFromTop; // 72
TEffectFunction BarsTopThenBottom; // 73
TEffectFunction BarsBottomThenTop; // 74
TEffectFunction BarsFromTopAndBottom; // 75
TEffectFunction CrissCrossRevealFromBottomRight; // 86
TEffectFunction CrissCrossRevealFromTopRight; // 87
TEffectFunction CrissCrossRevealFromBottomLeft; // 88
TEffectFunction CrissCrossRevealFromTopLeft; // 89
TEffectFunction CrissCrossRevealBounceFromTopLeft; // 90
TEffectFunction CrissCrossRevealBounceFromBottomLeft; // 91
TEffectFunction CrissCrossRevealBounceFromTopRight; // 92
TEffectFunction CrissCrossRevealBounceFromBottomRight; // 93
TEffectFunction CrissCrossRevealFromRightTopAndBottom; // 94
TEffectFunction CrissCrossRevealFromLeftTopAndBottom; // 95
TEffectFunction CrissCrossRevealFromLeftRightAndBottom; // 96
TEffectFunction CrissCrossRevealFromLeftRightAndTop; // 97
TEffectFunction CrissCrossFromAllSides; // 98
TEffectFunction CrissCrossFromBottomLeftTopRight; // 99

// Compose forms (effects/catalogue.h) of the criss-crosses.
TComposeFunction ComposeCrissCrossRevealFromBottomRight;        // 86
TComposeFunction ComposeCrissCrossRevealFromTopRight;           // 87
TComposeFunction ComposeCrissCrossRevealFromBottomLeft;         // 88
TComposeFunction ComposeCrissCrossRevealFromTopLeft;            // 89
TComposeFunction ComposeCrissCrossRevealBounceFromTopLeft;      // 90
TComposeFunction ComposeCrissCrossRevealBounceFromBottomLeft;   // 91
TComposeFunction ComposeCrissCrossRevealBounceFromTopRight;     // 92
TComposeFunction ComposeCrissCrossRevealBounceFromBottomRight;  // 93
TComposeFunction ComposeCrissCrossRevealFromRightTopAndBottom;  // 94
TComposeFunction ComposeCrissCrossRevealFromLeftTopAndBottom;   // 95
TComposeFunction ComposeCrissCrossRevealFromLeftRightAndBottom; // 96
TComposeFunction ComposeCrissCrossRevealFromLeftRightAndTop;    // 97
TComposeFunction ComposeCrissCrossFromAllSides;                 // 98
TComposeFunction ComposeCrissCrossFromBottomLeftTopRight;       // 99

} // namespace mirel
