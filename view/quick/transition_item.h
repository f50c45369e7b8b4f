// TransitionView for Qt Quick: the transition widget's engine behind a Qt
// Quick item, with the widget's camelCase properties and signals.
//
//     import Mirel.Transitions
//     TransitionView {
//         source: "holiday.jpg"; styleName: "Fade"
//         onCompleted: console.log("shown")
//         Component.onCompleted: execute()
//     }
//
// The engine is the widget's own, kept off screen; every frame it shows is
// composed into an image that becomes the item's texture as it is (no copy
// on the software scene graph, one upload on the others). So the
// application needs a QApplication (not just a QGuiApplication).
#pragma once

#include <mirel/transition_view.h>

#include <QImage>
#include <QPointer>
#include <QQuickItem>
#include <QtQml/qqmlregistration.h>

namespace mirel {

/// A Qt Quick item that plays the catalogue's transitions, as TTransitionView does.
class TTransitionItem : public QQuickItem {
    Q_OBJECT
    QML_NAMED_ELEMENT(TransitionView)
    Q_PROPERTY(int style READ style WRITE setStyle NOTIFY styleChanged)
    Q_PROPERTY(QString styleName READ styleName WRITE setStyleName NOTIFY styleNameChanged)
    Q_PROPERTY(int step READ step WRITE setStep NOTIFY stepChanged)
    Q_PROPERTY(int delay READ delay WRITE setDelay NOTIFY delayChanged)
    Q_PROPERTY(bool threaded READ isThreaded WRITE setThreaded NOTIFY threadedChanged)
    Q_PROPERTY(bool reverse READ isReverse WRITE setReverse NOTIFY reverseChanged)
    Q_PROPERTY(bool manual READ isManual WRITE setManual NOTIFY manualChanged)
    Q_PROPERTY(int progress READ progress WRITE setProgress NOTIFY progressChanged)
    Q_PROPERTY(bool busy READ isBusy NOTIFY busyChanged)
    // Image.fillMode's numbers: fillMode: Image.PreserveAspectFit works.
    Q_PROPERTY(int fillMode READ fillMode WRITE setFillMode NOTIFY fillModeChanged)
    Q_PROPERTY(bool stretch READ isStretch WRITE setStretch NOTIFY stretchChanged)
    Q_PROPERTY(bool stretchFine READ isStretchFine WRITE setStretchFine NOTIFY stretchFineChanged)
    Q_PROPERTY(bool center READ isCenter WRITE setCenter NOTIFY centerChanged)
    Q_PROPERTY(bool overDraw READ overDraw WRITE setOverDraw NOTIFY overDrawChanged)
    Q_PROPERTY(BackgroundMode bgMode READ bgMode WRITE setBgMode NOTIFY bgModeChanged)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged)
    Q_PROPERTY(QString source READ source WRITE setSource NOTIFY sourceChanged)
    Q_PROPERTY(QString errorString READ errorString NOTIFY sourceChanged)
    Q_PROPERTY(QImage image READ image WRITE setImage NOTIFY pictureChanged)

public:
    /// The background modes, as TViewEnums::TBackgroundMode.
    enum BackgroundMode : int { BgNone, BgTiled, BgStretched, BgCentered };
    Q_ENUM(BackgroundMode)

    /// An item with the widget's defaults (style 51, step 4, delay 40, threaded).
    explicit TTransitionItem(QQuickItem* parent = nullptr);
    ~TTransitionItem() override;

    int style() const { return view_->transitionStyle(); }
    QString styleName() const { return view_->styleName(); }
    int step() const { return view_->step(); }
    int delay() const { return view_->delay(); }
    bool isThreaded() const { return view_->isThreaded(); }
    bool isReverse() const { return view_->isReverse(); }
    bool isManual() const { return view_->isManual(); }
    int progress() const { return view_->progress(); }
    bool isBusy() const { return view_->isBusy(); }
    int fillMode() const { return int(view_->fillMode()); }
    bool isStretch() const { return view_->isStretch(); }
    bool isStretchFine() const { return view_->isStretchFine(); }
    bool isCenter() const { return view_->isCenter(); }
    bool overDraw() const { return view_->overDraw(); }
    BackgroundMode bgMode() const { return BackgroundMode(view_->bgMode()); }
    QColor color() const { return view_->color(); }
    /// The file last given to source (a path or a file: URL).
    QString source() const { return source_; }
    /// Why the last source could not be loaded; empty when it was.
    QString errorString() const { return error_; }
    QImage image() const { return view_->image(); }

    void setStyle(int value) { view_->setStyle(value); }
    void setStyleName(const QString& value) { view_->setStyleName(value); }
    void setStep(int value) { view_->setStep(value); }
    void setDelay(int value) { view_->setDelay(value); }
    void setThreaded(bool value) { view_->setThreaded(value); }
    void setReverse(bool value) { view_->setReverse(value); }
    void setManual(bool value) { view_->setManual(value); }
    void setProgress(int value) { view_->setProgress(value); }
    void setFillMode(int value) { view_->setFillMode(TTransitionView::FillMode(value)); }
    void setStretch(bool value) { view_->setStretch(value); }
    void setStretchFine(bool value) { view_->setStretchFine(value); }
    void setCenter(bool value) { view_->setCenter(value); }
    void setOverDraw(bool value) { view_->setOverDraw(value); }
    void setBgMode(BackgroundMode value) { view_->setBgMode(TBackgroundMode(value)); }
    void setColor(const QColor& value) { view_->setColor(value); }
    void setSource(const QString& value);
    void setImage(const QImage& value) { view_->setImage(value); }

    /// Starts a transition to the picture.
    Q_INVOKABLE void execute() { view_->execute(); }
    /// Ends a running transition as stopped.
    Q_INVOKABLE void stop() { view_->stop(); }
    /// Empties the display unless a transition runs.
    Q_INVOKABLE void clear()
    {
        view_->clear();
        Compose();
    }
    /// The names of the styles 1 to styleCount(), in order (a ComboBox's model).
    Q_INVOKABLE static QStringList styleNames() { return TTransitionView::styleNames(); }
    /// The number of catalogue styles.
    Q_INVOKABLE static int styleCount() { return TTransitionView::styleCount(); }
    /// The frame on screen at the picture's size.
    Q_INVOKABLE QImage frame() const { return view_->frame(); }

Q_SIGNALS:
    void started();
    void progressChanged(int progress);
    void frameShown();
    void completed();
    void stopped();
    void busyChanged(bool busy);
    void pictureChanged();
    void styleChanged(int style);
    void styleNameChanged(const QString& name);
    void stepChanged(int step);
    void delayChanged(int delay);
    void threadedChanged(bool threaded);
    void reverseChanged(bool reverse);
    void manualChanged(bool manual);
    void fillModeChanged(int fillMode);
    void stretchChanged(bool stretch);
    void stretchFineChanged(bool stretchFine);
    void centerChanged(bool center);
    void overDrawChanged(bool overDraw);
    void bgModeChanged(mirel::TTransitionItem::BackgroundMode mode);
    void colorChanged(const QColor& color);
    void sourceChanged();

protected:
    void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;
    QSGNode* updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) override;

private:
    void Compose();

    QPointer<TTransitionView> view_;
    // The frame composed last, and the one before, whose pixels the next
    // frame is composed into once no texture shows them any more.
    QImage composed_, spare_;
    bool changed_ = false; // composed_ is not the texture yet
    QString source_;
    QString error_;
};

} // namespace mirel
