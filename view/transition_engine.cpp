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
    if (!d->OnOwnThread()) {
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
        d->Prepare();
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
                d->Animate();
        }
    } catch (...) {
        // No event fires for a transition that failed to start, or failed
        // on a frame of the unthreaded loop.
        if (self && d->TransitionSerial == serial && Busy()) {
            d->DropTransitionBitmaps();
            d->FBusy.store(false, std::memory_order_relaxed);
            ++d->TransitionSerial;
        }
        throw;
    }
}

void TTransitionViewPrivate::Prepare()
{
    // What the control shows now (or its bare background), captured before
    // Display takes the new picture's size.
    const bool bare = Unpainted || !FOverDraw;
    // Fitted first: the transition runs at the size it is shown at.
    TBitmap picture;
    FittedPicture(FPicture.Bitmap(), q->width(), q->height(), picture);
    TransitionSource.Assign(FPicture.Bitmap());
    TBitmap().Swap(ShownSource);
    PicWidth = picture.Width();
    PicHeight = picture.Height();
    // The source: the control's area the picture will cover, or (stretched)
    // the one the frame will be stretched over.
    const TRect source = DisplayRectOf(PicPlace(PicWidth, PicHeight));

    const uint32_t color = ColorPixel();
    OldScreen = std::make_shared<TBitmap>();
    OldScreen->Canvas().BrushColor = color;
    OldScreen->Canvas().StretchMode = TStretchMode::ColorOnColor;
    TRect visible;
    const bool wholeInView = IntersectRect(visible, source, ClientRect()) && visible == source;
    bool captured = false;
    {
        const TCanvasLock displayLock(FDisplay.Canvas());
        if (!bare && !Stretched() && wholeInView && source == FPicRect && FDisplay.Width() == PicWidth &&
            FDisplay.Height() == PicHeight) {
            // The frame on show covers the source exactly, within the control:
            // the old screen is that frame, shared until either is drawn on.
            OldScreen->Assign(FDisplay);
            captured = true;
        }
    }
    if (!captured) {
        // Where the source reaches beyond the control, the old screen shows Color.
        OldScreen->SetSize(PicWidth, PicHeight, color);
        CaptureOldScreen(*OldScreen, source, bare);
    }
    {
        // Until the first frame Display is the old screen, sharing its pixels:
        // a paint meanwhile shows what was on show, and an empty control's
        // first picture costs no frame of memory besides its blank screen.
        const TCanvasLock displayLock(FDisplay.Canvas());
        Frames.Reset();
        FDisplay.Share(*OldScreen);
        Screen.Restart();
        DrawsOnScreen = true;
    }
    UpdatePicRect();
    Image = std::make_shared<TBitmap>();
    Image->Swap(picture);
    // The surface keeps every bitmap in one 32-bit format, which the raster
    // styles need and every other style accepts: no format to switch here.
    {
        const std::lock_guard lock(DirtyLock);
        FrameDirty = {};
    }
    FProgress.store(q->Reverse() ? 100 : 0, std::memory_order_relaxed);
    q->DoStart(*Image, *OldScreen);
}

// The control's area Source as a paint shows it (the background, then
// Display unless Bare), into OldScreen, which already holds Color. Unstretched,
// Source has OldScreen's size and the pieces go straight in, so that a large
// picture costs no bitmap of the control's size; stretched, Source is scaled
// from the whole control composed in PaintBuffer (at the control's size),
// which is let go afterwards.
void TTransitionViewPrivate::CaptureOldScreen(TBitmap& OldScreen, const TRect& Source, bool Bare)
{
    TCanvas& canvas = OldScreen.Canvas();
    if (Stretched()) {
        ComposePaintBuffer(Bare);
        const TCanvasLock lock(FPaintBuffer.Canvas());
        canvas.CopyArea(OldScreen.BoundsRect(), FPaintBuffer.Canvas(), Source);
        TBitmap().Swap(FPaintBuffer);
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
    if (!FBgPicture.Empty() && FBgMode != bmNone) {
        const TBitmap& background = BackgroundBuffer();
        canvas.CopyArea(at(visible, Source), background.Canvas(), visible);
    }
    if (Bare)
        return;
    const TCanvasLock lock(FDisplay.Canvas());
    TRect shown;
    if (FDisplay.Empty() || !IntersectRect(shown, DisplayRect(), visible))
        return;
    canvas.CopyArea(at(shown, Source), FDisplay.Canvas(), at(shown, FPicRect));
}

void TTransitionViewPrivate::Animate()
{
    if (FThreaded)
        Thread = std::make_unique<TAnimateThread>(*q);
    else
        AnimateHere();
}

// The frame loop on the GUI thread. Between frames it keeps the application
// running (handlers, timers and paints of the whole application run inside
// the wait), which is also how it may learn that its transition was stopped,
// replaced or its control destroyed: then it leaves without touching them.
void TTransitionViewPrivate::AnimateHere()
{
    const uint64_t serial = TransitionSerial;
    const QPointer<TCustomTransitionView> self(q);
    const auto current = [&] { return self && TransitionSerial == serial && q->Busy(); };
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    for (;;) {
        const int64_t t0 = TickCount();
        q->SetProgress(NextProgress());
        if (!current())
            return;
        const bool done = EndReached() && !q->Manual();
        while (!done) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (!current())
                return;
            const int64_t rest = q->Delay() - (TickCount() - t0);
            if (rest < 0 || q->Manual() || Stopping)
                break;
            // Sleeps in the event loop until an event comes or the delay is over.
            wake.start(int(rest) + 1);
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            if (!current())
                return;
        }
        if (done || q->Manual() || Stopping)
            break;
    }
    if (Stopping || !q->Manual())
        Finish();
}

int TTransitionViewPrivate::NextProgress() const
{
    const int progress = q->Progress(), step = q->Step();
    if (q->Reverse())
        return progress > step ? progress - step : 0;
    return progress < 100 - step ? progress + step : 100;
}

bool TTransitionViewPrivate::EndReached() const
{
    return q->Reverse() ? q->Progress() == 0 : q->Progress() == 100;
}

void TCustomTransitionView::SetProgress(int Value)
{
    d->SetProgressOn(nullptr, Value);
}

void TTransitionViewPrivate::SetProgressOn(TAnimateThread* Worker, int Value)
{
    Value = std::clamp(Value, 0, 100);
    if (!q->Busy() || Value == q->Progress())
        return;
    // Keeps the locks and bitmaps alive should a handler delete the widget.
    const std::shared_ptr<TTransitionViewPrivate> keep = q->d;
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
    if (Destroying.load(std::memory_order_relaxed))
        return;
    if (Worker != nullptr) {
        q->DoProgress();
        PostToGuiThread(q, new TProgressEvent(Value));
        return;
    }
    const QPointer<TCustomTransitionView> self(q);
    q->DoProgress();
    if (!self || Destroying.load(std::memory_order_relaxed))
        return;
    if (OnOwnThread()) {
        emit q->progressChanged(Value);
        if (self)
            emit q->frameShown();
    } else {
        PostToGuiThread(q, new TProgressEvent(Value));
    }
}

// False when a handler inside deleted the widget: the caller must not touch
// it any more (its state, held by the caller, is still there to unwind).
bool TTransitionViewPrivate::BuildFrame()
{
    // Local owners: a handler inside the build may end the transition.
    const std::shared_ptr<TBitmap> image = Image, old = OldScreen;
    if (!image || !old)
        return true;
    const bool fire = !Destroying.load(std::memory_order_relaxed);
    // Only a handler on the GUI thread can delete the widget.
    const bool gui = OnOwnThread();
    const QPointer<TCustomTransitionView> self(gui ? q : nullptr);
    const auto deleted = [&] { return gui && !self; };
    const TCanvasLock imageLock(image->Canvas());
    const TCanvasLock displayLock(FDisplay.Canvas());
    TBitmap& display = FDisplay;
    const TRect r{0, 0, PicWidth, PicHeight};
    const int progress = q->Progress();
    const int style = q->Style();
    const auto step = uint32_t(q->Step());
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
    const bool before = fire && q->OnBeforeNewFrame;
    const bool after = fire && q->OnAfterNewFrame;
    if (Pending && !Pending->Seed && RandomFrames(Pending->Style)) {
        // No paint drew it (a hidden control): it draws its numbers now.
        SettleFrame();
        DrawsOnScreen = false;
    }
    const bool paintDraws = style != 0 && (Effects[style].Compose != nullptr || DrawsOnScreen);
    // The last frame too, where frames are drawn on screen and the last one
    // drawn there still is (Rows): over it, only what is not the new picture
    // there yet is copied.
    const bool lastOnScreen = progress == 100 && style != 0 && DrawsOnScreen && Screen.Rows &&
                              !RaggedFrames(style);
    TRegion built(r);
    if (!before && !after && ((progress > 0 && progress < 100 && paintDraws) || lastOnScreen) &&
        old->Width() == r.Right && old->Height() == r.Bottom && image->Width() == r.Right &&
        image->Height() == r.Bottom && display.Width() == r.Right && display.Height() == r.Bottom) {
        // Drawn by the paint (see Pending); Display holds an older frame
        // meanwhile, which the builder must not draw over. Frames drawn so
        // need no bitmap: Display lets its own go, and the block kept for
        // the next frame goes back to the system.
        Frames.Reset();
        if (!Pending) {
            const TCanvasLock oldLock(old->Canvas());
            display.Share(*old);
            TBitmap::ReleaseSpare();
        }
        Pending = TTransitionViewPrivate::TPendingFrame{style, step, progress, false, std::nullopt};
        // A frame drawn over the last one on screen is first painted where
        // the last one changed; the paint shows the rest of what it changes.
        if (!RaggedFrames(style) && DrawsOnScreen && !Screen.Changed.IsEmpty())
            built = Screen.Changed;
        InvalidateFrame(std::move(built));
        return true;
    }
    Pending.reset();
    if (!before && style != 0) {
        const TCanvasLock oldLock(old->Canvas());
        drawing([&] { built = Frames.Draw(display, *old, *image, style, step, progress); });
    } else {
        Frames.Reset();
        {
            // Old and Display have one size: Display takes Old's pixels,
            // sharing them until the effect draws (at the first frame they
            // may still be the same block, the frame on show).
            const TCanvasLock oldLock(old->Canvas());
            display.Assign(*old);
        }
        if (before) {
            q->OnBeforeNewFrame(q, *image, display);
            if (deleted())
                return false;
        }
        if (progress == 100) {
            display.Share(*image); // the picture itself
        } else if (progress != 0) {
            if (style == 0) {
                if (fire) {
                    q->DoCustomDraw(*image, display);
                    if (deleted())
                        return false;
                }
            } else if (Effects[style].Proc != nullptr) {
                drawing([&] { Effects[style].Proc(display, *image, r, step, progress); });
            }
        }
    }
    InvalidateFrame(std::move(built));
    if (fire && q->OnAfterNewFrame) {
        q->OnAfterNewFrame(q, *image, display);
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
void TTransitionViewPrivate::ShowFrame(TAnimateThread* Worker)
{
    if (Worker == nullptr) {
        PaintPendingFrame();
        return;
    }
    bool pending;
    {
        const std::lock_guard lock(DirtyLock);
        pending = !FrameDirty.IsEmpty();
    }
    if (!pending) {
        FrameEvent.Set();
        return;
    }
    PostToGuiThread(q, new QEvent(WM_FRAMEPAINT));
    FrameEvent.WaitFor([Worker] { return Worker->Terminated(); });
}

void TTransitionViewPrivate::DropTransitionBitmaps()
{
    {
        const TCanvasLock displayLock(FDisplay.Canvas());
        Frames.Reset();
        Screen.Restart();
        // A transition stopped on a frame the paint composed keeps it in Display.
        try {
            SettleFrame();
        } catch (...) {
            // Display keeps the frame before; nothing else is lost.
        }
    }
    Image.reset();
    OldScreen.reset();
    TBitmap().Swap(TransitionSource);
}

void TTransitionViewPrivate::Finish()
{
    FBusy.store(false, std::memory_order_relaxed);
    // A picture fully shown is placed again when the control is resized,
    // while it is still the picture.
    if (!Stopping && !q->Reverse() && q->Progress() == 100 &&
        std::as_const(TransitionSource).Bits() == FPicture.Bitmap().Bits())
        ShownSource.Assign(TransitionSource);
    ++TransitionSerial;
    AnimateAfterStop = false;
    DropTransitionBitmaps();
    if (Destroying.load(std::memory_order_relaxed))
        return;
    // Any handler may delete the widget; nothing is touched after that.
    const QPointer<TCustomTransitionView> self(q);
    if (!Stopping) {
        q->DoComplete();
        if (!self)
            return;
        emit q->completed();
        if (!self)
            return;
    }
    q->DoStop();
    if (!self)
        return;
    emit q->stopped();
    if (!self || q->Busy())
        return;
    emit q->busyChanged(false);
}

void TCustomTransitionView::Stop()
{
    if (!d->OnOwnThread()) {
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
        if (Manual() || !d->StopThread())
            d->Finish();
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
            d->Animate();
    }
}

bool TTransitionViewPrivate::StopThread()
{
    if (Thread == nullptr)
        return false;
    Thread->Terminate();
    FrameEvent.Set();
    Thread->WaitFor();
    // Whether or not the thread got to post its WM_THREADDONE, handle it
    // here, once, and drop the posted copy.
    QCoreApplication::removePostedEvents(q, WM_THREADDONE);
    ThreadDone();
    return true;
}

void TTransitionViewPrivate::ThreadDone()
{
    std::exception_ptr error;
    {
        const std::unique_ptr<TAnimateThread> thread = std::move(Thread);
        thread->WaitFor();
        error = thread->Error();
    }
    // The next transition must not wait for a paint of this one.
    FrameEvent.Set();
    if (error)
        ShowException(error);
    const bool stopRequested = StopRequested.exchange(false, std::memory_order_relaxed);
    if (!Destroying.load(std::memory_order_relaxed)) {
        // Progress a stop overtook still reaches the listeners before the end.
        const QPointer<TCustomTransitionView> self(q);
        const uint64_t serial = TransitionSerial;
        QCoreApplication::sendPostedEvents(q, WM_PROGRESS);
        if (!self || TransitionSerial != serial || !q->Busy())
            return;
    }
    if (stopRequested && !Stopping) {
        // Stop was called on the worker: end as stopped, without OnComplete.
        const QPointer<TCustomTransitionView> self(q);
        Stopping = true;
        try {
            Finish();
        } catch (...) {
            if (self)
                Stopping = false;
            throw;
        }
        if (self)
            Stopping = false;
        return;
    }
    if (Stopping || !q->Manual())
        Finish();
}

} // namespace mirel
