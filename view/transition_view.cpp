// The control model: construction, properties and their setters, events,
// the placement of the picture and the control's own alignment.
#include "view/transition_view.h"

#include "view/animate_thread.h"
#include "view/exception_hook.h"

#include <QPalette>

#include <algorithm>

namespace mirel {

namespace {

// The styles that read and write pixels directly.
bool IsRasterStyle(int style) { return style >= 118 && style <= 122; }

} // namespace

TCustomTransitionView::TCustomTransitionView(QWidget* parent) : QWidget(parent)
{
    // Every pixel is painted from PaintBuffer; Qt erases nothing first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAutoFillBackground(false);
    FPicture.OnChange = [this] { PictureChanged(); };
    FBgPicture.OnChange = [this] { BgPictureChanged(); };
    resize(100, 100);
    WatchParent(parent);
}

TCustomTransitionView::~TCustomTransitionView()
{
    EndTransitions();
}

TTransitionView::~TTransitionView()
{
    EndTransitions();
}

void TCustomTransitionView::EndTransitions() noexcept
{
    Destroying.store(true, std::memory_order_relaxed);
    try {
        Stop();
    } catch (...) {
        // Nobody is left to tell; the transition is over all the same.
    }
}

void TCustomTransitionView::SetPicture(const TPicture* Value)
{
    if (Value == nullptr)
        FPicture.Clear();
    else
        FPicture.Assign(*Value);
}

void TCustomTransitionView::SetBgPicture(const TPicture* Value)
{
    if (Value == nullptr)
        FBgPicture.Clear();
    else
        FBgPicture.Assign(*Value);
}

void TCustomTransitionView::PictureChanged()
{
    if (Destroying.load(std::memory_order_relaxed))
        return;
    if (!FPicture.Empty() && FAutoSize)
        FitToPicture();
    DoChange();
}

void TCustomTransitionView::BgPictureChanged()
{
    if (FBgMode != bmNone && !Painting)
        update();
}

void TCustomTransitionView::SetBgMode(TBackgroundMode Value)
{
    if (Value == FBgMode)
        return;
    FBgMode = Value;
    if (!FBgPicture.Empty() && !Painting)
        update();
}

void TCustomTransitionView::SetAutoSize(bool Value)
{
    if (Value == FAutoSize)
        return;
    FAutoSize = Value;
    if (FAutoSize)
        FitToPicture();
}

void TCustomTransitionView::SetCenter(bool Value)
{
    if (Value == FCenter)
        return;
    FCenter = Value;
    if (!FPicture.Empty()) {
        UpdatePicRect();
        if (!FDisplay.Empty() && !Painting)
            update();
    }
}

void TCustomTransitionView::SetStretch(bool Value)
{
    if (Value == FStretch)
        return;
    FStretch = Value;
    if (!FDisplay.Empty() && !Painting)
        update();
}

void TCustomTransitionView::SetStretchFine(bool Value)
{
    if (Value == FStretchFine)
        return;
    FStretchFine = Value;
    if (!FDisplay.Empty() && !Painting)
        update();
}

void TCustomTransitionView::SetManual(bool Value)
{
    if (Value == Manual())
        return;
    FManual.store(Value, std::memory_order_relaxed);
    StopThread();
    if (!Busy())
        FProgress.store(Reverse() ? 100 : 0, std::memory_order_relaxed);
    else if (!Value)
        Animate();
}

void TCustomTransitionView::SetStyle(int Value)
{
    if (Value < 0 || Value > MaxShowStyle || Value == Style())
        return;
    if (Busy() && IsRasterStyle(Value) && !IsRasterStyle(Style())) {
        // The raster styles need 32-bit pixels in both bitmaps. The surface
        // has no other format, so there is nothing to convert; the locks
        // still order this change against a frame being built.
        if (Image) {
            const TCanvasLock lock(Image->Canvas());
        }
        const TCanvasLock lock(FDisplay.Canvas());
    }
    FStyle.store(TShowStyle(Value), std::memory_order_relaxed);
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
    FStep.store(uint16_t(std::clamp(Value, 1, 100)), std::memory_order_relaxed);
}

void TCustomTransitionView::SetDelay(int Value)
{
    FDelay.store(uint16_t(std::clamp(Value, 0, 65535)), std::memory_order_relaxed);
}

QColor TCustomTransitionView::Color() const
{
    return palette().color(QPalette::Window);
}

uint32_t TCustomTransitionView::ColorPixel() const
{
    return 0xFF000000u | (Color().rgb() & 0x00FFFFFFu);
}

void TCustomTransitionView::SetColor(const QColor& Value)
{
    if (!FParentColor && Value == Color())
        return;
    QPalette p = palette();
    p.setColor(QPalette::Window, Value);
    setPalette(p);
    FParentColor = false;
    update();
}

// Taking the parent's colour again gives up every colour set on the control.
void TCustomTransitionView::SetParentColor(bool Value)
{
    if (Value == FParentColor)
        return;
    FParentColor = Value;
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
    if (Value == FAlign)
        return;
    FAlign = Value;
    ApplyAlign();
}

void TCustomTransitionView::ApplyAlign()
{
    const QWidget* parent = parentWidget();
    if (parent == nullptr || FAlign == alNone)
        return;
    const int pw = parent->width(), ph = parent->height();
    switch (FAlign) {
    case alNone: break;
    case alTop: setGeometry(0, 0, pw, height()); break;
    case alBottom: setGeometry(0, ph - height(), pw, height()); break;
    case alLeft: setGeometry(0, 0, width(), ph); break;
    case alRight: setGeometry(pw - width(), 0, width(), ph); break;
    case alClient: setGeometry(0, 0, pw, ph); break;
    }
}

void TCustomTransitionView::WatchParent(QWidget* parent)
{
    if (WatchedParent == parent)
        return;
    if (WatchedParent != nullptr)
        WatchedParent->removeEventFilter(this);
    WatchedParent = parent;
    if (WatchedParent != nullptr)
        WatchedParent->installEventFilter(this);
}

void TCustomTransitionView::UpdatePicRect()
{
    if (FDisplay.Empty())
        return;
    FPicRect = {0, 0, FDisplay.Width(), FDisplay.Height()};
    if (FCenter)
        OffsetRect(FPicRect, (width() - FDisplay.Width()) / 2, (height() - FDisplay.Height()) / 2);
}

void TCustomTransitionView::FitToPicture()
{
    if (FPicture.Empty() || FAlign == alClient)
        return;
    const int w = FAlign == alTop || FAlign == alBottom ? width() : FPicture.Width();
    const int h = FAlign == alLeft || FAlign == alRight ? height() : FPicture.Height();
    resize(w, h);
    ApplyAlign();
}

void TCustomTransitionView::Clear()
{
    if (Busy() || FDisplay.Empty())
        return;
    {
        const TCanvasLock lock(FDisplay.Canvas());
        FDisplay.SetSize(0, 0);
    }
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
            if (Thread != nullptr && static_cast<TThreadDoneEvent*>(e)->Thread == Thread.get())
                ThreadDone();
        } catch (...) {
            ShowException(std::current_exception());
        }
        return true;
    case WM_FRAMEPAINT:
        try {
            PaintPendingFrame();
        } catch (...) {
            ShowException(std::current_exception());
        }
        return true;
    case QEvent::ParentAboutToChange:
        WatchParent(nullptr);
        break;
    case QEvent::ParentChange:
        WatchParent(parentWidget());
        ApplyAlign();
        break;
    default:
        break;
    }
    return QWidget::event(e);
}

bool TCustomTransitionView::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == WatchedParent && e->type() == QEvent::Resize)
        ApplyAlign();
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
    if (e->type() == QEvent::PaletteChange && !Painting)
        update();
}

} // namespace mirel
