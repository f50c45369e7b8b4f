// Push and push-and-squeeze.
// Every procedure here is a TEffectProc (effects/catalogue.h); the number is its style.
#pragma once

#include "effects/catalogue.h"

namespace mirel {

TEffectFunction PushRight; // 128
TEffectFunction PushLeft; // 129
TEffectFunction PushAndSqueezeRight; // 130
TEffectFunction PushAndSqueezeLeft; // 131
TEffectFunction PushDown; // 132
TEffectFunction PushUp; // 133
TEffectFunction PushAndSqueezeDown; // 134
TEffectFunction PushAndSqueezeUp; // 135

// Their compose forms (effects/catalogue.h).
TComposeFunction ComposePushRight;           // 128
TComposeFunction ComposePushLeft;            // 129
TComposeFunction ComposePushAndSqueezeRight; // 130
TComposeFunction ComposePushAndSqueezeLeft;  // 131
TComposeFunction ComposePushDown;            // 132
TComposeFunction ComposePushUp;              // 133
TComposeFunction ComposePushAndSqueezeDown;  // 134
TComposeFunction ComposePushAndSqueezeUp;    // 135

} // namespace mirel
