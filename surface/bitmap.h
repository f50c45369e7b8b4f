// Bitmaps and the canvas that draws on them.
//
// A TBitmap holds 32-bit pixels, each a uint32_t 0xAARRGGBB, that is blue,
// green, red and a fourth byte in memory order on little-endian machines.
// Rows are contiguous and top-down, so the pixels can be handed to a Qt
// QImage (Format_RGB32 or Format_ARGB32) or a pixman image without a copy.
//
// A TCanvas belongs to one bitmap. It carries a brush colour, a stretch mode,
// an optional clip region that limits all drawing on it, and a re-entrant
// lock that the owner of a frame takes around drawing shared between threads.
// The canvas does not lock by itself: whoever shares a bitmap locks it.
//
// Every drawing operation clips once, at its entry: to the bitmap's bounds,
// then to the clip region. Rectangles reaching outside the bitmap, empty ones
// and mirrored ones (negative extents) are all fine.
#pragma once

#include "surface/rect.h"

#include <mirel/errors.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace mirel {

class TBitmap;
class TRegion;

// TBitmapError: a bitmap that cannot be made (impossible or too large a size).

enum class TStretchMode : int {
    ColorOnColor = 3, // nearest neighbour: the only mode drawn; others are kept for callers
    Halftone = 4,
};

constexpr uint32_t clBlack = 0xFF000000u;
constexpr uint32_t clWhite = 0xFFFFFFFFu;

class TCanvas {
public:
    explicit TCanvas(TBitmap& owner);
    ~TCanvas();
    TCanvas(const TCanvas&) = delete;
    TCanvas& operator=(const TCanvas&) = delete;

    TBitmap& Bitmap() { return owner_; }
    const TBitmap& Bitmap() const { return owner_; }

    // Re-entrant on the thread that holds it.
    void Lock() { lock_.lock(); }
    void Unlock() { lock_.unlock(); }
    bool TryLock() { return lock_.try_lock(); }

    uint32_t BrushColor = clWhite;
    TStretchMode StretchMode = TStretchMode::ColorOnColor;

    // Selects a copy of rgn as the clip region; the caller may drop rgn at once.
    void SelectClipRgn(const TRegion& rgn);
    // Removes clipping.
    void SelectClipRgn(std::nullptr_t);
    bool HasClipRgn() const { return clip_ != nullptr; }
    const TRegion* ClipRgn() const { return clip_.get(); }

    // Source rectangle of src onto dest, each axis scaled on its own (nearest
    // neighbour). The scale is that of the whole of dest, also where dest
    // reaches outside the bitmap. src may be this very canvas, with
    // overlapping rectangles: the result is as if the source were read first.
    void CopyArea(const TRect& dest, const TCanvas& src, const TRect& source);

    // The same with origin and extent. A negative extent mirrors that axis: a
    // width w < 0 at x covers the columns x + w + 1 .. x, right to left.
    void StretchBlt(int32_t x, int32_t y, int32_t w, int32_t h, const TCanvas& src,
                    int32_t sx, int32_t sy, int32_t sw, int32_t sh);

    // The whole bitmap at its own size with its top-left corner at (x, y).
    void DrawBitmap(int32_t x, int32_t y, const TBitmap& bitmap);

    // The whole bitmap scaled onto dest.
    void StretchDraw(const TRect& dest, const TBitmap& bitmap);

    // The whole bitmap at its own size with its top-left corner at (0, 0),
    // drawn only inside rgn (and the clip region, if one is selected). The
    // pixels of DrawBitmap through that clip, copied in memory order: row by
    // row, each row's boxes left to right, so that a comb of narrow slats
    // costs about what its area costs, not a walk down every slat.
    // (region.h has the same through a region's boxes.)
    void DrawBitmapThrough(const TBitmap& bitmap, const TRegion& rgn);

    // dest filled with BrushColor.
    void FillArea(const TRect& dest);

private:
    TBitmap& owner_;
    std::unique_ptr<TRegion> clip_;
    std::recursive_mutex lock_;
};

class TBitmap {
public:
    // The largest bitmap made: no side over 2^20 pixels and no more than 2^28
    // pixels (1 GiB) in all. Larger requests throw TBitmapError.
    static constexpr int32_t MaxSide = 1 << 20;
    static constexpr int64_t MaxPixels = int64_t{1} << 28;

    TBitmap();
    TBitmap(int32_t width, int32_t height, uint32_t fill = clBlack);
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    TRect BoundsRect() const { return {0, 0, width_, height_}; }

    // Changes the size, keeping the pixels where they fit; new pixels are fill.
    void SetSize(int32_t width, int32_t height, uint32_t fill = clBlack);
    // Makes this bitmap an exact copy of other's size and pixels.
    void Assign(const TBitmap& other);
    // Exchanges size and pixels with other; the canvases stay with their bitmaps.
    void Swap(TBitmap& other) noexcept;
    void Fill(uint32_t color);

    // Row y, 0 = top. y must lie in 0 .. Height() - 1.
    uint32_t* PixelRow(int32_t y) { return pixels_.data() + size_t(y) * size_t(width_); }
    const uint32_t* PixelRow(int32_t y) const { return pixels_.data() + size_t(y) * size_t(width_); }
    uint32_t Pixel(int32_t x, int32_t y) const { return PixelRow(y)[x]; }
    void SetPixel(int32_t x, int32_t y, uint32_t c) { PixelRow(y)[x] = c; }

    uint8_t* Bits() { return reinterpret_cast<uint8_t*>(pixels_.data()); }
    const uint8_t* Bits() const { return reinterpret_cast<const uint8_t*>(pixels_.data()); }
    int32_t BytesPerLine() const { return width_ * 4; }

    TCanvas& Canvas() { return canvas_; }
    const TCanvas& Canvas() const { return canvas_; }

    // The pixel memory of all bitmaps of the process, in bytes: held now,
    // and the most held at once since the last ResetPeakPixelBytes().
    static size_t PixelBytes();
    static size_t PeakPixelBytes();
    static void ResetPeakPixelBytes();

private:
    // Pixel memory. Blocks of MappedBytes and more are mapped from the
    // system and unmapped when freed, so a replaced picture gives its memory
    // back at once, whatever the heap did meanwhile; the mapped pages come
    // zeroed and are left untouched until drawn on. Smaller ones come from
    // the heap. The vector does not initialise its elements: SetSize does.
    static constexpr size_t MappedBytes = size_t{256} << 10;
    static bool IsMapped(size_t bytes);
    static void* AllocatePixels(size_t bytes);
    static void FreePixels(void* pixels, size_t bytes) noexcept;
    struct TPixelAllocator {
        using value_type = uint32_t;
        template <class U>
        struct rebind {
            static_assert(std::is_same_v<U, uint32_t>);
            using other = TPixelAllocator;
        };
        uint32_t* allocate(size_t n) { return static_cast<uint32_t*>(AllocatePixels(n * sizeof(uint32_t))); }
        void deallocate(uint32_t* p, size_t n) noexcept { FreePixels(p, n * sizeof(uint32_t)); }
        void construct(uint32_t*) noexcept {}
        void construct(uint32_t* p, uint32_t v) noexcept { *p = v; }
        bool operator==(const TPixelAllocator&) const noexcept { return true; }
    };

    int32_t width_ = 0;
    int32_t height_ = 0;
    std::vector<uint32_t, TPixelAllocator> pixels_;
    TCanvas canvas_;
};

// Who draws scaled, mirrored and overlapping copies: the surface itself, row
// by row, with the fastest gather the processor has (Fast, the default) or
// the plain one (Scalar); or pixman alone (Pixman), through its general
// nearest-neighbour sampling, the reference the others are tested against.
// All three give the same pixels. Call it while nothing draws.
enum class TScaledCopies : int { Pixman, Scalar, Fast };
void SetScaledCopies(TScaledCopies how);

// Throws TBitmapError unless a width x height bitmap can be made.
void CheckBitmapSize(int64_t width, int64_t height);

} // namespace mirel
