// Corner, centre and quarter sweeps (styles 35-57): the edge sweeps' moves on
// both axes at once, and the four-piece reveals of the centre and quarters.
#include "effects/corner_sweeps.h"

#include "effects/sweep.h"

#include <array>

namespace mirel {

using namespace sweep;

MIREL_SWEEP_COMPOSED(ExpandFromBottomRight, ExpandFar, ExpandFar)                // 35
MIREL_SWEEP_COMPOSED(ExpandFromTopRight, ExpandFar, ExpandNear)                  // 36
MIREL_SWEEP_COMPOSED(ExpandFromTopLeft, ExpandNear, ExpandNear)                  // 37
MIREL_SWEEP_COMPOSED(ExpandFromBottomLeft, ExpandNear, ExpandFar)                // 38
MIREL_SWEEP_COMPOSED(SlideInFromBottomRight, SlideFar, SlideFar)                 // 39
MIREL_SWEEP_COMPOSED(SlideInFromTopRight, SlideFar, SlideNear)                   // 40
MIREL_SWEEP_COMPOSED(SlideInFromTopLeft, SlideNear, SlideNear)                   // 41
MIREL_SWEEP_COMPOSED(SlideInFromBottomLeft, SlideNear, SlideFar)                 // 42
MIREL_SWEEP(RevealFromTopLeft, RevealNear, RevealNear)                           // 43
MIREL_SWEEP(RevealFromBottomLeft, RevealNear, RevealFar)                         // 44
MIREL_SWEEP(RevealFromBottomRight, RevealFar, RevealFar)                         // 45
MIREL_SWEEP(RevealFromTopRight, RevealFar, RevealNear)                           // 46
MIREL_SWEEP_COMPOSED(AppearAndContractToTopLeft, ExpandInFar, ExpandInFar)       // 47
MIREL_SWEEP_COMPOSED(AppearAndContractToBottomLeft, ExpandInFar, ExpandInNear)   // 48
MIREL_SWEEP_COMPOSED(AppearAndContractToBottomRight, ExpandInNear, ExpandInNear) // 49
MIREL_SWEEP_COMPOSED(AppearAndContractToTopRight, ExpandInNear, ExpandInFar)     // 50
MIREL_SWEEP_COMPOSED(AppearAndContractToMiddle, ExpandInMiddle, ExpandInMiddle)  // 51
MIREL_SWEEP(ExpandOutFromCentre, ExpandOutMiddle, ExpandOutMiddle)               // 52
MIREL_SWEEP(RevealOutFromCentre, RevealMiddle, RevealMiddle)                     // 53

#undef MIREL_SWEEP_COMPOSED
#undef MIREL_SWEEP

// 54: four bands from the four edges, drawn as one shape: the side bands
// cross the top and bottom ones, and each pixel is copied once.
void RevealInToCentre(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    DrawImageThrough(Display, Image,
                     UnionOfRects({Rect(0, 0, W, PH / 2), Rect(0, H - PH / 2, W, H), Rect(0, 0, PW / 2, H),
                                   Rect(W - PW / 2, 0, W, H)}));
}

// The quarters' +1 and -1 terms differ from quarter to quarter on purpose:
// they decide which quarter owns the middle row and column.

// 55
void QuartersRevealInToMiddle(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step,
                              int32_t Progress)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    RevealImage(Display, Image, Rect(0, 0, PW / 2 + 1, PH / 2 + 1));                 // top left
    RevealImage(Display, Image, Rect(0, H - PH / 2 - 1, PW / 2 + 1, H));             // bottom left
    RevealImage(Display, Image, Rect(W - PW / 2 - 1, H - PH / 2 - 1, W, H));         // bottom right
    RevealImage(Display, Image, Rect(W - PW / 2 - 1, 0, W, PH / 2 + 1));             // top right
}

// 56
void QuartersExpandToMiddle(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step,
                            int32_t Progress)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    CopyImage(Display, Image, Rect(0, 0, PW / 2 + 1, PH / 2 + 1), Rect(0, 0, W / 2 + 1, H / 2 + 1));
    CopyImage(Display, Image, Rect(0, H - PH / 2, PW / 2 + 1, H), Rect(0, H / 2 + 1, W / 2 + 1, H));
    CopyImage(Display, Image, Rect(W - PW / 2, H - PH / 2, W, H), Rect(W / 2 + 1, H / 2 + 1, W, H));
    CopyImage(Display, Image, Rect(W - PW / 2, 0, W, PH / 2 + 1), Rect(W / 2 + 1, 0, W, H / 2 + 1));
}

namespace {

// 57: each quarter slides in from its own side, turning clockwise. Its
// copies, in this order (the later over the earlier): top left from the
// left, top right from the top, bottom right from the right, bottom left
// from the bottom.
std::array<TAreaCopy, 4> QuarterSlides(const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    const TCanvas* from = &Image.Canvas();
    return {{
        {Rect((PW - W) / 2, 0, PW / 2 + 1, H / 2 + 1), from, Rect(0, 0, W / 2 + 1, H / 2 + 1)},
        {Rect(W / 2 - 1, (PH - H) / 2, W, PH / 2 + 1), from, Rect(W / 2 - 1, 0, W, H / 2 + 1)},
        {Rect(W - PW / 2, H / 2 - 1, W + (W - PW) / 2, H), from, Rect(W / 2 + 1, H / 2 - 1, W, H)},
        {Rect(0, H - PH / 2, W / 2 + 1, H + (H - PH) / 2), from, Rect(0, H / 2 + 1, W / 2 + 1, H)},
    }};
}

} // namespace

void QuartersSlideInToMiddle(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step,
                             int32_t Progress)
{
    for (const TAreaCopy& c : QuarterSlides(Image, R, Step, Progress))
        Display.Canvas().CopyArea(c.Dest, *c.Source, c.SourceRect);
}

// Composed: the old picture where no quarter is yet, and the quarters, in one
// row-by-row pass. Every frame moves all that is in of the four.
void ComposeQuartersSlideInToMiddle(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, const TRect& R,
                                    uint32_t Step, int32_t Progress)
{
    ComposeCopies(Display, Old, R, QuarterSlides(Image, R, Step, Progress));
}

} // namespace mirel
