#include "effects/catalogue.h"

#include "effects/edge_sweeps.h"
#include "effects/corner_sweeps.h"
#include "effects/curved_reveals.h"
#include "effects/bars.h"
#include "effects/shreds.h"
#include "effects/diagonals.h"
#include "effects/fade_pivot_speckle.h"
#include "effects/push.h"
#include "effects/blinds.h"

#include <cctype>

namespace mirel {

const TEffect Effects[MaxShowStyle + 1] = {
    {"Custom", nullptr},
    {"Expand from right", ExpandFromRight, ComposeExpandFromRight}, // 1
    {"Expand from left", ExpandFromLeft, ComposeExpandFromLeft}, // 2
    {"Slide in from right", SlideInFromRight, ComposeSlideInFromRight}, // 3
    {"Slide in from left", SlideInFromLeft, ComposeSlideInFromLeft}, // 4
    {"Reveal from left", RevealFromLeft}, // 5
    {"Reveal from right", RevealFromRight}, // 6
    {"Expand in from right", ExpandInFromRight, ComposeExpandInFromRight}, // 7
    {"Expand in from left", ExpandInFromLeft, ComposeExpandInFromLeft}, // 8
    {"Expand in to middle", ExpandInToMiddle, ComposeExpandInToMiddle}, // 9
    {"Expand out from middle", ExpandOutFromMiddle}, // 10
    {"Reveal out from middle", RevealOutFromMiddle}, // 11
    {"Reveal in from sides", RevealInFromSides}, // 12
    {"Expand in from sides", ExpandInFromSides, ComposeExpandInFromSides}, // 13
    {"Unroll from left", UnrollFromLeft}, // 14
    {"Unroll from right", UnrollFromRight}, // 15
    {"Build up from right", BuildUpFromRight, ComposeBuildUpFromRight}, // 16
    {"Build up from left", BuildUpFromLeft, ComposeBuildUpFromLeft}, // 17
    {"Expand from bottom", ExpandFromBottom, ComposeExpandFromBottom}, // 18
    {"Expand from top", ExpandFromTop, ComposeExpandFromTop}, // 19
    {"Slide in from bottom", SlideInFromBottom, ComposeSlideInFromBottom}, // 20
    {"Slide in from top", SlideInFromTop, ComposeSlideInFromTop}, // 21
    {"Reveal from top", RevealFromTop}, // 22
    {"Reveal from bottom", RevealFromBottom}, // 23
    {"Expand in from bottom", ExpandInFromBottom, ComposeExpandInFromBottom}, // 24
    {"Expand in from top", ExpandInFromTop, ComposeExpandInFromTop}, // 25
    {"Expand in to middle (horiz)", ExpandInToMiddleHoriz, ComposeExpandInToMiddleHoriz}, // 26
    {"Expand out from middle (horiz)", ExpandOutFromMiddleHoriz}, // 27
    {"Reveal from middle (horiz)", RevealFromMiddleHoriz}, // 28
    {"Slide in from top / bottom", SlideInFromTopBottom}, // 29
    {"Expand in from top / bottom", ExpandInFromTopBottom, ComposeExpandInFromTopBottom}, // 30
    {"Unroll from top", UnrollFromTop}, // 31
    {"Unroll from bottom", UnrollFromBottom}, // 32
    {"Expand from bottom", BuildUpFromBottom, ComposeBuildUpFromBottom}, // 33
    {"Expand in from top", BuildUpFromTop, ComposeBuildUpFromTop}, // 34
    {"Expand from bottom right", ExpandFromBottomRight, ComposeExpandFromBottomRight}, // 35
    {"Expand from top right", ExpandFromTopRight, ComposeExpandFromTopRight}, // 36
    {"Expand from top left", ExpandFromTopLeft, ComposeExpandFromTopLeft}, // 37
    {"Expand from bottom left", ExpandFromBottomLeft, ComposeExpandFromBottomLeft}, // 38
    {"Slide in from bottom right", SlideInFromBottomRight, ComposeSlideInFromBottomRight}, // 39
    {"Slide in from top right", SlideInFromTopRight, ComposeSlideInFromTopRight}, // 40
    {"Slide in from top left", SlideInFromTopLeft, ComposeSlideInFromTopLeft}, // 41
    {"Slide in from bottom left", SlideInFromBottomLeft, ComposeSlideInFromBottomLeft}, // 42
    {"Reveal from top left", RevealFromTopLeft}, // 43
    {"Reveal from bottom left", RevealFromBottomLeft}, // 44
    {"Reveal from bottom right", RevealFromBottomRight}, // 45
    {"Reveal from top right", RevealFromTopRight}, // 46
    {"Appear and Contract to top left", AppearAndContractToTopLeft, ComposeAppearAndContractToTopLeft}, // 47
    {"Appear and Contract to bottom left", AppearAndContractToBottomLeft, ComposeAppearAndContractToBottomLeft}, // 48
    {"Appear and Contract to bottom right", AppearAndContractToBottomRight,
     ComposeAppearAndContractToBottomRight}, // 49
    {"Appear and Contract to top right", AppearAndContractToTopRight, ComposeAppearAndContractToTopRight}, // 50
    {"Appear and Contract to middle", AppearAndContractToMiddle, ComposeAppearAndContractToMiddle}, // 51
    {"Expand out from centre", ExpandOutFromCentre}, // 52
    {"Reveal out from centre", RevealOutFromCentre}, // 53
    {"Reveal in to centre", RevealInToCentre}, // 54
    {"Quarters Reveal in to middle", QuartersRevealInToMiddle}, // 55
    {"Quarters Expand to middle", QuartersExpandToMiddle}, // 56
    {"Quarters Slide in to middle", QuartersSlideInToMiddle, ComposeQuartersSlideInToMiddle}, // 57
    {"Curved Reveal from left", CurvedRevealFromLeft}, // 58
    {"Curved Reveal from right", CurvedRevealFromRight}, // 59
    {"Bars in from right", BarsInFromRight}, // 60
    {"Bars in from left", BarsInFromLeft}, // 61
    {"Bars left then right", BarsLeftThenRight}, // 62
    {"Bars right then left", BarsRightThenLeft}, // 63
    {"Bars from both sides", BarsFromBothSides}, // 64
    {"Uneven shred from right", UnevenShredFromRight}, // 65
    {"Uneven shred from left", UnevenShredFromLeft}, // 66
    {"Uneven shred out from middle (horiz)", UnevenShredOutFromMiddleHoriz}, // 67
    {"Uneven shred in to middle (horiz)", UnevenShredInToMiddleHoriz}, // 68
    {"Curved Reveal from top", CurvedRevealFromTop}, // 69
    {"Curved Reveal from bottom", CurvedRevealFromBottom}, // 70
    {"Bars from bottom", BarsFromBottom}, // 71
    {"Bars from top", BarsFromTop}, // 72
    {"Bars top then bottom", BarsTopThenBottom}, // 73
    {"Bars bottom then top", BarsBottomThenTop}, // 74
    {"Bars from top and bottom", BarsFromTopAndBottom}, // 75
    {"Unven shred from bottom", UnevenShredFromBottom, ComposeUnevenShredFromBottom}, // 76
    {"Uneven shred from top", UnevenShredFromTop, ComposeUnevenShredFromTop}, // 77
    {"Uneven shred from horizon", UnevenShredFromHorizon, ComposeUnevenShredFromHorizon}, // 78
    {"Uneven shred in to horizon", UnevenShredInToHorizon, ComposeUnevenShredInToHorizon}, // 79
    {"Curved reveal from top left", CurvedRevealFromTopLeft}, // 80
    {"Curved reveal from top right", CurvedRevealFromTopRight}, // 81
    {"Curved reveal from bottom left", CurvedRevealFromBottomLeft}, // 82
    {"Curved reveal from bottom right", CurvedRevealFromBottomRight}, // 83
    {"Circular reveal from centre", CircularRevealFromCentre}, // 84
    {"Circular reveal to centre", CircularRevealToCentre}, // 85
    {"Criss Cross reveal from bottom right", CrissCrossRevealFromBottomRight, ComposeCrissCrossRevealFromBottomRight}, // 86
    {"Criss Cross reveal from top right", CrissCrossRevealFromTopRight, ComposeCrissCrossRevealFromTopRight}, // 87
    {"Criss Cross reveal from bottom left", CrissCrossRevealFromBottomLeft, ComposeCrissCrossRevealFromBottomLeft}, // 88
    {"Criss Cross reveal from top left", CrissCrossRevealFromTopLeft, ComposeCrissCrossRevealFromTopLeft}, // 89
    {"Criss Cross reveal bounce from top left", CrissCrossRevealBounceFromTopLeft, ComposeCrissCrossRevealBounceFromTopLeft}, // 90
    {"Criss Cross reveal bounce from bottom left", CrissCrossRevealBounceFromBottomLeft, ComposeCrissCrossRevealBounceFromBottomLeft}, // 91
    {"Criss Cross reveal bounce from top right", CrissCrossRevealBounceFromTopRight, ComposeCrissCrossRevealBounceFromTopRight}, // 92
    {"Criss Cross reveal bounce from bottom right", CrissCrossRevealBounceFromBottomRight, ComposeCrissCrossRevealBounceFromBottomRight}, // 93
    {"Criss Cross reveal from right top and bottom", CrissCrossRevealFromRightTopAndBottom, ComposeCrissCrossRevealFromRightTopAndBottom}, // 94
    {"Criss Cross reveal from left top and bottom", CrissCrossRevealFromLeftTopAndBottom, ComposeCrissCrossRevealFromLeftTopAndBottom}, // 95
    {"Criss Cross reveal from left right and bottom", CrissCrossRevealFromLeftRightAndBottom, ComposeCrissCrossRevealFromLeftRightAndBottom}, // 96
    {"Criss Cross reveal from left right and top", CrissCrossRevealFromLeftRightAndTop, ComposeCrissCrossRevealFromLeftRightAndTop}, // 97
    {"Criss Cross reveal from top left right and bottom", CrissCrossFromAllSides, ComposeCrissCrossFromAllSides}, // 98
    {"Criss Cross reveal from bottom left top right", CrissCrossFromBottomLeftTopRight, ComposeCrissCrossFromBottomLeftTopRight}, // 99
    {"Uneven shred from bottom and right", UnevenShredFromBottomAndRight, ComposeUnevenShredFromBottomAndRight}, // 100
    {"Uneven shred from top and right", UnevenShredFromTopAndRight, ComposeUnevenShredFromTopAndRight}, // 101
    {"Uneven shred from bottom and left", UnevenShredFromBottomAndLeft, ComposeUnevenShredFromBottomAndLeft}, // 102
    {"Uneven shred from top and left", UnevenShredFromTopAndLeft, ComposeUnevenShredFromTopAndLeft}, // 103
    {"Uneven shred from horiz and right", UnevenShredFromHorizAndRight, ComposeUnevenShredFromHorizAndRight}, // 104
    {"Uneven shred from horiz and left", UnevenShredFromHorizAndLeft, ComposeUnevenShredFromHorizAndLeft}, // 105
    {"Uneven shred from bottom and vert middle", UnevenShredFromBottomAndVertMiddle, ComposeUnevenShredFromBottomAndVertMiddle}, // 106
    {"Uneven shred from top and vert middle", UnevenShredFromTopAndVertMiddle, ComposeUnevenShredFromTopAndVertMiddle}, // 107
    {"Uneven shred from centre", UnevenShredFromCentre, ComposeUnevenShredFromCentre}, // 108
    {"Uneven shred to centre", UnevenShredToCentre, ComposeUnevenShredToCentre}, // 109
    {"Reveal diagonal from top left", RevealDiagonalFromTopLeft}, // 110
    {"Reveal diagonal from top right", RevealDiagonalFromTopRight}, // 111
    {"Reveal diagonal from bottom left", RevealDiagonalFromBottomLeft}, // 112
    {"Reveal diagonal from bottom right", RevealDiagonalFromBottomRight}, // 113
    {"Diagonal sweep from top left bottom right anticlockwise", DiagonalSweepAnticlockwise}, // 114
    {"Diagonal sweep from top left bottom right clockwise", DiagonalSweepClockwise}, // 115
    {"Starburst clockwise from center", StarburstClockwiseFromCenter}, // 116
    {"Triangular shred to top left", TriangularShredToTopLeft, ComposeTriangularShredToTopLeft}, // 117
    {"Fade", Fade, ComposeFade}, // 118
    {"Pivot from top left", PivotFromTopLeft, ComposePivotFromTopLeft}, // 119
    {"Pivot from bottom left", PivotFromBottomLeft, ComposePivotFromBottomLeft}, // 120
    {"Pivot from top right", PivotFromTopRight, ComposePivotFromTopRight}, // 121
    {"Pivot from bottom right", PivotFromBottomRight, ComposePivotFromBottomRight}, // 122
    {"Speckle appear from right", SpeckleAppearFromRight}, // 123
    {"Speckle appear from left", SpeckleAppearFromLeft}, // 124
    {"Speckle appear from bottom", SpeckleAppearFromBottom}, // 125
    {"Speckle appear from top", SpeckleAppearFromTop}, // 126
    {"Random squares appear", RandomSquaresAppear}, // 127
    {"Push right", PushRight, ComposePushRight}, // 128
    {"Push left", PushLeft, ComposePushLeft}, // 129
    {"Push and squeeze right", PushAndSqueezeRight, ComposePushAndSqueezeRight}, // 130
    {"Push and squeeze left", PushAndSqueezeLeft, ComposePushAndSqueezeLeft}, // 131
    {"Push down", PushDown, ComposePushDown}, // 132
    {"Push up", PushUp, ComposePushUp}, // 133
    {"Push and sqeeze down", PushAndSqueezeDown, ComposePushAndSqueezeDown}, // 134
    {"Push and sqeeze up", PushAndSqueezeUp, ComposePushAndSqueezeUp}, // 135
    {"Blind vertically", BlindVertically}, // 136
    {"Blind horizontally", BlindHorizontally}, // 137
    {"Uneven blind from left", UnevenBlindFromLeft}, // 138
    {"Uneven blind from right", UnevenBlindFromRight}, // 139
    {"Uneven blind from top", UnevenBlindFromTop}, // 140
    {"Uneven blind from bottom", UnevenBlindFromBottom}, // 141
    {"Rectangular shred", RectangularShred, ComposeRectangularShred}, // 142
    {"Sweep clockwise", SweepClockwise}, // 143
    {"Sweep anticlockwise", SweepAnticlockwise}, // 144
    {"Rectangles apear from left and disapear to right", RectanglesFromLeftToRight}, // 145
    {"Rectangles apear from right and disapear to left", RectanglesFromRightToLeft}, // 146
    {"Rectangles apear from up and disapear to bottom", RectanglesFromTopToBottom}, // 147
    {"Rectangles apear from bottom and disapear to up", RectanglesFromBottomToTop}, // 148
    {"Rotational rectangle", RotationalRectangle}, // 149
    {"Rotational star", RotationalStar}, // 150
};
std::string_view StyleName(int style)
{
    if (style < 0 || style > MaxShowStyle)
        return {};
    return Effects[style].Name;
}

namespace {

bool EqualIgnoringCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace

std::optional<TShowStyle> StyleOfName(std::string_view name)
{
    for (int style = 0; style <= MaxShowStyle; ++style)
        if (EqualIgnoringCase(name, Effects[style].Name))
            return TShowStyle(style);
    return std::nullopt;
}

bool RandomFrames(int style)
{
    return (style >= 65 && style <= 68) || (style >= 76 && style <= 79) || (style >= 100 && style <= 109) ||
           (style >= 123 && style <= 126);
}

bool RaggedFrames(int style)
{
    return (style >= 76 && style <= 79) || (style >= 86 && style <= 109) || style == 117 || style == 142;
}

TEffectGeometry CalcEffectGeometry(const TRect& R, int32_t Step, int32_t Progress)
{
    TEffectGeometry g{};
    g.W = R.Right - R.Left;
    g.H = R.Bottom - R.Top;
    if (g.W >= g.H) {
        g.PW = MulDiv(g.W, Progress, 100);
        g.PH = MulDiv(g.PW, g.H, g.W);
        g.Band = MulDiv(g.W, Step, 90);
    } else {
        g.PH = MulDiv(g.H, Progress, 100);
        g.PW = MulDiv(g.PH, g.W, g.H);
        g.Band = MulDiv(g.H, Step, 90);
    }
    return g;
}

void DrawEffectFrame(TBitmap& Display, const TBitmap& Image, int style, uint32_t Step, int32_t Progress)
{
    if (Progress <= 0)
        return;
    if (Progress >= 100) {
        Display.Canvas().DrawBitmap(0, 0, Image);
        return;
    }
    if (style >= 1 && style <= MaxShowStyle)
        Effects[style].Proc(Display, Image, Image.BoundsRect(), Step, Progress);
}

namespace {

// The two-picture frame. Where the style draws over the old picture, it
// draws over givenUp's own pixels, when the caller gives them up (givenUp is
// Old then), else over a copy of Old.
void DrawFrame(TBitmap& Display, const TBitmap& Old, TBitmap* givenUp, const TBitmap& Image, int style,
               uint32_t Step, int32_t Progress)
{
    const bool sameSize = Old.Width() == Image.Width() && Old.Height() == Image.Height();
    if (Progress >= 100 && sameSize) { // the new picture itself
        Display.Share(Image);
        return;
    }
    const bool composes = Progress > 0 && Progress < 100 && style >= 1 && style <= MaxShowStyle &&
                          Effects[style].Compose != nullptr && sameSize && &Display != &Old && &Display != &Image;
    if (!composes) {
        if (givenUp != nullptr)
            Display.Swap(*givenUp);
        else
            Display.Assign(Old);
        DrawEffectFrame(Display, Image, style, Step, Progress);
        return;
    }
    Display.SetSize(Image.Width(), Image.Height());
    Display.OwnPixelsForOverwrite();
    Effects[style].Compose(Display, Old, Image, Image.BoundsRect(), Step, Progress);
}

} // namespace

void DrawEffectFrame(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, int style, uint32_t Step,
                     int32_t Progress)
{
    DrawFrame(Display, Old, nullptr, Image, style, Step, Progress);
}

void DrawEffectFrame(TBitmap& Display, TBitmap&& Old, const TBitmap& Image, int style, uint32_t Step, int32_t Progress)
{
    DrawFrame(Display, Old, &Old, Image, style, Step, Progress);
}

} // namespace mirel
