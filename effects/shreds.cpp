// Uneven shreds (styles 65-68, 76-79, 100-109): the new picture shows through
// strips whose ends are ragged by random amounts drawn anew at every frame,
// so the edges flicker as the reveal advances.
#include "effects/shreds.h"

#include "effects/draw.h"
#include "effects/random.h"

#include <algorithm>
#include <vector>

namespace mirel {

namespace {

constexpr int32_t StripPitch = 5;

// The first draw minus the second: most often near 0, never beyond amp - 1.
int32_t Jitter(int32_t amp)
{
    const int32_t first = Random(amp);
    return first - Random(amp);
}

// The strips of one axis, written for rows (strips along x, stacked down y);
// columns are the same with the axes exchanged. Length is the side the strips
// grow along, Across the side they are stacked along. Rectangles whose ends
// come out crossed are put in order by the union.
void AddShreds(std::vector<TRect>& rects, bool rows, int32_t extent, int32_t length, int32_t across,
               int32_t kind)
{
    if (kind == 0)
        return;
    const int32_t amp = extent < length ? length / 7 : 0;
    const int32_t thickness = StripPitch + across % StripPitch;
    const int32_t middle = length / 2;
    const auto strip = [&](int32_t a0, int32_t a1, int32_t c0) {
        rects.push_back(rows ? Rect(a0, c0, a1, c0 + thickness) : Rect(c0, a0, c0 + thickness, a1));
    };
    for (int32_t c = 0; c < across; c += StripPitch) {
        switch (kind) {
        case 1:
            strip(length - extent + Jitter(amp), length, c);
            break;
        case 2:
            strip(0, extent + Jitter(amp), c);
            break;
        case 3: {
            const int32_t j1 = Jitter(amp);
            const int32_t j2 = Jitter(amp);
            strip((length - extent + j1) / 2, middle, c);
            strip(middle, (length + extent + j2) / 2, c);
            break;
        }
        default: {
            const int32_t j1 = Jitter(amp);
            const int32_t j2 = Jitter(amp);
            strip(length - (extent + j1) / 2, length, c);
            strip(0, (extent + j2) / 2, c);
            break;
        }
        }
    }
}

void DrawShreds(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress,
                int32_t horzKind, int32_t vertKind)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    DrawImageThrough(Display, Image,
                     ShredRegion(horzKind != 0 ? PW : 0, vertKind != 0 ? PH : 0, W, H, horzKind, vertKind));
}

} // namespace

TRegion ShredRegion(int32_t HorzExtent, int32_t VertExtent, int32_t Width, int32_t Height, int32_t HorzKind,
                    int32_t VertKind)
{
    // Up to two rectangles per strip, H / 5 row strips and W / 5 column strips.
    std::vector<TRect> rects;
    rects.reserve(size_t(2 * (std::max(Height, 0) / StripPitch + std::max(Width, 0) / StripPitch + 2)));
    AddShreds(rects, true, HorzExtent, Width, Height, HorzKind);
    AddShreds(rects, false, VertExtent, Height, Width, VertKind);
    return UnionOfRects(rects);
}

#define MIREL_SHRED(Name, HorzKind, VertKind)                                                            \
    void Name(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)  \
    {                                                                                                    \
        DrawShreds(Display, Image, R, Step, Progress, HorzKind, VertKind);                               \
    }

MIREL_SHRED(UnevenShredFromRight, 1, 0)               // 65
MIREL_SHRED(UnevenShredFromLeft, 2, 0)                // 66
MIREL_SHRED(UnevenShredOutFromMiddleHoriz, 3, 0)      // 67
MIREL_SHRED(UnevenShredInToMiddleHoriz, 4, 0)         // 68
MIREL_SHRED(UnevenShredFromBottom, 0, 1)              // 76
MIREL_SHRED(UnevenShredFromTop, 0, 2)                 // 77
MIREL_SHRED(UnevenShredFromHorizon, 0, 3)             // 78
MIREL_SHRED(UnevenShredInToHorizon, 0, 4)             // 79
MIREL_SHRED(UnevenShredFromBottomAndRight, 1, 1)      // 100
MIREL_SHRED(UnevenShredFromTopAndRight, 1, 2)         // 101
MIREL_SHRED(UnevenShredFromBottomAndLeft, 2, 1)       // 102
MIREL_SHRED(UnevenShredFromTopAndLeft, 2, 2)          // 103
MIREL_SHRED(UnevenShredFromHorizAndRight, 1, 3)       // 104
MIREL_SHRED(UnevenShredFromHorizAndLeft, 2, 3)        // 105
MIREL_SHRED(UnevenShredFromBottomAndVertMiddle, 3, 1) // 106
MIREL_SHRED(UnevenShredFromTopAndVertMiddle, 3, 2)    // 107
MIREL_SHRED(UnevenShredFromCentre, 3, 3)              // 108
MIREL_SHRED(UnevenShredToCentre, 4, 4)                // 109

#undef MIREL_SHRED

} // namespace mirel
