// The transition widget as the programs and tests of this tree see it: the
// public class (mirel/transition_view.h) with the picture, the bitmaps, the
// effect catalogue and the tiling routine it works with.
#pragma once

#include <mirel/transition_view.h>

#include "effects/catalogue.h"
#include "surface/bitmap.h"
#include "surface/rect.h"
#include "view/picture.h"

namespace mirel {

// Tiles graphic over rect, row by row from rect's top-left corner; the last
// row and column are cut by the canvas.
void DrawTiled(TCanvas& Canvas, const TRect& Rect, const TBitmap* Graphic);

} // namespace mirel
