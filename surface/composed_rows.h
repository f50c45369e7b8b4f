// Frames composed row by row from two pictures, the new one inside a row's
// spans and the old one between them, each pixel written once; and the
// copies of short runs of pixels that combs and shreds are made of.
#pragma once

#include "surface/bitmap.h"
#include "surface/parallel.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace mirel {

// n pixels from src to dst, two buffers apart. Short runs, the slats of a
// comb, are moved by a pair of fixed-size copies that may overlap each other
// (inlined loads and stores) rather than through a call; longer ones by memcpy.
inline void CopyRun(uint32_t* dst, const uint32_t* src, size_t n)
{
    if (n >= 16) {
        std::memcpy(dst, src, n * 4);
    } else if (n >= 8) {
        std::memcpy(dst, src, 32);
        std::memcpy(dst + n - 8, src + n - 8, 32);
    } else if (n >= 4) {
        std::memcpy(dst, src, 16);
        std::memcpy(dst + n - 4, src + n - 4, 16);
    } else if (n >= 2) {
        std::memcpy(dst, src, 8);
        std::memcpy(dst + n - 2, src + n - 2, 8);
    } else if (n == 1) {
        *dst = *src;
    }
}

// Reads count pixels from p, one load per cache line, and keeps nothing:
// only the reads are wanted, for the cache.
inline void ReadThrough(const uint32_t* p, size_t count)
{
    uint32_t seen = 0;
    for (size_t i = 0; i < count; i += 16)
        seen ^= p[i];
    asm volatile("" ::"r"(seen)); // kept, though nothing uses them
}

// After a run of count pixels read from a source row, the same run of the
// next row starting stride pixels on: reads the pixels in between, one load
// per cache line, where they are no more than the run. On the processor
// measured (AMD Zen 4) copies of half to nine tenths of every row otherwise
// ran up to 1.5 times as long as copies of whole rows: the reads stopped
// short on each row and the prefetcher lost the stream. Read on through the
// gap, they cost what whole rows cost; below half a row, the gap's reads
// cost more than they save.
inline void ReadOnToNextRow(const uint32_t* run, size_t count, size_t stride)
{
    if (stride <= count || stride - count > count)
        return;
    ReadThrough(run + count, stride - count);
}

// Runs of pixels copied one after another, from bitmaps other than the
// destination. A run that goes on from where the one before it ended, in
// both its source and its destination, is copied with it as one: a row's
// last run and the next row's first, when they reach the right and the left
// edge of rows without padding. Copied apart, two such runs cost up to half
// as much again as together on the processor measured (AMD Zen 4): the
// copies break off, and the shorter ones stay below the size at which
// memcpy moves whole cache lines at once.
class TRunCopier {
public:
    // n pixels from src to dst; readOnStride, when not 0, asks for
    // ReadOnToNextRow after the run. A run that may go on into the next
    // (it reaches its row's end) is held back until the next run is added or
    // Flush is called; others are copied at once, with the held run when they
    // go on from it.
    void Add(uint32_t* dst, const uint32_t* src, size_t n, size_t readOnStride, bool mayGoOn)
    {
        if (n == 0)
            return;
        uint32_t* from = dst;
        const uint32_t* source = src;
        size_t count = n;
        if (n_ != 0) {
            if (dst == dst_ + n_ && src == src_ + n_) {
                from = dst_;
                source = src_;
                count += n_;
                n_ = 0;
            } else {
                Flush();
            }
        }
        if (mayGoOn) {
            dst_ = from;
            src_ = source;
            n_ = count;
            readOnFrom_ = src;
            readOnCount_ = n;
            readOnStride_ = readOnStride;
            return;
        }
        CopyRun(from, source, count);
        if (readOnStride != 0)
            ReadOnToNextRow(src, n, readOnStride);
    }

    // Copies the run held back; call it before anything else draws.
    void Flush()
    {
        if (n_ == 0)
            return;
        CopyRun(dst_, src_, n_);
        if (readOnStride_ != 0)
            ReadOnToNextRow(readOnFrom_, readOnCount_, readOnStride_);
        n_ = 0;
    }

private:
    uint32_t* dst_ = nullptr; // the run held back
    const uint32_t* src_ = nullptr;
    size_t n_ = 0;
    const uint32_t* readOnFrom_ = nullptr; // its last part, for ReadOnToNextRow
    size_t readOnCount_ = 0, readOnStride_ = 0;
};

// Row y of Dest: spans(span) calls span(x1, x2) for each of the row's spans,
// left to right, apart, within the row; Dest takes Over's pixels in them
// and Under's everywhere else. The three bitmaps have one size.
template <typename TSpans>
void ComposeRow(TBitmap& Dest, const TBitmap& Under, const TBitmap& Over, int32_t y, const TSpans& spans)
{
    uint32_t* to = Dest.PixelRow(y);
    const uint32_t* under = Under.PixelRow(y);
    const uint32_t* over = Over.PixelRow(y);
    int32_t x = 0;
    spans([&](int32_t x1, int32_t x2) {
        CopyRun(to + x, under + x, size_t(x1 - x));
        CopyRun(to + x1, over + x1, size_t(x2 - x1));
        x = x2;
    });
    CopyRun(to + x, under + x, size_t(Dest.Width() - x));
}

// Dest composed band by band of rows on the drawing threads: rows(top,
// bottom) composes the rows [top, bottom), each through ComposeRow.
template <typename TRows>
void ComposeRows(TBitmap& Dest, const TRows& rows)
{
    const int32_t width = Dest.Width(), height = Dest.Height();
    if (width <= 0 || height <= 0)
        return;
    Dest.OwnPixels();
    ForEachBand(0, height, int64_t{width} * height, rows);
}

} // namespace mirel
