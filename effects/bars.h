// Bars and criss-cross reveals.
// Every procedure here is a TEffectProc (effects/catalogue.h); the number is its style.
#pragma once

#include "effects/catalogue.h"

namespace mirel {

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

} // namespace mirel
