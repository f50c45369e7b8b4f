// The picture control as the show places it: one picture pixel per device
// pixel, at any scale factor.
//
// Qt sizes and places widgets in device-independent pixels, so at a scale
// factor of 2 a picture would be drawn at twice its size. The show's places
// are device pixels: the control's corner is at (176, 96) on the screen and
// the picture is drawn there pixel for pixel, sharp. At a scale factor of 1
// this is the control as it is.
#pragma once

#include "view/transition_view.h"

#include <QPoint>

namespace mirel {

class TShowView : public TTransitionView {
public:
    explicit TShowView(QWidget* parent = nullptr);

    // Places the control's corner at corner (device pixels of the parent),
    // at the current scale factor.
    void PlaceAt(QPoint corner);

protected:
    void Paint(QPainter& Canvas, const QRegion& Area) override;

private:
    QPoint corner_;
};

} // namespace mirel
