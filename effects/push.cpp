// Push and push-and-squeeze: placeholders that draw the new picture whole until the family is drawn.
#include "effects/push.h"

namespace mirel {

void PushRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void PushLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void PushAndSqueezeRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void PushAndSqueezeLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void PushDown(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void PushUp(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void PushAndSqueezeDown(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void PushAndSqueezeUp(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }

} // namespace mirel
