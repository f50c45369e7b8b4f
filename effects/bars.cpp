// Bars and criss-cross reveals (styles 60-64, 71-75, 86-99): the new picture
// shows through combs of thin bars that grow out of the picture's edges,
// sideways (60-64), up or down (71-75) or both at once (86-99).
#include "effects/bars.h"

#include "effects/draw.h"

#include <algorithm>
#include <vector>

namespace mirel {

namespace {

constexpr int32_t BarThickness = 5;
constexpr int32_t BarPeriod = 10;

// The bars of one axis, written for row bands (bars along x, stacked down y);
// column bands are the same with the axes exchanged. Length is the side the
// bars grow along, Across the side they are stacked along.
//
// The rectangles go out in y-x order for rows, which is the order the
// one-pass union likes best; the union does not depend on it.
void AddBars(std::vector<TRect>& rects, bool rows, int32_t extent, int32_t length, int32_t across,
             int32_t snap, int32_t kind)
{
    if (kind < 1 || kind > 5)
        return;
    const auto bar = [&](int32_t a0, int32_t a1, int32_t c0) {
        rects.push_back(rows ? Rect(a0, c0, a1, c0 + BarThickness) : Rect(c0, a0, c0 + BarThickness, a1));
    };
    // Both of kind 3's groups grow at once, so it has no second phase.
    if (kind == 3)
        extent = std::min(extent, length);

    if (extent <= length) {
        // First phase: the first group grows, the snap closing its last gap.
        if (int64_t{extent} + snap > length)
            extent = length;
        for (int32_t c = 0; c < across + BarThickness; c += BarPeriod) {
            switch (kind) {
            case 1:
            case 5:
                bar(length - extent, length, c);
                break;
            case 2:
            case 4:
                bar(0, extent, c);
                break;
            case 3:
                bar(length - extent, length, c);
                bar(0, extent, c + BarThickness);
                break;
            }
        }
        return;
    }

    // Second phase: the even bars full, the odd ones growing, never snapped.
    const int32_t odd = extent - length;
    for (int32_t c = BarThickness; c < across + BarThickness; c += BarPeriod) {
        bar(0, length, c - BarThickness);
        if (kind == 1 || kind == 4)
            bar(length - odd, length, c);
        else
            bar(0, odd, c);
    }
}

// Multiples of PW (PH) that a style passes as an extent.
constexpr int32_t Still = 0, Once = 1, Twice = 2;

// Image through G over Display, or composed with Old around it when Old is
// given.
void DrawThrough(TBitmap& Display, const TBitmap* Old, const TBitmap& Image, const TRegion& G)
{
    if (Old == nullptr) {
        DrawImageThrough(Display, Image, G);
        return;
    }
    int count = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(const_cast<pixman_region32_t*>(G.Native()), &count);
    ComposeThroughBoxes(Display, *Old, Image, boxes, size_t(count));
}

void DrawBars(TBitmap& Display, const TBitmap* Old, const TBitmap& Image, const TRect& R, uint32_t Step,
              int32_t Progress, int32_t horzTimes, int32_t vertTimes, bool snapped, int32_t horzKind,
              int32_t vertKind)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    DrawThrough(Display, Old, Image,
                BarsRegion(horzTimes * PW, vertTimes * PH, W, H, snapped ? Band : 0, horzKind, vertKind));
}

} // namespace

TRegion BarsRegion(int32_t HorzExtent, int32_t VertExtent, int32_t Width, int32_t Height, int32_t Snap,
                   int32_t HorzKind, int32_t VertKind)
{
    // About Height / 10 + Width / 10 bars, or twice that in a second phase.
    std::vector<TRect> rects;
    rects.reserve(size_t(std::max(Height, 0) / 5 + std::max(Width, 0) / 5 + 4));
    AddBars(rects, true, HorzExtent, Width, Height, Snap, HorzKind);
    AddBars(rects, false, VertExtent, Height, Width, Snap, VertKind);
    return UnionOfRects(rects);
}

// Each row reads like a line of the catalogue: the extents as multiples of
// PW and PH, whether Band snaps the first group, then the two kinds.
//
// Bars of one axis change by a box or two a bar from one frame to the next,
// and are drawn over the last frame. The criss-crosses' grid is tens of
// thousands of boxes (some 80,000 at 3840 x 2160), and those compose: one
// pass over the pixels, and no region of them to follow from frame to frame.
#define MIREL_BARS(Name, HorzTimes, VertTimes, Snapped, HorzKind, VertKind)                              \
    void Name(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)  \
    {                                                                                                    \
        DrawBars(Display, nullptr, Image, R, Step, Progress, HorzTimes, VertTimes, Snapped, HorzKind,    \
                 VertKind);                                                                              \
    }
#define MIREL_CRISS_CROSS(Name, HorzTimes, VertTimes, Snapped, HorzKind, VertKind)                       \
    MIREL_DRAWN_AND_COMPOSED(Name, DrawBars, HorzTimes, VertTimes, Snapped, HorzKind, VertKind)

MIREL_BARS(BarsInFromRight, Twice, Still, true, 1, 0)                              // 60
MIREL_BARS(BarsInFromLeft, Twice, Still, true, 2, 0)                               // 61
MIREL_BARS(BarsLeftThenRight, Twice, Still, true, 4, 0)                            // 62
MIREL_BARS(BarsRightThenLeft, Twice, Still, true, 5, 0)                            // 63
MIREL_BARS(BarsFromBothSides, Once, Still, false, 3, 0)                            // 64
MIREL_BARS(BarsFromBottom, Still, Twice, true, 0, 1)                               // 71
MIREL_BARS(BarsFromTop, Still, Twice, true, 0, 2)                                  // 72
MIREL_BARS(BarsTopThenBottom, Still, Twice, true, 0, 4)                            // 73
MIREL_BARS(BarsBottomThenTop, Still, Twice, true, 0, 5)                            // 74
MIREL_BARS(BarsFromTopAndBottom, Still, Once, false, 0, 3)                         // 75
MIREL_CRISS_CROSS(CrissCrossRevealFromBottomRight, Twice, Twice, true, 1, 1)       // 86
MIREL_CRISS_CROSS(CrissCrossRevealFromTopRight, Twice, Twice, true, 1, 2)          // 87
MIREL_CRISS_CROSS(CrissCrossRevealFromBottomLeft, Twice, Twice, true, 2, 1)        // 88
MIREL_CRISS_CROSS(CrissCrossRevealFromTopLeft, Twice, Twice, true, 2, 2)           // 89
MIREL_CRISS_CROSS(CrissCrossRevealBounceFromTopLeft, Twice, Twice, true, 4, 4)     // 90
MIREL_CRISS_CROSS(CrissCrossRevealBounceFromBottomLeft, Twice, Twice, true, 4, 5)  // 91
MIREL_CRISS_CROSS(CrissCrossRevealBounceFromTopRight, Twice, Twice, true, 5, 4)    // 92
MIREL_CRISS_CROSS(CrissCrossRevealBounceFromBottomRight, Twice, Twice, true, 5, 5) // 93
// The bars of kind 1 or 2 driven by PW (PH) only ever show their even group.
MIREL_CRISS_CROSS(CrissCrossRevealFromRightTopAndBottom, Once, Once, true, 1, 3)   // 94
MIREL_CRISS_CROSS(CrissCrossRevealFromLeftTopAndBottom, Once, Once, true, 2, 3)    // 95
MIREL_CRISS_CROSS(CrissCrossRevealFromLeftRightAndBottom, Once, Once, true, 3, 1)  // 96
MIREL_CRISS_CROSS(CrissCrossRevealFromLeftRightAndTop, Once, Once, true, 3, 2)     // 97
MIREL_CRISS_CROSS(CrissCrossFromAllSides, Once, Once, false, 3, 3)                 // 98

#undef MIREL_CRISS_CROSS
#undef MIREL_BARS

namespace {

// 99: only where a bar from the right or bottom crosses one from the left or top.
void DrawCrossings(TBitmap& Display, const TBitmap* Old, const TBitmap& Image, const TRect& R, uint32_t Step,
                   int32_t Progress)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    TRegion G = BarsRegion(2 * PW, 2 * PH, W, H, Band, 1, 1);
    CombineRgn(G, G, BarsRegion(2 * PW, 2 * PH, W, H, Band, 2, 2), RGN_AND);
    DrawThrough(Display, Old, Image, G);
}

} // namespace

MIREL_DRAWN_AND_COMPOSED(CrissCrossFromBottomLeftTopRight, DrawCrossings) // 99

} // namespace mirel
