#include "view/quick/transition_item.h"

#include <QPainter>
#include <QUrl>

namespace mirel {

TTransitionItem::TTransitionItem(QQuickItem* parent)
    : QQuickPaintedItem(parent), view_(new TTransitionView)
{
    // Never on screen: the item shows what the widget composes. The item's
    // size comes from QML; its implicit size is the picture's.
    view_->setAttribute(Qt::WA_DontShowOnScreen);
    view_->setAutoSize(false);
    setOpaquePainting(true);

    TTransitionView* v = view_;
    connect(v, &TTransitionView::started, this, &TTransitionItem::started);
    connect(v, &TTransitionView::completed, this, &TTransitionItem::completed);
    connect(v, &TTransitionView::stopped, this, &TTransitionItem::stopped);
    connect(v, &TTransitionView::busyChanged, this, &TTransitionItem::busyChanged);
    connect(v, &TTransitionView::styleChanged, this, &TTransitionItem::styleChanged);
    connect(v, &TTransitionView::styleNameChanged, this, &TTransitionItem::styleNameChanged);
    connect(v, &TTransitionView::stepChanged, this, &TTransitionItem::stepChanged);
    connect(v, &TTransitionView::delayChanged, this, &TTransitionItem::delayChanged);
    connect(v, &TTransitionView::threadedChanged, this, &TTransitionItem::threadedChanged);
    connect(v, &TTransitionView::reverseChanged, this, &TTransitionItem::reverseChanged);
    connect(v, &TTransitionView::manualChanged, this, &TTransitionItem::manualChanged);
    connect(v, &TTransitionView::stretchChanged, this, [this](bool b) {
        Compose();
        emit stretchChanged(b);
    });
    connect(v, &TTransitionView::stretchFineChanged, this, [this](bool b) {
        Compose();
        emit stretchFineChanged(b);
    });
    connect(v, &TTransitionView::centerChanged, this, [this](bool b) {
        Compose();
        emit centerChanged(b);
    });
    connect(v, &TTransitionView::overDrawChanged, this, &TTransitionItem::overDrawChanged);
    connect(v, &TTransitionView::bgModeChanged, this, [this](TBackgroundMode m) {
        Compose();
        emit bgModeChanged(BackgroundMode(m));
    });
    connect(v, &TTransitionView::colorChanged, this, [this](const QColor& c) {
        Compose();
        emit colorChanged(c);
    });
    connect(v, &TTransitionView::pictureChanged, this, [this] {
        const QImage picture = view_->image();
        setImplicitSize(picture.width(), picture.height());
        emit pictureChanged();
    });
    // Every frame is composed into the item before listeners hear of it.
    connect(v, &TTransitionView::frameShown, this, [this] {
        Compose();
        emit frameShown();
    });
    connect(v, &TTransitionView::progressChanged, this, &TTransitionItem::progressChanged);
}

TTransitionItem::~TTransitionItem()
{
    delete view_.data();
}

void TTransitionItem::setSource(const QString& value)
{
    if (value == source_)
        return;
    source_ = value;
    const QUrl url(value);
    const QString path = url.isLocalFile() ? url.toLocalFile() : value;
    error_.clear();
    if (!path.isEmpty() && !view_->load(path, &error_))
        qWarning("TransitionView: %s", qPrintable(error_));
    emit sourceChanged();
}

void TTransitionItem::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry)
{
    QQuickPaintedItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.size() != oldGeometry.size()) {
        view_->resize(newGeometry.size().toSize());
        Compose();
    }
}

// The widget composes background and frame as it would on screen; the
// item keeps that image until the next frame.
void TTransitionItem::Compose()
{
    const QSize size = view_->size();
    if (size.isEmpty())
        return;
    if (composed_.size() != size)
        composed_ = QImage(size, QImage::Format_RGB32);
    view_->render(&composed_);
    update();
}

void TTransitionItem::paint(QPainter* painter)
{
    if (!composed_.isNull())
        painter->drawImage(0, 0, composed_);
}

} // namespace mirel
