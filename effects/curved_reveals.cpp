// Curved and circular reveals: placeholders that draw the new picture whole until the family is drawn.
#include "effects/curved_reveals.h"

namespace mirel {

void CurvedRevealFromLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CurvedRevealFromRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CurvedRevealFromTop(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CurvedRevealFromBottom(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CurvedRevealFromTopLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CurvedRevealFromTopRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CurvedRevealFromBottomLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CurvedRevealFromBottomRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CircularRevealFromCentre(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CircularRevealToCentre(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }

} // namespace mirel
