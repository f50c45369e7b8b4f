// The transition engine: preparation, stepping on the GUI thread or on the
// worker, the frame build, and the end of a transition.
//
// A transition is idle -> Execute -> (prepared, manual | stepping here |
// stepping on the worker) -> Finish -> idle. OldScreen and Image exist
// exactly while Busy. One frame is one SetProgress: under FrameLock the
// progress changes and the frame is built into Display; then the built area
// is painted (by the GUI thread, which the worker asks and waits for), and
// only then may the next frame be built.
#include "view/transition_view.h"

#include "view/transition_view_p.h"

#include "view/animate_thread.h"
#include "view/exception_hook.h"

#include "effects/random.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <optional>
#include <utility>

namespace mirel {

namespace {

int64_t TickCount()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

void TCustomTransitionView::Execute()
{
    if (!OnOwnThread()) {
        PostToGuiThread(this, new TDeferredEvent(TDeferredEvent::Execute));
        return;
    }
    if (d->FPicture.Empty() || Busy())
        return;
    d->FBusy.store(true, std::memory_order_relaxed);
    d->StopRequested.store(false, std::memory_order_relaxed);
    const uint64_t serial = ++d->TransitionSerial;
    const QPointer<TCustomTransitionView> self(this);
    // A handler may stop this transition, start another or delete the widget.
    const auto current = [&] { return self && d->TransitionSerial == serial && Busy(); };
    const int before = Progress();
    try {
        Prepare();
        if (!current())
            return;
        emit busyChanged(true);
        if (!current())
            return;
        if (Progress() != before) {
            emit progressChanged(Progress());
            if (!current())
                return;
        }
        emit started();
        if (!current())
            return;
        if (!Manual()) {
            if (d->Stopping)
                d->AnimateAfterStop = true;
            else
                Animate();
        }
    } catch (...) {
        // No event fires for a transition that failed to start, or failed
        // on a frame of the unthreaded loop.
        if (self && d->TransitionSerial == serial && Busy()) {
            DropTransitionBitmaps();
            d->FBusy.store(false, std::memory_order_relaxed);
            ++d->TransitionSerial;
        }
        throw;
    }
}

void TCustomTransitionView::Prepare()
{
    // What the control shows now (or its bare background), captured before
    // Display takes the new picture's size.
    const bool bare = d->Unpainted || !d->FOverDraw;
    // Fitted first: the transition runs at the size it is shown at.
    TBitmap picture;
    d->FittedPicture(d->FPicture.Bitmap(), width(), height(), picture);
    d->TransitionSource.Assign(d->FPicture.Bitmap());
    TBitmap().Swap(d->ShownSource);
    d->PicWidth = picture.Width();
    d->PicHeight = picture.Height();
    // The source: the control's area the picture will cover, or (stretched)
    // the one the frame will be stretched over.
    const TRect source = DisplayRectOf(PicPlace(d->PicWidth, d->PicHeight));

    const uint32_t color = ColorPixel();
    d->OldScreen = std::make_shared<TBitmap>();
    d->OldScreen->Canvas().BrushColor = color;
    d->OldScreen->Canvas().StretchMode = TStretchMode::ColorOnColor;
    TRect visible;
    const bool wholeInView = IntersectRect(visible, source, ClientRect()) && visible == source;
    bool captured = false;
    {
        const TCanvasLock displayLock(d->FDisplay.Canvas());
        if (!bare && !d->Stretched() && wholeInView && source == d->FPicRect && d->FDisplay.Width() == d->PicWidth &&
            d->FDisplay.Height() == d->PicHeight) {
            // The frame on show covers the source exactly, within the control:
            // the old screen is that frame, shared until either is drawn on.
            d->OldScreen->Assign(d->FDisplay);
            captured = true;
        }
    }
    if (!captured) {
        // Where the source reaches beyond the control, the old screen shows Color.
        d->OldScreen->SetSize(d->PicWidth, d->PicHeight, color);
        CaptureOldScreen(*d->OldScreen, source, bare);
    }
    {
        // Until the first frame Display is the old screen, sharing its pixels:
        // a paint meanwhile shows what was on show, and an empty control's
        // first picture costs no frame of memory besides its blank screen.
        const TCanvasLock displayLock(d->FDisplay.Canvas());
        d->Frames.Reset();
        d->FDisplay.Share(*d->OldScreen);
        d->Screen.Restart();
        d->DrawsOnScreen = true;
    }
    UpdatePicRect();
    d->Image = std::make_shared<TBitmap>();
    d->Image->Swap(picture);
    // The surface keeps every bitmap in one 32-bit format, which the raster
    // styles need and every other style accepts: no format to switch here.
    {
        const std::lock_guard lock(d->DirtyLock);
        d->FrameDirty = {};
    }
    d->FProgress.store(Reverse() ? 100 : 0, std::memory_order_relaxed);
    DoStart(*d->Image, *d->OldScreen);
}

// The control's area Source as a paint shows it (the background, then
// Display unless Bare), into OldScreen, which already holds Color. Unstretched,
// Source has OldScreen's size and the pieces go straight in, so that a large
// picture costs no bitmap of the control's size; stretched, Source is scaled
// from the whole control composed in PaintBuffer (at the control's size),
// which is let go afterwards.
void TCustomTransitionView::CaptureOldScreen(TBitmap& OldScreen, const TRect& Source, bool Bare)
{
    TCanvas& canvas = OldScreen.Canvas();
    if (d->Stretched()) {
        ComposePaintBuffer(Bare);
        const TCanvasLock lock(d->FPaintBuffer.Canvas());
        canvas.CopyArea(OldScreen.BoundsRect(), d->FPaintBuffer.Canvas(), Source);
        TBitmap().Swap(d->FPaintBuffer);
        return;
    }
    const TRect cr = ClientRect();
    TRect visible;
    if (!IntersectRect(visible, Source, cr))
        return;
    const auto at = [&](TRect r, const TRect& origin) {
        OffsetRect(r, -origin.Left, -origin.Top);
        return r;
    };
    if (!d->FBgPicture.Empty() && d->FBgMode != bmNone) {
        const TBitmap& background = BackgroundBuffer();
        canvas.CopyArea(at(visible, Source), background.Canvas(), visible);
    }
    if (Bare)
        return;
    const TCanvasLock lock(d->FDisplay.Canvas());
    TRect shown;
    if (d->FDisplay.Empty() || !IntersectRect(shown, DisplayRect(), visible))
        return;
    canvas.CopyArea(at(shown, Source), d->FDisplay.Canvas(), at(shown, d->FPicRect));
}

void TCustomTransitionView::Animate()
{
    if (d->FThreaded)
        d->Thread = std::make_unique<TAnimateThread>(*this);
    else
        AnimateHere();
}

// The frame loop on the GUI thread. Between frames it keeps the application
// running (handlers, timers and paints of the whole application run inside
// the wait), which is also how it may learn that its transition was stopped,
// replaced or its control destroyed: then it leaves without touching them.
void TCustomTransitionView::AnimateHere()
{
    const uint64_t serial = d->TransitionSerial;
    const QPointer<TCustomTransitionView> self(this);
    const auto current = [&] { return self && d->TransitionSerial == serial && Busy(); };
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        const int64_t t0 = TickCount();
        SetProgress(NextProgress());
        if (!current())
            return;
        const bool done = EndReached() && !Manual();
        while (!done) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (!current())
                return;
            const int64_t rest = Delay() - (TickCount() - t0);
            if (rest < 0 || Manual() || d->Stopping)
                break;
            // Sleeps in the event loop until an event comes or the delay is over.
            wake.start(int(rest) + 1);
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            if (!current())
                return;
        }
        if (done || Manual() || d->Stopping)
            break;
    }
    if (d->Stopping || !Manual())
        Finish();
}

int TCustomTransitionView::NextProgress() const
{
    const int progress = Progress(), step = Step();
    if (Reverse())
        return progress > step ? progress - step : 0;
    return progress < 100 - step ? progress + step : 100;
}

bool TCustomTransitionView::EndReached() const
{
    return Reverse() ? Progress() == 0 : Progress() == 100;
}

void TCustomTransitionView::SetProgress(int Value)
{
    SetProgressOn(nullptr, Value);
}

void TCustomTransitionView::SetProgressOn(TAnimateThread* Worker, int Value)
{
    Value = std::clamp(Value, 0, 100);
    if (!Busy() || Value == Progress())
        return;
    // Keeps the locks and bitmaps alive should a handler delete the widget.
    const std::shared_ptr<TTransitionViewPrivate> keep = d;
    {
        const std::lock_guard lock(keep->FrameLock);
        keep->FProgress.store(uint8_t(Value), std::memory_order_relaxed);
        try {
            if (!BuildFrame())
                return;
        } catch (...) {
            // Nothing will be painted for this frame: let the next one come.
            keep->FrameEvent.Set();
            throw;
        }
    }
    ShowFrame(Worker);
    if (d->Destroying.load(std::memory_order_relaxed))
        return;
    if (Worker != nullptr) {
        DoProgress();
        PostToGuiThread(this, new TProgressEvent(Value));
        return;
    }
    const QPointer<TCustomTransitionView> self(this);
    DoProgress();
    if (!self || d->Destroying.load(std::memory_order_relaxed))
        return;
    if (OnOwnThread()) {
        emit progressChanged(Value);
        if (self)
            emit frameShown();
    } else {
        PostToGuiThread(this, new TProgressEvent(Value));
    }
}

// False when a handler inside deleted the widget: the caller must not touch
// it any more (its state, held by the caller, is still there to unwind).
bool TCustomTransitionView::BuildFrame()
{
    // Local owners: a handler inside the build may end the transition.
    const std::shared_ptr<TBitmap> image = d->Image, old = d->OldScreen;
    if (!image || !old)
        return true;
    const bool fire = !d->Destroying.load(std::memory_order_relaxed);
    // Only a handler on the GUI thread can delete the widget.
    const bool gui = OnOwnThread();
    const QPointer<TCustomTransitionView> self(gui ? this : nullptr);
    const auto deleted = [&] { return gui && !self; };
    const TCanvasLock imageLock(image->Canvas());
    const TCanvasLock displayLock(d->FDisplay.Canvas());
    TBitmap& display = d->FDisplay;
    const TRect r{0, 0, d->PicWidth, d->PicHeight};
    const int progress = Progress();
    const int style = Style();
    const auto step = uint32_t(Step());
    // Runs the effect's drawing; if it fails, no clip region stays selected
    // on Display.
    const auto drawing = [&](auto&& draw) {
        try {
            draw();
        } catch (...) {
            display.Canvas().SelectClipRgn(nullptr);
            throw;
        }
    };
    // With no handler to see the old screen in Display first, the frame is
    // drawn over the last one where only the changed area need be drawn
    // again, or from the old screen at once: in one pass for a style with a
    // compose form. When no handler is to see the frame in Display either,
    // the paint draws it where it paints, if it can. The last frame shares
    // the picture's pixels.
    const bool before = fire && OnBeforeNewFrame;
    const bool after = fire && OnAfterNewFrame;
    if (d->Pending && !d->Pending->Seed && RandomFrames(d->Pending->Style)) {
        // No paint drew it (a hidden control): it draws its numbers now.
        d->SettleFrame();
        d->DrawsOnScreen = false;
    }
    const bool paintDraws = style != 0 && (Effects[style].Compose != nullptr || d->DrawsOnScreen);
    // The last frame too, where frames are drawn on screen and the last one
    // drawn there still is (Rows): over it, only what is not the new picture
    // there yet is copied.
    const bool lastOnScreen = progress == 100 && style != 0 && d->DrawsOnScreen && d->Screen.Rows &&
                              !RaggedFrames(style);
    TRegion built(r);
    if (!before && !after && ((progress > 0 && progress < 100 && paintDraws) || lastOnScreen) &&
        old->Width() == r.Right && old->Height() == r.Bottom && image->Width() == r.Right &&
        image->Height() == r.Bottom && display.Width() == r.Right && display.Height() == r.Bottom) {
        // Drawn by the paint (see Pending); Display holds an older frame
        // meanwhile, which the builder must not draw over. Frames drawn so
        // need no bitmap: Display lets its own go, and the block kept for
        // the next frame goes back to the system.
        d->Frames.Reset();
        if (!d->Pending) {
            const TCanvasLock oldLock(old->Canvas());
            display.Share(*old);
            TBitmap::ReleaseSpare();
        }
        d->Pending = TTransitionViewPrivate::TPendingFrame{style, step, progress, false, std::nullopt};
        // A frame drawn over the last one on screen is first painted where
        // the last one changed; the paint shows the rest of what it changes.
        if (!RaggedFrames(style) && d->DrawsOnScreen && !d->Screen.Changed.IsEmpty())
            built = d->Screen.Changed;
        d->InvalidateFrame(std::move(built));
        return true;
    }
    d->Pending.reset();
    if (!before && style != 0) {
        const TCanvasLock oldLock(old->Canvas());
        drawing([&] { built = d->Frames.Draw(display, *old, *image, style, step, progress); });
    } else {
        d->Frames.Reset();
        {
            // Old and Display have one size: Display takes Old's pixels,
            // sharing them until the effect draws (at the first frame they
            // may still be the same block, the frame on show).
            const TCanvasLock oldLock(old->Canvas());
            display.Assign(*old);
        }
        if (before) {
            OnBeforeNewFrame(this, *image, display);
            if (deleted())
                return false;
        }
        if (progress == 100) {
            display.Share(*image); // the picture itself
        } else if (progress != 0) {
            if (style == 0) {
                if (fire) {
                    DoCustomDraw(*image, display);
                    if (deleted())
                        return false;
                }
            } else if (Effects[style].Proc != nullptr) {
                drawing([&] { Effects[style].Proc(display, *image, r, step, progress); });
            }
        }
    }
    d->InvalidateFrame(std::move(built));
    if (fire && OnAfterNewFrame) {
        OnAfterNewFrame(this, *image, display);
        if (deleted())
            return false;
    }
    return true;
}

void TTransitionViewPrivate::SettleFrame()
{
    if (!Pending)
        return;
    const TPendingFrame frame = *Pending;
    Pending.reset();
    // Old and Image are written only by handlers, under Display's lock.
    if (!OldScreen || !Image)
        return;
    // Drawn on screen already, a frame drawn by chance takes the numbers it
    // was drawn with there, leaving the generator where that drawing left it.
    std::optional<TRandomScope> scope;
    if (frame.Seed && RandomFrames(frame.Style))
        scope.emplace(*frame.Seed);
    DrawEffectFrame(FDisplay, *OldScreen, *Image, frame.Style, frame.Step, frame.Progress);
}

// Marks a picture area as built and not yet painted; ShowFrame has it
// painted. The mapping to the control's area is made on the GUI thread, which
// owns the placement.
void TTransitionViewPrivate::InvalidateFrame(TRegion Area)
{
    if (Area.IsEmpty())
        return;
    const std::lock_guard lock(DirtyLock);
    if (FrameDirty.IsEmpty())
        FrameDirty = std::move(Area); // the usual case: the last frame is painted
    else
        UniteRgn(FrameDirty, Area);
}

// Paints the frame just built, synchronously. On the worker that means
// asking the GUI thread and waiting until the paint has signalled
// FrameEvent; the wait also ends when the worker is told to end, so a GUI
// thread stopping the worker never waits for a worker waiting for it.
void TCustomTransitionView::ShowFrame(TAnimateThread* Worker)
{
    if (Worker == nullptr) {
        PaintPendingFrame();
        return;
    }
    bool pending;
    {
        const std::lock_guard lock(d->DirtyLock);
        pending = !d->FrameDirty.IsEmpty();
    }
    if (!pending) {
        d->FrameEvent.Set();
        return;
    }
    PostToGuiThread(this, new QEvent(WM_FRAMEPAINT));
    d->FrameEvent.WaitFor([Worker] { return Worker->Terminated(); });
}

void TCustomTransitionView::DropTransitionBitmaps()
{
    {
        const TCanvasLock displayLock(d->FDisplay.Canvas());
        d->Frames.Reset();
        d->Screen.Restart();
        // A transition stopped on a frame the paint composed keeps it in Display.
        try {
            d->SettleFrame();
        } catch (...) {
            // Display keeps the frame before; nothing else is lost.
        }
    }
    d->Image.reset();
    d->OldScreen.reset();
    TBitmap().Swap(d->TransitionSource);
}

void TCustomTransitionView::Finish()
{
    d->FBusy.store(false, std::memory_order_relaxed);
    // A picture fully shown is placed again when the control is resized,
    // while it is still the picture.
    if (!d->Stopping && !Reverse() && Progress() == 100 &&
        std::as_const(d->TransitionSource).Bits() == d->FPicture.Bitmap().Bits())
        d->ShownSource.Assign(d->TransitionSource);
    ++d->TransitionSerial;
    d->AnimateAfterStop = false;
    DropTransitionBitmaps();
    if (d->Destroying.load(std::memory_order_relaxed))
        return;
    // Any handler may delete the widget; nothing is touched after that.
    const QPointer<TCustomTransitionView> self(this);
    if (!d->Stopping) {
        DoComplete();
        if (!self)
            return;
        emit completed();
        if (!self)
            return;
    }
    DoStop();
    if (!self)
        return;
    emit stopped();
    if (!self || Busy())
        return;
    emit busyChanged(false);
}

void TCustomTransitionView::Stop()
{
    if (!OnOwnThread()) {
        // The worker cannot wait for its own end. It builds no further
        // frame, and the GUI thread ends the transition as stopped.
        if (!Busy())
            return;
        d->StopRequested.store(true, std::memory_order_relaxed);
        if (TAnimateThread* worker = TAnimateThread::Current(); worker != nullptr && &worker->Owner() == this)
            worker->Terminate();
        PostToGuiThread(this, new TDeferredEvent(TDeferredEvent::Stop));
        return;
    }
    if (!Busy() || d->Stopping)
        return;
    const QPointer<TCustomTransitionView> self(this);
    d->Stopping = true;
    try {
        if (Manual() || !StopThread())
            Finish();
    } catch (...) {
        if (self)
            d->Stopping = false;
        throw;
    }
    if (!self)
        return;
    d->Stopping = false;
    // A transition started by an OnStop handler during the stop could not
    // start stepping then; it starts now instead of staying prepared forever.
    if (d->AnimateAfterStop) {
        d->AnimateAfterStop = false;
        if (Busy() && !Manual() && d->Thread == nullptr)
            Animate();
    }
}

bool TCustomTransitionView::StopThread()
{
    if (d->Thread == nullptr)
        return false;
    d->Thread->Terminate();
    d->FrameEvent.Set();
    d->Thread->WaitFor();
    // Whether or not the thread got to post its WM_THREADDONE, handle it
    // here, once, and drop the posted copy.
    QCoreApplication::removePostedEvents(this, WM_THREADDONE);
    ThreadDone();
    return true;
}

void TCustomTransitionView::ThreadDone()
{
    std::exception_ptr error;
    {
        const std::unique_ptr<TAnimateThread> thread = std::move(d->Thread);
        thread->WaitFor();
        error = thread->Error();
    }
    // The next transition must not wait for a paint of this one.
    d->FrameEvent.Set();
    if (error)
        ShowException(error);
    const bool stopRequested = d->StopRequested.exchange(false, std::memory_order_relaxed);
    if (!d->Destroying.load(std::memory_order_relaxed)) {
        // Progress a stop overtook still reaches the listeners before the end.
        const QPointer<TCustomTransitionView> self(this);
        const uint64_t serial = d->TransitionSerial;
        QCoreApplication::sendPostedEvents(this, WM_PROGRESS);
        if (!self || d->TransitionSerial != serial || !Busy())
            return;
    }
    if (stopRequested && !d->Stopping) {
        // Stop was called on the worker: end as stopped, without OnComplete.
        const QPointer<TCustomTransitionView> self(this);
        d->Stopping = true;
        try {
            Finish();
        } catch (...) {
            if (self)
                d->Stopping = false;
            throw;
        }
        if (self)
            d->Stopping = false;
        return;
    }
    if (d->Stopping || !Manual())
        Finish();
}

} // namespace mirel
