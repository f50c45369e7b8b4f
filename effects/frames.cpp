#include "effects/frames.h"

#include <atomic>

namespace mirel {

namespace {

// The styles seen reading Display or writing it past the canvas: learnt once
// for the whole process, since procedures keep no state.
std::atomic<bool> DrawsOverOld[MaxShowStyle + 1];

TRegion RegionOf(const std::vector<TRect>& rects)
{
    return rects.size() == 1 ? TRegion(rects.front()) : UnionOfRects(rects);
}

} // namespace

void TFrameBuilder::Reset() noexcept
{
    watch_.Stop();
    valid_ = false;
}

TRegion TFrameBuilder::Draw(TBitmap& Display, const TBitmap& Old, const TBitmap& Image, int style, uint32_t Step,
                          int32_t Progress)
{
    const TRect R = Image.BoundsRect();
    const TRegion whole(R);
    const bool drawsOver = Progress > 0 && Progress < 100 && style >= 1 && style <= MaxShowStyle &&
                           Effects[style].Compose == nullptr &&
                           !DrawsOverOld[style].load(std::memory_order_relaxed) && Old.Width() == Image.Width() &&
                           Old.Height() == Image.Height() && &Display != &Old && &Display != &Image;
    if (!drawsOver) {
        Reset();
        DrawEffectFrame(Display, Old, Image, style, Step, Progress);
        return whole;
    }
    const bool goesOn = valid_ && watch_.Watched() == &Display && !watch_.WrittenOtherwise() &&
                        watch_.Drawn().empty() && old_ == &Old && image_ == &Image && style_ == style &&
                        Display.Width() == Image.Width() && Display.Height() == Image.Height();
    // Should the procedure fail, the next frame starts afresh.
    valid_ = false;
    if (!goesOn) {
        watch_.Stop();
        Display.Assign(Old);
        watch_.Watch(Display);
        drawn_ = TRegion();
    }
    watch_.Clear();
    const TEffectProc proc = Effects[style].Proc;
    proc(Display, Image, R, Step, Progress);
    if (watch_.Read() || watch_.WrittenOtherwise()) {
        // Not a procedure for this: its frames are built whole from now on.
        DrawsOverOld[style].store(true, std::memory_order_relaxed);
        watch_.Stop();
        if (goesOn) { // drawn over the last frame: again, over the old picture
            Display.Assign(Old);
            proc(Display, Image, R, Step, Progress);
        }
        return whole;
    }
    TRegion drawn = RegionOf(watch_.Drawn());
    TRegion back;
    CombineRgn(back, drawn_, drawn, RGN_DIFF);
    if (!back.IsEmpty())
        Display.Canvas().DrawBitmapThrough(Old, back);
    TRegion changed = whole;
    if (goesOn) {
        UniteRgn(back, drawn);
        changed = std::move(back);
    }
    drawn_ = std::move(drawn);
    watch_.Clear();
    old_ = &Old;
    image_ = &Image;
    style_ = style;
    valid_ = true;
    return changed;
}

} // namespace mirel
