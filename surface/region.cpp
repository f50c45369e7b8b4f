#include "surface/region.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <cstdlib>
#include <memory>
#include <utility>

namespace mirel {

namespace {

pixman_box32_t Ordered(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    return {std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
}

} // namespace

TRegion::TRegion() { pixman_region32_init(&region_); }

TRegion::TRegion(const TRect& r)
{
    const pixman_box32_t b = Ordered(r.Left, r.Top, r.Right, r.Bottom);
    if (b.x1 == b.x2 || b.y1 == b.y2)
        pixman_region32_init(&region_);
    else
        pixman_region32_init_with_extents(&region_, &b);
}

TRegion::TRegion(const TRegion& other)
{
    pixman_region32_init(&region_);
    if (!pixman_region32_copy(&region_, &other.region_))
        throw std::bad_alloc();
}

TRegion::TRegion(TRegion&& other) noexcept
{
    pixman_region32_init(&region_);
    std::swap(region_, other.region_);
}

TRegion& TRegion::operator=(const TRegion& other)
{
    if (this != &other && !pixman_region32_copy(&region_, &other.region_))
        throw std::bad_alloc();
    return *this;
}

TRegion& TRegion::operator=(TRegion&& other) noexcept
{
    std::swap(region_, other.region_);
    return *this;
}

TRegion::~TRegion() { pixman_region32_fini(&region_); }

bool TRegion::IsEmpty() const { return !pixman_region32_not_empty(&region_); }

TRect TRegion::Bounds() const
{
    if (IsEmpty())
        return {};
    const pixman_box32_t* e = pixman_region32_extents(&region_);
    return {e->x1, e->y1, e->x2, e->y2};
}

int64_t TRegion::Area() const
{
    int n = 0;
    const pixman_box32_t* b = pixman_region32_rectangles(&region_, &n);
    int64_t area = 0;
    for (int i = 0; i < n; ++i)
        area += int64_t{b[i].x2 - b[i].x1} * int64_t{b[i].y2 - b[i].y1};
    return area;
}

bool TRegion::Contains(int32_t x, int32_t y) const
{
    return pixman_region32_contains_point(&region_, x, y, nullptr);
}

std::vector<TRect> TRegion::Boxes() const
{
    int n = 0;
    const pixman_box32_t* b = pixman_region32_rectangles(&region_, &n);
    std::vector<TRect> out;
    out.reserve(n);
    for (int i = 0; i < n; ++i)
        out.push_back({b[i].x1, b[i].y1, b[i].x2, b[i].y2});
    return out;
}

void TRegion::Offset(int32_t dx, int32_t dy) { pixman_region32_translate(&region_, dx, dy); }

bool operator==(const TRegion& a, const TRegion& b)
{
    return pixman_region32_equal(&a.region_, &b.region_);
}

namespace {

// Builds region from boxes that come y-x banded already (bands top to
// bottom, apart; a band's boxes left to right), in one pass: boxes of a band
// that touch are joined, and a band that repeats the one just above it is
// joined to it, as pixman's own validation would. pixman sorts any input
// first, which for a shape of tens of thousands of boxes (a shred's comb)
// costs more than drawing it. Returns false, having built nothing, when the
// boxes are not banded so; pixman then does it.
bool BuildFromBanded(pixman_region32_t& region, const std::vector<pixman_box32_t>& boxes)
{
    const size_t count = boxes.size();
    // pixman frees a region's storage with free(): one block, the header and
    // then the boxes.
    struct TFree {
        void operator()(void* p) const noexcept { std::free(p); }
    };
    std::unique_ptr<pixman_region32_data_t, TFree> data(static_cast<pixman_region32_data_t*>(
        std::malloc(sizeof(pixman_region32_data_t) + count * sizeof(pixman_box32_t))));
    if (data == nullptr)
        throw std::bad_alloc();
    auto* out = reinterpret_cast<pixman_box32_t*>(data.get() + 1);
    size_t n = 0;
    size_t band = 0, lastBand = 0; // where the band being built, and the one above it, start in out
    int32_t left = INT32_MAX, right = INT32_MIN;
    // Joins the band ending at n to the band above it when the two repeat.
    const auto coalesce = [&] {
        const size_t above = band - lastBand, here = n - band;
        if (band == 0 || above != here || out[lastBand].y2 != out[band].y1)
            return false;
        for (size_t i = 0; i < here; ++i)
            if (out[lastBand + i].x1 != out[band + i].x1 || out[lastBand + i].x2 != out[band + i].x2)
                return false;
        for (size_t i = 0; i < here; ++i)
            out[lastBand + i].y2 = out[band + i].y2;
        n = band;
        band = lastBand;
        return true;
    };
    for (const pixman_box32_t& b : boxes) {
        if (b.x1 >= b.x2 || b.y1 >= b.y2)
            return false;
        if (n > band && b.y1 == out[band].y1 && b.y2 == out[band].y2) { // the same band
            pixman_box32_t& last = out[n - 1];
            if (b.x1 < last.x1)
                return false;
            if (b.x1 <= last.x2) {
                last.x2 = std::max(last.x2, b.x2);
                right = std::max(right, last.x2);
                continue;
            }
        } else if (n > band) { // a band below
            if (b.y1 < out[band].y2)
                return false;
            if (!coalesce())
                lastBand = band;
            band = n;
        }
        out[n++] = b;
        left = std::min(left, b.x1);
        right = std::max(right, b.x2);
    }
    coalesce();
    if (n == 1) {
        pixman_region32_init_rect(&region, out[0].x1, out[0].y1, out[0].x2 - out[0].x1, out[0].y2 - out[0].y1);
        return true;
    }
    data->size = long(count);
    data->numRects = long(n);
    region.extents = {left, out[0].y1, right, out[n - 1].y2};
    region.data = data.release();
    return true;
}

} // namespace

TRegion TRegion::FromBandedBoxes(const std::vector<pixman_box32_t>& boxes)
{
    TRegion r;
    if (boxes.size() > 1) {
        if (BuildFromBanded(r.region_, boxes)) {
            r.CheckInvariants();
            return r;
        }
    }
    if (!boxes.empty()) {
        pixman_region32_fini(&r.region_);
        if (!pixman_region32_init_rects(&r.region_, boxes.data(), int(boxes.size()))) {
            pixman_region32_init(&r.region_);
            throw std::bad_alloc();
        }
    }
    r.CheckInvariants();
    return r;
}

void TRegion::CheckInvariants() const
{
#ifndef NDEBUG
    // The library's own invariant check: banding, ordering, extents.
    if (!pixman_region32_selfcheck(const_cast<pixman_region32_t*>(&region_)))
        std::abort();
#endif
}

TRegion CreateRectRgn(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    return TRegion(Rect(left, top, right, bottom));
}

TRegion CreateRectRgnIndirect(const TRect& r) { return TRegion(r); }

TRegion UnionOfRects(const std::vector<TRect>& rects)
{
    std::vector<pixman_box32_t> boxes;
    boxes.reserve(rects.size());
    for (const TRect& r : rects) {
        const pixman_box32_t b = Ordered(r.Left, r.Top, r.Right, r.Bottom);
        if (b.x1 != b.x2 && b.y1 != b.y2)
            boxes.push_back(b);
    }
    // init_rects sorts and merges overlapping input into bands itself.
    return TRegion::FromBandedBoxes(boxes);
}

void CombineRgn(TRegion& dest, const TRegion& a, const TRegion& b, TCombineMode mode)
{
    // pixman takes its sources through non-const pointers but only reads them.
    pixman_region32_t* d = dest.Native();
    auto* ma = const_cast<pixman_region32_t*>(a.Native());
    auto* mb = const_cast<pixman_region32_t*>(b.Native());
    pixman_bool_t ok = true;
    switch (mode) {
    case RGN_AND:
        ok = pixman_region32_intersect(d, ma, mb);
        break;
    case RGN_OR:
        ok = pixman_region32_union(d, ma, mb);
        break;
    case RGN_DIFF:
        ok = pixman_region32_subtract(d, ma, mb);
        break;
    case RGN_XOR: {
        // (a - b) | (b - a); both halves are taken before dest is written.
        TRegion aMinusB, bMinusA;
        ok = pixman_region32_subtract(aMinusB.Native(), ma, mb) &&
             pixman_region32_subtract(bMinusA.Native(), mb, ma) &&
             pixman_region32_union(d, aMinusB.Native(), bMinusA.Native());
        break;
    }
    }
    if (!ok)
        throw std::bad_alloc();
    dest.CheckInvariants();
}

} // namespace mirel
