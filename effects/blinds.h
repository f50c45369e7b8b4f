// Blinds, rectangular shred, travelling rectangles and rotating shapes.
// Every procedure here is a TEffectProc (effects/catalogue.h); the number is its style.
#pragma once

#include "effects/catalogue.h"

namespace mirel {

TEffectFunction BlindVertically; // 136
TEffectFunction BlindHorizontally; // 137
TEffectFunction UnevenBlindFromLeft; // 138
TEffectFunction UnevenBlindFromRight; // 139
TEffectFunction UnevenBlindFromTop; // 140
TEffectFunction UnevenBlindFromBottom; // 141
TEffectFunction RectangularShred; // 142
TEffectFunction RectanglesFromLeftToRight; // 145
TEffectFunction RectanglesFromRightToLeft; // 146
TEffectFunction RectanglesFromTopToBottom; // 147
TEffectFunction RectanglesFromBottomToTop; // 148
TEffectFunction RotationalRectangle; // 149
TEffectFunction RotationalStar; // 150

} // namespace mirel
