// Painting: the background, the placement of the frame, the composition of
// every paint in PaintBuffer, and the paint of a frame the engine asked for.
#include "view/transition_view.h"

#include "view/transition_view_p.h"

#include "view/exception_hook.h"

#include "effects/random.h"

#include <QBackingStore>
#include <QGuiApplication>
#include <QImage>
#include <QPaintEngine>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <span>
#include <utility>
#include <vector>

namespace mirel {

namespace {

QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }

// A frame area to paint, as a few rectangles that cover it: its own boxes
// when they are few (the two ends of a sweep from both sides), otherwise the
// cells of a grid over the area's bounds that it touches, joined along each
// row of cells (the thousands of slivers a shred gains in a frame).
std::vector<TRect> PaintPieces(const TRegion& area)
{
    constexpr int FewBoxes = 16;
    constexpr int32_t Cells = 32; // a side of the grid
    int count = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(area.Native(), &count);
    if (count <= FewBoxes)
        return area.Boxes();
    const TRect b = area.Bounds();
    const int32_t cw = (b.Width() + Cells - 1) / Cells, ch = (b.Height() + Cells - 1) / Cells;
    bool touched[Cells][Cells] = {};
    int32_t bandTop = -1, y0 = 0, y1 = 0; // the cell rows of the band of boxes at hand
    for (const pixman_box32_t& r : std::span(boxes, size_t(count))) {
        if (r.y1 != bandTop) {
            bandTop = r.y1;
            y0 = (r.y1 - b.Top) / ch;
            y1 = (r.y2 - 1 - b.Top) / ch;
        }
        const int32_t x0 = (r.x1 - b.Left) / cw, x1 = (r.x2 - 1 - b.Left) / cw;
        for (int32_t y = y0; y <= y1; ++y)
            for (int32_t x = x0; x <= x1; ++x)
                touched[y][x] = true;
    }
    std::vector<TRect> pieces;
    for (int32_t y = 0; y < Cells; ++y)
        for (int32_t x = 0; x < Cells;) {
            if (!touched[y][x]) {
                ++x;
                continue;
            }
            const int32_t x0 = x;
            while (x < Cells && touched[y][x])
                ++x;
            pieces.push_back({b.Left + x0 * cw, b.Top + y * ch, std::min(b.Left + x * cw, b.Right),
                              std::min(b.Top + (y + 1) * ch, b.Bottom)});
        }
    return pieces;
}

// Tiles covering the whole of Canvas's bitmap, unclipped: one tile, then the
// covered area doubled by copies, first along the top row, then downwards.
// A few dozen copies instead of one draw per tile, which matters for small
// tiles (a 4 x 4 tile in a 1920 x 1080 control is 130,000 tiles).
void DrawTiledByDoubling(TCanvas& canvas, const TBitmap& tile)
{
    const int32_t w = canvas.Bitmap().Width(), h = canvas.Bitmap().Height();
    const int32_t th = std::min(tile.Height(), h);
    canvas.DrawBitmap(0, 0, tile);
    for (int32_t done = tile.Width(); done < w;) {
        const int32_t n = std::min(done, w - done);
        canvas.CopyArea({done, 0, done + n, th}, canvas, {0, 0, n, th});
        done += n;
    }
    for (int32_t done = th; done < h;) {
        const int32_t n = std::min(done, h - done);
        canvas.CopyArea({0, done, w, done + n}, canvas, {0, 0, w, n});
        done += n;
    }
}

// The platforms whose backing store keeps what was painted from one paint
// to the next, inside the area painted too: one image, drawn in place (the
// X11 one, shared with the server, and the offscreen one). Wayland's
// alternates between buffers and brings into the next one only what lies
// outside the area to paint.
bool KeepsPaintedPixels()
{
    static const bool keeps = [] {
        const QString platform = QGuiApplication::platformName();
        return platform == QLatin1String("xcb") || platform == QLatin1String("offscreen");
    }();
    return keeps;
}

// Whether nothing but the control itself paints over Area (in its own
// coordinates) in its window: no child of its own, no widget stacked above
// it or above one of its parents that overlaps it (an opaque one is cut
// from the area the control paints, a transparent one paints over the
// frame after it).
bool PaintsAlone(const QWidget& View, QRect Area)
{
    for (const QObject* child : View.children())
        if (child->isWidgetType() && static_cast<const QWidget*>(child)->isVisible())
            return false;
    for (const QWidget* w = &View; !w->isWindow() && w->parentWidget() != nullptr; w = w->parentWidget()) {
        Area.translate(w->pos());
        const QObjectList& siblings = w->parentWidget()->children();
        for (auto it = std::find(siblings.begin(), siblings.end(), w) + 1; it < siblings.end(); ++it) {
            if (!(*it)->isWidgetType())
                continue;
            const auto* sibling = static_cast<const QWidget*>(*it);
            if (sibling->isVisible() && !sibling->isWindow() && sibling->geometry().intersects(Area))
                return false;
        }
    }
    return true;
}

// Draws the pending frame straight into the image Canvas paints on (the
// window's backing store, or the image the control is rendered into) at
// Target, unscaled, on 32-bit RGB or premultiplied ARGB (the usual backing
// store). Over the frame drawn last, once, where that is still there to draw
// over (see DrawsOnScreen): in the window's own backing store, opaque, with
// the whole frame in view and nothing else painting over it; the paint may
// cover only part of what the frame changes (the caller shows the rest).
// Elsewhere, or for a style whose frames are too ragged to follow, a style
// with a compose form composes the frame where the paint covers all of it,
// unclipped. False, drawing nothing, where it can do neither. Under
// Display's lock.
bool DrawPendingOnto(const QWidget& View, TTransitionViewPrivate& d, QPainter& Canvas, const QRegion& Area,
                     const QRect& Target)
{
    if (!d.Pending || !d.OldScreen || !d.Image || d.Stretched())
        return false;
    TTransitionViewPrivate::TPendingFrame& frame = *d.Pending;
    QPaintEngine* engine = Canvas.paintEngine();
    if (engine == nullptr || engine->type() != QPaintEngine::Raster || Canvas.opacity() != 1.0 ||
        Canvas.compositionMode() != QPainter::CompositionMode_SourceOver)
        return false;
    QPaintDevice* device = engine->paintDevice();
    if (device == nullptr || device->devType() != QInternal::Image)
        return false;
    auto& image = *static_cast<QImage*>(device);
    const QTransform toDevice = Canvas.deviceTransform();
    // The painter draws a frame onto either format as it is, pixel for pixel.
    if ((image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32_Premultiplied) ||
        toDevice.type() > QTransform::TxTranslate ||
        toDevice.dx() != std::trunc(toDevice.dx()) || toDevice.dy() != std::trunc(toDevice.dy()))
        return false;
    const QRect at = Target.translated(int(toDevice.dx()), int(toDevice.dy()));
    const int32_t w = d.FDisplay.Width(), h = d.FDisplay.Height();
    if (!image.rect().contains(at) || at.width() != w || at.height() != h ||
        (Canvas.hasClipping() && !(QRegion(Target) - Canvas.clipRegion()).isEmpty()))
        return false;
    // Written in place, as the painter itself writes (constBits: the image
    // is the painter's, not to be detached from it).
    auto* rows = reinterpret_cast<uint32_t*>(const_cast<uchar*>(image.constBits()) +
                                             qsizetype(at.top()) * image.bytesPerLine() + qsizetype(at.left()) * 4);
    const auto stride = int32_t(image.bytesPerLine() / 4);

    QBackingStore* store = View.backingStore();
    const QWindow* window = View.window()->windowHandle();
    if (d.DrawsOnScreen && !RaggedFrames(frame.Style) && !frame.OnScreen && KeepsPaintedPixels() &&
        store != nullptr && store->paintDevice() == device && window != nullptr && !window->format().hasAlpha() &&
        (QRegion(Target) - View.visibleRegion()).isEmpty() && PaintsAlone(View, Target)) {
        frame.Seed = RandSeed();
        d.Screen.Draw(rows, stride, image.size(), *d.OldScreen, *d.Image, frame);
        frame.OnScreen = true;
        return true;
    }
    const QRegion clip = engine->systemClip();
    if (Effects[frame.Style].Compose == nullptr || frame.Progress >= 100 || !(QRegion(Target) - Area).isEmpty() ||
        (!clip.isEmpty() && !(QRegion(at) - clip).isEmpty()))
        return false;
    d.Screen.Forget();
    TBitmap onto(rows, w, h, stride);
    // Painted again, a frame drawn by chance takes the same numbers.
    std::optional<TRandomScope> scope;
    if (frame.Seed && RandomFrames(frame.Style))
        scope.emplace(*frame.Seed);
    else
        frame.Seed = RandSeed();
    Effects[frame.Style].Compose(onto, *d.OldScreen, *d.Image, onto.BoundsRect(), frame.Step, frame.Progress);
    return true;
}

} // namespace

void DrawTiled(TCanvas& Canvas, const TRect& Rect, const TBitmap* Graphic)
{
    if (Graphic == nullptr || Graphic->Empty())
        return;
    const int32_t gw = Graphic->Width(), gh = Graphic->Height();
    const int32_t rows = Rect.Height() / gh + 1;
    const int32_t columns = Rect.Width() / gw + 1;
    const bool wholeBitmap = Rect == Canvas.Bitmap().BoundsRect() && !Canvas.HasClipRgn()
                             && &Canvas.Bitmap() != Graphic;
    if (wholeBitmap && int64_t{rows} * columns > 64) {
        DrawTiledByDoubling(Canvas, *Graphic);
        return;
    }
    for (int32_t i = 0; i < rows; ++i)
        for (int32_t j = 0; j < columns; ++j)
            Canvas.DrawBitmap(Rect.Left + j * gw, Rect.Top + i * gh, *Graphic);
}

void TTransitionViewPrivate::TScreenFrames::Draw(uint32_t* rows, int32_t stride, const QSize& imageSize,
                                                 const TBitmap& Old, const TBitmap& Image,
                                                 const TPendingFrame& frame)
{
    if (!Rows || std::as_const(*Rows).Bits() != reinterpret_cast<const uint8_t*>(rows) ||
        Rows->BytesPerLine() != stride * 4 ||
        Rows->Width() != Image.Width() || Rows->Height() != Image.Height() || ImageSize != imageSize) {
        Forget();
        Rows.emplace(rows, Image.Width(), Image.Height(), stride);
        ImageSize = imageSize;
    }
    if (Shows && Shows->Width() == Old.Width() && Shows->Height() == Old.Height() &&
        std::as_const(*Shows).Bits() == Old.Bits())
        Frames.Adopt(*Rows, Old, Image, frame.Style);
    Shows.reset();
    if (frame.Progress >= 100) {
        Changed = Frames.DrawLast(*Rows, Old, Image, frame.Style);
        Shows.emplace().Share(Image);
    } else {
        Changed = Frames.Draw(*Rows, Old, Image, frame.Style, frame.Step, frame.Progress);
    }
}

void TCustomTransitionView::DrawBackground(TCanvas& Canvas, const TRect& Rect)
{
    Canvas.BrushColor = d->ColorPixel();
    Canvas.FillArea(Rect);
    if (d->FBgPicture.Empty())
        return;
    const TBitmap& graphic = d->FBgPicture.Bitmap();
    switch (d->FBgMode) {
    case bmNone:
        break;
    case bmTiled:
        DrawTiled(Canvas, Rect, &graphic);
        break;
    case bmStretched:
        Canvas.StretchDraw(Rect, graphic);
        break;
    case bmCentered:
        // Centred in Rect's size, not offset by its corner: callers pass the
        // client rectangle, whose corner is (0, 0).
        Canvas.DrawBitmap((Rect.Width() - graphic.Width()) / 2, (Rect.Height() - graphic.Height()) / 2,
                          graphic);
        break;
    }
}

TRect TTransitionViewPrivate::ClientRect() const
{
    return {0, 0, q->width(), q->height()};
}

QImage BitmapImage(TBitmap& bitmap)
{
    if (bitmap.Empty())
        return {};
    return QImage(bitmap.Bits(), bitmap.Width(), bitmap.Height(), bitmap.BytesPerLine(), QImage::Format_RGB32);
}

QImage BitmapImage(const TBitmap& bitmap)
{
    if (bitmap.Empty())
        return {};
    return QImage(bitmap.Bits(), bitmap.Width(), bitmap.Height(), bitmap.BytesPerLine(), QImage::Format_RGB32);
}

void TTransitionViewPrivate::FitPaintBuffer()
{
    if (FPaintBuffer.Width() == q->width() && FPaintBuffer.Height() == q->height())
        return;
    const TCanvasLock lock(FPaintBuffer.Canvas());
    FPaintBuffer.SetSize(q->width(), q->height());
}

// Where Display lies in the control: at its own place, or stretched.
TRect TTransitionViewPrivate::DisplayRect() const
{
    return DisplayRectOf(FPicRect);
}

// Where a frame whose unstretched place is Place is shown.
TRect TTransitionViewPrivate::DisplayRectOf(const TRect& Place) const
{
    const TRect cr = ClientRect();
    return !Stretched() ? Place : FStretchFine ? AspectFitRect(Place, cr) : cr;
}

// The whole control in PaintBuffer, as a paint shows it: the background,
// then Display unless bare. For the start of a transition, and for readers
// of PaintBuffer; painting itself goes without it.
void TTransitionViewPrivate::ComposePaintBuffer(bool bare)
{
    FitPaintBuffer();
    const TCanvasLock bufferLock(FPaintBuffer.Canvas());
    TCanvas& buffer = FPaintBuffer.Canvas();
    q->DrawBackground(buffer, ClientRect());
    if (bare)
        return;
    const TCanvasLock displayLock(FDisplay.Canvas());
    SettleFrame();
    if (FDisplay.Empty())
        return;
    if (!Stretched())
        buffer.DrawBitmap(FPicRect.Left, FPicRect.Top, FDisplay);
    else
        buffer.StretchDraw(DisplayRect(), FDisplay);
}

const TBitmap& TCustomTransitionView::PaintBuffer() const
{
    d->ComposePaintBuffer(d->Unpainted);
    return d->FPaintBuffer;
}

// The background picture drawn over Color at the control's size, kept until
// one of them, the mode or the size changes.
const TBitmap& TTransitionViewPrivate::BackgroundBuffer()
{
    if (BgStale || BgBuffer.Width() != q->width() || BgBuffer.Height() != q->height()) {
        BgBuffer.SetSize(q->width(), q->height());
        q->DrawBackground(BgBuffer.Canvas(), ClientRect());
        BgStale = false;
    }
    return BgBuffer;
}

// Each pixel of the painted area is drawn once: the frame straight from
// Display (scaled by the painter when stretched), or composed where it is
// painted, and the background only where the frame does not cover, from
// Color or from the background buffer.
void TCustomTransitionView::Paint(QPainter& Canvas, const QRegion& Area)
{
    QRegion background = Area;
    const QRegion drawnBefore = std::exchange(d->ScreenToShow, QRegion());
    {
        const TCanvasLock displayLock(d->FDisplay.Canvas());
        if (!d->FDisplay.Empty()) {
            const QRect target = ToQRect(d->DisplayRect());
            if (!drawnBefore.isEmpty() && (Area - drawnBefore).isEmpty()) {
                // Drawn on screen by the paint before, which did not cover it.
            } else if (DrawPendingOnto(*this, *d, Canvas, Area, target)) {
                if (d->Pending && d->Pending->OnScreen) {
                    // What it changed beyond this paint: shown by the next
                    // one (PaintPendingFrame asks for it at once, others later).
                    d->ScreenToShow = d->ClientAreaOf(d->Screen.Changed) - Area;
                    if (!d->ScreenToShow.isEmpty() && !d->PaintingFrame)
                        update(d->ScreenToShow);
                }
            } else {
                // What the paint draws now is not the frame drawn last on
                // screen; and a frame the worker left to the paint, that it
                // cannot draw on screen, tells that the rest of the
                // transition is best built into Display.
                d->Screen.Forget();
                if (d->Pending)
                    d->DrawsOnScreen = false;
                d->SettleFrame();
                const QImage frame = BitmapImage(std::as_const(d->FDisplay));
                if (!d->Stretched()) {
                    for (const QRect& r : Area & target)
                        Canvas.drawImage(r.topLeft(), frame, r.translated(-target.topLeft()));
                } else {
                    Canvas.save();
                    Canvas.setClipRegion(Area & target, Qt::IntersectClip);
                    Canvas.drawImage(target, frame);
                    Canvas.restore();
                }
            }
            background -= target;
        } else {
            // The background over whatever was shown: nothing to draw over.
            d->Screen.Forget();
        }
    }
    if (background.isEmpty()) {
        // Nothing more.
    } else if (d->FBgPicture.Empty() || d->FBgMode == bmNone) {
        const QColor color = QColor::fromRgb(d->ColorPixel());
        for (const QRect& r : background)
            Canvas.fillRect(r, color);
    } else {
        const TBitmap& bg = d->BackgroundBuffer();
        const QImage image = BitmapImage(bg);
        for (const QRect& r : background)
            Canvas.drawImage(r.topLeft(), image, r);
    }
    d->Unpainted = false;
}

void TCustomTransitionView::paintEvent(QPaintEvent* e)
{
    if (d->Painting)
        return;
    d->Painting = true;
    try {
        QPainter painter(this);
        Paint(painter, e->region());
    } catch (...) {
        ShowException(std::current_exception());
    }
    d->FrameEvent.Set();
    d->Painting = false;
}

void TCustomTransitionView::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    try {
        d->BgStale = true;
        if (d->Fitted())
            d->RefitShown();
        if (!d->FPicture.Empty()) {
            d->UpdatePicRect();
            if (!d->FDisplay.Empty() && !d->Painting)
                update();
        }
    } catch (...) {
        ShowException(std::current_exception());
    }
}

// Where a rectangle of the picture appears in the control.
TRect TTransitionViewPrivate::FrameToClient(TRect Rc) const
{
    if (Stretched()) {
        const TRect to = DisplayRect();
        const int32_t pw = FPicRect.Width(), ph = FPicRect.Height();
        if (pw <= 0 || ph <= 0)
            return {};
        // Every control pixel whose sample may come from Rc, whatever the
        // painter's rounding: a pixel more on each side, within the frame.
        const auto first = [](int32_t a, int32_t length, int32_t extent) {
            return int32_t(int64_t{a} * extent / length) - 1;
        };
        const auto last = [](int32_t a, int32_t length, int32_t extent) {
            return int32_t((int64_t{a} * extent + length - 1) / length) + 1;
        };
        TRect cut;
        IntersectRect(cut,
                      {to.Left + first(Rc.Left, pw, to.Width()), to.Top + first(Rc.Top, ph, to.Height()),
                       to.Left + last(Rc.Right, pw, to.Width()), to.Top + last(Rc.Bottom, ph, to.Height())},
                      to);
        return cut;
    }
    if (FCenter)
        OffsetRect(Rc, FPicRect.Left, FPicRect.Top);
    Rc.Left = std::max(Rc.Left, FPicRect.Left);
    Rc.Top = std::max(Rc.Top, FPicRect.Top);
    Rc.Right = std::min(Rc.Right, FPicRect.Right);
    Rc.Bottom = std::min(Rc.Bottom, FPicRect.Bottom);
    return Rc;
}

// Paints the frame area built since the last call, now, and signals
// FrameEvent whether or not anything could be painted (a hidden or not yet
// exposed control paints nothing, and a worker must not wait for it).
void TTransitionViewPrivate::PaintPendingFrame()
{
    TRegion dirty;
    {
        const std::lock_guard lock(DirtyLock);
        std::swap(dirty, FrameDirty);
    }
    // A frame drawn over the last one on screen may change more than the
    // area asked for: its paint leaves the rest in ScreenToShow. A paint
    // asked for otherwise (a picture handed over just before the start) may
    // have drawn the frame there already; that paint covered it, or asked
    // for the rest, and painting it again would find it on screen.
    bool onScreen = false;
    {
        const TCanvasLock displayLock(FDisplay.Canvas());
        onScreen = Pending && Pending->OnScreen;
    }
    if (const QRegion area = ClientAreaOf(dirty); area.isEmpty() || onScreen) {
        // Nothing to paint.
    } else if (Painting) {
        q->update(area);
    } else {
        PaintingFrame = true;
        q->repaint(area);
        PaintingFrame = false;
        if (!ScreenToShow.isEmpty())
            q->repaint(ScreenToShow);
    }
    FrameEvent.Set();
}

// Where an area of the frame is painted in the control: a few rectangles
// that cover it.
QRegion TTransitionViewPrivate::ClientAreaOf(const TRegion& FrameArea) const
{
    QRegion area;
    for (const TRect& piece : PaintPieces(FrameArea))
        if (const TRect rc = FrameToClient(piece); !rc.IsEmpty())
            area += ToQRect(rc);
    return area;
}

} // namespace mirel
