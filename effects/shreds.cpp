// Uneven shreds: placeholders that draw the new picture whole until the family is drawn.
#include "effects/shreds.h"

namespace mirel {

void UnevenShredFromRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredFromLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredOutFromMiddleHoriz(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredInToMiddleHoriz(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredFromBottom(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredFromTop(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredFromHorizon(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredInToHorizon(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredFromBottomAndRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredFromTopAndRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredFromBottomAndLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredFromTopAndLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredFromHorizAndRight(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredFromHorizAndLeft(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredFromBottomAndVertMiddle(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredFromTopAndVertMiddle(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredFromCentre(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }
void UnevenShredToCentre(TBitmap& Display, const TBitmap& Image, const TRect&, uint32_t, int32_t) { Display.Canvas().DrawBitmap(0, 0, Image); }

} // namespace mirel
