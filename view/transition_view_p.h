// The state of a transition widget, behind its d-pointer.
//
// Locks, always taken in this order: FrameLock (one progress change and its
// frame build), then Image's canvas, then Display's; painting takes
// PaintBuffer's canvas, then Display's. The worker never waits for the GUI
// thread while it holds any of them.
#pragma once

#include "effects/frames.h"
#include "view/sync.h"
#include "view/transition_view.h"

#include <QEvent>
#include <QPointer>
#include <QRegion>
#include <QSize>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>

namespace mirel {

class TAnimateThread;

// Posted by the worker thread when its loop has ended.
constexpr QEvent::Type WM_THREADDONE = QEvent::Type(QEvent::User + 1);
// Posted by the worker thread: paint the frame it has just built.
constexpr QEvent::Type WM_FRAMEPAINT = QEvent::Type(QEvent::User + 2);
// Posted by the worker thread after each frame: tell the GUI thread's
// listeners the new progress.
constexpr QEvent::Type WM_PROGRESS = QEvent::Type(QEvent::User + 3);
// Posted by a call the worker thread cannot carry out itself.
constexpr QEvent::Type WM_DEFERRED = QEvent::Type(QEvent::User + 4);

class TProgressEvent : public QEvent {
public:
    explicit TProgressEvent(int progress) : QEvent(WM_PROGRESS), Progress(progress) {}
    const int Progress;
};

class TDeferredEvent : public QEvent {
public:
    enum TCall { Execute, Stop, ManualOn, ManualOff };
    explicit TDeferredEvent(TCall call) : QEvent(WM_DEFERRED), Call(call) {}
    const TCall Call;
};

struct TTransitionViewPrivate {
    // The control; the state may outlive it while a frame being built
    // unwinds (see Destroying), and is not to reach it then.
    TCustomTransitionView* const q;
    explicit TTransitionViewPrivate(TCustomTransitionView* view);
    ~TTransitionViewPrivate();

    TPicture FPicture;
    TPicture FBgPicture;
    TBackgroundMode FBgMode = bmTiled;
    bool FAutoSize = true;
    bool FCenter = false;
    bool FStretch = false;
    bool FStretchFine = false;
    TCustomTransitionView::FillMode FFillMode = TCustomTransitionView::FillMode::Pad;
    // The picture a completed transition left on show, sharing its pixels,
    // while it is still the picture: fitted again when the control's size
    // or fill mode changes. Let go as soon as the picture changes, so that
    // a large photo is not kept beside the next one.
    TBitmap ShownSource;
    // The picture as it was at the start of the transition under way.
    TBitmap TransitionSource;
    bool FOverDraw = true;
    bool FThreaded = true;
    TThreadPriority FThreadPriority = tpNormal;
    bool FParentColor = true;
    QColor LastColor;
    TAlign FAlign = alNone;
    QPointer<QWidget> WatchedParent;

    // Read by the worker thread without a lock.
    std::atomic<bool> FManual{false};
    std::atomic<TShowStyle> FStyle{51};
    std::atomic<uint16_t> FStep{4};
    std::atomic<uint16_t> FDelay{40};
    std::atomic<uint8_t> FProgress{0};
    std::atomic<bool> FReverse{false};
    std::atomic<bool> FBusy{false};
    std::atomic<bool> Destroying{false};
    // Set by Stop called on the worker: build no further frame, and end the
    // transition as stopped when the worker is done.
    std::atomic<bool> StopRequested{false};

    TBitmap FDisplay;
    // Builds Display's frames while no handler looks at them, each over the
    // last, and watches Display meanwhile (under its lock).
    TFrameBuilder Frames;
    // A frame of a style with a compose form that no handler looks at is
    // not built into Display: the paint composes it from the old screen and
    // the picture straight onto what it paints on (the window's backing
    // store), one pass instead of a frame built and then copied. Display
    // gets it only when asked for (SettleFrame). Under Display's lock.
    struct TPendingFrame {
        int Style;
        uint32_t Step;
        int32_t Progress;
        bool OnScreen = false; // drawn over the last one on screen already
        // The shared generator's state before the frame was first drawn on
        // screen (over the last one, or composed), if it was.
        std::optional<uint32_t> Seed;
    };
    std::optional<TPendingFrame> Pending;
    // Where the window's backing store keeps what was painted, the paint
    // rather draws each frame over the last one there, through a frame
    // builder watching the backing store's rows (DrawPendingOnto): the styles
    // without a compose form, and those with one whose frames are not too
    // ragged to follow (RaggedFrames), which then draw only what changed
    // (a sweep, the new picture's part). Every frame draws the shared
    // generator's numbers once, as when built into Display: a frame drawn by
    // chance (RandomFrames) is drawn again (for Display, or composed by a
    // later paint) from the state it was first drawn from on screen, and one
    // that no paint drew is drawn into Display before the next. Cleared when
    // a frame could not be drawn on screen: the rest of the transition is
    // composed, or built into Display. Under Display's lock.
    bool DrawsOnScreen = true;
    struct TScreenFrames {
        std::optional<TBitmap> Rows; // the frame's place in the backing store
        QSize ImageSize;             // of the backing store, when Rows was made
        TFrameBuilder Frames;        // after Rows: stops watching it first
        // What the last frame drawn there changed, in picture coordinates:
        // where the next one is first asked to be painted, its own changed
        // area being known only once it is drawn.
        TRegion Changed;
        // The picture a transition ended on there, its pixels shared (and so
        // kept as they are) until the next frame is drawn: the next
        // transition's first frame, from that picture, is drawn over it
        // instead of from a copy of it.
        std::optional<TBitmap> Shows;

        // Draws the frame over the one drawn last at Rows, or whole where
        // Rows now lie elsewhere, and notes what changed.
        void Draw(uint32_t* rows, int32_t stride, const QSize& imageSize, const TBitmap& Old, const TBitmap& Image,
                  const TPendingFrame& frame);
        // The next frame is drawn whole: something else was painted there.
        void Forget() noexcept
        {
            Restart();
            Rows.reset();
            Shows.reset();
        }
        // For another transition: Rows still show what was drawn last.
        void Restart() noexcept
        {
            Frames.Reset();
            Changed = TRegion();
        }
    } Screen;
    // The part of the control where a frame drawn on screen changed and the
    // paint that drew it did not cover: in the backing store already, shown
    // by a paint right after that draws nothing there. GUI thread only.
    QRegion ScreenToShow;
    bool PaintingFrame = false; // PaintPendingFrame's first paint, GUI thread
    TRect FPicRect;
    std::unique_ptr<TAnimateThread> Thread;
    bool Painting = false;
    // Composed on demand only: the start of a transition, PaintBuffer().
    TBitmap FPaintBuffer;
    // The background picture over Color at the control's size, while one is shown.
    TBitmap BgBuffer;
    bool BgStale = true;
    bool Stopping = false;
    bool Unpainted = true;
    // Shared, so that a frame being built keeps them while a handler inside
    // it ends the transition on the same thread.
    std::shared_ptr<TBitmap> OldScreen;
    std::shared_ptr<TBitmap> Image;
    int32_t PicWidth = 0;
    int32_t PicHeight = 0;
    std::recursive_mutex FrameLock;
    TManualResetEvent FrameEvent{true};

    // Counts transitions started and ended, so that a frame loop learns that
    // its transition was ended (or replaced) from inside its own wait.
    uint64_t TransitionSerial = 0;
    // Set when Execute ran inside Stop (from OnStop): stepping starts once
    // Stop has ended.
    bool AnimateAfterStop = false;
    // The frame area built but not yet painted, in picture coordinates.
    std::mutex DirtyLock;
    TRegion FrameDirty;

    // ---- The model (transition_view.cpp) ----
    void PictureChanged();
    void BgPictureChanged();
    void UpdatePicRect();
    // Where a picture of Width x Height lies in the control, unstretched.
    TRect PicPlace(int32_t Width, int32_t Height) const;
    void ApplyAlign();
    void WatchParent(QWidget* parent);
    uint32_t ColorPixel() const;
    bool OnOwnThread() const;

    // ---- Painting (transition_paint.cpp) ----
    TRect ClientRect() const;
    TRect FrameToClient(TRect Rc) const;
    QRegion ClientAreaOf(const TRegion& FrameArea) const;
    void FitPaintBuffer();
    void ComposePaintBuffer(bool bare);
    const TBitmap& BackgroundBuffer();
    TRect DisplayRect() const;
    TRect DisplayRectOf(const TRect& Place) const;
    void PaintPendingFrame();

    // ---- The engine (transition_engine.cpp) ----
    void Prepare();
    void CaptureOldScreen(TBitmap& OldScreen, const TRect& Source, bool Bare);
    void Animate();
    void AnimateHere();
    int NextProgress() const;
    bool EndReached() const;
    void SetProgressOn(TAnimateThread* Worker, int Value);
    bool BuildFrame();
    void ShowFrame(TAnimateThread* Worker);
    void Finish();
    bool StopThread();
    void ThreadDone();
    void DropTransitionBitmaps();

    // Stretch applies to unscaled pictures only; the other fill modes
    // scale the picture to the control before the transition.
    bool Stretched() const { return FStretch && FFillMode == TCustomTransitionView::FillMode::Pad; }
    bool Fitted() const { return FFillMode != TCustomTransitionView::FillMode::Pad; }
    // The picture as the transition shows it: source itself, or for the
    // fill modes that scale it, source fitted to width x height by the
    // slide show's fitter.
    void FittedPicture(const TBitmap& source, int32_t width, int32_t height, TBitmap& out) const;
    // Reports a failure of the Qt face through errorOccurred; where nobody
    // listens and unheardToHandler, through the exception handler instead.
    void RefitShown();
    static void ReportError(TCustomTransitionView& view, const QString& message, bool unheardToHandler);

    // Marks a picture area as built and not yet painted.
    void InvalidateFrame(TRegion Area);
    // Builds the pending frame, if any, into Display. Under Display's lock.
    void SettleFrame();
};

} // namespace mirel
