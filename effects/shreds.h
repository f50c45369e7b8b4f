// Uneven shreds.
// Every procedure here is a TEffectProc (effects/catalogue.h); the number is its style.
#pragma once

#include "effects/catalogue.h"
#include "surface/region.h"

namespace mirel {

// The ragged comb of every style here. Row strips start every 5 rows and are
// 5 + Height % 5 rows tall (so they overlap when the height is not a multiple
// of 5); column strips do the same along x with Width % 5. Each strip's ends
// are moved by a jitter Random(Amp) - Random(Amp), Amp being Width / 7 for
// rows and Height / 7 for columns while the extent is short of that side, 0
// once it has reached it. Every strip draws its jitters even when Amp is 0.
//
// HorzExtent is the nominal length of the row strips, VertExtent that of the
// column strips. Kinds, one per axis (rows: right / left; columns: bottom /
// top):
//   0 none
//   1 from the right (bottom) edge                      2 draws per strip
//   2 from the left (top) edge                          2 draws per strip
//   3 out from the centre line, two halves              4 draws per strip
//   4 (and any other) in from both edges, two halves    4 draws per strip
// Rows are built top to bottom before columns left to right, so the draws
// come in that order. Both kinds 0 give an empty region.
TRegion ShredRegion(int32_t HorzExtent, int32_t VertExtent, int32_t Width, int32_t Height, int32_t HorzKind,
                    int32_t VertKind);

TEffectFunction UnevenShredFromRight; // 65
TEffectFunction UnevenShredFromLeft; // 66
TEffectFunction UnevenShredOutFromMiddleHoriz; // 67
TEffectFunction UnevenShredInToMiddleHoriz; // 68
TEffectFunction UnevenShredFromBottom; // 76
TEffectFunction UnevenShredFromTop; // 77
TEffectFunction UnevenShredFromHorizon; // 78
TEffectFunction UnevenShredInToHorizon; // 79
TEffectFunction UnevenShredFromBottomAndRight; // 100
TEffectFunction UnevenShredFromTopAndRight; // 101
TEffectFunction UnevenShredFromBottomAndLeft; // 102
TEffectFunction UnevenShredFromTopAndLeft; // 103
TEffectFunction UnevenShredFromHorizAndRight; // 104
TEffectFunction UnevenShredFromHorizAndLeft; // 105
TEffectFunction UnevenShredFromBottomAndVertMiddle; // 106
TEffectFunction UnevenShredFromTopAndVertMiddle; // 107
TEffectFunction UnevenShredFromCentre; // 108
TEffectFunction UnevenShredToCentre; // 109

// Compose forms (effects/catalogue.h) of the styles with column strips.
TComposeFunction ComposeUnevenShredFromBottom;              // 76
TComposeFunction ComposeUnevenShredFromTop;                 // 77
TComposeFunction ComposeUnevenShredFromHorizon;             // 78
TComposeFunction ComposeUnevenShredInToHorizon;             // 79
TComposeFunction ComposeUnevenShredFromBottomAndRight;      // 100
TComposeFunction ComposeUnevenShredFromTopAndRight;         // 101
TComposeFunction ComposeUnevenShredFromBottomAndLeft;       // 102
TComposeFunction ComposeUnevenShredFromTopAndLeft;          // 103
TComposeFunction ComposeUnevenShredFromHorizAndRight;       // 104
TComposeFunction ComposeUnevenShredFromHorizAndLeft;        // 105
TComposeFunction ComposeUnevenShredFromBottomAndVertMiddle; // 106
TComposeFunction ComposeUnevenShredFromTopAndVertMiddle;    // 107
TComposeFunction ComposeUnevenShredFromCentre;              // 108
TComposeFunction ComposeUnevenShredToCentre;                // 109

} // namespace mirel
