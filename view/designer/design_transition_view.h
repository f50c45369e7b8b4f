// The transition widget as Qt Designer places it on a form: the same control,
// with the design-time additions a form designer shows, a dashed frame that
// marks its bounds (it may well be empty) and the About property.
#pragma once

#include "view/transition_view.h"

#include <QString>

namespace mirel {

// The type of About, which holds nothing: the property only names the
// control in the designer's property editor and is never stored in a form.
using TAbout = QString;

class TDesignTransitionView : public TTransitionView {
    Q_OBJECT
    Q_PROPERTY(QString About READ About WRITE SetAbout STORED false)

public:
    using TTransitionView::TTransitionView;
    ~TDesignTransitionView() override;

    TAbout About() const { return {}; }
    void SetAbout(const TAbout&) {}

protected:
    void Paint(QPainter& Canvas, const QRegion& Area) override;
};

} // namespace mirel
