// Corner, centre and quarter sweeps.
// Every procedure here is a TEffectProc (effects/catalogue.h); the number is its style.
#pragma once

#include "effects/catalogue.h"

namespace mirel {

TEffectFunction ExpandFromBottomRight; // 35
TEffectFunction ExpandFromTopRight; // 36
TEffectFunction ExpandFromTopLeft; // 37
TEffectFunction ExpandFromBottomLeft; // 38
TEffectFunction SlideInFromBottomRight; // 39
TEffectFunction SlideInFromTopRight; // 40
TEffectFunction SlideInFromTopLeft; // 41
TEffectFunction SlideInFromBottomLeft; // 42
TEffectFunction RevealFromTopLeft; // 43
TEffectFunction RevealFromBottomLeft; // 44
TEffectFunction RevealFromBottomRight; // 45
TEffectFunction RevealFromTopRight; // 46
TEffectFunction AppearAndContractToTopLeft; // 47
TEffectFunction AppearAndContractToBottomLeft; // 48
TEffectFunction AppearAndContractToBottomRight; // 49
TEffectFunction AppearAndContractToTopRight; // 50
TEffectFunction AppearAndContractToMiddle; // 51
TEffectFunction ExpandOutFromCentre; // 52
TEffectFunction RevealOutFromCentre; // 53
TEffectFunction RevealInToCentre; // 54
TEffectFunction QuartersRevealInToMiddle; // 55
TEffectFunction QuartersExpandToMiddle; // 56
TEffectFunction QuartersSlideInToMiddle; // 57

// Compose forms (effects/catalogue.h): the styles whose frames change whole.
TComposeFunction ComposeExpandFromBottomRight; // 35
TComposeFunction ComposeExpandFromTopRight; // 36
TComposeFunction ComposeExpandFromTopLeft; // 37
TComposeFunction ComposeExpandFromBottomLeft; // 38
TComposeFunction ComposeSlideInFromBottomRight; // 39
TComposeFunction ComposeSlideInFromTopRight; // 40
TComposeFunction ComposeSlideInFromTopLeft; // 41
TComposeFunction ComposeSlideInFromBottomLeft; // 42
TComposeFunction ComposeAppearAndContractToTopLeft; // 47
TComposeFunction ComposeAppearAndContractToBottomLeft; // 48
TComposeFunction ComposeAppearAndContractToBottomRight; // 49
TComposeFunction ComposeAppearAndContractToTopRight; // 50
TComposeFunction ComposeAppearAndContractToMiddle; // 51
TComposeFunction ComposeQuartersSlideInToMiddle; // 57

} // namespace mirel
