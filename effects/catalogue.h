// The catalogue of transition effects and the contract of a drawing procedure.
//
// A procedure draws one frame of a transition from the old picture to the new
// one. It is called with
//   Display   the frame bitmap, holding the old picture in full on entry;
//   Image     the new picture, the same size, read only;
//   R         (0, 0, width, height), the whole area of both bitmaps;
//   Step      the percent the progress advances per frame, 1 .. 100;
//   Progress  the percent done, always 1 .. 99 (0 and 100 are the old and the
//             new picture, drawn by the caller).
// It leaves the frame in Display, no clip region selected on Display's canvas
// and Image unchanged. Procedures keep no state; the only shared state they
// touch is the generator of effects/random.h (the shreds and speckles draw
// from it, and the random squares reseed it at every frame).
#pragma once

#include "surface/bitmap.h"
#include "surface/rect.h"

#include <cstdint>
#include <optional>
#include <string_view>

namespace mirel {

// 0 selects custom drawing by the caller; 1 .. 150 select catalogue rows.
using TShowStyle = uint8_t;
constexpr int MaxShowStyle = 150;

// The family headers declare their procedures with the function type itself:
// "TEffectFunction ExpandFromRight;" is a declaration of that procedure.
using TEffectFunction = void(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step,
                             int32_t Progress);
using TEffectProc = TEffectFunction*;

// A style's compose form, where it has one: the whole frame drawn from the
// old picture Old and the new one Image at once, exactly the frame that Old
// copied into Display followed by the style's procedure gives, in one pass
// over the pixels instead of two. Display, Old and Image have one size and
// are three different bitmaps; Old and Image are read only. Display's
// pixels on entry are anything (the widget composes onto its window's
// backing store, through a bitmap over those rows), and every one of them
// is drawn.
using TComposeFunction = void(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, const TRect& R,
                              uint32_t Step, int32_t Progress);
using TComposeProc = TComposeFunction*;

struct TEffect {
    const char* Name;
    TEffectProc Proc;
    TComposeProc Compose = nullptr;
};

// Row n is style n. Row 0 is "Custom", with no procedure.
extern const TEffect Effects[MaxShowStyle + 1];

// "Custom" for 0, the row's name for 1 .. 150, "" beyond.
std::string_view StyleName(int style);

// The style whose name equals name, ignoring case: "Custom" first, then rows
// 1, 2, ... 150, so the first of two equal names wins (18 over 33, 25 over
// 34). Nothing when no name matches.
std::optional<TShowStyle> StyleOfName(std::string_view name);

// Whether the style's frames depend on the shared generator's state: the
// uneven shreds (65-68, 76-79, 100-109) and the speckles (123-126). Drawn
// twice, such a frame comes out differently; every other style draws a
// frame from its progress alone (the random squares reseed the generator
// first).
bool RandomFrames(int style);

// Whether the style's frames are shapes of tens of thousands of boxes (the
// uneven shreds with column strips, 76-79 and 100-109, the criss-crosses,
// 86-99, and the triangular and the rectangular shred, 117 and 142): each
// frame is composed whole, never drawn over the last one, whose changed
// area would take regions of megabytes to follow.
bool RaggedFrames(int style);

// The progress geometry nearly every procedure starts from. The longer side
// advances with the progress, the shorter follows in the picture's aspect
// ratio, and Band is the longer side times Step / 90.
struct TEffectGeometry {
    int32_t W, H, PW, PH, Band;
};
TEffectGeometry CalcEffectGeometry(const TRect& R, int32_t Step, int32_t Progress);

// Draws the frame of style at Progress into Display, which holds the old
// picture: nothing at 0 or below, Image whole at 100 or above, the style's
// procedure in between. Style 0 (custom) and styles beyond 150 draw nothing.
void DrawEffectFrame(TBitmap& Display, const TBitmap& Image, int style, uint32_t Step, int32_t Progress);

// The same frame built whole from Old (the old picture, Image's size): through
// the style's compose form where it has one, otherwise Old copied into
// Display and the frame drawn over it as above. Display takes Image's size;
// the last frame (Progress 100 and beyond) shares Image's pixels.
void DrawEffectFrame(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, int style, uint32_t Step,
                     int32_t Progress);
// The same frame for a caller done with the old picture: where the style
// draws over the old picture, it draws over Old's own pixels, which Display
// takes, instead of over a copy of them. Old is left holding anything.
void DrawEffectFrame(TBitmap& Display, TBitmap&& Old, const TBitmap& Image, int style, uint32_t Step, int32_t Progress);

} // namespace mirel
