#include "tools/render/picture_io.h"

#include "picture/load.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <cstring>

namespace mirel {

void LoadPicture(const std::string& path, TBitmap& out)
{
    mirel::LoadPicture(path, out, TLoadOptions{});
}

void SavePng(const TBitmap& bitmap, const std::string& path)
{
    const QImage image(bitmap.Bits(), bitmap.Width(), bitmap.Height(), bitmap.BytesPerLine(),
                       QImage::Format_RGB32);
    if (!image.save(QString::fromStdString(path), "PNG"))
        throw TDecodeError(path + ": cannot write the PNG file");
}

} // namespace mirel
