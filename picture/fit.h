// Placing a picture in a frame of another size, with filtered scaling
// (pixman): a separable convolution for shrinking, bilinear for enlarging.
#pragma once

#include "surface/bitmap.h"

#include <cstdint>

namespace mirel {

enum class TFitMode {
    Stretch, // the whole frame, the picture's aspect ignored
    Aspect,  // the largest centred rectangle of the picture's aspect (AspectFitRect); the rest background
    Center,  // unscaled, centred, cut by the frame
    Fill,    // covers the frame, centred, the overhang cut off
    Blur,    // Aspect over a blurred, darkened Fill of the same picture
};

// out becomes width x height with source placed by mode. Transparent parts
// of the source lie over background. An empty source or frame gives a frame
// of background (or an empty out when width or height is 0). An opaque source
// of exactly width x height is its own fit: out shares its pixels (see
// TBitmap::Share) instead of copying them.
void FitPicture(const TBitmap& source, int32_t width, int32_t height, TFitMode mode, TBitmap& out,
                uint32_t background = 0xFF000000u);

// Filtered resampling of the source area (x, y, w, h), in source pixels with
// sub-pixel precision, onto the whole of out (width x height): the building
// block of fitting and of slow pan-and-zoom moves. Parts of the area outside
// the source repeat its edge pixels. Alpha stays straight. Throws
// TBitmapError for an impossible size, or when the area (after halving) or
// out is wider or taller than 32767 pixels, beyond what the filter reaches.
void ScaleArea(const TBitmap& source, double x, double y, double w, double h, int32_t width, int32_t height,
               TBitmap& out);

} // namespace mirel
