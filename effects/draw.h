// The few drawing steps that procedures of every family share.
#pragma once

#include "surface/bitmap.h"
#include "surface/region.h"

namespace mirel {

// D <- S: the source rectangle S of Image scaled onto D of Display.
inline void CopyImage(TBitmap& Display, const TBitmap& Image, const TRect& D, const TRect& S)
{
    Display.Canvas().CopyArea(D, Image.Canvas(), S);
}

// D <- same: a 1:1 copy of the rectangle D of Image.
inline void RevealImage(TBitmap& Display, const TBitmap& Image, const TRect& D)
{
    Display.Canvas().CopyArea(D, Image.Canvas(), D);
}

// The clipped frame: Image drawn whole at (0, 0) through G. G may be dropped
// by the caller at once.
inline void DrawImageThrough(TBitmap& Display, const TBitmap& Image, const TRegion& G)
{
    Display.Canvas().DrawBitmapThrough(Image, G);
}

} // namespace mirel
