// Feeds arbitrary bytes to the widget's picture loader, which chooses the
// picture module's decoder or one of Qt's image readers by the content, as
// the classic show loads (cut files refused) and as the widget's load() does
// (cut JPEGs shown): each load either succeeds with a picture within the
// size limit or throws TDecodeError, and a failed load leaves the picture
// held before.
#include "surface/jpeg.h"
#include "view/picture.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace {

struct TFixture {
    TFixture()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz_picture";
        static char* argv[] = {name, nullptr};
        app = std::make_unique<QGuiApplication>(argc, argv);
        if (!dir.isValid())
            std::abort();
    }
    std::unique_ptr<QGuiApplication> app;
    QTemporaryDir dir;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TFixture fixture;
    const QString path = fixture.dir.filePath(QStringLiteral("input"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char*>(data), qint64(size));
    }
    for (const bool acceptTruncated : {false, true}) {
        mirel::TPicture picture;
        picture.Assign(mirel::TBitmap(3, 2));
        int changes = 0;
        picture.OnChange = [&] { ++changes; };
        try {
            picture.LoadFromFile(path, {.AcceptTruncated = acceptTruncated});
        } catch (const mirel::TDecodeError&) {
            if (changes != 0 || picture.Width() != 3 || picture.Height() != 2)
                std::abort();
            continue;
        }
        if (changes != 1 || picture.Empty() || int64_t{picture.Width()} * picture.Height() > mirel::MaxPicturePixels)
            std::abort();
    }
    return 0;
}
