// Successive frames of one transition, each drawn over the one before.
//
// Most procedures draw with the canvas alone and never look at what Display
// held: they cover part of the frame with the new picture (moved, scaled or
// cut to a shape) and leave the old picture elsewhere. For those, a frame
// need not start from a full copy of the old picture. The builder watches
// the area each frame draws; the next frame is drawn over the last one, and
// the old picture is put back only where the last frame drew and the new one
// did not. A copy of the new picture 1:1 onto the place where the last frame
// left it already copies nothing (a reveal draws only the strip it gained).
// The frame is the same, pixel for pixel, the work is little more than what
// changed, and so is the area to show again.
//
// A procedure that reads Display, or writes it other than through its canvas
// (as the procedures of the fade and the pushes do), is seen doing so on a
// small blank frame drawn aside before the builder's first frame with it, or
// failing that at a frame itself (which starts from the old picture in full
// as always); from then on that style's frames are built whole, as
// DrawEffectFrame builds them (through the style's compose form, where it has
// one). So are always those of the styles whose frames are too ragged to
// follow (RaggedFrames): the region of what changed would take megabytes. A
// style with a compose form is otherwise drawn over the last frame too: the
// sweeps that squeeze, stretch or slide the new picture in redraw its part,
// and leave the old picture where it is. A procedure that computes its
// pixels itself and names the area they fill (TCanvas::DrawArea, as the
// pivots do) is followed like the others.
#pragma once

#include "effects/catalogue.h"
#include "surface/region.h"

namespace mirel {

class TFrameBuilder {
public:
    // The frame DrawEffectFrame(Display, Old, Image, style, Step, Progress)
    // gives, drawn into Display. Returns the area of Display that may differ
    // from what it held before: all of it unless the builder drew the frame
    // before with the same three bitmaps and style, and nobody changed
    // Display since. Progress may go either way between two frames.
    TRegion Draw(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, int style, uint32_t Step,
               int32_t Progress);

    // The last frame, the new picture itself, drawn into Display's own
    // pixels, for a Display drawn in place (a window's image): over the
    // frame drawn last where Draw could go on from it, copying only what is
    // not the new picture there yet, else whole. Returns the area that may
    // have changed, as Draw does; Draw may go on from it. (Draw itself
    // gives the last frame as DrawEffectFrame does, sharing the picture.)
    TRegion DrawLast(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, int style);

    // Display holds Old, pixel for pixel, drawn there by someone else (a
    // window's image that shows the old picture): the next frame of style
    // is drawn over it, as over a frame that left the old picture everywhere.
    void Adopt(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, int style);

    // The next frame is built whole: for a new transition, or when Old or
    // Image changed (the builder does not watch them).
    void Reset() noexcept;

private:
    // Whether the next frame can be drawn over the last one.
    bool GoesOn(const TBitmap& Display, const TBitmap& Old, const TBitmap& Image, int style) const;
    TDrawRecord watch_; // on Display, from one frame to the next
    TRegion drawn_;     // where Display differs from Old, at most
    const TBitmap* old_ = nullptr;
    const TBitmap* image_ = nullptr;
    int style_ = 0;
    bool valid_ = false;
};

} // namespace mirel
