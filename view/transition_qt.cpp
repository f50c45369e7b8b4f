// Qt value types in and out of the widget: QImage and QPixmap pictures, the
// frame on screen as a QImage, and loading that reports instead of throwing.
#include "view/transition_view.h"

#include "view/exception_hook.h"
#include "view/transition_view_p.h"

#include <QMetaMethod>
#include <QPointer>
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
void TTransitionViewPrivate::ReportError(TCustomTransitionView& view, const QString& message, bool unheardToHandler)
{
    if (message.isEmpty())
        return;
    if (view.isSignalConnected(QMetaMethod::fromSignal(&TCustomTransitionView::errorOccurred)))
        emit view.errorOccurred(message);
    else if (unheardToHandler)
        ShowException(std::make_exception_ptr(TBitmapError(message.toStdString())));
}

namespace {

// Runs a classic operation for the Qt face, which throws nothing: an error
// is reported, unless a handler inside deleted the control (then nobody is
// left to tell but the exception handler), and gives false.
template <class TCall>
bool Guarded(TCustomTransitionView& view, TCall call)
{
    const QPointer<TCustomTransitionView> self(&view);
    try {
        call();
        return true;
    } catch (...) {
        if (self)
            TTransitionViewPrivate::ReportError(view, ExceptionMessage(std::current_exception()), true);
        else
            ShowException(std::current_exception());
        return false;
    }
}

} // namespace

void TCustomTransitionView::setImage(const QImage& value)
{
    TTransitionViewPrivate::ReportError(*this, AssignImage(d->FPicture, value), true);
}

void TCustomTransitionView::setBgImage(const QImage& value)
{
    TTransitionViewPrivate::ReportError(*this, AssignImage(d->FBgPicture, value), true);
}

bool TCustomTransitionView::load(const QString& path)
{
    return load(path, nullptr);
}

// The caller hears of a failure by the result; errorOccurred tells the rest
// (QML, a form's owner), and nobody else need be bothered.
bool TCustomTransitionView::load(const QString& path, QString* error)
{
    QString message;
    try {
        // As a picture viewer would, a photo cut short shows what it has.
        d->FPicture.LoadFromFile(path, TLoadOptions{.AcceptTruncated = true});
        return true;
    } catch (...) {
        message = ExceptionMessage(std::current_exception());
    }
    if (error != nullptr)
        *error = message;
    TTransitionViewPrivate::ReportError(*this, message, false);
    return false;
}

bool TCustomTransitionView::execute()
{
    if (d->FPicture.Empty() || Busy())
        return false;
    return Guarded(*this, [this] { Execute(); });
}

void TCustomTransitionView::stop()
{
    Guarded(*this, [this] { Stop(); });
}

void TCustomTransitionView::clear()
{
    Guarded(*this, [this] { Clear(); });
}

void TCustomTransitionView::setManual(bool value)
{
    Guarded(*this, [this, value] { SetManual(value); });
}

void TCustomTransitionView::setProgress(int value)
{
    Guarded(*this, [this, value] { SetProgress(value); });
}

void TCustomTransitionView::setTransitionStyle(int style)
{
    SetStyle(style);
}

QStringList TCustomTransitionView::styleNames()
{
    QStringList names;
    names.reserve(MaxShowStyle);
    for (int style = 1; style <= MaxShowStyle; ++style) {
        const std::string_view name = mirel::StyleName(style);
        names << QString::fromUtf8(name.data(), qsizetype(name.size()));
    }
    return names;
}

int TCustomTransitionView::styleCount()
{
    return MaxShowStyle;
}

bool TCustomTransitionView::setStyleName(const QString& name)
{
    const auto style = StyleOfName(name.toStdString());
    if (!style) {
        TTransitionViewPrivate::ReportError(*this, QStringLiteral("no transition style is named \"%1\"").arg(name),
                                            true);
        return false;
    }
    SetStyle(*style);
    return true;
}

} // namespace mirel
