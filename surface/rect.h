// Rectangles and the integer arithmetic every drawing formula relies on.
//
// A TRect is half-open: it covers Left <= x < Right and Top <= y < Bottom,
// so Right - Left is its width and two rectangles that share an edge never
// share a pixel. Nothing here normalises a rectangle behind the caller's
// back; a rectangle whose Right is left of its Left is simply empty.
#pragma once

#include <cstdint>

namespace mirel {

struct TPoint {
    int32_t X = 0;
    int32_t Y = 0;
    friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TRect {
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;

    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    friend bool operator==(const TRect&, const TRect&) = default;
};

inline TRect Rect(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    return TRect{left, top, right, bottom};
}

inline void SetRect(TRect& r, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    r = TRect{left, top, right, bottom};
}

inline void OffsetRect(TRect& r, int32_t dx, int32_t dy)
{
    r.Left += dx;
    r.Right += dx;
    r.Top += dy;
    r.Bottom += dy;
}

// Stores the common part of a and b in dest and says whether there is one.
// Rectangles that do not meet give (0, 0, 0, 0).
bool IntersectRect(TRect& dest, const TRect& a, const TRect& b);

// a * b / c with a 64-bit intermediate product, rounded to the nearest
// integer, halves away from zero. A zero divisor, or a quotient that does
// not fit 32 bits, gives -1, as the Windows call of the same name does.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// The largest rectangle of src's aspect ratio centred in bounds. A source of
// no width or height gives bounds itself.
TRect AspectFitRect(const TRect& src, const TRect& bounds);

// Integer division as the effect formulas write "div": truncates toward zero
// (C++ does so too; the name keeps the formulas readable).
constexpr int32_t Div(int32_t a, int32_t b) { return a / b; }

} // namespace mirel
