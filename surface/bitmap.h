// Bitmaps and the canvas that draws on them.
//
// A TBitmap holds 32-bit pixels, each a uint32_t 0xAARRGGBB, that is blue,
// green, red and a fourth byte in memory order on little-endian machines.
// Rows are contiguous and top-down, so the pixels can be handed to a Qt
// QImage (Format_RGB32 or Format_ARGB32) or a pixman image without a copy.
//
// Assign shares pixels instead of copying them: the bitmaps share one block
// until either is written through a non-const accessor (a canvas, PixelRow,
// Bits, SetPixel, Fill), which first gives it a copy of its own. So a picture
// handed on costs no memory until someone draws on it. Shared blocks may be
// read on several threads; writes need the bitmap's own lock as before.
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

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <stdexcept>

namespace mirel {

class TBitmap;
class TCanvas;
class TCanvasDrawing;
class TDrawRecord;
class TRegion;

// TBitmapError: a bitmap that cannot be made (impossible or too large a size).

enum class TStretchMode : int {
    ColorOnColor = 3, // nearest neighbour: the only mode drawn; others are kept for callers
    Halftone = 4,
};

constexpr uint32_t clBlack = 0xFF000000u;
constexpr uint32_t clWhite = 0xFFFFFFFFu;

// One copy of TCanvas::CopyAreas: Source's SourceRect onto Dest, as
// CopyArea draws it.
struct TAreaCopy {
    TRect Dest;
    const TCanvas* Source;
    TRect SourceRect;
};

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

    // Several copies, with the pixels of CopyArea called for each in turn,
    // drawn row by row: every copy's part of a row before the next row. Copies
    // side by side along the rows (a picture squeezed apart from the middle, a
    // push's two pictures) then read and write each row in one run instead of
    // a run per copy, which on long rows costs up to twice the time. A copy
    // from this very canvas must read only its own rows (1:1 and in place
    // vertically), or the copies are drawn one after another.
    void CopyAreas(std::span<const TAreaCopy> copies);

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

    // An area drawn by the caller, for pixels the canvas cannot copy or fill
    // (a rotation): draw() writes the bitmap's pixels in the area (cut to
    // the bitmap), all of them and no other, and reads none. The canvas
    // gives the bitmap pixels of its own first; a record watching it sees
    // the area drawn, as if the canvas had filled it. area() gives the area,
    // and is called before draw() and only while a record watches: a drawing
    // that works its area out pays for it only then. The clip region does
    // not apply.
    void DrawArea(const std::function<TRegion()>& area, const std::function<void()>& draw);

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
    // A bitmap over rows it does not own: width x height pixels of a larger
    // image (a window's backing store), stride pixels from one row to the
    // next, drawn on in place. The rows must outlive it. It never lends
    // them: a bitmap that shares or assigns it takes a copy, and a new size
    // gives it a block of its own.
    TBitmap(uint32_t* rows, int32_t width, int32_t height, int32_t stride);
    // Makes this bitmap show pixels someone else holds (a QImage's, say):
    // width x height of them, contiguous rows, which owner keeps alive for as
    // long as any bitmap shows them. They are only ever read: shared as this
    // bitmap's own block would be, and copied first by a bitmap about to be
    // drawn on, as a block shared with another bitmap is.
    void ShowPixels(const uint32_t* pixels, int32_t width, int32_t height, std::shared_ptr<const void> owner);
    TBitmap(const TBitmap&) = delete;
    TBitmap& operator=(const TBitmap&) = delete;
    ~TBitmap();

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    TRect BoundsRect() const { return {0, 0, width_, height_}; }

    // Changes the size, keeping the pixels where they fit; new pixels are fill.
    void SetSize(int32_t width, int32_t height, uint32_t fill = clBlack);
    // Makes this bitmap an exact copy of other's size and pixels. A bitmap
    // that has a block of its own of the same size copies into it (the frame
    // loop's case: no allocation); any other shares other's block.
    void Assign(const TBitmap& other);
    // Makes this bitmap other's twin, letting its own block go: the two share
    // other's block until either is written.
    void Share(const TBitmap& other);
    // Exchanges size and pixels with other; the canvases stay with their bitmaps.
    void Swap(TBitmap& other) noexcept;
    void Fill(uint32_t color);

    // Row y, 0 = top. y must lie in 0 .. Height() - 1. The non-const
    // accessors give the bitmap its own block first (see Assign).
    uint32_t* PixelRow(int32_t y) { return OwnPixels() + size_t(y) * size_t(stride_); }
    const uint32_t* PixelRow(int32_t y) const
    {
        if (record_ != nullptr) [[unlikely]]
            NoteRead();
        return data_ + size_t(y) * size_t(stride_);
    }
    uint32_t Pixel(int32_t x, int32_t y) const { return PixelRow(y)[x]; }
    void SetPixel(int32_t x, int32_t y, uint32_t c) { PixelRow(y)[x] = c; }

    uint8_t* Bits() { return reinterpret_cast<uint8_t*>(OwnPixels()); }
    const uint8_t* Bits() const { return reinterpret_cast<const uint8_t*>(PixelRow(0)); }
    // The pixels, after giving the bitmap a block of its own if it shares
    // one. Code that writes a bitmap on several threads calls it first.
    uint32_t* OwnPixels()
    {
        if (record_ != nullptr) [[unlikely]]
            NoteWrite();
        if (SharesPixels())
            Unshare();
        return data_;
    }
    // The same for a writer about to draw every pixel: a shared block is not
    // copied, the bitmap gets a new one whose pixels are undefined.
    uint32_t* OwnPixelsForOverwrite();
    // Whether another bitmap shares this one's pixels.
    bool SharesPixels() const
    {
        return block_ != nullptr &&
               (block_->Owner != nullptr || block_->Refs.load(std::memory_order_acquire) > 1);
    }
    // From one row to the next: Width() pixels, except over foreign rows.
    int32_t BytesPerLine() const { return stride_ * 4; }

    TCanvas& Canvas() { return canvas_; }
    const TCanvas& Canvas() const { return canvas_; }

    // The pixel memory of all bitmaps of the process, in bytes: held now,
    // and the most held at once since the last ResetPeakPixelBytes().
    static size_t PixelBytes();
    static size_t PeakPixelBytes();
    static void ResetPeakPixelBytes();
    // Gives the system back the block kept for the next request of its size
    // (the frame a transition let go, for the next one to take), for a
    // caller that knows no such request is coming.
    static void ReleaseSpare() noexcept;

private:
    friend class TCanvasDrawing;
    friend class TDrawRecord;

    // Pixel memory. Blocks of MappedBytes and more are mapped from the
    // system and unmapped when freed, so a replaced picture gives its memory
    // back at once, whatever the heap did meanwhile; the mapped pages come
    // zeroed and are left untouched until drawn on. One exception: the block
    // freed last, if no larger than 64 MiB (a 4K frame takes 32), is kept for
    // the next request of its size, so that a frame let go at the end of a
    // transition is taken again at the start of the next one without the
    // system clearing its pages anew. Smaller blocks come from the heap. A
    // new block's pixels are not initialised (zeroed tells whether they are
    // zeroes): SetSize does.
    static constexpr size_t MappedBytes = size_t{256} << 10;
    static bool IsMapped(size_t bytes);
    static void* AllocatePixels(size_t bytes, bool& zeroed);
    static void FreePixels(void* pixels, size_t bytes) noexcept;
    struct TPixelBlock {
        std::atomic<uint32_t> Refs{1};
        size_t Bytes = 0;
        uint32_t* Pixels = nullptr;
        int32_t Stride = 0; // rows of another image, this far apart; 0: the block's own, contiguous
        std::shared_ptr<const void> Owner; // of pixels shown read-only (ShowPixels), not the block's own
    };
    static TPixelBlock* NewBlock(size_t count, bool* zeroed = nullptr);
    static void Release(TPixelBlock* block) noexcept;

    void Unshare();
    // Row by row from other, of this bitmap's size, into this one's pixels.
    void CopyRows(const TBitmap& other) noexcept;
    bool Foreign() const { return block_ != nullptr && block_->Stride != 0; }
    // Takes block (which may be null), letting the current one go.
    void Adopt(TPixelBlock* block, int32_t width, int32_t height) noexcept;
    void Resize(int32_t width, int32_t height) noexcept;
    size_t Count() const { return size_t(width_) * size_t(height_); }
    // What a watching TDrawRecord sees besides the canvas's drawing.
    void NoteRead() const noexcept;
    void NoteWrite() const noexcept;

    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t stride_ = 0; // pixels from one row to the next
    TPixelBlock* block_ = nullptr; // null when empty
    uint32_t* data_ = nullptr;     // block_'s pixels
    TDrawRecord* record_ = nullptr; // watching this bitmap, if any
    TCanvas canvas_;
};

// Watches one bitmap: gathers the area its canvas draws, and notes whether
// its pixels are written any other way (PixelRow, Bits, Assign, Fill, ...) or
// read at all (through the const accessors, or as the source of a copy or
// of Assign). A frame loop learns from it which part of a frame a drawing
// changed, and whether that drawing depended on what the bitmap held before.
//
// A bitmap has at most one record (a second one to watch it takes over), and
// a record watches at most one bitmap, until either ends. Both are used under
// the bitmap's lock, though the bands of one drawing may note reads and
// writes on several threads.
class TDrawRecord {
public:
    TDrawRecord();
    ~TDrawRecord();
    TDrawRecord(const TDrawRecord&) = delete;
    TDrawRecord& operator=(const TDrawRecord&) = delete;

    // Watches bitmap from now on, having seen nothing yet; a record that
    // watched another bitmap stops watching it.
    void Watch(TBitmap& bitmap);
    void Stop() noexcept;
    // Forgets what was seen, and goes on watching (and following).
    void Clear() noexcept;
    const TBitmap* Watched() const { return bitmap_; }

    // Follows source, from now on until Watch or Stop: the record keeps
    // where the watched bitmap holds source's pixels at their own place, as
    // the canvas's copies of source 1:1 left them (nothing is known at
    // first), and such a copy writes only the pixels not there yet.
    void Follow(const TBitmap& source);

    // The area the canvas drew on (cut to the bitmap): it holds what the
    // canvas drew there, and the canvas drew nowhere else.
    const TRegion& Drawn() const { return *drawn_; }
    // The part of it whose pixels were written: all of it, less what a copy
    // of the followed source found in place already (with no source
    // followed, all of it).
    const TRegion& Written() const { return source_ != nullptr ? *written_ : *drawn_; }
    // Drawn() handed over, for the last look at it: the record is left
    // having seen nothing drawn (Written() too, unless a source is followed).
    TRegion TakeDrawn() noexcept;
    // Written() handed over likewise; with no source followed that is
    // Drawn(), which stays.
    TRegion TakeWritten();
    bool WrittenOtherwise() const { return writtenOtherwise_.load(std::memory_order_relaxed); }
    bool Read() const { return read_.load(std::memory_order_relaxed); }

private:
    friend class TBitmap;
    friend class TCanvasDrawing;

    TBitmap* bitmap_ = nullptr;
    std::unique_ptr<TRegion> drawn_, written_;
    const TBitmap* source_ = nullptr;
    std::unique_ptr<TRegion> same_; // where the bitmap holds source_'s pixels
    std::atomic<bool> writtenOtherwise_{false};
    std::atomic<bool> read_{false};
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
