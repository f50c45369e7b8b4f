// Curved and circular reveals.
// Every procedure here is a TEffectProc (effects/catalogue.h); the number is its style.
#pragma once

#include "effects/catalogue.h"

namespace mirel {

TEffectFunction CurvedRevealFromLeft; // 58
TEffectFunction CurvedRevealFromRight; // 59
TEffectFunction CurvedRevealFromTop; // 69
TEffectFunction CurvedRevealFromBottom; // 70
TEffectFunction CurvedRevealFromTopLeft; // 80
TEffectFunction CurvedRevealFromTopRight; // 81
TEffectFunction CurvedRevealFromBottomLeft; // 82
TEffectFunction CurvedRevealFromBottomRight; // 83
TEffectFunction CircularRevealFromCentre; // 84
TEffectFunction CircularRevealToCentre; // 85

} // namespace mirel
