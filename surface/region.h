// Clip regions: sets of pixels built from rectangles, rounded rectangles and
// polygons, and combined with the four set operations.
//
// A TRegion is a value. It owns its storage, copies deeply and frees itself,
// so no region can leak; the operation names follow the classic GDI calls so
// that drawing code reads like its formulas (CreateRectRgn, CombineRgn, ...).
//
// Representation (pixman's region32): a y-x banded list of boxes.
//
//     band 0   [====]      [==========]        boxes of one band share Top
//     band 1   [===============]   [==]        and Bottom, are sorted by x,
//     band 2          [====]                   never touch or overlap;
//                                              bands are sorted by y and
//                                              never overlap.
//
// Debug builds check this after every operation that builds a region.
#pragma once

#include "surface/rect.h"

#include <pixman.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mirel {

class TBitmap;
class TCanvas;

enum TCombineMode : int {
    RGN_AND = 1,  // intersection
    RGN_OR = 2,   // union
    RGN_XOR = 3,  // exclusive or
    RGN_DIFF = 4, // first minus second
};

class TRegion {
public:
    TRegion();                         // empty
    explicit TRegion(const TRect& r);  // r with its edges put in order
    TRegion(const TRegion& other);
    TRegion(TRegion&& other) noexcept;
    TRegion& operator=(const TRegion& other);
    TRegion& operator=(TRegion&& other) noexcept;
    ~TRegion();

    bool IsEmpty() const;
    TRect Bounds() const;          // (0, 0, 0, 0) when empty
    int64_t Area() const;          // number of pixels covered
    bool Contains(int32_t x, int32_t y) const;
    std::vector<TRect> Boxes() const;
    void Offset(int32_t dx, int32_t dy);

    friend bool operator==(const TRegion& a, const TRegion& b);

    // Builds a region from boxes in any order, overlapping or not (pixman
    // sorts and bands them); fastest when they come y-x banded already.
    static TRegion FromBandedBoxes(const std::vector<pixman_box32_t>& boxes);

    const pixman_region32_t* Native() const { return &region_; }
    pixman_region32_t* Native() { return &region_; }

    // Aborts a debug build when the banding invariant above is broken.
    void CheckInvariants() const;

private:
    pixman_region32_t region_;
};

// Rectangle regions: edges given in the wrong order are put in order; zero
// width or height gives an empty region.
TRegion CreateRectRgn(int32_t left, int32_t top, int32_t right, int32_t bottom);
TRegion CreateRectRgnIndirect(const TRect& r);

// A rectangle whose corners are rounded by an ellipse ellipseWidth wide and
// ellipseHeight high; each axis of the ellipse is limited to the rectangle's
// own extent on that axis, so an oversized ellipse gives a half-ellipse end or
// a full ellipse. A pixel belongs to the region when its centre lies inside.
TRegion CreateRoundRectRgn(int32_t left, int32_t top, int32_t right, int32_t bottom,
                           int32_t ellipseWidth, int32_t ellipseHeight);

// A closed polygon filled by the non-zero winding rule. Fewer than three
// points, or no enclosed area, give an empty region. A pixel belongs to the
// region when its centre lies inside. The cost grows with the polygon's height
// in rows, so callers keep coordinates within a few picture sizes.
TRegion CreatePolygonRgn(const TPoint* points, int count);

// The union of many rectangles in one pass (edges put in order, empty ones
// dropped). The same region as uniting them one by one with CombineRgn, at a
// fraction of the cost when there are hundreds: comb and grid builders
// collect their pieces and call this once.
TRegion UnionOfRects(const std::vector<TRect>& rects);

// TCanvas::DrawBitmapThrough (bitmap.h) through the boxes of a region given
// y-x banded, as a region holds them: for shapes built band by band in that
// order, which can skip building the region. Boxes may reach outside both
// bitmaps. Kept apart from the canvas so that the widget's library, which
// exports the canvas, exports nothing of pixman.
void DrawBitmapThrough(TCanvas& canvas, const TBitmap& bitmap, const pixman_box32_t* bandedBoxes, size_t count);

// dest := a (mode) b. dest may be a or b.
void CombineRgn(TRegion& dest, const TRegion& a, const TRegion& b, TCombineMode mode);

// dest := dest united with piece: the step every comb and grid builder repeats.
inline void UniteRgn(TRegion& dest, const TRegion& piece) { CombineRgn(dest, dest, piece, RGN_OR); }

} // namespace mirel
