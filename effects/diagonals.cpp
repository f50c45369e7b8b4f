// Diagonal reveals, sweeps, starburst and triangular shred (styles 110-117,
// 143, 144): the new picture is uncovered in place through polygons, right
// triangles out of the corners, wedges turning about corners or the centre, a
// grid of growing triangles, and a pie swept like a clock hand.
#include "effects/diagonals.h"

#include "effects/draw.h"
#include "surface/composed_rows.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace mirel {

TRegion TriangleRegion(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3)
{
    const TPoint corners[3] = {{X1, Y1}, {X2, Y2}, {X3, Y3}};
    return CreatePolygonRgn(corners, 3);
}

std::vector<TPoint> SweepPoints(int32_t CX, int32_t CY, int32_t Radius, long double StartAngle,
                                long double EndAngle, int32_t Count)
{
    std::vector<TPoint> points;
    if (Count < 1)
        return points;
    points.reserve(size_t(Count) + 1);
    points.push_back({CX, CY});
    const long double delta = (EndAngle - StartAngle) / Count;
    long double angle = StartAngle;
    for (int32_t k = 1; k <= Count; ++k) {
        // lrint rounds halves to even under the default rounding mode.
        const long x = std::lrint(Radius * std::cos(angle));
        const long y = std::lrint(Radius * std::sin(angle));
        points.push_back({int32_t(CX + x), int32_t(CY + y)});
        angle += delta;
    }
    return points;
}

TRegion SweepRegion(int32_t CX, int32_t CY, int32_t Radius, long double StartAngle, long double EndAngle,
                    int32_t Count)
{
    const std::vector<TPoint> points = SweepPoints(CX, CY, Radius, StartAngle, EndAngle, Count);
    return CreatePolygonRgn(points.data(), int(points.size()));
}

// ---- Corner triangles and wedges ----

#define MIREL_TRIANGLE(Name, X1, Y1, X2, Y2, X3, Y3)                                                     \
    void Name(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)  \
    {                                                                                                    \
        [[maybe_unused]] const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress); \
        DrawImageThrough(Display, Image, TriangleRegion(X1, Y1, X2, Y2, X3, Y3));                        \
    }

// The hypotenuse crosses the picture's diagonal at 50 and never quite
// reaches the far corner.
MIREL_TRIANGLE(RevealDiagonalFromTopLeft, 0, 0, 2 * PW, 0, 0, 2 * PH)               // 110
MIREL_TRIANGLE(RevealDiagonalFromTopRight, W, 0, W - 2 * PW, 0, W, 2 * PH)          // 111
MIREL_TRIANGLE(RevealDiagonalFromBottomLeft, 0, H, 2 * PW, H, 0, H - 2 * PH)        // 112
MIREL_TRIANGLE(RevealDiagonalFromBottomRight, W, H, W - 2 * PW, H, W, H - 2 * PH)   // 113

#undef MIREL_TRIANGLE

// 114: wedges about the top-left and bottom-right corners, turning
// anticlockwise from the left and right edges towards the main diagonal.
void DiagonalSweepAnticlockwise(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step,
                                int32_t Progress)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    TRegion G = TriangleRegion(0, H, 0, 0, PW, H);
    UniteRgn(G, TriangleRegion(W, H, W, 0, W - PW, 0));
    DrawImageThrough(Display, Image, G);
}

// 115: the same corners, turning clockwise from the top and bottom edges.
void DiagonalSweepClockwise(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step,
                            int32_t Progress)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    TRegion G = TriangleRegion(W, 0, 0, 0, W, PH);
    UniteRgn(G, TriangleRegion(W, H, 0, H, 0, H - PH));
    DrawImageThrough(Display, Image, G);
}

// 116: four wedges with their apex at the centre, their free corners running
// clockwise along the four edges.
void StarburstClockwiseFromCenter(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step,
                                  int32_t Progress)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    const int32_t MX = W / 2, MY = H / 2;
    TRegion G = TriangleRegion(MX, MY, 0, H, 0, H - PH);     // left edge, upwards
    UniteRgn(G, TriangleRegion(0, 0, PW, 0, MX, MY));        // top edge, rightwards
    UniteRgn(G, TriangleRegion(W - PW, H, MX, MY, W, H));    // bottom edge, leftwards
    UniteRgn(G, TriangleRegion(MX, MY, W, 0, W, PH));        // right edge, downwards
    DrawImageThrough(Display, Image, G);
}

// ---- Triangular shred ----

namespace {

// (n + 1)^2 right triangles, one on every point (j * W, i * H) of an n x n
// grid (i, j = 0 .. n), with the picture's sizes divided by n. Each has its
// right angle at the top left and its hypotenuse through its grid point.
//
// Drawn row by row rather than through (n + 1)^2 unions of ever larger
// regions (1849 triangles on 1920 x 1080 at the default Step). The triangles
// are one shape moved by whole pixels, and sampling at pixel centres gives
// the same pixels for a shape so moved, so the shape is scanned once. Its
// left side is vertical: on any row, the triangles of one grid column all
// start at the same pixel, and their union there is one span as wide as the
// widest of them. That span repeats every W pixels along the row.
class TTriangularShred {
public:
    explicit TTriangularShred(const TEffectGeometry& g)
    {
        n_ = g.Band > 1 ? g.Band / 2 : g.Band;
        // A Band of 0 (a picture of a few pixels) acts as 1: four triangles
        // on the picture's corners, as large as the picture.
        n_ = std::max(n_, 1);
        const int32_t PW = g.PW / n_, PH = g.PH / n_;
        W_ = g.W / n_;
        H_ = g.H / n_;
        const TRegion shape = TriangleRegion(-PW, -PH, PW, -PH, -PW, PH);
        if (shape.IsEmpty() || W_ < 0 || H_ < 0)
            return;
        extent_ = shape.Bounds();
        // The shape's width on each of its rows, every row starting at extent_.Left.
        shapeWidth_.assign(size_t(extent_.Height()), 0);
        for (const TRect& b : shape.Boxes())
            for (int32_t y = b.Top; y < b.Bottom; ++y)
                shapeWidth_[size_t(y - extent_.Top)] = b.Right - extent_.Left;
    }

    // The rows the triangles reach, cut to [0, bottom).
    int32_t Top() const { return shapeWidth_.empty() ? 0 : std::max(extent_.Top, 0); }
    int32_t Bottom(int32_t bottom) const
    {
        return shapeWidth_.empty() ? 0 : std::min(n_ * H_ + extent_.Bottom, bottom);
    }

    // The width of the span the triangles of a grid column cover on row y:
    // that of the widest of them there, 0 where none reaches.
    int32_t RowWidth(int32_t y) const
    {
        int32_t width = 0;
        // From the first grid row whose triangles reach down to y.
        const int32_t below = y - extent_.Bottom;
        for (int32_t i = H_ > 0 && below >= 0 ? below / H_ + 1 : 0; i <= n_; ++i) {
            const int32_t row = y - i * H_ - extent_.Top;
            if (row < 0) // and further down the grid
                break;
            if (row < extent_.Height())
                width = std::max(width, shapeWidth_[size_t(row)]);
        }
        return width;
    }

    // The spans of a row whose RowWidth is width, left to right, cut to
    // [0, right): add(x1, x2) for each.
    template <typename TAdd>
    void Spans(int32_t width, int32_t right, const TAdd& add) const
    {
        const auto cut = [&](int32_t x1, int32_t x2) {
            x1 = std::max(x1, 0);
            x2 = std::min(x2, right);
            if (x1 < x2)
                add(x1, x2);
        };
        if (width == 0)
            return;
        if (width >= W_) // neighbouring spans touch or overlap: one span
            cut(extent_.Left, extent_.Left + n_ * W_ + width);
        else
            for (int32_t j = 0; j <= n_; ++j)
                cut(extent_.Left + j * W_, extent_.Left + j * W_ + width);
    }

private:
    int32_t n_ = 1, W_ = 0, H_ = 0;
    TRect extent_{};
    std::vector<int32_t> shapeWidth_;
};

// The boxes, y-x banded (rows of the same width form one band), cut to the
// bitmaps drawn on and from (right x bottom), in the calling thread's own
// buffer, kept from frame to frame so that a frame neither allocates them nor
// faults their pages in anew: at 1920 x 1080 they are some 45000, in about as
// many bands as rows.
const std::vector<pixman_box32_t>& TriangularShredBoxes(const TTriangularShred& shred, int32_t right,
                                                        int32_t bottom)
{
    thread_local std::vector<pixman_box32_t> boxes;
    boxes.clear();
    int32_t width = 0, bandTop = 0;
    const auto flush = [&](int32_t bandBottom) {
        shred.Spans(width, right, [&](int32_t x1, int32_t x2) { boxes.push_back({x1, bandTop, x2, bandBottom}); });
    };
    const int32_t end = shred.Bottom(bottom);
    for (int32_t y = shred.Top(); y < end; ++y)
        if (const int32_t rowWidth = shred.RowWidth(y); rowWidth != width) {
            flush(y);
            width = rowWidth;
            bandTop = y;
        }
    flush(end);
    return boxes;
}

} // namespace

// 117
void TriangularShredToTopLeft(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step,
                              int32_t Progress)
{
    const auto& boxes = TriangularShredBoxes(TTriangularShred(CalcEffectGeometry(R, int32_t(Step), Progress)),
                                             std::min(Display.Width(), Image.Width()),
                                             std::min(Display.Height(), Image.Height()));
    DrawBitmapThrough(Display.Canvas(), Image, boxes.data(), boxes.size());
}

// Composed: the old picture between the triangles, the new one in them, row
// by row, each pixel written once.
void ComposeTriangularShredToTopLeft(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, const TRect& R,
                                     uint32_t Step, int32_t Progress)
{
    const TTriangularShred shred(CalcEffectGeometry(R, int32_t(Step), Progress));
    const int32_t top = shred.Top(), bottom = shred.Bottom(Display.Height());
    ComposeRows(Display, [&](int32_t bandTop, int32_t bandBottom) {
        for (int32_t y = bandTop; y < bandBottom; ++y)
            ComposeRow(Display, Old, Image, y, [&](const auto& span) {
                if (y >= top && y < bottom)
                    shred.Spans(shred.RowWidth(y), Display.Width(), span);
            });
    });
}

// ---- Clock sweeps ----

namespace {

// A pie about the centre starting straight up, with one arc point every 3.6
// degrees (pi / 50) and Progress of them; Turn is +1 clockwise, -1 anti.
// The radius is half the diagonal rounded up, so the pie reaches the corners.
TRegion ClockSweep(const TEffectGeometry& g, int32_t Progress, int Turn)
{
    constexpr long double Pi = std::numbers::pi_v<long double>;
    const int32_t cx = g.W / 2, cy = g.H / 2;
    const int64_t squares = int64_t{cx} * cx + int64_t{cy} * cy;
    const auto Radius = int32_t(std::ceil(std::sqrt(static_cast<long double>(squares))));
    return SweepRegion(cx, cy, Radius, -Pi / 2, Progress * (Turn * Pi) / 50 - Pi / 2, Progress);
}

} // namespace

// 143
void SweepClockwise(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)
{
    DrawImageThrough(Display, Image, ClockSweep(CalcEffectGeometry(R, int32_t(Step), Progress), Progress, 1));
}

// 144
void SweepAnticlockwise(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step,
                        int32_t Progress)
{
    DrawImageThrough(Display, Image, ClockSweep(CalcEffectGeometry(R, int32_t(Step), Progress), Progress, -1));
}

} // namespace mirel
