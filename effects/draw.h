// The few drawing steps that procedures of every family share.
#pragma once

#include "surface/bitmap.h"
#include "surface/region.h"

#include <span>
#include <vector>

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

// The compose form of a drawing made of copies of the new picture alone: the
// old picture Old where no copy draws, then the copies in their order (the
// later over the earlier), all in one row-by-row pass over R. A copy with an
// empty source draws nothing; every other draws all of its destination in R.
inline void ComposeCopies(TBitmap& Display, const TBitmap& Old, const TRect& R, std::span<const TAreaCopy> copies)
{
    TRegion rest(R);
    for (const TAreaCopy& c : copies)
        if (!c.SourceRect.IsEmpty())
            CombineRgn(rest, rest, TRegion(c.Dest), RGN_DIFF);
    std::vector<TAreaCopy> all;
    for (const TRect& box : rest.Boxes())
        all.push_back({box, &Old.Canvas(), box});
    all.insert(all.end(), copies.begin(), copies.end());
    Display.Canvas().CopyAreas(all);
}

} // namespace mirel

// A style's procedure and its compose form, both through one drawing
// function Draw(Display, Old, Image, R, Step, Progress, ...), which composes
// over Old when Old is given and draws over Display when it is null; the
// rest of the arguments say how the style moves.
#define MIREL_DRAWN_AND_COMPOSED(Name, Draw, ...)                                                        \
    void Name(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)  \
    {                                                                                                    \
        Draw(Display, nullptr, Image, R, Step, Progress __VA_OPT__(, ) __VA_ARGS__);                     \
    }                                                                                                    \
    void Compose##Name(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, const TRect& R,       \
                       uint32_t Step, int32_t Progress)                                                  \
    {                                                                                                    \
        Draw(Display, &Old, Image, R, Step, Progress __VA_OPT__(, ) __VA_ARGS__);                        \
    }
