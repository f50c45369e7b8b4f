// Painting: the background, the placement of the frame, the composition of
// every paint in PaintBuffer, and the paint of a frame the engine asked for.
#include "view/transition_view.h"

#include "view/exception_hook.h"

#include <QImage>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

namespace mirel {

namespace {

QRect ToQRect(const TRect& r) { return QRect(r.Left, r.Top, r.Width(), r.Height()); }

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

void TCustomTransitionView::DrawBackground(TCanvas& Canvas, const TRect& Rect)
{
    Canvas.BrushColor = ColorPixel();
    Canvas.FillArea(Rect);
    if (FBgPicture.Empty())
        return;
    const TBitmap& graphic = FBgPicture.Bitmap();
    switch (FBgMode) {
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

void TCustomTransitionView::FitPaintBuffer()
{
    if (FPaintBuffer.Width() == width() && FPaintBuffer.Height() == height())
        return;
    const TCanvasLock lock(FPaintBuffer.Canvas());
    FPaintBuffer.SetSize(width(), height());
}

void TCustomTransitionView::Paint(QPainter& Canvas, const QRegion& Area)
{
    const TRect cr = ClientRect();
    FitPaintBuffer();
    {
        const TCanvasLock bufferLock(FPaintBuffer.Canvas());
        TCanvas& buffer = FPaintBuffer.Canvas();
        DrawBackground(buffer, cr);
        {
            const TCanvasLock displayLock(FDisplay.Canvas());
            if (!FDisplay.Empty()) {
                if (!FStretch)
                    buffer.DrawBitmap(FPicRect.Left, FPicRect.Top, FDisplay);
                else if (FStretchFine)
                    buffer.StretchDraw(AspectFitRect(FPicRect, cr), FDisplay);
                else
                    buffer.StretchDraw(cr, FDisplay);
            }
        }
        if (!FPaintBuffer.Empty()) {
            const QImage image(FPaintBuffer.Bits(), FPaintBuffer.Width(), FPaintBuffer.Height(),
                               FPaintBuffer.BytesPerLine(), QImage::Format_RGB32);
            for (const QRect& r : Area)
                Canvas.drawImage(r.topLeft(), image, r);
        }
    }
    Unpainted = false;
}

void TCustomTransitionView::paintEvent(QPaintEvent* e)
{
    if (Painting)
        return;
    Painting = true;
    try {
        QPainter painter(this);
        Paint(painter, e->region());
    } catch (...) {
        ShowException(std::current_exception());
    }
    FrameEvent.Set();
    Painting = false;
}

void TCustomTransitionView::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    try {
        FitPaintBuffer();
        if (!FPicture.Empty()) {
            UpdatePicRect();
            if (!FDisplay.Empty() && !Painting)
                update();
        }
    } catch (...) {
        ShowException(std::current_exception());
    }
}

// Where a rectangle of the picture appears in the control.
TRect TCustomTransitionView::FrameToClient(TRect Rc) const
{
    if (FStretch) {
        const TRect d = FStretchFine ? AspectFitRect(FPicRect, ClientRect()) : ClientRect();
        const int32_t pw = FPicRect.Width(), ph = FPicRect.Height();
        if (pw <= 0 || ph <= 0)
            return {};
        return {d.Left + MulDiv(Rc.Left, d.Width(), pw), d.Top + MulDiv(Rc.Top, d.Height(), ph),
                d.Left + MulDiv(Rc.Right, d.Width(), pw), d.Top + MulDiv(Rc.Bottom, d.Height(), ph)};
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
void TCustomTransitionView::PaintPendingFrame()
{
    TRect dirty;
    {
        const std::lock_guard lock(DirtyLock);
        dirty = FrameDirty;
        FrameDirty = {};
    }
    if (!dirty.IsEmpty()) {
        const TRect rc = FrameToClient(dirty);
        if (!rc.IsEmpty()) {
            if (Painting)
                update(ToQRect(rc));
            else
                repaint(ToQRect(rc));
        }
    }
    FrameEvent.Set();
}

} // namespace mirel
