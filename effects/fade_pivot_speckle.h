// Fade, pivots, speckles and random squares.
// Every procedure here is a TEffectProc (effects/catalogue.h); the number is its style.
#pragma once

#include "effects/catalogue.h"

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

} // namespace mirel
