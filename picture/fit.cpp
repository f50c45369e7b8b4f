// Scaling with pixman. Shrinking uses a separable convolution filter: a tent
// as wide as two target pixels, which averages away detail finer than the
// target can show. pixman sums the whole square of taps for each pixel, so
// the cost grows with the square of the scale (a cubic, twice as wide, cost
// three times as much for no visible gain on photographs); a source more
// than twice the target is therefore first halved by 2 x 2 averaging until
// the rest of the way is at most 2. Enlarging is bilinear. Edges repeat their pixels (pixman's pad), so a picture's
// border is not darkened by the black beyond it.
//
// pixman works on premultiplied alpha and our bitmaps hold straight alpha: a
// source with transparency is premultiplied as the first halving reads it
// (or, when there is no halving, the part that takes part is premultiplied
// into a copy of its own) and the result turned back; an opaque one (the
// usual case) is used as it is. A large transparent picture is thus never
// copied whole: its copy would cost as much as the picture.
#include "picture/fit.h"

#include "surface/rect.h"

#include <pixman.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>

namespace mirel {

namespace {

// Rows of pixels inside some bitmap.
struct TView {
    const uint32_t* Bits = nullptr;
    int32_t Width = 0, Height = 0;
    int32_t Stride = 0; // in pixels
    const uint32_t* Row(int32_t y) const { return Bits + size_t(y) * size_t(Stride); }
};

TView ViewOf(const TBitmap& b) { return {b.Empty() ? nullptr : b.PixelRow(0), b.Width(), b.Height(), b.Width()}; }

// Rows of pixels to write inside some bitmap: all of it, or the rectangle a
// fitted picture takes in its frame.
struct TTarget {
    uint32_t* Bits = nullptr;
    int32_t Width = 0, Height = 0;
    int32_t Stride = 0; // in pixels

    static TTarget Of(TBitmap& b, const TRect& r)
    {
        return {b.PixelRow(r.Top) + r.Left, r.Right - r.Left, r.Bottom - r.Top, int32_t(b.BytesPerLine() / 4)};
    }
};

bool IsOpaque(const TView& v)
{
    for (int32_t y = 0; y < v.Height; ++y) {
        const uint32_t* row = v.Row(y);
        uint32_t all = 0xFF000000u;
        for (int32_t x = 0; x < v.Width; ++x)
            all &= row[x];
        if (all != 0xFF000000u)
            return false;
    }
    return true;
}

uint32_t Premultiplied(uint32_t p)
{
    const uint32_t a = p >> 24;
    if (a == 255)
        return p;
    const auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
    return a << 24 | mul(p >> 16 & 0xFF) << 16 | mul(p >> 8 & 0xFF) << 8 | mul(p & 0xFF);
}

void Premultiply(const TView& v, TBitmap& out)
{
    out.SetSize(v.Width, v.Height);
    for (int32_t y = 0; y < v.Height; ++y) {
        const uint32_t* src = v.Row(y);
        uint32_t* dst = out.PixelRow(y);
        for (int32_t x = 0; x < v.Width; ++x)
            dst[x] = Premultiplied(src[x]);
    }
}

void Unpremultiply(TBitmap& b)
{
    for (int32_t y = 0; y < b.Height(); ++y) {
        uint32_t* row = b.PixelRow(y);
        for (int32_t x = 0; x < b.Width(); ++x) {
            const uint32_t p = row[x], a = p >> 24;
            if (a == 0 || a == 255)
                continue;
            const auto div = [a](uint32_t c) { return std::min<uint32_t>((c * 255 + a / 2) / a, 255); };
            row[x] = a << 24 | div(p >> 16 & 0xFF) << 16 | div(p >> 8 & 0xFF) << 8 | div(p & 0xFF);
        }
    }
}

// Halves the axes asked for by averaging pairs (an odd last pixel pairs with
// itself). Premultiplied or opaque pixels only, unless premultiply says to
// premultiply straight ones as they are read.
void Halve(const TView& v, bool inX, bool inY, bool premultiply, TBitmap& out)
{
    const int32_t w = inX ? (v.Width + 1) / 2 : v.Width, h = inY ? (v.Height + 1) / 2 : v.Height;
    out.SetSize(w, h);
    for (int32_t y = 0; y < h; ++y) {
        const uint32_t* r0 = v.Row(inY ? 2 * y : y);
        const uint32_t* r1 = v.Row(inY ? std::min(2 * y + 1, v.Height - 1) : y);
        uint32_t* dst = out.PixelRow(y);
        for (int32_t x = 0; x < w; ++x) {
            const int32_t x0 = inX ? 2 * x : x, x1 = inX ? std::min(2 * x + 1, v.Width - 1) : x;
            uint32_t a = r0[x0], b = r0[x1], c = r1[x0], d = r1[x1];
            if (premultiply) {
                a = Premultiplied(a);
                b = Premultiplied(b);
                c = Premultiplied(c);
                d = Premultiplied(d);
            }
            // Two channels at a time, each in a 16-bit lane: (a + b + c + d + 2) / 4.
            constexpr uint32_t Lanes = 0x00FF00FFu, Half = 0x00020002u;
            const uint32_t lo = (a & Lanes) + (b & Lanes) + (c & Lanes) + (d & Lanes) + Half;
            const uint32_t hi = (a >> 8 & Lanes) + (b >> 8 & Lanes) + (c >> 8 & Lanes) + (d >> 8 & Lanes) + Half;
            dst[x] = (lo >> 2 & Lanes) | (hi >> 2 & Lanes) << 8;
        }
    }
}

struct TPixmanImage {
    pixman_image_t* Image;
    explicit TPixmanImage(pixman_image_t* image) : Image(image)
    {
        if (Image == nullptr)
            throw std::bad_alloc();
    }
    ~TPixmanImage() { pixman_image_unref(Image); }
    TPixmanImage(const TPixmanImage&) = delete;
    TPixmanImage& operator=(const TPixmanImage&) = delete;
};

pixman_image_t* Wrap(const TView& v)
{
    // pixman only reads a source; the const_cast never leads to a write.
    return pixman_image_create_bits(PIXMAN_a8r8g8b8, v.Width, v.Height, const_cast<uint32_t*>(v.Bits),
                                    v.Stride * 4);
}

// Shrinking by no more than this, bilinear filtering (pixman's fast path,
// a tenth of the convolution's time) loses nothing the eye sees: each
// target pixel still reads the four source pixels nearest its centre, and
// the detail finer than the target is a fifth of the picture's at most. A
// JPEG decoded at the libjpeg scale that just covers the target (a 24-
// megapixel photo for a 4K screen) is left this close.
constexpr double BilinearReach = 1.25;

// Resamples area (x, y, w, h) of v onto the whole of out; v premultiplied or
// opaque, v and out not empty.
void Resample(const TView& v, double x, double y, double w, double h, const TTarget& out)
{
    // pixman's coordinates are 16.16 fixed point.
    constexpr int32_t Reach = 32767;
    if (v.Width > Reach || v.Height > Reach || out.Width > Reach || out.Height > Reach || w / out.Width > Reach ||
        h / out.Height > Reach)
        throw TBitmapError("a scaling beyond 32767 pixels or times");
    const double sx = w / out.Width, sy = h / out.Height;
    TPixmanImage src(Wrap(v));
    TPixmanImage dst(pixman_image_create_bits(PIXMAN_a8r8g8b8, out.Width, out.Height, out.Bits, out.Stride * 4));
    // Destination pixel centres (i + 0.5) land on x + (i + 0.5) * sx.
    pixman_f_transform ft;
    pixman_f_transform_init_identity(&ft);
    ft.m[0][0] = sx;
    ft.m[0][2] = x;
    ft.m[1][1] = sy;
    ft.m[1][2] = y;
    pixman_transform t;
    if (!pixman_transform_from_pixman_f_transform(&t, &ft))
        throw TBitmapError("a scaling beyond 32767 pixels or times");
    pixman_image_set_transform(src.Image, &t);
    pixman_image_set_repeat(src.Image, PIXMAN_REPEAT_PAD);
    if (sx > BilinearReach || sy > BilinearReach) {
        int count = 0;
        pixman_fixed_t* params = pixman_filter_create_separable_convolution(
            &count, pixman_double_to_fixed(std::max(sx, 1.0)), pixman_double_to_fixed(std::max(sy, 1.0)),
            PIXMAN_KERNEL_IMPULSE, PIXMAN_KERNEL_IMPULSE, PIXMAN_KERNEL_LINEAR, PIXMAN_KERNEL_LINEAR, 2, 2);
        if (params == nullptr)
            throw std::bad_alloc();
        const bool ok = pixman_image_set_filter(src.Image, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, params, count);
        free(params);
        if (!ok)
            throw std::bad_alloc();
    } else {
        pixman_image_set_filter(src.Image, PIXMAN_FILTER_BILINEAR, nullptr, 0);
    }
    pixman_image_composite32(PIXMAN_OP_SRC, src.Image, nullptr, dst.Image, 0, 0, 0, 0, 0, 0, out.Width, out.Height);
}

// ScaleArea on premultiplied or opaque pixels, or on straight ones
// (straight) premultiplied on the way.
void ScalePremultiplied(TView v, double x, double y, double w, double h, bool straight, const TTarget& out)
{
    // Only the area and a margin for the filter's reach take part; halving
    // the whole of a large picture for a small part of it would be waste.
    const double reach = 4 * std::max({w / out.Width, h / out.Height, 1.0}) + 4;
    const int32_t x0 = int32_t(std::clamp(std::floor(x - reach), 0.0, double(v.Width - 1)));
    const int32_t y0 = int32_t(std::clamp(std::floor(y - reach), 0.0, double(v.Height - 1)));
    const int32_t x1 = int32_t(std::clamp(std::ceil(x + w + reach), double(x0 + 1), double(v.Width)));
    const int32_t y1 = int32_t(std::clamp(std::ceil(y + h + reach), double(y0 + 1), double(v.Height)));
    v = {v.Row(y0) + x0, x1 - x0, y1 - y0, v.Stride};
    x -= x0;
    y -= y0;
    TBitmap halves[2];
    int which = 0;
    for (;;) {
        const bool inX = w / out.Width > 2 && v.Width > 1, inY = h / out.Height > 2 && v.Height > 1;
        if (!inX && !inY)
            break;
        // Pixel centres of the halved source sit between pairs: edges scale by half.
        Halve(v, inX, inY, straight, halves[which]);
        straight = false;
        v = ViewOf(halves[which]);
        which ^= 1;
        if (inX) {
            x /= 2;
            w /= 2;
        }
        if (inY) {
            y /= 2;
            h /= 2;
        }
    }
    TBitmap premultiplied;
    if (straight) { // no halving: the area is at most twice the target
        Premultiply(v, premultiplied);
        v = ViewOf(premultiplied);
    }
    Resample(v, x, y, w, h, out);
}

// dst over background at (left, top), dst straight alpha (with the same for
// the result), clipped to out.
void DrawOver(TBitmap& out, int32_t left, int32_t top, const TBitmap& src)
{
    TRect r = Rect(left, top, left + src.Width(), top + src.Height());
    if (!IntersectRect(r, r, out.BoundsRect()))
        return;
    for (int32_t y = r.Top; y < r.Bottom; ++y) {
        const uint32_t* s = src.PixelRow(y - top) + (r.Left - left);
        uint32_t* d = out.PixelRow(y) + r.Left;
        for (int32_t x = 0; x < r.Right - r.Left; ++x) {
            const uint32_t p = s[x], sa = p >> 24;
            if (sa == 255) {
                d[x] = p;
                continue;
            }
            if (sa == 0)
                continue;
            const uint32_t q = d[x], da = q >> 24;
            // Straight alpha: result alpha ra = sa + da (1 - sa), colour
            // (c_s sa + c_d da (1 - sa)) / ra, all in 0..255 units.
            const uint32_t dw = da * (255 - sa) / 255, ra = sa + dw;
            uint32_t o = ra << 24;
            for (int shift = 0; shift < 24; shift += 8)
                o |= ((p >> shift & 0xFF) * sa + (q >> shift & 0xFF) * dw + ra / 2) / ra << shift;
            d[x] = o;
        }
    }
}

// A few passes of a 3 x 3 box blur, in place, on opaque pixels.
void BoxBlur(TBitmap& b, int passes)
{
    TBitmap tmp(b.Width(), b.Height());
    for (int pass = 0; pass < passes; ++pass) {
        for (int32_t y = 0; y < b.Height(); ++y)
            for (int32_t x = 0; x < b.Width(); ++x) {
                uint32_t sum[3] = {0, 0, 0}, n = 0;
                for (int32_t dy = -1; dy <= 1; ++dy)
                    for (int32_t dx = -1; dx <= 1; ++dx) {
                        const int32_t xx = std::clamp(x + dx, 0, b.Width() - 1), yy = std::clamp(y + dy, 0, b.Height() - 1);
                        const uint32_t p = b.Pixel(xx, yy);
                        sum[0] += p & 0xFF;
                        sum[1] += p >> 8 & 0xFF;
                        sum[2] += p >> 16 & 0xFF;
                        ++n;
                    }
                tmp.SetPixel(x, y, 0xFF000000u | (sum[2] / n) << 16 | (sum[1] / n) << 8 | sum[0] / n);
            }
        b.Swap(tmp);
    }
}

} // namespace

namespace {

// ScaleArea for a source already known to be opaque or not.
void ScaleAreaOf(const TView& v, bool opaque, double x, double y, double w, double h, int32_t width, int32_t height,
                 TBitmap& out)
{
    CheckBitmapSize(width, height);
    TBitmap result(width, height, 0);
    if (!result.Empty() && v.Bits != nullptr && w > 0 && h > 0 && std::isfinite(x + y + w + h)) {
        ScalePremultiplied(v, x, y, w, h, !opaque, TTarget::Of(result, result.BoundsRect()));
        if (!opaque)
            Unpremultiply(result);
    }
    out.Swap(result);
}

// Scales area (x, y, w, h) of source onto rectangle r of frame: an opaque
// source straight into it, so that a large fit holds no scaled copy beside
// its frame; one with transparency scaled apart and laid over the frame.
void ScaleOnto(const TBitmap& source, double x, double y, double w, double h, TBitmap& frame, const TRect& r)
{
    const TView v = ViewOf(source);
    if (IsOpaque(v)) {
        ScalePremultiplied(v, x, y, w, h, false, TTarget::Of(frame, r));
        return;
    }
    TBitmap scaled;
    ScaleAreaOf(v, false, x, y, w, h, r.Right - r.Left, r.Bottom - r.Top, scaled);
    DrawOver(frame, r.Left, r.Top, scaled);
}

} // namespace

void ScaleArea(const TBitmap& source, double x, double y, double w, double h, int32_t width, int32_t height,
               TBitmap& out)
{
    const TView v = ViewOf(source);
    ScaleAreaOf(v, !source.Empty() && IsOpaque(v), x, y, w, h, width, height, out);
}

void FitPicture(const TBitmap& source, int32_t width, int32_t height, TFitMode mode, TBitmap& out,
                uint32_t background)
{
    CheckBitmapSize(width, height);
    // A picture of the frame's own size with nothing to let the background
    // through is its own fit in every mode: the frame shares its pixels. A
    // camera's picture rendered at its own size, or a screen-sized one shown
    // full screen, costs neither a copy nor a resampling.
    if (!source.Empty() && source.Width() == width && source.Height() == height && IsOpaque(ViewOf(source))) {
        out.Share(source);
        return;
    }
    TBitmap frame(width, height, background);
    if (frame.Empty() || source.Empty()) {
        out.Swap(frame);
        return;
    }
    const int32_t sw = source.Width(), sh = source.Height();
    TBitmap scaled;
    switch (mode) {
    case TFitMode::Stretch:
        ScaleOnto(source, 0, 0, sw, sh, frame, frame.BoundsRect());
        break;
    case TFitMode::Center:
        DrawOver(frame, (width - sw) / 2, (height - sh) / 2, source);
        break;
    case TFitMode::Fill: {
        // The scale at which the picture covers the frame; the visible area
        // of the source is the frame's shape at that scale, centred.
        const double scale = std::max(double(width) / sw, double(height) / sh);
        const double w = width / scale, h = height / scale;
        ScaleOnto(source, (sw - w) / 2, (sh - h) / 2, w, h, frame, frame.BoundsRect());
        break;
    }
    case TFitMode::Blur: {
        // A small Fill copy, blurred, darkened and enlarged back, under the
        // Aspect placement: a cheap stand-in for a wide blur of the whole.
        const int32_t bw = std::max(1, width / 24), bh = std::max(1, height / 24);
        TBitmap small(bw, bh, background | 0xFF000000u), filled;
        FitPicture(source, bw, bh, TFitMode::Fill, filled, background);
        DrawOver(small, 0, 0, filled);
        BoxBlur(small, 3);
        for (int32_t y = 0; y < bh; ++y)
            for (int32_t x = 0; x < bw; ++x) {
                const uint32_t p = small.Pixel(x, y);
                small.SetPixel(x, y, 0xFF000000u | ((p >> 16 & 0xFF) * 5 / 8) << 16 | ((p >> 8 & 0xFF) * 5 / 8) << 8 |
                                         (p & 0xFF) * 5 / 8);
            }
        ScaleArea(small, 0, 0, bw, bh, width, height, scaled);
        DrawOver(frame, 0, 0, scaled);
        [[fallthrough]];
    }
    case TFitMode::Aspect: {
        const TRect r = AspectFitRect(Rect(0, 0, sw, sh), Rect(0, 0, width, height));
        if (r.Right > r.Left && r.Bottom > r.Top)
            ScaleOnto(source, 0, 0, sw, sh, frame, r);
        break;
    }
    }
    out.Swap(frame);
}

} // namespace mirel
