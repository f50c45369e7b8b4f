#include "surface/bitmap.h"

#include "surface/composed_rows.h"
#include "surface/gather.h"
#include "surface/parallel.h"
#include "surface/region.h"

#include <pixman.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <numeric>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include <sys/mman.h>

namespace mirel {

namespace {

// One axis of a copy: source span [S0, S1) onto destination span [D0, D1),
// mirrored when Flip. 64-bit so that no sum of 32-bit inputs overflows.
struct TAxis {
    int64_t D0, D1, S0, S1;
    bool Flip;
};

// GDI's convention: a negative extent e at p covers p + e + 1 .. p.
TAxis MakeAxis(int32_t d, int32_t dExt, int32_t s, int32_t sExt)
{
    TAxis a{};
    a.D0 = dExt > 0 ? d : int64_t{d} + dExt + 1;
    a.D1 = a.D0 + (dExt > 0 ? int64_t{dExt} : -int64_t{dExt});
    a.S0 = sExt > 0 ? s : int64_t{s} + sExt + 1;
    a.S1 = a.S0 + (sExt > 0 ? int64_t{sExt} : -int64_t{sExt});
    a.Flip = (dExt < 0) != (sExt < 0);
    return a;
}

// Where on the destination axis the source offset k (0 .. source length)
// lands, rounded to the nearest pixel edge.
int64_t DestEdge(const TAxis& a, int64_t k)
{
    const int64_t len = a.S1 - a.S0, ext = a.D1 - a.D0;
    const int64_t off = (k * ext + len / 2) / len;
    return a.Flip ? a.D1 - off : a.D0 + off;
}

// Cuts the source span to [0, limit) and the destination by the same share.
bool ClipSourceAxis(TAxis& a, int64_t limit)
{
    const int64_t c0 = std::max<int64_t>(a.S0, 0), c1 = std::min<int64_t>(a.S1, limit);
    if (c0 >= c1)
        return false;
    if (c0 != a.S0 || c1 != a.S1) {
        int64_t e0 = DestEdge(a, c0 - a.S0), e1 = DestEdge(a, c1 - a.S0);
        if (e0 > e1)
            std::swap(e0, e1);
        a.D0 = e0;
        a.D1 = e1;
        a.S0 = c0;
        a.S1 = c1;
    }
    return a.D0 < a.D1;
}

// Rows of 32-bit pixels: a bitmap's, or a scratch copy's.
struct TPixels {
    const uint32_t* Bits;
    int32_t Width, Height;
    int32_t Stride; // pixels from one row to the next
    const uint32_t* Row(int32_t y) const { return Bits + size_t(y) * size_t(Stride); }
};

TPixels PixelsOf(const TBitmap& bmp)
{
    return {bmp.PixelRow(0), bmp.Width(), bmp.Height(), bmp.BytesPerLine() / 4};
}

pixman_image_t* WrapBits(const TPixels& px, int32_t x, int32_t y, int32_t w, int32_t h)
{
    // pixman only reads a source image; the const_cast never leads to a write.
    auto* bits = const_cast<uint32_t*>(px.Row(y)) + x;
    pixman_image_t* img = pixman_image_create_bits(PIXMAN_a8r8g8b8, w, h, bits, px.Stride * 4);
    if (img == nullptr)
        throw std::bad_alloc();
    return img;
}

struct TImageRef {
    pixman_image_t* Img;
    ~TImageRef() { pixman_image_unref(Img); }
};

pixman_fixed_t ScaleFixed(double v) { return pixman_double_to_fixed(v); }

bool IsIdentity(const TAxis& a) { return !a.Flip && a.D1 - a.D0 == a.S1 - a.S0; }

// Row k of the transform: the source position of the destination pixel
// centre (i + 0.5) along one axis, counted from the uncut destination origin.
void SetAxisTransform(pixman_transform_t& t, int k, const TAxis& a)
{
    const auto len = int32_t(a.S1 - a.S0);
    const double scale = double(len) / double(a.D1 - a.D0);
    t.matrix[k][k] = ScaleFixed(a.Flip ? -scale : scale);
    t.matrix[k][2] = a.Flip ? pixman_int_to_fixed(len) : 0;
}

bool Overlaps(const TAxis& ax, const TAxis& ay)
{
    return ax.S0 < ax.D1 && ax.D0 < ax.S1 && ay.S0 < ay.D1 && ay.D0 < ay.S1;
}

// Which source offset (0 .. length - 1) each destination pixel [d0, d1) of
// one axis samples, as pixman's blit below samples it: pixman itself draws the
// map, from a one-pixel-thick picture of its own offsets through the same
// transform. Axis 0 is x, 1 is y. An axis that is not scaled samples the
// offsets in turn, and its map is written straight away: pixman's images and
// composite would cost more than the copy of a narrow strip.
std::vector<uint32_t> SampleMap(const TAxis& a, int k, int64_t d0, int64_t d1)
{
    const auto len = int32_t(a.S1 - a.S0), n = int32_t(d1 - d0);
    if (IsIdentity(a)) {
        std::vector<uint32_t> map(static_cast<size_t>(n));
        std::iota(map.begin(), map.end(), uint32_t(d0 - a.D0));
        return map;
    }
    std::vector<uint32_t> offsets(static_cast<size_t>(len)), map(static_cast<size_t>(n));
    for (int32_t i = 0; i < len; ++i)
        offsets[size_t(i)] = uint32_t(i);
    const int32_t sw = k == 0 ? len : 1, sh = k == 0 ? 1 : len, dw = k == 0 ? n : 1, dh = k == 0 ? 1 : n;
    TImageRef s{WrapBits(TPixels{offsets.data(), sw, sh, sw}, 0, 0, sw, sh)};
    TImageRef d{WrapBits(TPixels{map.data(), dw, dh, dw}, 0, 0, dw, dh)};
    if (!IsIdentity(a)) {
        pixman_transform_t t;
        pixman_transform_init_identity(&t);
        SetAxisTransform(t, k, a);
        pixman_image_set_transform(s.Img, &t);
        pixman_image_set_filter(s.Img, PIXMAN_FILTER_NEAREST, nullptr, 0);
        pixman_image_set_repeat(s.Img, PIXMAN_REPEAT_PAD);
    }
    const auto from = int32_t(d0 - a.D0);
    pixman_image_composite32(PIXMAN_OP_SRC, s.Img, nullptr, d.Img, k == 0 ? from : 0, k == 0 ? 0 : from, 0, 0, 0, 0,
                             dw, dh);
    return map;
}

// The size of the processor's last-level cache, as Linux tells it, or 8 MiB
// where it does not.
size_t LastLevelCacheBytes()
{
    static const size_t bytes = [] {
        size_t found = 0;
        int level = 0;
        for (int i = 0; i < 8; ++i) {
            const std::string dir = "/sys/devices/system/cpu/cpu0/cache/index" + std::to_string(i) + "/";
            std::ifstream levelFile(dir + "level"), sizeFile(dir + "size");
            int l = 0;
            size_t size = 0;
            std::string unit;
            if (!(levelFile >> l) || !(sizeFile >> size) || l <= level)
                continue;
            sizeFile >> unit;
            level = l;
            found = size << (unit == "K" ? 10 : unit == "M" ? 20 : 0);
        }
        return found > 0 ? found : size_t{8} << 20;
    }();
    return bytes;
}

// Who draws scaled, mirrored and overlapping copies.
std::atomic<TScaledCopies> ScaledCopies{TScaledCopies::Fast};

bool ResamplesItself() { return ScaledCopies.load(std::memory_order_relaxed) != TScaledCopies::Pixman; }

// A scaled or mirrored copy drawn without pixman's general sampling, which
// fetches pixel by pixel through the transform: each destination row takes
// one source row (the row map) and each destination column one source
// column (the column map), both drawn by SampleMap, so the pixels are
// pixman's. A row reading the same source row as the row drawn just before
// it is a copy of that row; columns that are not scaled are a copy of the
// source row's span; scaled ones are gathered through the column map.
class TResampler {
public:
    TResampler(TBitmap& dst, const TRegion* clip, const TAxis& ax, const TAxis& ay, const TPixels& src)
        : dst_(dst), src_(src)
    {
        x0_ = std::max<int64_t>(ax.D0, 0);
        x1_ = std::min<int64_t>(ax.D1, dst.Width());
        y0_ = std::max<int64_t>(ay.D0, 0);
        y1_ = std::min<int64_t>(ay.D1, dst.Height());
        if (x0_ >= x1_ || y0_ >= y1_)
            return;
        // The destination's boxes: the rectangle, or its parts inside the
        // clip region, in bands of rows (each band's boxes left to right).
        const TRect area{int32_t(x0_), int32_t(y0_), int32_t(x1_), int32_t(y1_)};
        if (clip == nullptr) {
            boxes_.push_back(area);
        } else {
            TRegion r(area);
            CombineRgn(r, r, *clip, RGN_AND);
            boxes_ = r.Boxes();
        }
        if (boxes_.empty())
            return;
        for (size_t b = 0; b < boxes_.size(); ++b)
            if (bands_.empty() || boxes_[b].Top != boxes_[bands_.back().first].Top)
                bands_.push_back({b, b + 1});
            else
                bands_.back().second = b + 1;

        rows_ = SampleMap(ay, 1, y0_, y1_);
        for (uint32_t& r : rows_)
            r += uint32_t(ay.S0);
        plain_ = boxes_.size() == 1 && IsIdentity(ax) && IsIdentity(ay);
        std::vector<uint32_t> cols = SampleMap(ax, 0, x0_, x1_);
        contiguous_ = true;
        readLeft_ = UINT32_MAX;
        for (size_t i = 0; i < cols.size(); ++i) {
            cols[i] += uint32_t(ax.S0);
            contiguous_ = contiguous_ && cols[i] == cols[0] + i;
            readsAhead_ = readsAhead_ && cols[i] >= x0_ + int64_t(i);
            readLeft_ = std::min(readLeft_, cols[i]);
            readRight_ = std::max(readRight_, cols[i] + 1);
        }
        readsBetween_ = !contiguous_ && src.Bits != std::as_const(dst).PixelRow(0) &&
                        ay.S1 - ay.S0 < 2 * (ay.D1 - ay.D0) && 8 * int64_t{readRight_ - readLeft_} >= 7 * src.Stride &&
                        int64_t{src.Height} * src.Stride * 4 <= int64_t(LastLevelCacheBytes() / 2);
        cols_.emplace(std::move(cols), size_t(src.Width),
                      contiguous_ || ScaledCopies.load(std::memory_order_relaxed) == TScaledCopies::Scalar);
    }

    bool Empty() const { return boxes_.empty(); }
    int64_t Top() const { return y0_; }
    int64_t Left() const { return x0_; }
    // Whether the two destination rectangles share a pixel.
    bool Overlaps(const TResampler& other) const
    {
        return x0_ < other.x1_ && other.x0_ < x1_ && y0_ < other.y1_ && other.y0_ < y1_;
    }
    int64_t Bottom() const { return y1_; }
    int64_t Pixels() const { return (x1_ - x0_) * (y1_ - y0_); }
    // The source row of destination row y.
    int64_t SourceRow(int64_t y) const { return rows_[size_t(y - y0_)]; }
    // The source column of destination column x.
    int64_t SourceColumn(int64_t x) const { return (*cols_)[size_t(x - x0_)]; }

    // Row y of a walk down the rows (each row once, in order): band is the
    // walk's place among the bands, 0 at first. The row is sampled afresh
    // even where the row above took the same source row: other copies may
    // have drawn over that one since.
    // With runs given (the source is another bitmap), a copy of one box that
    // is not scaled adds its run to them instead of copying it at once.
    // alone: as for DrawRow. Copies that read one bitmap by turns, row by
    // row, make one stream through it with their parts of each row, and a
    // scaled copy's reads beyond its own samples would break it: style 13,
    // whose two halves share the new picture, went from about 1.35 to
    // 1.4-1.5 copies at 1920 x 1080.
    void DrawRowAt(int32_t y, size_t& band, std::vector<uint32_t>& buffer, TRunCopier* runs = nullptr,
                   bool alone = true) const
    {
        if (plain_) {
            // One box, neither axis scaled: a run copied straight away, as
            // the rows' bookkeeping below costs as much as a short run.
            const TRect& b = boxes_.front();
            if (y < b.Top || y >= b.Bottom)
                return;
            const uint32_t* s = src_.Row(int32_t(SourceRow(y))) + SourceColumn(b.Left);
            uint32_t* d = dst_.PixelRow(y) + b.Left;
            const auto stride = size_t(y + 1 < b.Bottom ? src_.Stride : 0);
            if (runs != nullptr) {
                runs->Add(d, s, size_t(b.Width()), stride, b.Right == dst_.Width());
                return;
            }
            std::memmove(d, s, size_t(b.Width()) * 4);
            if (stride != 0)
                ReadOnToNextRow(s, size_t(b.Width()), stride);
            return;
        }
        if (runs != nullptr)
            runs->Flush();
        while (band < bands_.size() && boxes_[bands_[band].first].Bottom <= y)
            ++band;
        if (band == bands_.size() || boxes_[bands_[band].first].Top > y)
            return;
        const auto [first, last] = bands_[band];
        DrawRow(y, -1, y + 1 < boxes_[first].Bottom ? y + 1 : -1, first, last, buffer, alone);
    }

    // Draws the rows [top, bottom) of the copy, bottom-up when upwards.
    // Where the source is the destination bitmap itself, the caller chooses
    // an order in which every row is read before it is written.
    void Draw(int32_t top, int32_t bottom, bool upwards) const
    {
        std::vector<uint32_t> buffer;
        const auto drawBand = [&](size_t first, size_t last) {
            const int32_t from = std::max(top, boxes_[first].Top), to = std::min(bottom, boxes_[first].Bottom);
            if (upwards) {
                for (int32_t y = to - 1; y >= from; --y)
                    DrawRow(y, y + 1 < to ? y + 1 : -1, y > from ? y - 1 : -1, first, last, buffer);
            } else {
                for (int32_t y = from; y < to; ++y)
                    DrawRow(y, y > from ? y - 1 : -1, y + 1 < to ? y + 1 : -1, first, last, buffer);
            }
        };
        if (upwards) {
            for (auto band = bands_.rbegin(); band != bands_.rend(); ++band)
                drawBand(band->first, band->second);
        } else {
            for (const auto& [first, last] : bands_)
                drawBand(first, last);
        }
    }

private:
    // Row y through the boxes [first, last) of its band; done is the row of
    // the same band drawn just before, next the one drawn just after, or -1.
    // alone: no other copy reads the same bitmap by turns with this one, row
    // by row, so that the scaled rows may read on past what they sample.
    void DrawRow(int32_t y, int32_t done, int32_t next, size_t first, size_t last, std::vector<uint32_t>& buffer,
                 bool alone = true) const
    {
        uint32_t* d = dst_.PixelRow(y);
        const int64_t sy = SourceRow(y);
        if (done >= 0 && SourceRow(done) == sy) {
            const uint32_t* again = dst_.PixelRow(done);
            for (size_t b = first; b < last; ++b)
                std::memcpy(d + boxes_[b].Left, again + boxes_[b].Left, size_t(boxes_[b].Width()) * 4);
            return;
        }
        const uint32_t* s = src_.Row(int32_t(sy));
        DrawFromSource(d, s, first, last, buffer);
        if (next < 0)
            return;
        // Reads that keep the prefetcher streaming down the source: see
        // ReadOnToNextRow and readsBetween_.
        const int64_t ny = SourceRow(next);
        const auto span = size_t(readRight_ - readLeft_);
        if (ny == sy + 1 && (contiguous_ || (alone && boxes_.size() == 1)))
            ReadOnToNextRow(s + readLeft_, span, size_t(src_.Stride));
        else if (ny == sy + 2 && alone && readsBetween_)
            ReadThrough(src_.Row(int32_t(sy + 1)) + readLeft_, span);
    }

    // The same from its source row s.
    void DrawFromSource(uint32_t* d, const uint32_t* s, size_t first, size_t last,
                        std::vector<uint32_t>& buffer) const
    {
        if (contiguous_) {
            // The source may be this very row, shifted: moved box by box in
            // the direction that reads every box's pixels before writing them.
            const auto move = [&](size_t b) {
                std::memmove(d + boxes_[b].Left, s + SourceColumn(boxes_[b].Left), size_t(boxes_[b].Width()) * 4);
            };
            if (SourceColumn(x0_) < x0_) {
                for (size_t b = last; b-- > first;)
                    move(b);
            } else {
                for (size_t b = first; b < last; ++b)
                    move(b);
            }
            return;
        }
        if (s != d) {
            for (size_t b = first; b < last; ++b)
                cols_->Row(d + x0_, s, size_t(boxes_[b].Left - x0_), size_t(boxes_[b].Right - x0_));
            return;
        }
        // A row sampling itself: in place, left to right, where every column
        // reads at or after its own place; else every sample is read before
        // any is written.
        if (readsAhead_) {
            for (size_t b = first; b < last; ++b)
                cols_->RowInPlace(d + x0_, s, size_t(boxes_[b].Left - x0_), size_t(boxes_[b].Right - x0_));
            return;
        }
        const int32_t left = boxes_[first].Left, right = boxes_[last - 1].Right;
        buffer.resize(size_t(x1_ - x0_));
        cols_->Row(buffer.data(), s, size_t(left - x0_), size_t(right - x0_));
        for (size_t b = first; b < last; ++b)
            std::memcpy(d + boxes_[b].Left, buffer.data() + (boxes_[b].Left - x0_), size_t(boxes_[b].Width()) * 4);
    }

    TBitmap& dst_;
    TPixels src_;
    int64_t x0_ = 0, x1_ = 0, y0_ = 0, y1_ = 0; // the destination rectangle cut to the bitmap
    std::vector<TRect> boxes_;
    std::vector<std::pair<size_t, size_t>> bands_; // runs of boxes with the same rows
    std::vector<uint32_t> rows_;                   // the source row of each destination row
    std::optional<TColumnGather> cols_;            // and the source column of each destination column
    bool contiguous_ = false;                      // cols_ run on one by one: the columns are not scaled
    bool readsAhead_ = true;                       // every column reads at or after its own place
    bool plain_ = false;                           // one box, copied 1:1
    uint32_t readLeft_ = 0, readRight_ = 0;       // the source columns a row reads, [left, right)
    // A scaled copy of one box from part of each source row reads on to the
    // next row's part, as unscaled ones do (ReadOnToNextRow); on the
    // processor measured (AMD Zen 4) the expands into the picture from a
    // side (7 to 9) went from about 1.5 to 1.3 copies at 1920 x 1080, and
    // stayed as they were at 3840 x 2160.
    // Rows shrunk by less than half skip a source row now and then. Where
    // the rows read their source rows whole, or nearly, that row is read too
    // (the columns the rows read, one load per cache line): the reads then
    // go on down the bitmap as one stream, which the prefetcher keeps up
    // with. On the processor measured (AMD Zen 4) the expands from a corner
    // and from the centre cost a sixth less so at 1920 x 1080. Only where
    // the source fits in the processor's cache: at 3840 x 2160 the extra
    // reads cost more than they saved. And only from another bitmap: a row
    // being moved within this one may be another thread's to write.
    bool readsBetween_ = false;
};

// A scaled or mirrored copy from another bitmap (or a scratch copy), drawn
// as above. The rows are apart from each other, so bands of them may go to
// other threads.
void Resample(TBitmap& dst, const TRegion* clip, const TAxis& ax, const TAxis& ay, const TPixels& src)
{
    const TResampler r(dst, clip, ax, ay, src);
    if (r.Empty())
        return;
    ForEachBand(int32_t(r.Top()), int32_t(r.Bottom()), r.Pixels(),
                [&](int32_t top, int32_t bottom) { r.Draw(top, bottom, false); });
}

// A copy within one bitmap whose source and destination overlap, done in
// place as above, in an order in which no row is written before every row
// that reads it has been read. Returns false, having drawn nothing, when
// neither top-down nor bottom-up is such an order (a mirrored copy onto
// itself); the caller then reads the source whole first.
bool MoveWithin(TBitmap& bmp, const TRegion* clip, const TAxis& ax, const TAxis& ay)
{
    const TResampler r(bmp, clip, ax, ay, PixelsOf(bmp));
    if (r.Empty())
        return true;
    const int64_t y0 = r.Top(), y1 = r.Bottom();
    // Top-down is safe when no row reads a row above it that is written
    // before it; bottom-up likewise below. Rows reading only themselves, or
    // none that is written, leave the rows independent of each other.
    bool downSafe = true, upSafe = true, independent = true;
    for (int64_t y = y0; y < y1; ++y) {
        const int64_t s = r.SourceRow(y);
        downSafe = downSafe && !(s >= y0 && s < y);
        upSafe = upSafe && !(s > y && s < y1);
        independent = independent && (s == y || s < y0 || s >= y1);
    }
    if (!downSafe && !upSafe)
        return false;
    if (independent)
        ForEachBand(int32_t(y0), int32_t(y1), r.Pixels(),
                    [&](int32_t top, int32_t bottom) { r.Draw(top, bottom, false); });
    else
        r.Draw(int32_t(y0), int32_t(y1), !downSafe);
    return true;
}

// The copy itself, after the source has been cut to its bitmap: nearest
// neighbour, clipped to the destination bitmap and to its clip region. A 1:1
// copy is a run copied per row, at memory speed (pixman's blt, which takes it
// through a clip region, copies part rows a third slower); a scaled or
// mirrored one is drawn by the resampler above, unless pixman is asked to
// sample it itself.
void Blit(TBitmap& dst, const TRegion* clip, const TAxis& ax, const TAxis& ay, const TPixels& src)
{
    // Destination rectangle cut to the bitmap; the sampling below keeps its
    // origin at the uncut rectangle, so the scale stays that of the whole.
    const int64_t x0 = std::max<int64_t>(ax.D0, 0), x1 = std::min<int64_t>(ax.D1, dst.Width());
    const int64_t y0 = std::max<int64_t>(ay.D0, 0), y1 = std::min<int64_t>(ay.D1, dst.Height());
    if (x0 >= x1 || y0 >= y1)
        return;

    const auto sw = int32_t(ax.S1 - ax.S0), sh = int32_t(ay.S1 - ay.S0);
    const bool identity = IsIdentity(ax) && IsIdentity(ay);
    if (identity && clip == nullptr) {
        const int64_t sx = ax.S0 + (x0 - ax.D0), sy = ay.S0 - ay.D0;
        const auto count = size_t(x1 - x0);
        ForEachBand(int32_t(y0), int32_t(y1), (x1 - x0) * (y1 - y0), [&](int32_t top, int32_t bottom) {
            for (int32_t y = top; y < bottom; ++y) {
                const uint32_t* from = src.Row(int32_t(sy + y)) + sx;
                CopyRun(dst.PixelRow(y) + x0, from, count);
                if (y + 1 < bottom)
                    ReadOnToNextRow(from, count, size_t(src.Stride));
            }
        });
        return;
    }
    if (!identity && ResamplesItself()) {
        Resample(dst, clip, ax, ay, src);
        return;
    }
    pixman_transform_t t;
    pixman_transform_init_identity(&t);
    if (!identity) {
        SetAxisTransform(t, 0, ax);
        SetAxisTransform(t, 1, ay);
    }
    // Each band composites through images of its own: pixman images carry
    // state that one composite may update, so threads do not share them.
    ForEachBand(int32_t(y0), int32_t(y1), (x1 - x0) * (y1 - y0), [&](int32_t top, int32_t bottom) {
        TImageRef s{WrapBits(src, int32_t(ax.S0), int32_t(ay.S0), sw, sh)};
        TImageRef d{WrapBits(PixelsOf(dst), 0, 0, dst.Width(), dst.Height())};
        if (clip != nullptr)
            pixman_image_set_clip_region32(d.Img, const_cast<pixman_region32_t*>(clip->Native()));
        if (!identity) {
            pixman_image_set_transform(s.Img, &t);
            pixman_image_set_filter(s.Img, PIXMAN_FILTER_NEAREST, nullptr, 0);
            pixman_image_set_repeat(s.Img, PIXMAN_REPEAT_PAD);
        }
        pixman_image_composite32(PIXMAN_OP_SRC, s.Img, nullptr, d.Img, int32_t(x0 - ax.D0), int32_t(top - ay.D0),
                                 0, 0, int32_t(x0), top, int32_t(x1 - x0), bottom - top);
    });
}

} // namespace

void CheckBitmapSize(int64_t width, int64_t height)
{
    if (width < 0 || height < 0 || width > TBitmap::MaxSide || height > TBitmap::MaxSide ||
        width * height > TBitmap::MaxPixels)
        throw TBitmapError("bitmap size " + std::to_string(width) + "x" + std::to_string(height) +
                           " is out of range");
}

void SetScaledCopies(TScaledCopies how) { ScaledCopies.store(how, std::memory_order_relaxed); }

namespace {

// area cut to r (a copy only when area reaches outside r).
TRegion WithinRect(TRegion area, const TRect& r)
{
    const TRect b = area.Bounds();
    if (!(b.Left >= r.Left && b.Top >= r.Top && b.Right <= r.Right && b.Bottom <= r.Bottom))
        CombineRgn(area, area, TRegion(r), RGN_AND);
    return area;
}

// The area DrawBitmapThrough can copy: what the two bitmaps have in common.
TRect CopiedArea(const TBitmap& dst, const TBitmap& src)
{
    return {0, 0, std::min(dst.Width(), src.Width()), std::min(dst.Height(), src.Height())};
}

// The copy of DrawBitmapThrough: boxes y-x banded, cut to the two bitmaps
// box by box as they are walked, so that a shape of many boxes is not
// intersected (copied) first.
void CopyThroughBoxes(TBitmap& dst, const TBitmap& src, std::span<const pixman_box32_t> boxes)
{
    if (boxes.empty())
        return;
    const int32_t width = std::min(dst.Width(), src.Width()), height = std::min(dst.Height(), src.Height());
    const int32_t top = std::max(boxes.front().y1, 0), bottom = std::min(boxes.back().y2, height);
    if (top >= bottom || width <= 0)
        return;
    ForEachBand(top, bottom, int64_t{width} * (bottom - top), [&](int32_t bandTop, int32_t bandBottom) {
        TRunCopier runs;
        // The bands are runs of boxes with the same rows; those above this
        // band of rows are passed over.
        auto band = boxes.begin();
        while (band != boxes.end() && band->y2 <= bandTop)
            ++band;
        while (band != boxes.end() && band->y1 < bandBottom) {
            auto bandEnd = band;
            while (bandEnd != boxes.end() && bandEnd->y1 == band->y1)
                ++bandEnd;
            const int32_t y1 = std::min(band->y2, bandBottom);
            // A band of one box is a run on every row: read on to the next,
            // and from its last row on to the band just below, if any. A
            // shape with curved or slanted sides is a band of one box a row
            // (the curved reveals, the diagonals): on the processor measured
            // (AMD Zen 4) they went from about 1.0 to 0.8-0.9 copies at
            // 1920 x 1080 reading on from band to band.
            const bool oneBox = bandEnd - band == 1;
            const bool onToNextBand = bandEnd != boxes.end() && bandEnd->y1 == band->y2 && band->y2 < bandBottom;
            const auto readOn = size_t(src.BytesPerLine() / 4);
            for (int32_t y = std::max(band->y1, bandTop); y < y1; ++y) {
                const uint32_t* from = src.PixelRow(y);
                uint32_t* to = dst.PixelRow(y);
                for (auto b = band; b != bandEnd; ++b) {
                    const int32_t x0 = std::max(b->x1, 0), x1 = std::min(b->x2, width);
                    if (x0 >= x1)
                        continue;
                    // Only a row's first run may go on from a run held back,
                    // and only its last may be held: the runs between are
                    // copied at once, as many as a blind's slats.
                    if (b == band || x1 == width)
                        runs.Add(to + x0, from + x0, size_t(x1 - x0),
                                 oneBox && (y + 1 < y1 || onToNextBand) ? readOn : 0, x1 == width);
                    else
                        CopyRun(to + x0, from + x0, size_t(x1 - x0));
                }
            }
            band = bandEnd;
        }
        runs.Flush();
    });
}

// A copy's destination cut to the bitmap.
TRect DestinationIn(const TBitmap& bmp, const TAxis& ax, const TAxis& ay)
{
    const auto cut = [](int64_t a, int32_t limit) { return int32_t(std::clamp<int64_t>(a, 0, limit)); };
    return Rect(cut(ax.D0, bmp.Width()), cut(ay.D0, bmp.Height()), cut(ax.D1, bmp.Width()), cut(ay.D1, bmp.Height()));
}

// The same through a region's boxes.
void CopyThroughRegion(TBitmap& dst, const TBitmap& src, const TRegion& area)
{
    int count = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(area.Native(), &count);
    CopyThroughBoxes(dst, src, {boxes, size_t(count)});
}

} // namespace

// ---- TCanvas ----

// A drawing operation under way on a bitmap that a TDrawRecord watches: the
// operation notes the area it draws, and the bitmap's own accessors, which it
// uses to draw, are not seen as other writes meanwhile.
class TCanvasDrawing {
public:
    explicit TCanvasDrawing(TBitmap& bitmap) : bitmap_(bitmap), record_(bitmap.record_) { bitmap.record_ = nullptr; }
    ~TCanvasDrawing() { bitmap_.record_ = record_; }
    TCanvasDrawing(const TCanvasDrawing&) = delete;
    TCanvasDrawing& operator=(const TCanvasDrawing&) = delete;

    static bool Watches(const TBitmap& bitmap) { return bitmap.record_ != nullptr; }
    bool Watched() const { return record_ != nullptr; }
    void ReadsItself() const
    {
        if (record_ != nullptr)
            record_->read_.store(true, std::memory_order_relaxed);
    }

    // Notes that area (cut to the bitmap and to the clip) is drawn from
    // source (null: filled), as a copy 1:1 in place when inPlace. Returns
    // the part that must still be drawn: all of area, less what a copy 1:1
    // of the record's followed source finds in place already.
    TRegion Draws(TRegion area, const TBitmap* source, bool inPlace)
    {
        TDrawRecord& r = *record_;
        Unite(*r.drawn_, area);
        if (r.source_ != nullptr) { // else what is written is what is drawn
            TRegion& same = *r.same_;
            if (inPlace && source == r.source_) {
                TRegion known = std::move(same);
                CombineRgn(same, known, area, RGN_OR);
                CombineRgn(area, area, known, RGN_DIFF);
            } else {
                CombineRgn(same, same, area, RGN_DIFF);
            }
            Unite(*r.written_, area);
        }
        return area;
    }
    // The same for a copy of source along the axes (cut to the source): the
    // area it still draws, and whether it is a copy 1:1 in place.
    TRegion DrawsCopy(const TAxis& ax, const TAxis& ay, const TRegion* clip, const TBitmap& source, bool& inPlace)
    {
        if (&source == &bitmap_)
            ReadsItself();
        const TRect dest = DestinationIn(bitmap_, ax, ay);
        inPlace = IsIdentity(ax) && IsIdentity(ay) && ax.D0 == ax.S0 && ay.D0 == ay.S0;
        return Draws(dest, clip, &source, inPlace);
    }
    // The same for a rectangle, cut to the bitmap and to the clip here.
    TRegion Draws(const TRect& rect, const TRegion* clip, const TBitmap* source, bool inPlace)
    {
        TRect cut;
        IntersectRect(cut, rect, bitmap_.BoundsRect());
        TRegion area(cut);
        if (clip != nullptr)
            CombineRgn(area, area, *clip, RGN_AND);
        return Draws(std::move(area), source, inPlace);
    }

private:
    static void Unite(TRegion& into, const TRegion& piece)
    {
        if (into.IsEmpty())
            into = piece;
        else
            UniteRgn(into, piece);
    }

    TBitmap& bitmap_;
    TDrawRecord* record_;
};

TCanvas::TCanvas(TBitmap& owner) : owner_(owner) {}
TCanvas::~TCanvas() = default;

void TCanvas::SelectClipRgn(const TRegion& rgn) { clip_ = std::make_unique<TRegion>(rgn); }
void TCanvas::SelectClipRgn(std::nullptr_t) { clip_.reset(); }

void TCanvas::CopyArea(const TRect& dest, const TCanvas& src, const TRect& source)
{
    StretchBlt(dest.Left, dest.Top, dest.Width(), dest.Height(), src, source.Left, source.Top,
               source.Width(), source.Height());
}

void TCanvas::StretchBlt(int32_t x, int32_t y, int32_t w, int32_t h, const TCanvas& src,
                         int32_t sx, int32_t sy, int32_t sw, int32_t sh)
{
    if (w == 0 || h == 0 || sw == 0 || sh == 0)
        return;
    TCanvasDrawing drawing(owner_);
    // Pixels of its own before any source row is taken (the source may be
    // this very bitmap) and before bands are drawn on several threads.
    owner_.OwnPixels();
    const TBitmap& from = src.Bitmap();
    TAxis ax = MakeAxis(x, w, sx, sw), ay = MakeAxis(y, h, sy, sh);
    if (!ClipSourceAxis(ax, from.Width()) || !ClipSourceAxis(ay, from.Height()))
        return;
    if (drawing.Watched()) {
        bool inPlace = false;
        const TRegion rest = drawing.DrawsCopy(ax, ay, clip_.get(), from, inPlace);
        const TRect dest = DestinationIn(owner_, ax, ay);
        if (inPlace && rest.Area() < int64_t(dest.Width()) * dest.Height()) {
            // Part of it is in place already: the rest alone, as the same
            // copy through its boxes.
            CopyThroughRegion(owner_, from, rest);
            return;
        }
    }

    if (&from == &owner_ && Overlaps(ax, ay)) {
        if (ResamplesItself() && MoveWithin(owner_, clip_.get(), ax, ay))
            return;
        // Read the whole source before writing any of it. The scratch rows
        // are written in full at once, so they need no clearing first.
        const auto tw = int32_t(ax.S1 - ax.S0), th = int32_t(ay.S1 - ay.S0);
        const std::unique_ptr<uint32_t[]> copy(new uint32_t[size_t(tw) * size_t(th)]);
        ForEachBand(0, th, int64_t{tw} * th, [&](int32_t top, int32_t bottom) {
            for (int32_t row = top; row < bottom; ++row)
                std::memcpy(copy.get() + size_t(row) * size_t(tw), from.PixelRow(int32_t(ay.S0) + row) + ax.S0,
                            size_t(tw) * 4);
        });
        ax.S1 -= ax.S0;
        ax.S0 = 0;
        ay.S1 -= ay.S0;
        ay.S0 = 0;
        Blit(owner_, clip_.get(), ax, ay, TPixels{copy.get(), tw, th, tw});
        return;
    }
    Blit(owner_, clip_.get(), ax, ay, PixelsOf(from));
}

void TCanvas::CopyAreas(std::span<const TAreaCopy> copies)
{
    // The copies cut to their sources, as StretchBlt cuts them. Drawn row by
    // row they give the pixels of one copy after another when no copy reads
    // a pixel that another writes: a copy from this canvas reads only its own
    // row, and that row has then had exactly the copies before it. The same
    // holds for groups of rows drawn copy after copy.
    struct TCut {
        TAxis X, Y;
        const TBitmap* From;
    };
    std::vector<TCut> cuts;
    cuts.reserve(copies.size());
    bool together = ResamplesItself();
    for (const TAreaCopy& c : copies) {
        const TRect &d = c.Dest, &s = c.SourceRect;
        if (d.Width() == 0 || d.Height() == 0 || s.Width() == 0 || s.Height() == 0)
            continue;
        const TBitmap& from = c.Source->Bitmap();
        TAxis ax = MakeAxis(d.Left, d.Width(), s.Left, s.Width()), ay = MakeAxis(d.Top, d.Height(), s.Top, s.Height());
        if (!ClipSourceAxis(ax, from.Width()) || !ClipSourceAxis(ay, from.Height()))
            continue;
        together = together && (&from != &owner_ || (IsIdentity(ay) && ay.D0 == ay.S0));
        cuts.push_back({ax, ay, &from});
    }
    if (!together || cuts.size() < 2) {
        for (const TAreaCopy& c : copies)
            CopyArea(c.Dest, *c.Source, c.SourceRect);
        return;
    }
    TCanvasDrawing drawing(owner_);
    owner_.OwnPixels();
    std::vector<TRegion> areas(cuts.size()); // what each copy still draws, on a watched bitmap
    std::vector<TResampler> parts;
    parts.reserve(cuts.size());
    int64_t top = owner_.Height(), bottom = 0, pixels = 0;
    for (size_t i = 0; i < cuts.size(); ++i) {
        const TCut& cut = cuts[i];
        const TRegion* clip = clip_.get();
        if (drawing.Watched()) {
            bool inPlace = false;
            areas[i] = drawing.DrawsCopy(cut.X, cut.Y, clip, *cut.From, inPlace);
            clip = &areas[i];
        }
        const TResampler& part = parts.emplace_back(owner_, clip, cut.X, cut.Y, PixelsOf(*cut.From));
        if (part.Empty()) {
            parts.pop_back();
            continue;
        }
        top = std::min(top, part.Top());
        bottom = std::max(bottom, part.Bottom());
        pixels += part.Pixels();
    }
    // A few copies from other bitmaps, to areas apart, are drawn left to
    // right along each row whatever their order, so that every row is
    // written in one sweep: a push's two pictures otherwise write the right
    // part of each row, then its left part, which cost a push up to a tenth
    // more on a window's backing store.
    std::vector<size_t> order(parts.size());
    std::iota(order.begin(), order.end(), size_t{0});
    const auto apart = [&] {
        for (size_t i = 0; i < parts.size(); ++i)
            for (size_t j = i + 1; j < parts.size(); ++j)
                if (parts[i].Overlaps(parts[j]))
                    return false;
        return true;
    };
    const bool fromOthers = std::none_of(cuts.begin(), cuts.end(), [&](const TCut& c) { return c.From == &owner_; });
    if (parts.size() <= 4 && fromOthers && apart())
        std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return parts[a].Left() < parts[b].Left(); });
    // Copies that each read a bitmap of their own (a push's or a squeeze's
    // old and new pictures) draw a group of rows in turn, small enough that
    // the rows one leaves are still in the processor's cache for the next;
    // on the processor measured (AMD Zen 4) the squeezes cost up to a
    // quarter less so, at 1920 x 1080 and 3840 x 2160 alike. Copies sharing
    // a bitmap (two halves of the new picture) go row by row: read by turns,
    // their parts of each row make one stream through the bitmap, which the
    // processor's prefetcher follows; and a run reaching the end of a row
    // may go on into the next row's first (TRunCopier).
    bool ownBitmaps = true;
    for (size_t i = 0; i < cuts.size(); ++i)
        for (size_t j = i + 1; j < cuts.size(); ++j)
            ownBitmaps = ownBitmaps && cuts[i].From != cuts[j].From;
    const int32_t rowsAtOnce = ownBitmaps ? 64 : 1;
    ForEachBand(int32_t(top), int32_t(bottom), pixels, [&](int32_t bandTop, int32_t bandBottom) {
        std::vector<size_t> bands(parts.size());
        std::vector<uint32_t> buffer;
        TRunCopier runs;
        for (int32_t groupTop = bandTop; groupTop < bandBottom; groupTop += rowsAtOnce) {
            const int32_t groupBottom = std::min(bandBottom, groupTop + rowsAtOnce);
            for (const size_t i : order)
                for (int32_t y = groupTop; y < groupBottom; ++y)
                    parts[i].DrawRowAt(y, bands[i], buffer, fromOthers ? &runs : nullptr, ownBitmaps);
        }
        runs.Flush();
    });
}

void TCanvas::DrawBitmap(int32_t x, int32_t y, const TBitmap& bitmap)
{
    StretchBlt(x, y, bitmap.Width(), bitmap.Height(), bitmap.Canvas(), 0, 0, bitmap.Width(), bitmap.Height());
}

void TCanvas::StretchDraw(const TRect& dest, const TBitmap& bitmap)
{
    CopyArea(dest, bitmap.Canvas(), bitmap.BoundsRect());
}

void TCanvas::DrawBitmapThrough(const TBitmap& bitmap, const TRegion& rgn)
{
    if (&bitmap == &owner_) // a bitmap drawn onto itself in place stays as it is
        return;
    TCanvasDrawing drawing(owner_);
    owner_.OwnPixels();
    const TRegion* through = &rgn;
    TRegion clipped;
    if (clip_) {
        CombineRgn(clipped, rgn, *clip_, RGN_AND);
        through = &clipped;
    }
    if (drawing.Watched()) {
        CopyThroughRegion(owner_, bitmap,
                          drawing.Draws(WithinRect(*through, CopiedArea(owner_, bitmap)), &bitmap, true));
        return;
    }
    CopyThroughRegion(owner_, bitmap, *through);
}

void DrawBitmapThrough(TCanvas& canvas, const TBitmap& bitmap, const pixman_box32_t* boxes, size_t count)
{
    const std::span<const pixman_box32_t> bandedBoxes(boxes, count);
#ifndef NDEBUG
    // Debug builds check the order: bands top to bottom, each band's boxes
    // left to right, apart.
    for (size_t i = 1; i < bandedBoxes.size(); ++i) {
        const pixman_box32_t &a = bandedBoxes[i - 1], &b = bandedBoxes[i];
        const bool sameBand = a.y1 == b.y1 && a.y2 == b.y2 && a.x2 < b.x1;
        if (!(a.x1 < a.x2 && a.y1 < a.y2) || !(sameBand || b.y1 >= a.y2))
            std::abort();
    }
#endif
    if (&bitmap == &canvas.Bitmap())
        return;
    // Through the region of the boxes when the canvas clips (rare in
    // drawing) or a record watches the bitmap (the record may cut it).
    if (canvas.HasClipRgn() || TCanvasDrawing::Watches(canvas.Bitmap())) {
        canvas.DrawBitmapThrough(bitmap, TRegion::FromBandedBoxes({bandedBoxes.begin(), bandedBoxes.end()}));
        return;
    }
    canvas.Bitmap().OwnPixels();
    CopyThroughBoxes(canvas.Bitmap(), bitmap, bandedBoxes);
}

void TCanvas::FillArea(const TRect& dest)
{
    TRect r;
    if (!IntersectRect(r, dest, owner_.BoundsRect()))
        return;
    TRegion area(r);
    if (clip_)
        CombineRgn(area, area, *clip_, RGN_AND);
    TCanvasDrawing drawing(owner_);
    if (drawing.Watched())
        drawing.Draws(area, nullptr, false);
    for (const TRect& b : area.Boxes())
        pixman_fill(reinterpret_cast<uint32_t*>(owner_.Bits()), owner_.BytesPerLine() / 4, 32, b.Left, b.Top,
                    b.Width(), b.Height(), BrushColor);
}

void TCanvas::DrawArea(const std::function<TRegion()>& area, const std::function<void()>& draw)
{
    TCanvasDrawing drawing(owner_);
    owner_.OwnPixels();
    if (drawing.Watched())
        drawing.Draws(WithinRect(area(), owner_.BoundsRect()), nullptr, false);
    draw();
}

// ---- TBitmap ----

TBitmap::TBitmap() : canvas_(*this) {}

TBitmap::TBitmap(int32_t width, int32_t height, uint32_t fill) : canvas_(*this)
{
    SetSize(width, height, fill);
}

TBitmap::TBitmap(uint32_t* rows, int32_t width, int32_t height, int32_t stride) : canvas_(*this)
{
    CheckBitmapSize(width, height);
    if (width == 0 || height == 0)
        return;
    if (rows == nullptr || stride < width)
        throw TBitmapError("foreign rows of " + std::to_string(stride) + " pixels for a width of " +
                           std::to_string(width));
    auto* block = new TPixelBlock;
    block->Pixels = rows;
    block->Stride = stride;
    Adopt(block, width, height);
}

void TBitmap::ShowPixels(const uint32_t* pixels, int32_t width, int32_t height, std::shared_ptr<const void> owner)
{
    if (record_ != nullptr)
        NoteWrite();
    CheckBitmapSize(width, height);
    TPixelBlock* block = nullptr;
    if (width != 0 && height != 0) {
        if (pixels == nullptr || owner == nullptr)
            throw TBitmapError("pixels to show, and someone to keep them, are missing");
        block = new TPixelBlock;
        block->Pixels = const_cast<uint32_t*>(pixels); // never written: SharesPixels holds them shared
        block->Owner = std::move(owner);
    }
    Adopt(block, width, height);
}

TBitmap::~TBitmap()
{
    if (record_ != nullptr)
        record_->Stop();
    Release(block_);
}

TBitmap::TPixelBlock* TBitmap::NewBlock(size_t count, bool* zeroed)
{
    if (count == 0)
        return nullptr;
    bool cleared = false;
    auto block = std::make_unique<TPixelBlock>();
    block->Bytes = count * sizeof(uint32_t);
    block->Pixels = static_cast<uint32_t*>(AllocatePixels(block->Bytes, cleared));
    if (zeroed != nullptr)
        *zeroed = cleared;
    return block.release();
}

void TBitmap::Release(TPixelBlock* block) noexcept
{
    if (block == nullptr || block->Refs.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    if (block->Stride == 0 && block->Owner == nullptr)
        FreePixels(block->Pixels, block->Bytes);
    delete block;
}

void TBitmap::Adopt(TPixelBlock* block, int32_t width, int32_t height) noexcept
{
    Release(block_);
    block_ = block;
    data_ = block != nullptr ? block->Pixels : nullptr;
    Resize(width, height);
}

// Writes the size only when it changes: a frame drawn on another thread
// replaces Display's block, and the GUI thread reads its size meanwhile.
void TBitmap::Resize(int32_t width, int32_t height) noexcept
{
    if (width_ != width)
        width_ = width;
    if (height_ != height)
        height_ = height;
    const int32_t stride = Foreign() ? block_->Stride : width;
    if (stride_ != stride)
        stride_ = stride;
}

void TBitmap::CopyRows(const TBitmap& other) noexcept
{
    for (int32_t y = 0; y < height_; ++y)
        std::memcpy(data_ + size_t(y) * size_t(stride_), other.data_ + size_t(y) * size_t(other.stride_),
                    size_t(width_) * 4);
}

void TBitmap::Unshare()
{
    TPixelBlock* own = NewBlock(Count());
    for (int32_t y = 0; y < height_; ++y)
        std::memcpy(own->Pixels + size_t(y) * size_t(width_), data_ + size_t(y) * size_t(stride_),
                    size_t(width_) * 4);
    Adopt(own, width_, height_);
}

void TBitmap::NoteRead() const noexcept { record_->read_.store(true, std::memory_order_relaxed); }

void TBitmap::NoteWrite() const noexcept { record_->writtenOtherwise_.store(true, std::memory_order_relaxed); }

uint32_t* TBitmap::OwnPixelsForOverwrite()
{
    if (record_ != nullptr)
        NoteWrite();
    if (SharesPixels())
        Adopt(NewBlock(Count()), width_, height_);
    return data_;
}

void TBitmap::SetSize(int32_t width, int32_t height, uint32_t fill)
{
    if (width == width_ && height == height_)
        return;
    if (record_ != nullptr)
        NoteWrite();
    CheckBitmapSize(width, height);
    const size_t count = size_t(width) * size_t(height);
    bool zeroed = false;
    TPixelBlock* block = NewBlock(count, &zeroed);
    uint32_t* pixels = block != nullptr ? block->Pixels : nullptr;
    if (fill != 0 || !zeroed)
        std::fill(pixels, pixels + count, fill);
    const int32_t keepW = std::min(width, width_), keepH = std::min(height, height_);
    for (int32_t y = 0; y < keepH; ++y)
        std::memcpy(pixels + size_t(y) * size_t(width), data_ + size_t(y) * size_t(stride_), size_t(keepW) * 4);
    Adopt(block, width, height);
}

void TBitmap::Assign(const TBitmap& other)
{
    if (record_ != nullptr)
        NoteWrite();
    if (other.record_ != nullptr)
        other.NoteRead();
    const bool mine = other.block_ != block_ && block_ != nullptr && !SharesPixels();
    if (mine && !Foreign() && !other.Foreign() && Count() == other.Count()) {
        std::memcpy(data_, other.data_, block_->Bytes);
        Resize(other.width_, other.height_);
        return;
    }
    if (mine && width_ == other.width_ && height_ == other.height_) {
        CopyRows(other);
        return;
    }
    Share(other);
}

void TBitmap::Share(const TBitmap& other)
{
    if (record_ != nullptr)
        NoteWrite();
    if (other.record_ != nullptr)
        other.NoteRead();
    if (other.block_ == block_) {
        Resize(other.width_, other.height_);
        return;
    }
    if (other.Foreign()) { // its rows are not its to lend
        Adopt(NewBlock(other.Count()), other.width_, other.height_);
        CopyRows(other);
        return;
    }
    if (other.block_ != nullptr)
        other.block_->Refs.fetch_add(1, std::memory_order_relaxed);
    Adopt(other.block_, other.width_, other.height_);
}

void TBitmap::Swap(TBitmap& other) noexcept
{
    if (record_ != nullptr)
        NoteWrite();
    if (other.record_ != nullptr)
        other.NoteWrite();
    std::swap(block_, other.block_);
    std::swap(data_, other.data_);
    std::swap(width_, other.width_);
    std::swap(height_, other.height_);
    std::swap(stride_, other.stride_);
}

namespace {

// AddressSanitizer watches heap blocks, not mappings: its builds take every
// block from the heap so that it sees overruns of large bitmaps too.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool MapsLargeBlocks = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool MapsLargeBlocks = false;
#else
constexpr bool MapsLargeBlocks = true;
#endif
#else
constexpr bool MapsLargeBlocks = true;
#endif

std::atomic<size_t> HeldPixelBytes{0};
std::atomic<size_t> MostPixelBytes{0};

void CountPixels(size_t bytes)
{
    const size_t held = HeldPixelBytes.fetch_add(bytes, std::memory_order_relaxed) + bytes;
    size_t most = MostPixelBytes.load(std::memory_order_relaxed);
    while (held > most && !MostPixelBytes.compare_exchange_weak(most, held, std::memory_order_relaxed)) {
    }
}

} // namespace

bool TBitmap::IsMapped(size_t bytes) { return MapsLargeBlocks && bytes >= MappedBytes; }

size_t TBitmap::PixelBytes() { return HeldPixelBytes.load(std::memory_order_relaxed); }

size_t TBitmap::PeakPixelBytes() { return MostPixelBytes.load(std::memory_order_relaxed); }

void TBitmap::ResetPeakPixelBytes() { MostPixelBytes.store(PixelBytes(), std::memory_order_relaxed); }

namespace {

// The mapped block freed last, if it is no larger than SpareBytes, kept for
// the next request of its size. Left to the system at the process's end.
struct TSpareBlock {
    static constexpr size_t SpareBytes = size_t{64} << 20;
    std::mutex Lock;
    void* Pixels = nullptr;
    size_t Bytes = 0;
};
TSpareBlock& Spare()
{
    static TSpareBlock* spare = new TSpareBlock;
    return *spare;
}

// Puts pixels (bytes long; none if null) in the spare's place and unmaps the
// block that was kept there.
void ReplaceSpare(void* pixels, size_t bytes) noexcept
{
    {
        TSpareBlock& spare = Spare();
        const std::lock_guard lock(spare.Lock);
        std::swap(pixels, spare.Pixels);
        std::swap(bytes, spare.Bytes);
    }
    if (pixels != nullptr)
        ::munmap(pixels, bytes);
}

} // namespace

void* TBitmap::AllocatePixels(size_t bytes, bool& zeroed)
{
    void* p = nullptr;
    zeroed = false;
    if (!IsMapped(bytes)) {
        p = ::operator new(bytes);
    } else {
        TSpareBlock& spare = Spare();
        {
            const std::lock_guard lock(spare.Lock);
            if (spare.Bytes == bytes)
                std::swap(p, spare.Pixels);
            if (p != nullptr)
                spare.Bytes = 0;
        }
        if (p != nullptr) {
            CountPixels(bytes);
            return p;
        }
        zeroed = true;
        p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        // Large pages where the system offers them on request: a frame's
        // copies then walk a few hundred pages instead of thousands, and a
        // new bitmap faults in 2 MiB at a time.
        ::madvise(p, bytes, MADV_HUGEPAGE);
    }
    CountPixels(bytes);
    return p;
}

void TBitmap::FreePixels(void* pixels, size_t bytes) noexcept
{
    HeldPixelBytes.fetch_sub(bytes, std::memory_order_relaxed);
    if (!IsMapped(bytes)) {
        ::operator delete(pixels);
        return;
    }
    if (bytes <= TSpareBlock::SpareBytes)
        ReplaceSpare(pixels, bytes);
    else
        ::munmap(pixels, bytes);
}

void TBitmap::ReleaseSpare() noexcept { ReplaceSpare(nullptr, 0); }

// ---- TDrawRecord ----

TDrawRecord::TDrawRecord() : drawn_(std::make_unique<TRegion>()), written_(std::make_unique<TRegion>()) {}

TDrawRecord::~TDrawRecord() { Stop(); }

void TDrawRecord::Follow(const TBitmap& source)
{
    source_ = &source;
    same_ = std::make_unique<TRegion>();
}

void TDrawRecord::Watch(TBitmap& bitmap)
{
    Stop();
    if (bitmap.record_ != nullptr)
        bitmap.record_->Stop();
    bitmap.record_ = this;
    bitmap_ = &bitmap;
}

void TDrawRecord::Stop() noexcept
{
    if (bitmap_ != nullptr)
        bitmap_->record_ = nullptr;
    bitmap_ = nullptr;
    source_ = nullptr;
    same_.reset();
    Clear();
}

TRegion TDrawRecord::TakeDrawn() noexcept
{
    return std::move(*drawn_); // leaves it empty
}

TRegion TDrawRecord::TakeWritten()
{
    if (source_ == nullptr)
        return *drawn_;
    return std::move(*written_);
}

void TDrawRecord::Clear() noexcept
{
    *drawn_ = TRegion();
    *written_ = TRegion();
    writtenOtherwise_.store(false, std::memory_order_relaxed);
    read_.store(false, std::memory_order_relaxed);
}

void TBitmap::Fill(uint32_t color)
{
    uint32_t* pixels = OwnPixelsForOverwrite();
    if (stride_ == width_) {
        std::fill(pixels, pixels + Count(), color);
        return;
    }
    for (int32_t y = 0; y < height_; ++y)
        std::fill_n(pixels + size_t(y) * size_t(stride_), width_, color);
}

} // namespace mirel
