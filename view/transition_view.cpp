// The control model: construction, properties and their setters, events,
// the placement of the picture and the control's own alignment.
#include "view/transition_view.h"

#include "view/transition_view_p.h"

#include "view/animate_thread.h"
#include "view/exception_hook.h"

#include "picture/fit.h"

#include <QPalette>
#include <QScreen>
#include <QThread>

#include <algorithm>
#include <utility>

namespace mirel {

namespace {

// The styles that read and write pixels directly.
bool IsRasterStyle(int style) { return style >= 118 && style <= 122; }

// Qt's property system and QML hand an enum property any int; values
// without a name are ignored, as the classic setters ignore a style outside
// the catalogue (a priority of 1003 would index past the nice values).
template <typename TEnum>
bool InRange(TEnum value, TEnum last)
{
    return int(value) >= 0 && int(value) <= int(last);
}

} // namespace

TTransitionViewPrivate::TTransitionViewPrivate(TCustomTransitionView* view) : q(view) {}

TTransitionViewPrivate::~TTransitionViewPrivate() = default;

TCustomTransitionView::TCustomTransitionView(QWidget* parent)
    : QWidget(parent), d(std::make_shared<TTransitionViewPrivate>(this))
{
    // Every pixel is painted from PaintBuffer; Qt erases nothing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    d->FPicture.OnChange = [this] { d->PictureChanged(); };
    d->FBgPicture.OnChange = [this] { d->BgPictureChanged(); };
    resize(100, 100);
    d->WatchParent(parent);
    d->LastColor = Color();
}

TCustomTransitionView::~TCustomTransitionView()
{
    EndTransitions();
}

TTransitionView::TTransitionView(QWidget* parent) : TCustomTransitionView(parent) {}

TTransitionView::~TTransitionView()
{
    EndTransitions();
}

void TCustomTransitionView::EndTransitions() noexcept
{
    d->Destroying.store(true, std::memory_order_relaxed);
    try {
        Stop();
    } catch (...) {
        // Nobody is left to tell; the transition is over all the same.
    }
}

bool TTransitionViewPrivate::OnOwnThread() const
{
    return QThread::currentThread() == q->thread();
}

TPicture& TCustomTransitionView::Picture() { return d->FPicture; }
const TPicture& TCustomTransitionView::Picture() const { return d->FPicture; }
TPicture* TCustomTransitionView::PictureObject() { return &d->FPicture; }
TPicture& TCustomTransitionView::BgPicture() { return d->FBgPicture; }
const TPicture& TCustomTransitionView::BgPicture() const { return d->FBgPicture; }
TPicture* TCustomTransitionView::BgPictureObject() { return &d->FBgPicture; }
TBackgroundMode TCustomTransitionView::BgMode() const { return d->FBgMode; }
bool TCustomTransitionView::AutoSize() const { return d->FAutoSize; }
bool TCustomTransitionView::Center() const { return d->FCenter; }
bool TCustomTransitionView::Stretch() const { return d->FStretch; }
bool TCustomTransitionView::StretchFine() const { return d->FStretchFine; }
bool TCustomTransitionView::OverDraw() const { return d->FOverDraw; }
bool TCustomTransitionView::Threaded() const { return d->FThreaded; }
TThreadPriority TCustomTransitionView::ThreadPriority() const { return d->FThreadPriority; }
bool TCustomTransitionView::Manual() const { return d->FManual.load(std::memory_order_relaxed); }
int TCustomTransitionView::Style() const { return d->FStyle.load(std::memory_order_relaxed); }
int TCustomTransitionView::Step() const { return d->FStep.load(std::memory_order_relaxed); }
int TCustomTransitionView::Delay() const { return d->FDelay.load(std::memory_order_relaxed); }
bool TCustomTransitionView::Reverse() const { return d->FReverse.load(std::memory_order_relaxed); }
int TCustomTransitionView::Progress() const { return d->FProgress.load(std::memory_order_relaxed); }
bool TCustomTransitionView::Busy() const { return d->FBusy.load(std::memory_order_relaxed); }
bool TCustomTransitionView::ParentColor() const { return d->FParentColor; }
TAlign TCustomTransitionView::Align() const { return d->FAlign; }
TBitmap& TCustomTransitionView::Display()
{
    const TCanvasLock lock(d->FDisplay.Canvas());
    d->SettleFrame();
    return d->FDisplay;
}
TRect TCustomTransitionView::PicRect() const { return d->FPicRect; }

// Signals of values the worker thread may change reach the GUI thread's
// listeners queued; the widget being deleted first drops them.
template <class TEmit>
static void EmitOnOwnThread(TCustomTransitionView* view, TEmit emitter)
{
    if (QThread::currentThread() == view->thread()) {
        emitter();
        return;
    }
    AnnotateRelease(view);
    QMetaObject::invokeMethod(view, emitter, Qt::QueuedConnection);
}

void TCustomTransitionView::SetPicture(const TPicture* Value)
{
    if (Value == nullptr)
        d->FPicture.Clear();
    else
        d->FPicture.Assign(*Value);
}

void TCustomTransitionView::SetBgPicture(const TPicture* Value)
{
    if (Value == nullptr)
        d->FBgPicture.Clear();
    else
        d->FBgPicture.Assign(*Value);
}

void TTransitionViewPrivate::PictureChanged()
{
    if (Destroying.load(std::memory_order_relaxed))
        return;
    if (!ShownSource.Empty() && std::as_const(ShownSource).Bits() != FPicture.Bitmap().Bits())
        TBitmap().Swap(ShownSource);
    if (!FPicture.Empty() && FAutoSize && !Fitted())
        q->FitToPicture();
    if (OnOwnThread())
        q->updateGeometry();
    const QPointer<TCustomTransitionView> self(q);
    q->DoChange();
    if (self)
        EmitOnOwnThread(q, [view = q] { emit view->pictureChanged(); });
}

void TTransitionViewPrivate::BgPictureChanged()
{
    BgStale = true;
    if (FBgMode != bmNone && !Painting)
        q->update();
    EmitOnOwnThread(q, [view = q] { emit view->bgPictureChanged(); });
}

void TCustomTransitionView::SetBgMode(TBackgroundMode Value)
{
    if (!InRange(Value, bmCentered) || Value == d->FBgMode)
        return;
    d->FBgMode = Value;
    d->BgStale = true;
    if (!d->FBgPicture.Empty() && !d->Painting)
        update();
    EmitOnOwnThread(this, [this, Value] { emit bgModeChanged(Value); });
}

void TCustomTransitionView::SetAutoSize(bool Value)
{
    if (Value == d->FAutoSize)
        return;
    d->FAutoSize = Value;
    if (d->FAutoSize && !d->Fitted())
        FitToPicture();
    EmitOnOwnThread(this, [this, Value] { emit autoSizeChanged(Value); });
}

void TCustomTransitionView::SetCenter(bool Value)
{
    if (Value == d->FCenter)
        return;
    d->FCenter = Value;
    if (!d->FPicture.Empty()) {
        d->UpdatePicRect();
        if (!d->FDisplay.Empty() && !d->Painting)
            update();
    }
    EmitOnOwnThread(this, [this, Value] { emit centerChanged(Value); });
}

void TCustomTransitionView::SetStretch(bool Value)
{
    if (Value == d->FStretch)
        return;
    d->FStretch = Value;
    if (!d->FDisplay.Empty() && !d->Painting)
        update();
    EmitOnOwnThread(this, [this, Value] { emit stretchChanged(Value); });
}

void TCustomTransitionView::SetStretchFine(bool Value)
{
    if (Value == d->FStretchFine)
        return;
    d->FStretchFine = Value;
    if (!d->FDisplay.Empty() && !d->Painting)
        update();
    EmitOnOwnThread(this, [this, Value] { emit stretchFineChanged(Value); });
}

void TCustomTransitionView::SetOverDraw(bool Value)
{
    if (Value == d->FOverDraw)
        return;
    d->FOverDraw = Value;
    EmitOnOwnThread(this, [this, Value] { emit overDrawChanged(Value); });
}

void TCustomTransitionView::SetThreaded(bool Value)
{
    if (Value == d->FThreaded)
        return;
    d->FThreaded = Value;
    EmitOnOwnThread(this, [this, Value] { emit threadedChanged(Value); });
}

void TCustomTransitionView::SetThreadPriority(TThreadPriority Value)
{
    if (!InRange(Value, tpTimeCritical) || Value == d->FThreadPriority)
        return;
    d->FThreadPriority = Value;
    EmitOnOwnThread(this, [this, Value] { emit threadPriorityChanged(Value); });
}

void TCustomTransitionView::SetReverse(bool Value)
{
    if (Value == Reverse())
        return;
    d->FReverse.store(Value, std::memory_order_relaxed);
    EmitOnOwnThread(this, [this, Value] { emit reverseChanged(Value); });
}

// The worker thread cannot stop itself and wait for its own end: called
// there, the change is carried out on the GUI thread.
void TCustomTransitionView::SetManual(bool Value)
{
    if (!d->OnOwnThread()) {
        PostToGuiThread(this, new TDeferredEvent(Value ? TDeferredEvent::ManualOn : TDeferredEvent::ManualOff));
        return;
    }
    if (Value == Manual())
        return;
    const QPointer<TCustomTransitionView> self(this);
    d->FManual.store(Value, std::memory_order_relaxed);
    d->StopThread();
    if (!self)
        return;
    emit manualChanged(Value);
    if (!self)
        return;
    if (!Busy()) {
        const int progress = Reverse() ? 100 : 0;
        if (d->FProgress.exchange(uint8_t(progress), std::memory_order_relaxed) != progress)
            emit progressChanged(progress);
    } else if (!Value && Manual() == Value) {
        d->Animate();
    }
}

TCustomTransitionView::FillMode TCustomTransitionView::fillMode() const
{
    return d->FFillMode;
}

void TCustomTransitionView::setFillMode(FillMode mode)
{
    switch (mode) {
    case FillMode::Stretch:
    case FillMode::PreserveAspectFit:
    case FillMode::PreserveAspectCrop:
    case FillMode::Pad:
        break;
    default:
        return; // an int without a name, from the property system or QML
    }
    if (mode == d->FFillMode)
        return;
    d->FFillMode = mode;
    if (!d->Fitted() && d->FAutoSize)
        FitToPicture();
    d->RefitShown();
    updateGeometry();
    emit fillModeChanged(mode);
}

QSize TCustomTransitionView::sizeHint() const
{
    if (d->FPicture.Empty())
        return {100, 100};
    QSize size(d->FPicture.Width(), d->FPicture.Height());
    if (const QScreen* s = screen(); s != nullptr && !s->availableSize().isEmpty())
        if (size.width() > s->availableSize().width() || size.height() > s->availableSize().height())
            size.scale(s->availableSize(), Qt::KeepAspectRatio);
    return size.expandedTo({1, 1});
}

void TTransitionViewPrivate::FittedPicture(const TBitmap& source, int32_t width, int32_t height, TBitmap& out) const
{
    using enum TViewEnums::FillMode;
    if (FFillMode == Pad || source.Empty() || width <= 0 || height <= 0) {
        out.Assign(source);
        return;
    }
    if (FFillMode == PreserveAspectFit) {
        const TRect fit = AspectFitRect(source.BoundsRect(), {0, 0, width, height});
        FitPicture(source, std::max(fit.Width(), 1), std::max(fit.Height(), 1), TFitMode::Stretch, out);
        return;
    }
    FitPicture(source, width, height, FFillMode == Stretch ? TFitMode::Stretch : TFitMode::Fill, out);
}

// The picture a completed transition left on show, placed again for the
// control's new size or fill mode. Mid-transition, or once the picture has
// changed, the frame on show stays as it is.
void TTransitionViewPrivate::RefitShown()
{
    if (FBusy.load(std::memory_order_relaxed) || ShownSource.Empty() || FDisplay.Empty())
        return;
    TBitmap fitted;
    FittedPicture(ShownSource, q->width(), q->height(), fitted);
    {
        const TCanvasLock lock(FDisplay.Canvas());
        Frames.Reset();
        Screen.Forget();
        FDisplay.Swap(fitted);
    }
    UpdatePicRect();
    if (!Painting)
        q->update();
}

void TCustomTransitionView::SetStyle(int Value)
{
    if (Value < 0 || Value > MaxShowStyle || Value == Style())
        return;
    if (Busy() && IsRasterStyle(Value) && !IsRasterStyle(Style())) {
        // The raster styles need 32-bit pixels in both bitmaps. The surface
        // has no other format, so there is nothing to convert; the locks
        // still order this change against a frame being built.
        if (d->Image) {
            const TCanvasLock lock(d->Image->Canvas());
        }
        const TCanvasLock lock(d->FDisplay.Canvas());
    }
    d->FStyle.store(TShowStyle(Value), std::memory_order_relaxed);
    EmitOnOwnThread(this, [this, Value] {
        const QPointer<TCustomTransitionView> self(this);
        emit styleChanged(Value);
        if (self)
            emit styleNameChanged(StyleName());
    });
}

QString TCustomTransitionView::StyleName() const
{
    const std::string_view name = mirel::StyleName(Style());
    return QString::fromUtf8(name.data(), qsizetype(name.size()));
}

void TCustomTransitionView::SetStyleName(const QString& Value)
{
    if (const auto style = StyleOfName(Value.toStdString()))
        SetStyle(*style);
}

void TCustomTransitionView::SetStep(int Value)
{
    const uint16_t step = uint16_t(std::clamp(Value, 1, 100));
    if (d->FStep.exchange(step, std::memory_order_relaxed) != step)
        EmitOnOwnThread(this, [this, step] { emit stepChanged(step); });
}

void TCustomTransitionView::SetDelay(int Value)
{
    const uint16_t delay = uint16_t(std::clamp(Value, 0, 65535));
    if (d->FDelay.exchange(delay, std::memory_order_relaxed) != delay)
        EmitOnOwnThread(this, [this, delay] { emit delayChanged(delay); });
}

QColor TCustomTransitionView::Color() const
{
    return palette().color(QPalette::Window);
}

uint32_t TTransitionViewPrivate::ColorPixel() const
{
    return 0xFF000000u | (q->Color().rgb() & 0x00FFFFFFu);
}

void TCustomTransitionView::SetColor(const QColor& Value)
{
    if (!d->FParentColor && Value == Color())
        return;
    if (!d->OnOwnThread()) {
        QMetaObject::invokeMethod(this, [this, Value] { SetColor(Value); }, Qt::QueuedConnection);
        return;
    }
    QPalette p = palette();
    p.setColor(QPalette::Window, Value);
    setPalette(p);
    d->FParentColor = false;
    update();
}

// Taking the parent's colour again gives up every colour set on the control.
void TCustomTransitionView::SetParentColor(bool Value)
{
    if (Value == d->FParentColor)
        return;
    d->FParentColor = Value;
    if (Value) {
        setPalette(QPalette());
    } else {
        QPalette p = palette();
        p.setColor(QPalette::Window, Color());
        setPalette(p);
    }
    update();
}

void TCustomTransitionView::SetAlign(TAlign Value)
{
    if (!InRange(Value, alClient) || Value == d->FAlign)
        return;
    d->FAlign = Value;
    d->ApplyAlign();
}

void TTransitionViewPrivate::ApplyAlign()
{
    const QWidget* parent = q->parentWidget();
    if (parent == nullptr || FAlign == alNone)
        return;
    const int pw = parent->width(), ph = parent->height();
    switch (FAlign) {
    case alNone: break;
    case alTop: q->setGeometry(0, 0, pw, q->height()); break;
    case alBottom: q->setGeometry(0, ph - q->height(), pw, q->height()); break;
    case alLeft: q->setGeometry(0, 0, q->width(), ph); break;
    case alRight: q->setGeometry(pw - q->width(), 0, q->width(), ph); break;
    case alClient: q->setGeometry(0, 0, pw, ph); break;
    }
}

void TTransitionViewPrivate::WatchParent(QWidget* parent)
{
    if (WatchedParent == parent)
        return;
    if (WatchedParent != nullptr)
        WatchedParent->removeEventFilter(q);
    WatchedParent = parent;
    if (WatchedParent != nullptr)
        WatchedParent->installEventFilter(q);
}

void TTransitionViewPrivate::UpdatePicRect()
{
    if (FDisplay.Empty())
        return;
    FPicRect = PicPlace(FDisplay.Width(), FDisplay.Height());
}

// Where a picture of Width x Height lies in the control, unstretched.
TRect TTransitionViewPrivate::PicPlace(int32_t Width, int32_t Height) const
{
    TRect place{0, 0, Width, Height};
    if (FCenter || Fitted())
        OffsetRect(place, (q->width() - Width) / 2, (q->height() - Height) / 2);
    return place;
}

void TCustomTransitionView::FitToPicture()
{
    if (d->FPicture.Empty() || d->FAlign == alClient)
        return;
    const int w = d->FAlign == alTop || d->FAlign == alBottom ? width() : d->FPicture.Width();
    const int h = d->FAlign == alLeft || d->FAlign == alRight ? height() : d->FPicture.Height();
    resize(w, h);
    d->ApplyAlign();
}

void TCustomTransitionView::Clear()
{
    if (Busy() || d->FDisplay.Empty())
        return;
    {
        const TCanvasLock lock(d->FDisplay.Canvas());
        d->FDisplay.SetSize(0, 0);
        d->Screen.Forget(); // nor the picture a transition left on screen
    }
    TBitmap().Swap(d->ShownSource);
    update();
}

void TCustomTransitionView::DoChange()
{
    if (OnChange)
        OnChange(this);
}

void TCustomTransitionView::DoProgress()
{
    if (OnProgress)
        OnProgress(this);
}

void TCustomTransitionView::DoCustomDraw(TBitmap& Picture, TBitmap& Screen)
{
    if (OnCustomDraw)
        OnCustomDraw(this, Picture, Screen);
}

void TCustomTransitionView::DoBeforeNewFrame(TBitmap& Picture, TBitmap& Screen)
{
    if (OnBeforeNewFrame)
        OnBeforeNewFrame(this, Picture, Screen);
}

void TCustomTransitionView::DoAfterNewFrame(TBitmap& Picture, TBitmap& Screen)
{
    if (OnAfterNewFrame)
        OnAfterNewFrame(this, Picture, Screen);
}

void TCustomTransitionView::DoComplete()
{
    if (OnComplete)
        OnComplete(this);
}

void TCustomTransitionView::DoStart(TBitmap& Picture, TBitmap& Screen)
{
    if (OnStart)
        OnStart(this, Picture, Screen);
}

void TCustomTransitionView::DoStop()
{
    if (OnStop)
        OnStop(this);
}

bool TCustomTransitionView::event(QEvent* e)
{
    AnnotateAcquire(this);
    switch (int(e->type())) {
    case WM_THREADDONE:
        try {
            if (d->Thread != nullptr && static_cast<TThreadDoneEvent*>(e)->Thread == d->Thread.get())
                d->ThreadDone();
        } catch (...) {
            ShowException(std::current_exception());
        }
        return true;
    case WM_PROGRESS:
        if (!d->Destroying.load(std::memory_order_relaxed)) {
            const QPointer<TCustomTransitionView> self(this);
            emit progressChanged(static_cast<TProgressEvent*>(e)->Progress);
            if (self)
                emit frameShown();
        }
        return true;
    case WM_DEFERRED:
        try {
            switch (static_cast<TDeferredEvent*>(e)->Call) {
            case TDeferredEvent::Execute: Execute(); break;
            case TDeferredEvent::Stop: Stop(); break;
            case TDeferredEvent::ManualOn: SetManual(true); break;
            case TDeferredEvent::ManualOff: SetManual(false); break;
            }
        } catch (...) {
            ShowException(std::current_exception());
        }
        return true;
    case WM_FRAMEPAINT:
        try {
            d->PaintPendingFrame();
        } catch (...) {
            ShowException(std::current_exception());
        }
        return true;
    case QEvent::ParentAboutToChange:
        d->WatchParent(nullptr);
        break;
    case QEvent::ParentChange:
        d->WatchParent(parentWidget());
        d->ApplyAlign();
        break;
    default:
        break;
    }
    return QWidget::event(e);
}

bool TCustomTransitionView::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == d->WatchedParent && e->type() == QEvent::Resize)
        d->ApplyAlign();
    return QWidget::eventFilter(watched, e);
}

void TCustomTransitionView::enterEvent(QEnterEvent* e)
{
    QWidget::enterEvent(e);
    try {
        if (OnMouseEnter)
            OnMouseEnter(this);
    } catch (...) {
        ShowException(std::current_exception());
    }
}

void TCustomTransitionView::leaveEvent(QEvent* e)
{
    QWidget::leaveEvent(e);
    try {
        if (OnMouseLeave)
            OnMouseLeave(this);
    } catch (...) {
        ShowException(std::current_exception());
    }
}

void TCustomTransitionView::changeEvent(QEvent* e)
{
    QWidget::changeEvent(e);
    if (e->type() == QEvent::PaletteChange) {
        d->BgStale = true;
        if (!d->Painting)
            update();
        const QColor color = Color();
        if (color != d->LastColor) {
            d->LastColor = color;
            emit colorChanged(color);
        }
    }
}

} // namespace mirel
