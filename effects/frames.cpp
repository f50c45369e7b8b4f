#include "effects/frames.h"

#include "effects/random.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace mirel {

namespace {

// The styles whose frames are built whole, those seen reading Display or
// writing it past the canvas: learnt once for the whole process, since
// procedures keep no state.
std::atomic<bool> BuiltWhole[MaxShowStyle + 1];
// The styles tried on a small frame already (ReadsDisplay).
std::atomic<bool> Tried[MaxShowStyle + 1];

// Whether a style's procedure reads Display, or writes it past the canvas,
// seen on a small blank frame with the generator of a scope of its own (the
// shared one is left as it was). Its first frame at full size then costs
// what the next ones cost, not a full copy of the old picture and a drawing
// in place on top, which at 4K is a frame twice as slow. A procedure that
// reads only at other sizes or progress is still seen on the frame itself.
bool ReadsDisplay(int style, uint32_t Step, int32_t Progress, int32_t width, int32_t height)
{
    constexpr int32_t Side = 64;
    const int32_t w = std::min(width, Side), h = std::min(height, Side);
    const TRandomScope scope(0);
    // Over pixels of its own, not the bitmaps' blocks: no frame's memory.
    std::vector<uint32_t> pixels(size_t(w) * size_t(h) * 2, clBlack);
    std::fill(pixels.begin() + w * h, pixels.end(), clWhite);
    TBitmap display(pixels.data(), w, h, w), image(pixels.data() + w * h, w, h, w);
    TDrawRecord watch;
    watch.Watch(display);
    watch.Follow(image);
    Effects[style].Proc(display, image, image.BoundsRect(), Step, Progress);
    return watch.Read() || watch.WrittenOtherwise();
}

} // namespace

void TFrameBuilder::Reset() noexcept
{
    watch_.Stop();
    valid_ = false;
}

bool TFrameBuilder::GoesOn(const TBitmap& Display, const TBitmap& Old, const TBitmap& Image, int style) const
{
    return valid_ && watch_.Watched() == &Display && !watch_.WrittenOtherwise() && watch_.Drawn().IsEmpty() &&
           old_ == &Old && image_ == &Image && style_ == style && Display.Width() == Image.Width() &&
           Display.Height() == Image.Height();
}

void TFrameBuilder::Adopt(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, int style)
{
    watch_.Watch(Display);
    watch_.Follow(Image);
    drawn_ = TRegion();
    old_ = &Old;
    image_ = &Image;
    style_ = style;
    valid_ = true;
}

TRegion TFrameBuilder::DrawLast(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, int style)
{
    const TRegion whole(Image.BoundsRect());
    if (!GoesOn(Display, Old, Image, style)) {
        Reset();
        Display.Canvas().DrawBitmap(0, 0, Image);
        return whole;
    }
    valid_ = false;
    watch_.Clear();
    // A copy 1:1 of the followed picture: only what is not in place yet.
    Display.Canvas().DrawBitmap(0, 0, Image);
    TRegion changed = watch_.TakeWritten();
    // The old picture may be anywhere under the new one now: a frame drawn
    // after this one puts it back wherever that frame does not draw.
    drawn_ = whole;
    watch_.Clear();
    valid_ = true;
    return changed;
}

TRegion TFrameBuilder::Draw(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, int style, uint32_t Step,
                          int32_t Progress)
{
    const TRect R = Image.BoundsRect();
    const TRegion whole(R);
    const bool drawsOver = Progress > 0 && Progress < 100 && style >= 1 && style <= MaxShowStyle &&
                           !RaggedFrames(style) && !BuiltWhole[style].load(std::memory_order_relaxed) &&
                           Old.Width() == Image.Width() && Old.Height() == Image.Height() && &Display != &Old &&
                           &Display != &Image;
    if (!drawsOver) {
        Reset();
        DrawEffectFrame(Display, Old, Image, style, Step, Progress);
        return whole;
    }
    const bool goesOn = GoesOn(Display, Old, Image, style);
    if (!Tried[style].exchange(true, std::memory_order_relaxed) &&
        ReadsDisplay(style, Step, Progress, Image.Width(), Image.Height())) {
        BuiltWhole[style].store(true, std::memory_order_relaxed);
        Reset();
        DrawEffectFrame(Display, Old, Image, style, Step, Progress);
        return whole;
    }
    // Should the procedure fail, the next frame starts afresh.
    valid_ = false;
    if (!goesOn) {
        watch_.Stop();
        Display.Assign(Old);
        watch_.Watch(Display);
        watch_.Follow(Image);
        drawn_ = TRegion();
    }
    watch_.Clear();
    const TEffectProc proc = Effects[style].Proc;
    proc(Display, Image, R, Step, Progress);
    if (watch_.Read() || watch_.WrittenOtherwise()) {
        // Not a procedure for this: its frames are built whole from now on.
        BuiltWhole[style].store(true, std::memory_order_relaxed);
        watch_.Stop();
        if (goesOn) { // drawn over the last frame: again, over the old picture
            Display.Assign(Old);
            proc(Display, Image, R, Step, Progress);
        }
        return whole;
    }
    // What changed: what the procedure wrote (its copies of Image 1:1 write
    // only what is not in place yet), and the old picture put back where
    // the last frame drew and this one did not.
    TRegion changed = watch_.TakeWritten();
    TRegion drawn = watch_.TakeDrawn();
    TRegion back;
    CombineRgn(back, drawn_, drawn, RGN_DIFF);
    if (!back.IsEmpty()) {
        Display.Canvas().DrawBitmapThrough(Old, back);
        UniteRgn(changed, back);
    }
    if (!goesOn)
        changed = whole;
    drawn_ = std::move(drawn);
    watch_.Clear();
    old_ = &Old;
    image_ = &Image;
    style_ = style;
    valid_ = true;
    return changed;
}

} // namespace mirel
