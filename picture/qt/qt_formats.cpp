#include "picture/qt/qt_formats.h"

#include "picture/decoders.h"
#include "picture/load.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageIOHandler>
#include <QImageReader>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <tiffio.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace mirel {

namespace {

// Qt's readers warn about what they read (a TGA reader asked about anything
// else, a seek past the end of a TIFF), and libtiff, which Qt's TIFF reader
// leaves its errors to, writes them to standard error itself: while this
// thread reads, that is no business of the program's output, which gives
// the reason a picture is refused in one line. Messages of any other time go
// on to the handlers before (set once, while other threads may already
// report).
thread_local int Reading = 0;
std::atomic<QtMessageHandler> Before{nullptr};
std::atomic<TIFFErrorHandler> TiffErrorBefore{nullptr};
std::atomic<TIFFErrorHandler> TiffWarningBefore{nullptr};

void OnTiffError(const char* module, const char* format, va_list arguments)
{
    const TIFFErrorHandler before = TiffErrorBefore.load();
    if (Reading == 0 && before != nullptr)
        before(module, format, arguments);
}

void OnTiffWarning(const char* module, const char* format, va_list arguments)
{
    const TIFFErrorHandler before = TiffWarningBefore.load();
    if (Reading == 0 && before != nullptr)
        before(module, format, arguments);
}

void OnQtMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (Reading > 0 && type != QtFatalMsg)
        return;
    if (const QtMessageHandler before = Before.load())
        before(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qFormatLogMessage(type, context, message).toLocal8Bit().constData());
}

struct TReading {
    TReading() { ++Reading; }
    ~TReading() { --Reading; }
    TReading(const TReading&) = delete;
    TReading& operator=(const TReading&) = delete;
};

// Qt reads only TGA 2.0 files, which end in this signature: it is asked
// about no other file.
bool HasTgaFooter(const uint8_t* data, size_t size)
{
    static constexpr char footer[] = "TRUEVISION-XFILE.";
    return size >= 26 && std::memcmp(data + size - sizeof footer, footer, sizeof footer) == 0;
}

int64_t ImageBytes(int64_t width, int64_t height, int bitsPerPixel)
{
    return (width * bitsPerPixel + 31) / 32 * 4 * height;
}

// The size with the picture's aspect that just covers the hint, no larger
// than the picture; the picture's own without a hint.
QSize Covering(QSize size, int32_t fitWidth, int32_t fitHeight)
{
    if (fitWidth <= 0 || fitHeight <= 0)
        return size;
    const double s = std::max(double(fitWidth) / size.width(), double(fitHeight) / size.height());
    if (s >= 1)
        return size;
    return {std::max(1, int(std::ceil(size.width() * s))), std::max(1, int(std::ceil(size.height() * s)))};
}

class TQtPictureFormats final : public TOtherPictureFormats {
public:
    TQtPictureFormats()
    {
        // Qt's readers of the formats the loader decodes itself are not
        // asked: what reaches them is no picture of those formats by its
        // signature (Qt's icon reader would take a TGA for a cursor). Formats
        // without a signature come last, since their readers take what
        // others would: a TGA's or a WBMP's header is little more than sizes.
        std::vector<QByteArray> weak;
        const QList<QByteArray> all = QImageReader::supportedImageFormats();
        for (const QByteArray& format : all) {
            const QByteArray name = format.toLower();
            extensions_.push_back(name.toStdString());
            // One name for each reader: "tiff" for "tif" as well.
            if (IsPictureFile("." + extensions_.back()) || (name == "tif" && all.contains("tiff")))
                continue;
            (name == "tga" || name == "wbmp" ? weak : formats_).push_back(name);
        }
        formats_.insert(formats_.end(), weak.begin(), weak.end());
    }

    bool ReadsExtension(std::string_view extension) const override
    {
        return std::find(extensions_.begin(), extensions_.end(), extension) != extensions_.end();
    }

    bool Decode(const uint8_t* data, size_t size, TBitmap& out, const TLoadOptions& options) const override
    {
        QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
        QBuffer buffer(&bytes);
        if (!buffer.open(QIODevice::ReadOnly))
            return false;
        const TReading reading;
        for (const QByteArray& format : formats_) {
            if (format == "tga" && !HasTgaFooter(data, size))
                continue;
            buffer.seek(0);
            QImageReader reader(&buffer, format);
            reader.setAutoDetectImageFormat(false);
            if (reader.canRead()) {
                Read(reader, out, options);
                return true;
            }
        }
        return false;
    }

private:
    // The picture the reader, whose format knows the content, reads.
    static void Read(QImageReader& reader, TBitmap& out, const TLoadOptions& options)
    {
        const std::string format = reader.format().toUpper().toStdString();
        reader.setAutoTransform(true);
        const QImageIOHandler::Transformations turn = reader.transformation();
        const QSize stored = reader.size();
        if (stored.isValid()) {
            picture::CheckPictureSize(stored.width(), stored.height());
            // The hint is upright, the decoder's size as stored.
            QSize decoded = stored;
            if (reader.supportsOption(QImageIOHandler::ScaledSize)) {
                const bool across = turn.testFlag(QImageIOHandler::TransformationRotate90);
                decoded = Covering(stored, across ? options.FitHeight : options.FitWidth,
                                   across ? options.FitWidth : options.FitHeight);
                if (decoded != stored)
                    reader.setScaledSize(decoded);
            }
            // What Qt reads is the picture itself when it is 32 bits a pixel
            // and stays where it is; any other depth is converted into a new
            // one, and turning the picture copies it.
            const QImage::Format as = reader.imageFormat();
            const int bits = as == QImage::Format_Invalid ? 32 : QImage::toPixelFormat(as).bitsPerPixel();
            const int64_t read = ImageBytes(decoded.width(), decoded.height(), bits);
            const bool turns = turn != QImageIOHandler::TransformationNone;
            picture::CheckWorkingMemory((bits != 32 ? read : 0) + (turns ? read : 0), options.MemoryBudget);
        }
        QImage image;
        if (!reader.read(&image))
            throw TDecodeError("broken " + format + " picture: " + reader.errorString().toStdString());
        picture::CheckPictureSize(image.width(), image.height());
        // In place where Qt can (32-bit formats), else into a new image.
        image.convertTo(QImage::Format_ARGB32);
        if (image.isNull())
            throw TDecodeError(picture::OutOfMemory);
        // The bitmap shows Qt's pixels instead of copying them: 32-bit rows
        // have no padding.
        auto owner = std::make_shared<const QImage>(std::move(image));
        out.ShowPixels(reinterpret_cast<const uint32_t*>(owner->constBits()), owner->width(), owner->height(), owner);
    }

    std::vector<std::string> extensions_;
    // Those of Qt's formats that are asked, in order.
    std::vector<QByteArray> formats_;
};

} // namespace

void UseQtPictureFormats()
{
    static const bool once = [] {
        // Qt refuses from its side what the loader would refuse: the larger
        // of the largest picture at 32 bits a pixel and the budget.
        const int64_t bytes = std::max(MaxPicturePixels * 4, PictureMemoryBudget());
        QImageReader::setAllocationLimit(int(std::min<int64_t>((bytes + (int64_t{1} << 20) - 1) >> 20, INT_MAX)));
        static const TQtPictureFormats formats;
        Before = qInstallMessageHandler(OnQtMessage);
        TiffErrorBefore = TIFFSetErrorHandler(OnTiffError);
        TiffWarningBefore = TIFFSetWarningHandler(OnTiffWarning);
        SetOtherPictureFormats(&formats);
        return true;
    }();
    (void)once;
}

} // namespace mirel
