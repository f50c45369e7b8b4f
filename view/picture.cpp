#include "view/picture.h"

#include "surface/jpeg.h"

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

// An open file descriptor, closed when it goes.
class TFileHandle {
public:
    explicit TFileHandle(int fd) : fd_(fd) {}
    ~TFileHandle()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    TFileHandle(TFileHandle&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    TFileHandle(const TFileHandle&) = delete;
    TFileHandle& operator=(const TFileHandle&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

// Opens path for reading, refusing anything but a regular file. The open
// does not wait (a FIFO opened for reading would otherwise block until a
// writer comes), and the check is made on what was opened, so a name that
// is swapped for something else after a listing cannot slip through.
TFileHandle OpenRegularFile(const QString& path)
{
    TFileHandle file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) {
        const int error = errno;
        if (error == ENOENT)
            throw TDecodeError(Utf8(path) + ": no such file");
        throw TDecodeError(Utf8(path) + ": " + std::strerror(error));
    }
    struct stat st{};
    if (::fstat(file.Get(), &st) != 0)
        throw TDecodeError(Utf8(path) + ": " + std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        throw TDecodeError(Utf8(path) + ": not a regular file");
    return file;
}

QByteArray ReadAll(const TFileHandle& file, const QString& path)
{
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(file.Get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw TDecodeError(Utf8(path) + ": " + std::strerror(errno));
        if (n == 0)
            return bytes;
        bytes.append(chunk, n);
    }
}

// Pictures with transparency (icons) lie on white, as on a fresh bitmap.
void DecodeWithQt(const QString& path, const TFileHandle& handle, const QByteArray& format, TBitmap& out)
{
    QFile file;
    if (!file.open(handle.Get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        throw TDecodeError(Utf8(path) + ": " + Utf8(file.errorString()));
    // Qt's readers take pictures whose header promises a size the bitmaps
    // cannot hold (a side over TBitmap::MaxSide): refused before and after.
    const auto overLimit = [](const QSize& size) {
        return size.width() > TBitmap::MaxSide || size.height() > TBitmap::MaxSide ||
               int64_t{size.width()} * size.height() > MaxPicturePixels;
    };
    QImageReader reader(&file, format);
    const QSize size = reader.size();
    if (size.isValid() && overLimit(size))
        throw TDecodeError(Utf8(path) + ": picture is over the size limit");
    QImage image = reader.read();
    if (image.isNull())
        throw TDecodeError(Utf8(path) + ": " + Utf8(reader.errorString()));
    if (overLimit(image.size()))
        throw TDecodeError(Utf8(path) + ": picture is over the size limit");
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
    const TFileHandle file = OpenRegularFile(path);
    const QString ext = QFileInfo(path).suffix().toLower();
    TBitmap loaded;
    if (ext == "jpg" || ext == "jpeg") {
        const QByteArray bytes = ReadAll(file, path);
        try {
            DecodeJpeg(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()), loaded);
        } catch (const TDecodeError& e) {
            throw TDecodeError(Utf8(path) + ": " + e.what());
        }
    } else if (ext == "emf" || ext == "wmf") {
        throw TDecodeError(Utf8(path) + ": metafile pictures (." + Utf8(ext) + ") cannot be shown");
    } else if (QImageReader::supportedImageFormats().contains(ext.toLatin1())) {
        DecodeWithQt(path, file, ext.toLatin1(), loaded);
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
