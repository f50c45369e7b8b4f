// Diagonal reveals, sweeps, starburst and triangular shred.
// Every procedure here is a TEffectProc (effects/catalogue.h); the number is its style.
#pragma once

#include "effects/catalogue.h"
#include "surface/region.h"

#include <cstdint>
#include <vector>

namespace mirel {

TEffectFunction RevealDiagonalFromTopLeft; // 110
TEffectFunction RevealDiagonalFromTopRight; // 111
TEffectFunction RevealDiagonalFromBottomLeft; // 112
TEffectFunction RevealDiagonalFromBottomRight; // 113
TEffectFunction DiagonalSweepAnticlockwise; // 114
TEffectFunction DiagonalSweepClockwise; // 115
TEffectFunction StarburstClockwiseFromCenter; // 116
TEffectFunction TriangularShredToTopLeft; // 117
TComposeFunction ComposeTriangularShredToTopLeft;
TEffectFunction SweepClockwise; // 143
TEffectFunction SweepAnticlockwise; // 144

// The triangle with the corners (X1, Y1), (X2, Y2), (X3, Y3), filled by the
// winding rule; empty when the corners lie on one line.
TRegion TriangleRegion(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);

// The corners of the fan that SweepRegion fills: the centre (CX, CY), then
// Count points on the circle of Radius about it, at StartAngle + (k - 1) * Delta
// for k = 1 .. Count, Delta = (EndAngle - StartAngle) / Count. The last point
// thus lies one Delta short of EndAngle. Angles are in radians, 0 pointing
// right and growing clockwise on the screen (y grows downwards); each offset
// Radius * cos, Radius * sin is rounded to nearest, halves to even. No points
// when Count < 1.
std::vector<TPoint> SweepPoints(int32_t CX, int32_t CY, int32_t Radius, long double StartAngle,
                                long double EndAngle, int32_t Count);

// The pie slice with the corners of SweepPoints, filled by the winding rule;
// empty when Count < 2 (a centre and one arc point enclose nothing).
TRegion SweepRegion(int32_t CX, int32_t CY, int32_t Radius, long double StartAngle, long double EndAngle,
                    int32_t Count);

} // namespace mirel
