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

#include "view/animate_thread.h"
#include "view/exception_hook.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>

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
    if (FPicture.Empty() || Busy())
        return;
    FBusy.store(true, std::memory_order_relaxed);
    const uint64_t serial = ++TransitionSerial;
    const QPointer<TCustomTransitionView> self(this);
    try {
        Prepare();
        if (!Manual()) {
            if (Stopping)
                AnimateAfterStop = true;
            else
                Animate();
        }
    } catch (...) {
        // No event fires for a transition that failed to start, or failed
        // on a frame of the unthreaded loop.
        if (self && TransitionSerial == serial && Busy()) {
            DropTransitionBitmaps();
            FBusy.store(false, std::memory_order_relaxed);
            ++TransitionSerial;
        }
        throw;
    }
}

void TCustomTransitionView::Prepare()
{
    PicWidth = FPicture.Width();
    PicHeight = FPicture.Height();
    {
        // Keeps the old content where it fits: the control may be painted
        // before the first frame is built.
        const TCanvasLock lock(FDisplay.Canvas());
        FDisplay.SetSize(PicWidth, PicHeight);
    }
    UpdatePicRect();
    const TRect cr = ClientRect();
    const TRect source = !FStretch ? FPicRect : FStretchFine ? AspectFitRect(FPicRect, cr) : cr;

    // Where the source reaches beyond the control, the old screen shows Color.
    const uint32_t color = ColorPixel();
    OldScreen = std::make_shared<TBitmap>(PicWidth, PicHeight, color);
    OldScreen->Canvas().BrushColor = color;
    FitPaintBuffer();
    {
        const TCanvasLock lock(FPaintBuffer.Canvas());
        if (Unpainted || !FOverDraw)
            DrawBackground(FPaintBuffer.Canvas(), cr);
        OldScreen->Canvas().StretchMode = TStretchMode::ColorOnColor;
        OldScreen->Canvas().CopyArea({0, 0, PicWidth, PicHeight}, FPaintBuffer.Canvas(), source);
    }
    Image = std::make_shared<TBitmap>();
    Image->Assign(FPicture.Bitmap());
    // The surface keeps every bitmap in one 32-bit format, which the raster
    // styles need and every other style accepts: no format to switch here.
    {
        const std::lock_guard lock(DirtyLock);
        FrameDirty = {};
    }
    FProgress.store(Reverse() ? 100 : 0, std::memory_order_relaxed);
    DoStart(*Image, *OldScreen);
}

void TCustomTransitionView::Animate()
{
    if (FThreaded)
        Thread = std::make_unique<TAnimateThread>(*this);
    else
        AnimateHere();
}

// The frame loop on the GUI thread. Between frames it keeps the application
// running (handlers, timers and paints of the whole application run inside
// the wait), which is also how it may learn that its transition was stopped,
// replaced or its control destroyed: then it leaves without touching them.
void TCustomTransitionView::AnimateHere()
{
    const uint64_t serial = TransitionSerial;
    const QPointer<TCustomTransitionView> self(this);
    const auto current = [&] { return self && TransitionSerial == serial && Busy(); };
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
            if (rest < 0 || Manual() || Stopping)
                break;
            // Sleeps in the event loop until an event comes or the delay is over.
            wake.start(int(rest) + 1);
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            if (!current())
                return;
        }
        if (done || Manual() || Stopping)
            break;
    }
    if (Stopping || !Manual())
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
    {
        const std::lock_guard lock(FrameLock);
        FProgress.store(uint8_t(Value), std::memory_order_relaxed);
        try {
            BuildFrame();
        } catch (...) {
            // Nothing will be painted for this frame: let the next one come.
            FrameEvent.Set();
            throw;
        }
    }
    ShowFrame(Worker);
    if (!Destroying.load(std::memory_order_relaxed))
        DoProgress();
}

void TCustomTransitionView::BuildFrame()
{
    // Local owners: a handler inside the build may end the transition.
    const std::shared_ptr<TBitmap> image = Image, old = OldScreen;
    if (!image || !old)
        return;
    const bool fire = !Destroying.load(std::memory_order_relaxed);
    const TCanvasLock imageLock(image->Canvas());
    const TCanvasLock displayLock(FDisplay.Canvas());
    {
        const TCanvasLock oldLock(old->Canvas());
        FDisplay.Canvas().DrawBitmap(0, 0, *old);
    }
    if (fire)
        DoBeforeNewFrame(*image, FDisplay);
    const TRect r{0, 0, PicWidth, PicHeight};
    const int progress = Progress();
    if (progress == 100) {
        FDisplay.Canvas().DrawBitmap(0, 0, *image);
    } else if (progress != 0) {
        const int style = Style();
        if (style == 0) {
            if (fire)
                DoCustomDraw(*image, FDisplay);
        } else if (Effects[style].Proc != nullptr) {
            try {
                Effects[style].Proc(FDisplay, *image, r, uint32_t(Step()), progress);
            } catch (...) {
                FDisplay.Canvas().SelectClipRgn(nullptr);
                throw;
            }
        }
    }
    InvalidateFrame(r);
    if (fire)
        DoAfterNewFrame(*image, FDisplay);
}

// Marks a picture area as built and not yet painted; ShowFrame has it
// painted. The mapping to the control's area is made on the GUI thread, which
// owns the placement.
void TCustomTransitionView::InvalidateFrame(const TRect& Rc)
{
    if (Rc.IsEmpty())
        return;
    const std::lock_guard lock(DirtyLock);
    if (FrameDirty.IsEmpty()) {
        FrameDirty = Rc;
        return;
    }
    FrameDirty.Left = std::min(FrameDirty.Left, Rc.Left);
    FrameDirty.Top = std::min(FrameDirty.Top, Rc.Top);
    FrameDirty.Right = std::max(FrameDirty.Right, Rc.Right);
    FrameDirty.Bottom = std::max(FrameDirty.Bottom, Rc.Bottom);
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
        const std::lock_guard lock(DirtyLock);
        pending = !FrameDirty.IsEmpty();
    }
    if (!pending) {
        FrameEvent.Set();
        return;
    }
    PostToGuiThread(this, new QEvent(WM_FRAMEPAINT));
    FrameEvent.WaitFor([Worker] { return Worker->Terminated(); });
}

void TCustomTransitionView::DropTransitionBitmaps()
{
    Image.reset();
    OldScreen.reset();
}

void TCustomTransitionView::Finish()
{
    FBusy.store(false, std::memory_order_relaxed);
    ++TransitionSerial;
    AnimateAfterStop = false;
    DropTransitionBitmaps();
    if (Destroying.load(std::memory_order_relaxed))
        return;
    if (!Stopping)
        DoComplete();
    DoStop();
}

void TCustomTransitionView::Stop()
{
    if (!Busy() || Stopping)
        return;
    const QPointer<TCustomTransitionView> self(this);
    Stopping = true;
    try {
        if (Manual() || !StopThread())
            Finish();
    } catch (...) {
        if (self)
            Stopping = false;
        throw;
    }
    if (!self)
        return;
    Stopping = false;
    // A transition started by an OnStop handler during the stop could not
    // start stepping then; it starts now instead of staying prepared forever.
    if (AnimateAfterStop) {
        AnimateAfterStop = false;
        if (Busy() && !Manual() && Thread == nullptr)
            Animate();
    }
}

bool TCustomTransitionView::StopThread()
{
    if (Thread == nullptr)
        return false;
    Thread->Terminate();
    FrameEvent.Set();
    Thread->WaitFor();
    // Whether or not the thread got to post its WM_THREADDONE, handle it
    // here, once, and drop the posted copy.
    QCoreApplication::removePostedEvents(this, WM_THREADDONE);
    ThreadDone();
    return true;
}

void TCustomTransitionView::ThreadDone()
{
    const std::unique_ptr<TAnimateThread> thread = std::move(Thread);
    thread->WaitFor();
    const std::exception_ptr error = thread->Error();
    // The next transition must not wait for a paint of this one.
    FrameEvent.Set();
    if (error)
        ShowException(error);
    if (Stopping || !Manual())
        Finish();
}

} // namespace mirel
