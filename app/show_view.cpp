#include "app/show_view.h"

#include "view/sync.h"

#include <QImage>
#include <QPainter>

#include <cmath>

namespace mirel {

TShowView::TShowView(QWidget* parent) : TTransitionView(parent) {}

void TShowView::PlaceAt(QPoint corner)
{
    corner_ = corner;
    const qreal ratio = devicePixelRatioF();
    // The widget starts at or before the corner; Paint draws the rest of the way.
    move(int(std::floor(corner.x() / ratio)), int(std::floor(corner.y() / ratio)));
}

void TShowView::Paint(QPainter& Canvas, const QRegion& Area)
{
    const qreal ratio = Canvas.device()->devicePixelRatioF();
    if (ratio == 1.0) {
        TTransitionView::Paint(Canvas, Area);
        return;
    }
    // The control composes what it shows as always (a transition starts from
    // that), but its drawing at the widget's scale is clipped away ...
    Canvas.save();
    Canvas.setClipRect(QRect());
    TTransitionView::Paint(Canvas, Area);
    Canvas.restore();
    // ... and the frame is drawn here, pixel for pixel, at the corner.
    Canvas.fillRect(rect(), Qt::black);
    const TCanvasLock lock(Display().Canvas());
    const TBitmap& frame = Display();
    if (frame.Empty())
        return;
    QImage image = BitmapImage(frame);
    image.setDevicePixelRatio(ratio);
    const QPointF offset(corner_.x() / ratio - x(), corner_.y() / ratio - y());
    Canvas.drawImage(offset, image);
}

} // namespace mirel
