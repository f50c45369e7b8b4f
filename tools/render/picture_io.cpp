#include "tools/render/picture_io.h"

#include "surface/jpeg.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <cstring>

namespace mirel {

void LoadPicture(const std::string& path, TBitmap& out)
{
    const QString file = QString::fromStdString(path);
    const QFileInfo info(file);
    if (!info.exists())
        throw TDecodeError(path + ": no such file");
    if (!info.isFile())
        throw TDecodeError(path + ": not a regular file");
    const QString ext = info.suffix().toLower();
    if (ext == "jpg" || ext == "jpeg") {
        LoadJpegFile(path, out);
        return;
    }
    // A header may promise a size the bitmaps cannot hold (a side over
    // TBitmap::MaxSide): refused before and after reading.
    const auto overLimit = [](const QSize& size) {
        return size.width() > TBitmap::MaxSide || size.height() > TBitmap::MaxSide ||
               int64_t{size.width()} * size.height() > MaxPicturePixels;
    };
    QImageReader reader(file);
    const QSize size = reader.size();
    if (size.isValid() && overLimit(size))
        throw TDecodeError(path + ": picture is over the size limit");
    QImage image = reader.read();
    if (image.isNull())
        throw TDecodeError(path + ": " + reader.errorString().toStdString());
    if (overLimit(image.size()))
        throw TDecodeError(path + ": picture is over the size limit");
    image = image.convertToFormat(QImage::Format_ARGB32);
    TBitmap pixels(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y)
        std::memcpy(pixels.PixelRow(y), image.constScanLine(y), size_t(image.width()) * 4);
    out.Swap(pixels);
}

void SavePng(const TBitmap& bitmap, const std::string& path)
{
    const QImage image(bitmap.Bits(), bitmap.Width(), bitmap.Height(), bitmap.BytesPerLine(),
                       QImage::Format_RGB32);
    if (!image.save(QString::fromStdString(path), "PNG"))
        throw TDecodeError(path + ": cannot write the PNG file");
}

} // namespace mirel
