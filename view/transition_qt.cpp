// Qt value types in and out of the widget: QImage and QPixmap pictures, the
// frame on screen as a QImage, and loading that reports instead of throwing.
#include "view/transition_view.h"

#include "view/exception_hook.h"
#include "view/transition_view_p.h"

#include <QMetaMethod>
#include <QPainter>

#include <cstring>
#include <memory>
#include <utility>

namespace mirel {

namespace {

// Opaque 32-bit pixels; transparency shows white, as in loaded pictures.
// An opaque 32-bit image is shown as it is, sharing its pixels as QImage
// copies do (whoever paints on that image later paints on a copy of its
// own); another is converted once and the bitmap shows the conversion.
void ImageToBitmap(const QImage& source, TBitmap& out)
{
    QImage image;
    if (source.hasAlphaChannel()) {
        image = QImage(source.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        painter.drawImage(0, 0, source);
    } else {
        image = source.convertToFormat(QImage::Format_RGB32);
    }
    if (image.bytesPerLine() != qsizetype(image.width()) * 4) { // rows over a buffer of someone's own
        TBitmap pixels(image.width(), image.height());
        for (int y = 0; y < image.height(); ++y)
            std::memcpy(pixels.PixelRow(y), image.constScanLine(y), size_t(image.width()) * 4);
        out.Swap(pixels);
        return;
    }
    auto owner = std::make_shared<const QImage>(std::move(image));
    out.ShowPixels(reinterpret_cast<const uint32_t*>(owner->constBits()), owner->width(), owner->height(), owner);
}

QImage CopyOf(const TBitmap& bitmap)
{
    if (bitmap.Empty())
        return {};
    return QImage(bitmap.Bits(), bitmap.Width(), bitmap.Height(), bitmap.BytesPerLine(), QImage::Format_RGB32)
        .copy();
}

// Slots must not throw into Qt's event loop: a picture too large for a
// bitmap leaves the picture as it was and returns the reason.
QString AssignImage(TPicture& picture, const QImage& image)
{
    if (image.isNull()) {
        picture.Clear();
        return {};
    }
    TBitmap bitmap;
    try {
        ImageToBitmap(image, bitmap);
    } catch (...) {
        return ExceptionMessage(std::current_exception());
    }
    picture.Assign(std::move(bitmap));
    return {};
}

} // namespace

QImage TCustomTransitionView::image() const
{
    return CopyOf(d->FPicture.Bitmap());
}

QImage TCustomTransitionView::frame() const
{
    const TCanvasLock lock(d->FDisplay.Canvas());
    d->SettleFrame();
    return CopyOf(d->FDisplay);
}

// A property write or a queued call has no caller to hear a refusal: the
// signal tells whoever listens, and the exception handler (stderr, unless
// the application set its own) stays the last resort.
void TCustomTransitionView::ReportRefusedImage(const QString& message)
{
    if (message.isEmpty())
        return;
    if (isSignalConnected(QMetaMethod::fromSignal(&TCustomTransitionView::errorOccurred)))
        emit errorOccurred(message);
    else
        ShowException(std::make_exception_ptr(TBitmapError(message.toStdString())));
}

void TCustomTransitionView::setImage(const QImage& value)
{
    ReportRefusedImage(AssignImage(d->FPicture, value));
}

void TCustomTransitionView::setBgImage(const QImage& value)
{
    ReportRefusedImage(AssignImage(d->FBgPicture, value));
}

bool TCustomTransitionView::load(const QString& path, QString* error)
{
    try {
        d->FPicture.LoadFromFile(path);
        return true;
    } catch (...) {
        if (error != nullptr)
            *error = ExceptionMessage(std::current_exception());
        return false;
    }
}

} // namespace mirel
