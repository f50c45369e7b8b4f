// Uneven shreds.
// Every procedure here is a TEffectProc (effects/catalogue.h); the number is its style.
#pragma once

#include "effects/catalogue.h"

namespace mirel {

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

} // namespace mirel
