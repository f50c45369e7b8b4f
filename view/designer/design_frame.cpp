#include "view/designer/design_frame.h"

#include <QEvent>
#include <QPainter>
#include <QPen>
#include <QWidget>

namespace mirel {

bool TDesignFrame::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Paint || !watched->isWidgetType())
        return false;
    // The widget's own paint comes first (event() skips the filters, so this
    // does not come back here); the frame then goes over the composed
    // control, on its outermost pixels, still inside the same paint event.
    auto* widget = static_cast<QWidget*>(watched);
    static_cast<QObject*>(widget)->event(event);
    QPainter painter(widget);
    painter.setPen(QPen(Qt::black, 0, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(0, 0, widget->width() - 1, widget->height() - 1);
    return true;
}

} // namespace mirel
