// The dashed frame that marks the widget's bounds on a form in Qt Designer,
// where an empty control would otherwise be invisible. An event filter the
// plugin installs on the widgets it makes: the widget stays the real class,
// so Designer saves the real class name, and the frame exists only there.
#pragma once

#include <QObject>

namespace mirel {

class TDesignFrame : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

protected:
    // Lets the widget paint itself, then draws the frame over it.
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace mirel
