// The transition widget: a control that holds one picture and shows it by an
// animated transition from whatever it currently displays.
//
// TCustomTransitionView holds all state and behaviour; TTransitionView only
// publishes the properties to Qt's property system. Place either in any Qt
// Widgets application, load Picture, set Style and call Execute.
//
// Threads. Everything here is called on the GUI thread, except what a
// threaded transition runs on its worker (TAnimateThread): the frame build,
// the effect procedure and the events OnBeforeNewFrame, OnCustomDraw,
// OnAfterNewFrame and OnProgress. Handlers of those must neither call Stop or
// Execute nor wait for the GUI thread (a blocking queued call would deadlock
// against a paint waiting for the frame). Subclasses that override a Do...
// operation must stop the transition in their own destructor first (call
// EndTransitions), as TTransitionView does, so that the worker never calls a
// half-destroyed object.
//
// Locks, always taken in this order: FrameLock (one progress change and its
// frame build), then Image's canvas, then Display's; painting takes
// PaintBuffer's canvas, then Display's. The worker never waits for the GUI
// thread while it holds any of them.
#pragma once

#include "effects/catalogue.h"
#include "surface/bitmap.h"
#include "surface/rect.h"
#include "view/picture.h"
#include "view/sync.h"

#include <QColor>
#include <QEvent>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class QPainter;

namespace mirel {

class TAnimateThread;

// The enumerations of the published properties, in a gadget so that Qt's
// property tools can name their values.
class TViewEnums {
    Q_GADGET
public:
    enum TBackgroundMode { bmNone, bmTiled, bmStretched, bmCentered };
    Q_ENUM(TBackgroundMode)
    enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };
    Q_ENUM(TThreadPriority)
    // Where the control sits in its parent: alNone keeps its own geometry,
    // the others follow the parent's size (top strip, bottom strip, left
    // strip, right strip, the whole parent). A layout, where there is one,
    // overrides this.
    enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
    Q_ENUM(TAlign)
};
using TBackgroundMode = TViewEnums::TBackgroundMode;
using TThreadPriority = TViewEnums::TThreadPriority;
using TAlign = TViewEnums::TAlign;
using enum TViewEnums::TBackgroundMode;
using enum TViewEnums::TThreadPriority;
using enum TViewEnums::TAlign;

using TNotifyEvent = std::function<void(QObject* Sender)>;
using TCustomDrawEvent = std::function<void(QObject* Sender, TBitmap& Picture, TBitmap& Screen)>;

// Tiles graphic over rect, row by row from rect's top-left corner; the last
// row and column are cut by the canvas.
void DrawTiled(TCanvas& Canvas, const TRect& Rect, const TBitmap* Graphic);

// Posted by the worker thread when its loop has ended.
constexpr QEvent::Type WM_THREADDONE = QEvent::Type(QEvent::User + 1);
// Posted by the worker thread: paint the frame it has just built.
constexpr QEvent::Type WM_FRAMEPAINT = QEvent::Type(QEvent::User + 2);

class TCustomTransitionView : public QWidget {
    Q_OBJECT

public:
    explicit TCustomTransitionView(QWidget* parent = nullptr);
    ~TCustomTransitionView() override;

    // The picture to show; loading or assigning it sizes the control to it
    // (AutoSize) and fires OnChange, but starts nothing.
    TPicture& Picture() { return FPicture; }
    const TPicture& Picture() const { return FPicture; }
    // nullptr empties the picture; anything else is copied.
    void SetPicture(const TPicture* Value);
    TPicture* PictureObject() { return &FPicture; }

    TPicture& BgPicture() { return FBgPicture; }
    const TPicture& BgPicture() const { return FBgPicture; }
    void SetBgPicture(const TPicture* Value);
    TPicture* BgPictureObject() { return &FBgPicture; }

    TBackgroundMode BgMode() const { return FBgMode; }
    void SetBgMode(TBackgroundMode Value);
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool Value);
    bool Center() const { return FCenter; }
    void SetCenter(bool Value);
    bool Stretch() const { return FStretch; }
    void SetStretch(bool Value);
    bool StretchFine() const { return FStretchFine; }
    void SetStretchFine(bool Value);
    bool OverDraw() const { return FOverDraw; }
    void SetOverDraw(bool Value) { FOverDraw = Value; }
    // Takes effect at the next start of automatic stepping.
    bool Threaded() const { return FThreaded; }
    void SetThreaded(bool Value) { FThreaded = Value; }
    // Takes effect when the next worker thread is made.
    TThreadPriority ThreadPriority() const { return FThreadPriority; }
    void SetThreadPriority(TThreadPriority Value) { FThreadPriority = Value; }
    bool Manual() const { return FManual.load(std::memory_order_relaxed); }
    void SetManual(bool Value);

    // 0 draws through OnCustomDraw, 1 .. 150 are catalogue rows. Other values
    // are ignored. A change during a transition shows from the next frame on.
    int Style() const { return FStyle.load(std::memory_order_relaxed); }
    void SetStyle(int Value);
    QString StyleName() const;
    // A name that matches no style is ignored.
    void SetStyleName(const QString& Value);
    // Percent per frame; 0 and below become 1, above 100 become 100.
    int Step() const { return FStep.load(std::memory_order_relaxed); }
    void SetStep(int Value);
    // Milliseconds aimed at between frames, 0 .. 65535.
    int Delay() const { return FDelay.load(std::memory_order_relaxed); }
    void SetDelay(int Value);
    bool Reverse() const { return FReverse.load(std::memory_order_relaxed); }
    void SetReverse(bool Value) { FReverse.store(Value, std::memory_order_relaxed); }

    // 0 .. 100. Writing it during a transition builds and shows that frame
    // (values above 100 act as 100); while idle, or with the current value,
    // writing does nothing. The worker thread writes it too.
    int Progress() const { return FProgress.load(std::memory_order_relaxed); }
    void SetProgress(int Value);

    // True from Execute until the transition has ended.
    bool Busy() const { return FBusy.load(std::memory_order_relaxed); }

    // The background colour: the parent's own until set.
    QColor Color() const;
    void SetColor(const QColor& Value);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool Value);

    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign Value);
    void SetWidth(int Value) { resize(Value, height()); }
    void SetHeight(int Value) { resize(width(), Value); }

    // The latest frame, picture-sized; kept after a transition and painted
    // until the next one. Lock its canvas to read it while a worker runs.
    TBitmap& Display() { return FDisplay; }
    // Where the unstretched Display lies in the control.
    TRect PicRect() const { return FPicRect; }
    // The last composed picture of the whole control.
    const TBitmap& PaintBuffer() const { return FPaintBuffer; }

    // Starts a transition to Picture from what the control shows. Returns at
    // once when threaded or Manual, after the last frame otherwise. Ignored
    // without a picture or while Busy. Errors of the preparation (or of any
    // frame of an unthreaded transition) reach the caller, with no event.
    virtual void Execute();
    // Ends a running transition; returns after it has ended and OnStop has
    // fired (OnComplete does not).
    virtual void Stop();
    // Empties the display, unless a transition runs.
    virtual void Clear();
    // Sizes the control to the picture, keeping the sides its Align fixes.
    void FitToPicture();

    TNotifyEvent OnChange;
    TNotifyEvent OnProgress;
    TNotifyEvent OnComplete;
    TCustomDrawEvent OnCustomDraw;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;
    TCustomDrawEvent OnBeforeNewFrame;
    TCustomDrawEvent OnAfterNewFrame;
    TCustomDrawEvent OnStart;
    TNotifyEvent OnStop;

protected:
    // Fills Rect with Color and draws BgPicture over it by BgMode.
    virtual void DrawBackground(TCanvas& Canvas, const TRect& Rect);
    virtual void DoChange();
    virtual void DoProgress();
    virtual void DoCustomDraw(TBitmap& Picture, TBitmap& Screen);
    virtual void DoBeforeNewFrame(TBitmap& Picture, TBitmap& Screen);
    virtual void DoAfterNewFrame(TBitmap& Picture, TBitmap& Screen);
    virtual void DoComplete();
    virtual void DoStart(TBitmap& Picture, TBitmap& Screen);
    virtual void DoStop();
    // Composes the whole control in PaintBuffer and draws the painted part.
    virtual void Paint(QPainter& Canvas, const QRegion& Area);

    // Stops a running transition without events, for destructors: call it
    // first in the destructor of any subclass that overrides a Do...
    void EndTransitions() noexcept;

    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void enterEvent(QEnterEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    friend class TAnimateThread;

    // Model (transition_view.cpp).
    void PictureChanged();
    void BgPictureChanged();
    void UpdatePicRect();
    void ApplyAlign();
    void WatchParent(QWidget* parent);
    void Invalidate();
    TRect ClientRect() const { return {0, 0, width(), height()}; }
    uint32_t ColorPixel() const;

    // Painting (transition_paint.cpp).
    void FitPaintBuffer();
    TRect FrameToClient(TRect Rc) const;
    void PaintPendingFrame();

    // Engine (transition_engine.cpp).
    void Prepare();
    void Animate();
    void AnimateHere();
    int NextProgress() const;
    bool EndReached() const;
    void SetProgressOn(TAnimateThread* Worker, int Value);
    void BuildFrame();
    void InvalidateFrame(const TRect& Rc);
    void ShowFrame(TAnimateThread* Worker);
    void Finish();
    bool StopThread();
    void ThreadDone();
    void DropTransitionBitmaps();

    TPicture FPicture;
    TPicture FBgPicture;
    TBackgroundMode FBgMode = bmTiled;
    bool FAutoSize = true;
    bool FCenter = false;
    bool FStretch = false;
    bool FStretchFine = false;
    bool FOverDraw = true;
    bool FThreaded = true;
    TThreadPriority FThreadPriority = tpNormal;
    bool FParentColor = true;
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

    TBitmap FDisplay;
    TRect FPicRect;
    std::unique_ptr<TAnimateThread> Thread;
    bool Painting = false;
    TBitmap FPaintBuffer;
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
    TRect FrameDirty;
};

// Publishes the properties; overrides nothing else.
class TTransitionView : public TCustomTransitionView {
    Q_OBJECT
    Q_PROPERTY(mirel::TViewEnums::TAlign Align READ Align WRITE SetAlign)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE SetAutoSize)
    Q_PROPERTY(mirel::TViewEnums::TBackgroundMode BgMode READ BgMode WRITE SetBgMode)
    Q_PROPERTY(mirel::TPicture* BgPicture READ BgPictureObject WRITE SetBgPicture)
    Q_PROPERTY(bool Center READ Center WRITE SetCenter)
    Q_PROPERTY(QColor Color READ Color WRITE SetColor)
    Q_PROPERTY(int Delay READ Delay WRITE SetDelay)
    Q_PROPERTY(int Height READ height WRITE SetHeight)
    Q_PROPERTY(bool Manual READ Manual WRITE SetManual)
    Q_PROPERTY(bool OverDraw READ OverDraw WRITE SetOverDraw)
    Q_PROPERTY(bool ParentColor READ ParentColor WRITE SetParentColor)
    Q_PROPERTY(mirel::TPicture* Picture READ PictureObject WRITE SetPicture)
    Q_PROPERTY(bool Reverse READ Reverse WRITE SetReverse)
    Q_PROPERTY(bool Stretch READ Stretch WRITE SetStretch)
    Q_PROPERTY(bool StretchFine READ StretchFine WRITE SetStretchFine)
    Q_PROPERTY(int Step READ Step WRITE SetStep)
    Q_PROPERTY(int Style READ Style WRITE SetStyle)
    Q_PROPERTY(QString StyleName READ StyleName WRITE SetStyleName STORED false)
    Q_PROPERTY(bool Threaded READ Threaded WRITE SetThreaded)
    Q_PROPERTY(mirel::TViewEnums::TThreadPriority ThreadPriority READ ThreadPriority WRITE SetThreadPriority)
    Q_PROPERTY(int Width READ width WRITE SetWidth)

public:
    using TCustomTransitionView::TCustomTransitionView;
    ~TTransitionView() override;

    // The setters by Qt's naming, "set" and the property's name: forms
    // compiled by uic from Qt Designer call these.
    using QWidget::setStyle; // QWidget's own, for a QStyle*
    void setAlign(TAlign Value) { SetAlign(Value); }
    void setAutoSize(bool Value) { SetAutoSize(Value); }
    void setBgMode(TBackgroundMode Value) { SetBgMode(Value); }
    void setBgPicture(const TPicture* Value) { SetBgPicture(Value); }
    void setCenter(bool Value) { SetCenter(Value); }
    void setColor(const QColor& Value) { SetColor(Value); }
    void setDelay(int Value) { SetDelay(Value); }
    void setHeight(int Value) { SetHeight(Value); }
    void setManual(bool Value) { SetManual(Value); }
    void setOverDraw(bool Value) { SetOverDraw(Value); }
    void setParentColor(bool Value) { SetParentColor(Value); }
    void setPicture(const TPicture* Value) { SetPicture(Value); }
    void setReverse(bool Value) { SetReverse(Value); }
    void setStretch(bool Value) { SetStretch(Value); }
    void setStretchFine(bool Value) { SetStretchFine(Value); }
    void setStep(int Value) { SetStep(Value); }
    void setStyle(int Value) { SetStyle(Value); }
    void setStyleName(const QString& Value) { SetStyleName(Value); }
    void setThreaded(bool Value) { SetThreaded(Value); }
    void setThreadPriority(TThreadPriority Value) { SetThreadPriority(Value); }
    void setWidth(int Value) { SetWidth(Value); }
};

} // namespace mirel

Q_DECLARE_METATYPE(mirel::TPicture*)
