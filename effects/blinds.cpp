// Blinds, rectangular shred, travelling rectangles and rotating shapes: placeholders that draw the new picture whole until the family is drawn.
#include "effects/blinds.h"

namespace mirel {

void BlindVertically(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void BlindHorizontally(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenBlindFromLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenBlindFromRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenBlindFromTop(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenBlindFromBottom(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void RectangularShred(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void RectanglesFromLeftToRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void RectanglesFromRightToLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void RectanglesFromTopToBottom(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void RectanglesFromBottomToTop(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void RotationalRectangle(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void RotationalStar(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }

} // namespace mirel
