#include "view/quick/transition_item.h"

#include "view/picture.h"

#include <QQuickWindow>
#include <QSGImageNode>
#include <QUrl>

#include <sys/mman.h>

#include <utility>

namespace mirel {

namespace {

// A frame's image in pages of its own, given back to the system as soon as
// the last copy of the image goes (the heap would keep them); a null image
// when there is no memory for it.
QImage FrameImage(QSize size)
{
    struct TPages {
        void* Start;
        size_t Bytes;
    };
    const size_t bytes = size_t(size.width()) * size_t(size.height()) * 4;
    void* start = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED)
        return {};
    auto* pages = new TPages{start, bytes};
    return QImage(
        static_cast<uchar*>(start), size.width(), size.height(), qsizetype(size.width()) * 4, QImage::Format_RGB32,
        [](void* info) {
            const auto* p = static_cast<TPages*>(info);
            munmap(p->Start, p->Bytes);
            delete p;
        },
        pages);
}

} // namespace

TTransitionItem::TTransitionItem(QQuickItem* parent)
    : QQuickItem(parent), view_(new TTransitionView)
{
    setFlag(ItemHasContents);
    // Never on screen: the item shows what the widget composes. The item's
    // size comes from QML; its implicit size is the picture's.
    view_->setAttribute(Qt::WA_DontShowOnScreen);
    view_->setAutoSize(false);

    TTransitionView* v = view_;
    connect(v, &TTransitionView::started, this, &TTransitionItem::started);
    connect(v, &TTransitionView::completed, this, &TTransitionItem::completed);
    connect(v, &TTransitionView::stopped, this, [this] {
        // Between transitions the item keeps one frame, the one it shows:
        // not its spare image, nor the block a frame built in the widget
        // leaves for the next transition.
        spare_ = QImage();
        TBitmap::ReleaseSpare();
        emit stopped();
    });
    connect(v, &TTransitionView::busyChanged, this, &TTransitionItem::busyChanged);
    connect(v, &TTransitionView::styleChanged, this, &TTransitionItem::styleChanged);
    connect(v, &TTransitionView::styleNameChanged, this, &TTransitionItem::styleNameChanged);
    connect(v, &TTransitionView::stepChanged, this, &TTransitionItem::stepChanged);
    connect(v, &TTransitionView::delayChanged, this, &TTransitionItem::delayChanged);
    connect(v, &TTransitionView::threadedChanged, this, &TTransitionItem::threadedChanged);
    connect(v, &TTransitionView::reverseChanged, this, &TTransitionItem::reverseChanged);
    connect(v, &TTransitionView::manualChanged, this, &TTransitionItem::manualChanged);
    connect(v, &TTransitionView::fillModeChanged, this, [this](TTransitionView::FillMode mode) {
        Compose();
        emit fillModeChanged(int(mode));
    });
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
        const TPicture& picture = std::as_const(*view_).Picture();
        setImplicitSize(picture.Width(), picture.Height());
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
    QQuickItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.size() != oldGeometry.size()) {
        view_->resize(newGeometry.size().toSize());
        Compose();
    }
}

// The widget composes background and frame as it would on screen, into
// an image the item keeps until the next frame: the frame before, if no
// texture took it yet, else the one before last, unless a texture still
// shows that one (then a new image).
void TTransitionItem::Compose()
{
    const QSize size = view_->size();
    if (size.isEmpty())
        return;
    if (changed_ && composed_.size() == size && composed_.isDetached()) {
        view_->render(&composed_);
        update();
        return;
    }
    QImage target = std::exchange(spare_, QImage());
    if (target.size() != size || !target.isDetached())
        target = FrameImage(size);
    if (target.isNull())
        return; // the frame shown stays
    view_->render(&target);
    spare_ = std::exchange(composed_, std::move(target));
    changed_ = true;
    update();
}

// On the scene graph's thread, while the GUI thread waits.
QSGNode* TTransitionItem::updatePaintNode(QSGNode* old, UpdatePaintNodeData*)
{
    auto* node = static_cast<QSGImageNode*>(old);
    if (composed_.isNull()) {
        delete node;
        return nullptr;
    }
    if (node == nullptr) {
        node = window()->createImageNode();
        node->setOwnsTexture(true);
        changed_ = true;
    }
    if (changed_) {
        // The texture takes the image as it is (the software scene graph
        // draws from its pixels, the others upload them); the texture it
        // replaces lets go of the image before.
        node->setTexture(window()->createTextureFromImage(composed_));
        changed_ = false;
    }
    node->setRect(boundingRect());
    return node;
}

} // namespace mirel
