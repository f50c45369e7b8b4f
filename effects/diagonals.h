// Diagonal reveals, sweeps, starburst and triangular shred.
// Every procedure here is a TEffectProc (effects/catalogue.h); the number is its style.
#pragma once

#include "effects/catalogue.h"

namespace mirel {

TEffectFunction RevealDiagonalFromTopLeft; // 110
TEffectFunction RevealDiagonalFromTopRight; // 111
TEffectFunction RevealDiagonalFromBottomLeft; // 112
TEffectFunction RevealDiagonalFromBottomRight; // 113
TEffectFunction DiagonalSweepAnticlockwise; // 114
TEffectFunction DiagonalSweepClockwise; // 115
TEffectFunction StarburstClockwiseFromCenter; // 116
TEffectFunction TriangularShredToTopLeft; // 117
TEffectFunction SweepClockwise; // 143
TEffectFunction SweepAnticlockwise; // 144

} // namespace mirel
