// Bars and criss-cross reveals: placeholders that draw the new picture whole until the family is drawn.
#include "effects/bars.h"

namespace mirel {

void BarsInFromRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void BarsInFromLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void BarsLeftThenRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void BarsRightThenLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void BarsFromBothSides(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void BarsFromBottom(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void BarsFromTop(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void BarsTopThenBottom(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void BarsBottomThenTop(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void BarsFromTopAndBottom(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CrissCrossRevealFromBottomRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CrissCrossRevealFromTopRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CrissCrossRevealFromBottomLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CrissCrossRevealFromTopLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CrissCrossRevealBounceFromTopLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CrissCrossRevealBounceFromBottomLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CrissCrossRevealBounceFromTopRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CrissCrossRevealBounceFromBottomRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CrissCrossRevealFromRightTopAndBottom(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CrissCrossRevealFromLeftTopAndBottom(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CrissCrossRevealFromLeftRightAndBottom(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CrissCrossRevealFromLeftRightAndTop(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CrissCrossFromAllSides(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void CrissCrossFromBottomLeftTopRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }

} // namespace mirel
