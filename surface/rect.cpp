#include "surface/rect.h"

#include <algorithm>
#include <limits>

namespace mirel {

bool IntersectRect(TRect& dest, const TRect& a, const TRect& b)
{
    TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top),
            std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
    if (r.IsEmpty()) {
        dest = TRect{};
        return false;
    }
    dest = r;
    return true;
}

int32_t MulDiv(int32_t a, int32_t b, int32_t c)
{
    if (c == 0)
        return -1;
    const int64_t product = int64_t{a} * int64_t{b};
    const bool negative = (product < 0) != (c < 0);
    // |product| < 2^62 and |c| <= 2^31, so the magnitudes fit unsigned 64 bits.
    const uint64_t num = product < 0 ? uint64_t(0) - uint64_t(product) : uint64_t(product);
    const uint64_t den = c < 0 ? uint64_t(0) - uint64_t(int64_t{c}) : uint64_t(c);
    // Rounding the magnitude half up is rounding the value half away from zero.
    const uint64_t q = (num + den / 2) / den;
    const uint64_t limit = negative ? uint64_t(std::numeric_limits<int32_t>::max()) + 1
                                    : uint64_t(std::numeric_limits<int32_t>::max());
    if (q > limit)
        return -1;
    return negative ? int32_t(-int64_t(q)) : int32_t(q);
}

TRect AspectFitRect(const TRect& src, const TRect& bounds)
{
    const int32_t pw = src.Width(), ph = src.Height(), bw = bounds.Width(), bh = bounds.Height();
    if (pw <= 0 || ph <= 0)
        return bounds;
    int32_t w = bw, h = bh;
    if (double(bh) / ph > double(bw) / pw)
        h = MulDiv(ph, bw, pw);
    else
        w = MulDiv(pw, bh, ph);
    TRect r{0, 0, w, h};
    OffsetRect(r, bounds.Left + (bw - w) / 2, bounds.Top + (bh - h) / 2);
    return r;
}

} // namespace mirel
