// Curved and circular reveals (styles 58, 59, 69, 70, 80-85): the new picture
// is uncovered in place through one rounded rectangle that grows with the
// progress. Only the shape changes; the picture never moves or scales, and
// Step plays no part.
//
// CreateRoundRectRgn limits an oversized corner ellipse to the rectangle's own
// extent. The edge reveals rely on that: their 2W (2H) ellipse is wider than
// the rectangle is high, so the leading end becomes a half-ellipse.
#include "effects/curved_reveals.h"

#include "effects/draw.h"

namespace mirel {

#define MIREL_CURVED(Name, Left, Top, Right, Bottom, EllipseWidth, EllipseHeight)                        \
    void Name(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)  \
    {                                                                                                    \
        [[maybe_unused]] const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress); \
        DrawImageThrough(Display, Image,                                                                 \
                         CreateRoundRectRgn(Left, Top, Right, Bottom, EllipseWidth, EllipseHeight));     \
    }

// From an edge: the rectangle reaches 5 pixels past the two sides along the
// motion and far behind the starting edge, so only its rounded tip, at 2PW
// (2PH) from that edge, crosses the picture.
MIREL_CURVED(CurvedRevealFromLeft, -2 * W, -5, 2 * PW, H + 5, 2 * W, 2 * W)             // 58
MIREL_CURVED(CurvedRevealFromRight, W - 2 * PW, -5, 3 * W, H + 5, 2 * W, 2 * W)         // 59
MIREL_CURVED(CurvedRevealFromTop, -5, -2 * H, W + 5, 2 * PH, 2 * H, 2 * H)              // 69
MIREL_CURVED(CurvedRevealFromBottom, -5, H - 2 * PH, W + 5, 3 * H, 2 * H, 2 * H)        // 70

// From a corner: the corner facing into the picture is a quarter-ellipse with
// half-axes W and H, whose centre runs from the far side of the starting
// corner to the opposite corner of the picture.
MIREL_CURVED(CurvedRevealFromTopLeft, -2 * W, -2 * H, 2 * PW, 2 * PH, 2 * W, 2 * H)         // 80
MIREL_CURVED(CurvedRevealFromTopRight, W - 2 * PW, -2 * H, 3 * W, 2 * PH, 2 * W, 2 * H)     // 81
MIREL_CURVED(CurvedRevealFromBottomLeft, -2 * W, H - 2 * PH, 2 * PW, 3 * H, 2 * W, 2 * H)   // 82
// This one corner is a quarter-circle of radius H, not a quarter-ellipse.
MIREL_CURVED(CurvedRevealFromBottomRight, W - 2 * PW, H - 2 * PH, 3 * W, 3 * H, 2 * H, 2 * H) // 83

// A near-ellipse (its corner ellipse nine tenths of its size) 2PW by 2PH about
// the centre; at the end it covers the picture's corners.
MIREL_CURVED(CircularRevealFromCentre, W / 2 - PW, H / 2 - PH, W / 2 + PW, H / 2 + PH, (9 * PW) / 5, (9 * PH) / 5) // 84

#undef MIREL_CURVED

// 85: the picture minus the same kind of near-ellipse, 2(W - PW) by 2(H - PH)
// and shrinking, so that the new picture closes in on the centre. At 50 it is
// exactly the complement of style 84 at 50.
void CircularRevealToCentre(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    TRegion G = CreateRectRgnIndirect(R);
    const TRegion K = CreateRoundRectRgn(PW - W / 2, PH - H / 2, (3 * W) / 2 - PW, (3 * H) / 2 - PH,
                                         (9 * (W - PW)) / 5, (9 * (H - PH)) / 5);
    CombineRgn(G, G, K, RGN_XOR);
    DrawImageThrough(Display, Image, G);
}

} // namespace mirel
