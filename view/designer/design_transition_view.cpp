#include "view/designer/design_transition_view.h"

#include <QPainter>
#include <QPen>

namespace mirel {

TDesignTransitionView::~TDesignTransitionView()
{
    EndTransitions();
}

void TDesignTransitionView::Paint(QPainter& Canvas, const QRegion& Area)
{
    TTransitionView::Paint(Canvas, Area);
    // The frame goes over the composed control, on its outermost pixels.
    Canvas.save();
    Canvas.setPen(QPen(Qt::black, 0, Qt::DashLine));
    Canvas.setBrush(Qt::NoBrush);
    Canvas.drawRect(0, 0, width() - 1, height() - 1);
    Canvas.restore();
}

} // namespace mirel
