// Scan conversion of rounded rectangles and polygons into regions.
//
// Both shapes are sampled at pixel centres: pixel (x, y) belongs to the shape
// when the point (x + 0.5, y + 0.5) lies inside. Each row yields a few spans;
// rows with identical spans are merged into one band, so a shape with long
// straight sides costs a handful of boxes, not one per row.
#include "surface/region.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace mirel {

namespace {

struct TSpan {
    int32_t X1, X2;
    friend bool operator==(const TSpan&, const TSpan&) = default;
};

// Collects rows of spans top to bottom and emits y-x banded boxes.
class TBandBuilder {
public:
    // Spans of one row, sorted by x, disjoint and not touching.
    void AddRow(int32_t y, const std::vector<TSpan>& spans)
    {
        if (!bandSpans_.empty() && y == bandBottom_ && spans == bandSpans_) {
            ++bandBottom_;
            return;
        }
        Flush();
        bandSpans_ = spans;
        bandTop_ = y;
        bandBottom_ = y + 1;
    }

    TRegion Finish()
    {
        Flush();
        return TRegion::FromBandedBoxes(boxes_);
    }

private:
    void Flush()
    {
        for (const TSpan& s : bandSpans_)
            boxes_.push_back({s.X1, bandTop_, s.X2, bandBottom_});
        bandSpans_.clear();
    }

    std::vector<pixman_box32_t> boxes_;
    std::vector<TSpan> bandSpans_;
    int32_t bandTop_ = 0;
    int32_t bandBottom_ = 0;
};

// First pixel column whose centre is at or right of x.
int32_t FirstColumnFrom(double x)
{
    const double c = std::ceil(x - 0.5);
    constexpr double lo = std::numeric_limits<int32_t>::min();
    constexpr double hi = std::numeric_limits<int32_t>::max();
    return int32_t(std::clamp(c, lo, hi));
}

} // namespace

TRegion CreateRoundRectRgn(int32_t left, int32_t top, int32_t right, int32_t bottom,
                           int32_t ellipseWidth, int32_t ellipseHeight)
{
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
    if (left == right || top == bottom)
        return TRegion();

    const double width = double(right) - left;
    const double height = double(bottom) - top;
    const double a = std::min(std::abs(double(ellipseWidth)), width) / 2;   // ellipse half-axes
    const double b = std::min(std::abs(double(ellipseHeight)), height) / 2;
    if (a == 0 || b == 0)
        return CreateRectRgn(left, top, right, bottom);

    TBandBuilder bands;
    std::vector<TSpan> row(1);
    for (int64_t y = top; y < bottom; ++y) {
        const double yc = double(y) + 0.5;
        // Distance from the nearer corner ellipse's centre line; 0 on the straight sides.
        double dy = 0;
        if (yc < top + b)
            dy = top + b - yc;
        else if (yc > bottom - b)
            dy = yc - (bottom - b);
        const double t = dy / b;
        const double dx = a * std::sqrt(std::max(0.0, 1 - t * t));
        row[0] = {FirstColumnFrom(left + a - dx), FirstColumnFrom(right - a + dx)};
        if (row[0].X1 < row[0].X2)
            bands.AddRow(int32_t(y), row);
        else
            bands.AddRow(int32_t(y), {});
    }
    return bands.Finish();
}

TRegion CreatePolygonRgn(const TPoint* points, int count)
{
    if (points == nullptr || count < 3)
        return TRegion();

    // Every non-horizontal edge, top to bottom, with its winding direction.
    // Rows are scanned with an active list, so a fan of a hundred edges costs
    // per row only the few edges that cross it.
    struct TEdge {
        int32_t Top, Bottom; // rows whose centres the edge crosses: [Top, Bottom)
        double X0, Y0, Slope;
        int Winding;
    };
    std::vector<TEdge> edges;
    edges.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        const TPoint& p = points[i];
        const TPoint& q = points[(i + 1) % count];
        if (p.Y == q.Y)
            continue;
        const bool down = p.Y < q.Y;
        const TPoint& a = down ? p : q;
        const TPoint& b = down ? q : p;
        // Vertices lie on whole rows and centres on half rows: no ties.
        edges.push_back({a.Y, b.Y, double(a.X), double(a.Y), (double(b.X) - a.X) / (double(b.Y) - a.Y),
                         down ? 1 : -1});
    }
    if (edges.empty())
        return TRegion();
    std::sort(edges.begin(), edges.end(), [](const TEdge& l, const TEdge& r) { return l.Top < r.Top; });
    int32_t yMax = edges[0].Bottom;
    for (const TEdge& e : edges)
        yMax = std::max(yMax, e.Bottom);

    struct TCrossing {
        double X;
        int Winding;
    };
    std::vector<const TEdge*> active;
    std::vector<TCrossing> crossings;
    std::vector<TSpan> spans;
    TBandBuilder bands;
    size_t next = 0;
    for (int64_t y = edges[0].Top; y < yMax; ++y) {
        while (next < edges.size() && edges[next].Top <= y)
            active.push_back(&edges[next++]);
        std::erase_if(active, [y](const TEdge* e) { return e->Bottom <= y; });

        const double yc = double(y) + 0.5;
        crossings.clear();
        for (const TEdge* e : active)
            crossings.push_back({e->X0 + (yc - e->Y0) * e->Slope, e->Winding});
        std::sort(crossings.begin(), crossings.end(),
                  [](const TCrossing& l, const TCrossing& r) { return l.X < r.X; });

        spans.clear();
        int winding = 0;
        double start = 0;
        for (const TCrossing& c : crossings) {
            const int before = winding;
            winding += c.Winding;
            if (before == 0 && winding != 0) {
                start = c.X;
            } else if (before != 0 && winding == 0) {
                const TSpan s{FirstColumnFrom(start), FirstColumnFrom(c.X)};
                if (s.X1 >= s.X2)
                    continue;
                if (!spans.empty() && spans.back().X2 >= s.X1)
                    spans.back().X2 = std::max(spans.back().X2, s.X2);
                else
                    spans.push_back(s);
            }
        }
        bands.AddRow(int32_t(y), spans);
    }
    return bands.Finish();
}

} // namespace mirel
