// Blinds, rectangular shred, travelling rectangles and rotating shapes.
// Every procedure here is a TEffectProc (effects/catalogue.h); the number is its style.
#pragma once

#include "effects/catalogue.h"
#include "surface/rect.h"

#include <array>
#include <span>
#include <vector>

namespace mirel {

TEffectFunction BlindVertically; // 136
TEffectFunction BlindHorizontally; // 137
TEffectFunction UnevenBlindFromLeft; // 138
TEffectFunction UnevenBlindFromRight; // 139
TEffectFunction UnevenBlindFromTop; // 140
TEffectFunction UnevenBlindFromBottom; // 141
TEffectFunction RectangularShred; // 142
TComposeFunction ComposeRectangularShred; // 142, its compose form (effects/catalogue.h)
TEffectFunction RectanglesFromLeftToRight; // 145
TEffectFunction RectanglesFromRightToLeft; // 146
TEffectFunction RectanglesFromTopToBottom; // 147
TEffectFunction RectanglesFromBottomToTop; // 148
TEffectFunction RotationalRectangle; // 149
TEffectFunction RotationalStar; // 150

// The pieces of these effects, exposed so that their geometry can be checked
// without rendering. Pieces may reach outside R; drawing clips them.

// The edge of R where a comb of blinds starts; it repeats away from it.
enum class TBlindSide { Left, Top, Right, Bottom };

// Appends the slats of a comb of blinds: one slat of P * Progress div 100
// every P pixels, the first against Side. From the left or the top the comb
// goes on while a slat starts inside the picture, from the right or the
// bottom while a slat's right (bottom) edge is at 0 or beyond, so the last
// slat may lie wholly outside. A period of 0 or less adds nothing: its slats
// would be empty and the comb would never leave the picture.
void AddBlindSlats(std::vector<TRect>& Pieces, const TRect& R, TBlindSide Side, int32_t P, int32_t Progress);

// Appends a comb of stripes across the rows (Rows) or the columns: one
// stripe every P pixels, 2d wide with d = P * Progress div 200, centred on
// P div 2, P div 2 + P, ... as long as a stripe starts inside the picture.
// A period of 0 or less adds nothing.
void AddStripes(std::vector<TRect>& Pieces, const TRect& R, bool Rows, int32_t P, int32_t Progress);

// The (n + 1)^2 rectangles of the rectangular shred (142), last grid point
// first. Empty when the rectangles have no area yet.
std::vector<TRect> RectangularShredPieces(const TRect& R, uint32_t Step, int32_t Progress);

// Turns every point about (CX, CY) by Angle radians, clockwise on the screen
// (y grows downwards). Each new coordinate is rounded to the nearest integer,
// halves to even.
void RotatePoints(std::span<TPoint> Points, int32_t CX, int32_t CY, long double Angle);

// The turned outlines of 149 and 150, in drawing order.
std::array<TPoint, 4> RotationalRectanglePoints(const TRect& R, uint32_t Step, int32_t Progress);
std::array<TPoint, 8> RotationalStarPoints(const TRect& R, uint32_t Step, int32_t Progress);

} // namespace mirel
