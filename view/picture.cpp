#include "view/picture.h"

#include "surface/jpeg.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <cstring>
#include <string>

namespace mirel {

namespace {

std::string Utf8(const QString& s) { return s.toStdString(); }

// Pictures with transparency (icons) lie on white, as on a fresh bitmap.
void DecodeWithQt(const QString& path, const QByteArray& format, TBitmap& out)
{
    QImageReader reader(path, format);
    const QSize size = reader.size();
    if (size.isValid() && int64_t{size.width()} * size.height() > MaxPicturePixels)
        throw TDecodeError(Utf8(path) + ": picture is over the size limit");
    QImage image = reader.read();
    if (image.isNull())
        throw TDecodeError(Utf8(path) + ": " + Utf8(reader.errorString()));
    if (image.hasAlphaChannel()) {
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, image);
        painter.end();
        image = flat;
    } else {
        image = image.convertToFormat(QImage::Format_RGB32);
    }
    TBitmap pixels(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(pixels.PixelRow(y), image.constScanLine(y), size_t(image.width()) * 4);
    out.Swap(pixels);
}

} // namespace

void TPicture::LoadFromFile(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw TDecodeError(Utf8(path) + ": no such file");
    if (!info.isFile())
        throw TDecodeError(Utf8(path) + ": not a regular file");

    const QString ext = info.suffix().toLower();
    TBitmap loaded;
    if (ext == "jpg" || ext == "jpeg") {
        LoadJpegFile(QFile::encodeName(path).toStdString(), loaded);
    } else if (ext == "emf" || ext == "wmf") {
        throw TDecodeError(Utf8(path) + ": metafile pictures (." + Utf8(ext) + ") cannot be shown");
    } else if (QImageReader::supportedImageFormats().contains(ext.toLatin1())) {
        DecodeWithQt(path, ext.toLatin1(), loaded);
    } else {
        throw TDecodeError(Utf8(path) + ": unknown picture file extension (." + Utf8(ext) + ")");
    }
    bitmap_.Swap(loaded);
    Changed();
}

void TPicture::Clear()
{
    TBitmap none;
    bitmap_.Swap(none);
    Changed();
}

void TPicture::Assign(const TBitmap& bitmap)
{
    bitmap_.Assign(bitmap);
    Changed();
}

void TPicture::Assign(const TPicture& other)
{
    if (&other == this)
        return;
    Assign(other.bitmap_);
}

void TPicture::Changed()
{
    if (OnChange)
        OnChange();
}

} // namespace mirel
