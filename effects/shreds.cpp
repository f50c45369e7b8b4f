// Uneven shreds (styles 65-68, 76-79, 100-109): the new picture shows through
// strips whose ends are ragged by random amounts drawn anew at every frame,
// so the edges flicker as the reveal advances.
#include "effects/shreds.h"

#include "effects/draw.h"
#include "effects/random.h"
#include "surface/composed_rows.h"

#include <algorithm>
#include <bit>
#include <vector>

namespace mirel {

namespace {

constexpr int32_t StripPitch = 5;

// The first draw minus the second: most often near 0, never beyond amp - 1.
int32_t Jitter(int32_t amp)
{
    const int32_t first = Random(amp);
    return first - Random(amp);
}

// One strip's extent along its length, ends in order; empty when A0 == A1.
struct TSpan {
    int32_t A0, A1;
};

TSpan Span(int32_t a0, int32_t a1)
{
    return a0 <= a1 ? TSpan{a0, a1} : TSpan{a1, a0};
}

// The strips of one axis, written for rows (strips along x, stacked down y);
// columns are the same with the axes exchanged. Length is the side the strips
// grow along, Across the side they are stacked along. Strip k starts at
// k * StripPitch across and gets two spans (the second empty for kinds 1 and
// 2); ends that come out crossed are put in order.
void ShredSpans(std::vector<TSpan>& spans, int32_t extent, int32_t length, int32_t across, int32_t kind)
{
    spans.clear();
    if (kind == 0)
        return;
    const int32_t amp = extent < length ? length / 7 : 0;
    const int32_t middle = length / 2;
    for (int32_t c = 0; c < across; c += StripPitch) {
        switch (kind) {
        case 1:
            spans.push_back(Span(length - extent + Jitter(amp), length));
            spans.push_back({0, 0});
            break;
        case 2:
            spans.push_back(Span(0, extent + Jitter(amp)));
            spans.push_back({0, 0});
            break;
        case 3: {
            const int32_t j1 = Jitter(amp);
            const int32_t j2 = Jitter(amp);
            spans.push_back(Span((length - extent + j1) / 2, middle));
            spans.push_back(Span(middle, (length + extent + j2) / 2));
            break;
        }
        default: {
            const int32_t j1 = Jitter(amp);
            const int32_t j2 = Jitter(amp);
            spans.push_back(Span(length - (extent + j1) / 2, length));
            spans.push_back(Span(0, (extent + j2) / 2));
            break;
        }
        }
    }
}

int32_t Thickness(int32_t across)
{
    return StripPitch + across % StripPitch;
}

// What one frame works with, kept per thread so that a frame allocates
// nothing once the first has sized it.
struct TShredScratch {
    std::vector<TSpan> Rows, Columns;  // two spans per strip
    std::vector<uint64_t> Events;      // y << 32 | column << 1 | (1 when it ends)
    std::vector<uint64_t> Sorted;      // Events in order of y
    std::vector<uint32_t> EventRows;   // where each row's events go in Sorted
    std::vector<pixman_box32_t> Boxes; // the frame's shape, y-x banded
};

// A walk down the comb's rows, on one thread: the columns shown on the row
// reached, and the boxes of the band it is in.
struct TShredSweep {
    std::vector<uint8_t> Cover;       // spans of each column covering the row
    std::vector<uint64_t> Shown;      // columns whose Cover is not 0, a bit each
    std::vector<pixman_box32_t> Band; // the band's boxes
};

// The first column at or after from whose bit is set (or clear), count when none.
int32_t NextColumn(const std::vector<uint64_t>& bits, int32_t from, int32_t count, bool set)
{
    while (from < count) {
        const size_t word = size_t(from) / 64;
        uint64_t w = set ? bits[word] : ~bits[word];
        w &= ~uint64_t{0} << (from % 64);
        if (w != 0)
            return std::min(int32_t(word * 64) + std::countr_zero(w), count);
        from = int32_t(word + 1) * 64;
    }
    return count;
}

// The shred comb of one frame cut to width x height, walked band by band
// from the top: a band ends where a row strip starts or ends or a column span
// starts or ends. Within a band the row spans and the runs of shown columns
// are merged into boxes that neither touch nor overlap, as a region holds
// them. Any number of threads may walk parts of one comb at once.
class TShredComb {
public:
    // Puts the column spans' ends in order of rows, in s.
    TShredComb(TShredScratch& s, int32_t width, int32_t height, int32_t rowThickness, int32_t columnThickness)
        : s_(s), width_(width), height_(height), rowThickness_(rowThickness), columnThickness_(columnThickness),
          rowStrips_(int32_t(s.Rows.size() / 2)),
          // Columns starting at or beyond the right edge show nothing.
          columns_(std::min(int32_t(s.Columns.size() / 2), (width + StripPitch - 1) / StripPitch))
    {
        s.Events.clear();
        if (Empty())
            return;
        for (int32_t i = 0; i < columns_; ++i)
            for (int half = 0; half < 2; ++half) {
                const TSpan span = s.Columns[size_t(2 * i + half)];
                if (span.A0 >= span.A1 || span.A1 <= 0 || span.A0 >= height)
                    continue;
                s.Events.push_back(uint64_t(std::max(span.A0, 0)) << 32 | uint64_t(i) << 1);
                if (span.A1 < height)
                    s.Events.push_back(uint64_t(span.A1) << 32 | uint64_t(i) << 1 | 1);
            }
        // In order of y by counting: a frame has thousands of events over a
        // thousand or so rows, and their order within a row does not matter.
        s.EventRows.assign(size_t(height) + 1, 0);
        for (const uint64_t e : s.Events)
            ++s.EventRows[size_t(e >> 32) + 1];
        for (size_t y = 1; y < s.EventRows.size(); ++y)
            s.EventRows[y] += s.EventRows[y - 1];
        s.Sorted.resize(s.Events.size());
        for (const uint64_t e : s.Events)
            s.Sorted[s.EventRows[size_t(e >> 32)]++] = e;
        s.Events.swap(s.Sorted);
    }

    bool Empty() const { return width_ <= 0 || height_ <= 0 || (rowStrips_ == 0 && columns_ <= 0); }

    // Walks the rows [from, to): band(y, next, boxes) for each band, or each
    // part of one within those rows.
    template <typename TBand>
    void Walk(TShredSweep& w, int32_t from, int32_t to, const TBand& band) const
    {
        if (Empty())
            return;
        const std::vector<uint64_t>& events = s_.Events;
        w.Cover.assign(size_t(std::max(columns_, 0)), 0);
        w.Shown.assign(size_t(std::max(columns_, 0) + 63) / 64, 0);
        const int32_t rowPhase = rowThickness_ % StripPitch;
        size_t event = 0;
        for (int32_t y = from; y < to;) {
            for (; event < events.size() && int32_t(events[event] >> 32) <= y; ++event) {
                const auto i = uint32_t(events[event]) >> 1;
                uint8_t& cover = w.Cover[i];
                cover = uint8_t((events[event] & 1) != 0 ? cover - 1 : cover + 1);
                if (cover != 0)
                    w.Shown[i / 64] |= uint64_t{1} << (i % 64);
                else
                    w.Shown[i / 64] &= ~(uint64_t{1} << (i % 64));
            }
            // The band's end: the next event, or the next row where a row
            // strip starts (every StripPitch rows) or ends (StripPitch rows
            // later, plus the phase).
            int32_t next = event < events.size() ? int32_t(events[event] >> 32) : to;
            TSpan rowSpans[4];
            int rowSpanCount = 0;
            if (rowStrips_ > 0) {
                next = std::min(next, (y / StripPitch + 1) * StripPitch);
                int32_t phase = y / StripPitch * StripPitch + rowPhase;
                if (phase <= y)
                    phase += StripPitch;
                next = std::min(next, phase);
                const int32_t k = y / StripPitch;
                for (int32_t strip = k - 1; strip <= k; ++strip) {
                    if (strip < 0 || strip >= rowStrips_ || y >= strip * StripPitch + rowThickness_)
                        continue;
                    for (int half = 0; half < 2; ++half) {
                        const TSpan span = s_.Rows[size_t(2 * strip + half)];
                        const TSpan cut{std::max(span.A0, 0), std::min(span.A1, width_)};
                        if (cut.A0 < cut.A1)
                            rowSpans[rowSpanCount++] = cut;
                    }
                }
                for (int i = 1; i < rowSpanCount; ++i) // at most four: put in order by hand
                    for (int j = i; j > 0 && rowSpans[j].A0 < rowSpans[j - 1].A0; --j)
                        std::swap(rowSpans[j], rowSpans[j - 1]);
            }
            next = std::min(next, to);

            // Merges the row spans (sorted) with the column runs (sorted,
            // apart) in order of their left ends.
            w.Band.clear();
            const auto add = [&](TSpan span) {
                if (!w.Band.empty() && w.Band.back().x2 >= span.A0) {
                    w.Band.back().x2 = std::max(w.Band.back().x2, span.A1);
                    return;
                }
                w.Band.push_back({span.A0, y, span.A1, next});
            };
            int r = 0;
            for (int32_t first = NextColumn(w.Shown, 0, columns_, true); first < columns_;) {
                const int32_t end = NextColumn(w.Shown, first, columns_, false);
                const TSpan run{first * StripPitch, std::min((end - 1) * StripPitch + columnThickness_, width_)};
                for (; r < rowSpanCount && rowSpans[r].A0 <= run.A0; ++r)
                    add(rowSpans[r]);
                add(run);
                first = NextColumn(w.Shown, end, columns_, true);
            }
            for (; r < rowSpanCount; ++r)
                add(rowSpans[r]);
            band(y, next, w.Band);
            y = next;
        }
    }

private:
    const TShredScratch& s_;
    int32_t width_, height_, rowThickness_, columnThickness_, rowStrips_, columns_;
};

// Draws the comb's boxes of Image over Display, or composes them with Old
// around them when Old is given, row by row, each pixel written once: then
// no list of the frame's boxes is made (some 45,000 at 3840 x 2160).
void DrawShreds(TBitmap& Display, const TBitmap* Old, const TBitmap& Image, const TRect& R, uint32_t Step,
                int32_t Progress, int32_t horzKind, int32_t vertKind)
{
    const auto [W, H, PW, PH, Band] = CalcEffectGeometry(R, int32_t(Step), Progress);
    thread_local TShredScratch scratch;
    // Rows draw their jitters before columns.
    ShredSpans(scratch.Rows, horzKind != 0 ? PW : 0, W, H, horzKind);
    ShredSpans(scratch.Columns, vertKind != 0 ? PH : 0, H, W, vertKind);
    const int32_t width = std::min(Display.Width(), Image.Width()), height = std::min(Display.Height(), Image.Height());
    const TShredComb comb(scratch, width, height, Thickness(H), Thickness(W));
    if (Old == nullptr) {
        thread_local TShredSweep sweep;
        scratch.Boxes.clear();
        comb.Walk(sweep, 0, height, [&](int32_t, int32_t, const std::vector<pixman_box32_t>& boxes) {
            scratch.Boxes.insert(scratch.Boxes.end(), boxes.begin(), boxes.end());
        });
        DrawBitmapThrough(Display.Canvas(), Image, scratch.Boxes.data(), scratch.Boxes.size());
        return;
    }
    ComposeRows(Display, [&](int32_t top, int32_t bottom) {
        thread_local TShredSweep sweep;
        const auto compose = [&](int32_t y, int32_t next, const std::vector<pixman_box32_t>& boxes) {
            for (; y < next; ++y)
                ComposeRow(Display, *Old, Image, y, [&](const auto& span) {
                    for (const pixman_box32_t& b : boxes)
                        span(b.x1, b.x2);
                });
        };
        // Rows the comb does not reach (an empty comb) keep the old picture.
        if (comb.Empty())
            compose(top, bottom, {});
        else
            comb.Walk(sweep, top, bottom, compose);
    });
}

} // namespace

TRegion ShredRegion(int32_t HorzExtent, int32_t VertExtent, int32_t Width, int32_t Height, int32_t HorzKind,
                    int32_t VertKind)
{
    std::vector<TSpan> spans;
    std::vector<TRect> rects;
    ShredSpans(spans, HorzExtent, Width, Height, HorzKind);
    for (size_t k = 0; k < spans.size(); ++k) {
        const auto c = int32_t(k / 2) * StripPitch;
        rects.push_back(Rect(spans[k].A0, c, spans[k].A1, c + Thickness(Height)));
    }
    ShredSpans(spans, VertExtent, Height, Width, VertKind);
    for (size_t k = 0; k < spans.size(); ++k) {
        const auto c = int32_t(k / 2) * StripPitch;
        rects.push_back(Rect(c, spans[k].A0, c + Thickness(Width), spans[k].A1));
    }
    return UnionOfRects(rects);
}

// Row strips alone change little from one frame to the next (a few boxes a
// row), and a frame drawn over the last one costs less than one composed.
// With column strips a frame is tens of thousands of boxes (some 45,000 at
// 3840 x 2160), and these styles compose: one pass over the pixels, and no
// region of them to follow from frame to frame.
#define MIREL_SHRED(Name, HorzKind, VertKind)                                                            \
    void Name(TBitmap& Display, const TBitmap& Image, const TRect& R, uint32_t Step, int32_t Progress)  \
    {                                                                                                    \
        DrawShreds(Display, nullptr, Image, R, Step, Progress, HorzKind, VertKind);                      \
    }
#define MIREL_COMPOSED_SHRED(Name, HorzKind, VertKind) MIREL_DRAWN_AND_COMPOSED(Name, DrawShreds, HorzKind, VertKind)

MIREL_SHRED(UnevenShredFromRight, 1, 0)                        // 65
MIREL_SHRED(UnevenShredFromLeft, 2, 0)                         // 66
MIREL_SHRED(UnevenShredOutFromMiddleHoriz, 3, 0)               // 67
MIREL_SHRED(UnevenShredInToMiddleHoriz, 4, 0)                  // 68
MIREL_COMPOSED_SHRED(UnevenShredFromBottom, 0, 1)              // 76
MIREL_COMPOSED_SHRED(UnevenShredFromTop, 0, 2)                 // 77
MIREL_COMPOSED_SHRED(UnevenShredFromHorizon, 0, 3)             // 78
MIREL_COMPOSED_SHRED(UnevenShredInToHorizon, 0, 4)             // 79
MIREL_COMPOSED_SHRED(UnevenShredFromBottomAndRight, 1, 1)      // 100
MIREL_COMPOSED_SHRED(UnevenShredFromTopAndRight, 1, 2)         // 101
MIREL_COMPOSED_SHRED(UnevenShredFromBottomAndLeft, 2, 1)       // 102
MIREL_COMPOSED_SHRED(UnevenShredFromTopAndLeft, 2, 2)          // 103
MIREL_COMPOSED_SHRED(UnevenShredFromHorizAndRight, 1, 3)       // 104
MIREL_COMPOSED_SHRED(UnevenShredFromHorizAndLeft, 2, 3)        // 105
MIREL_COMPOSED_SHRED(UnevenShredFromBottomAndVertMiddle, 3, 1) // 106
MIREL_COMPOSED_SHRED(UnevenShredFromTopAndVertMiddle, 3, 2)    // 107
MIREL_COMPOSED_SHRED(UnevenShredFromCentre, 3, 3)              // 108
MIREL_COMPOSED_SHRED(UnevenShredToCentre, 4, 4)                // 109

#undef MIREL_COMPOSED_SHRED
#undef MIREL_SHRED

} // namespace mirel
