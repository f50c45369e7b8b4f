#include "view/picture.h"

#include "picture/load.h"
#include "picture/qt/qt_formats.h"

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mirel {

namespace {

std::string Utf8(const QString& s) { return s.toStdString(); }

} // namespace

void TPicture::LoadFromFile(const QString& path, const TLoadOptions& options)
{
    UseQtPictureFormats();
    const QString ext = QFileInfo(path).suffix().toLower();
    if (ext == "emf" || ext == "wmf")
        throw TDecodeError(Utf8(path) + ": metafile pictures (." + Utf8(ext) + ") cannot be shown");
    TBitmap loaded;
    LoadPicture(QFile::encodeName(path).toStdString(), loaded, options);
    // Pictures with transparency (icons) lie on white, as on a fresh bitmap.
    for (int32_t y = 0; y < loaded.Height(); ++y) {
        uint32_t* row = loaded.PixelRow(y);
        for (int32_t x = 0; x < loaded.Width(); ++x) {
            const uint32_t p = row[x], a = p >> 24;
            uint32_t flat = 0xFF000000u;
            for (int shift = 0; shift < 24; shift += 8)
                flat |= (((p >> shift) & 0xFF) * a + 255 * (255 - a) + 127) / 255 << shift;
            row[x] = flat;
        }
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

void TPicture::Assign(TBitmap&& bitmap)
{
    TBitmap taken;
    taken.Swap(bitmap);
    bitmap_.Swap(taken);
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
