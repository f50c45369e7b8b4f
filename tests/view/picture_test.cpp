// Loading pictures by extension, and the failures that keep the old one.
#include "view_test_util.h"

#include "surface/jpeg.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

namespace mirel::test {
namespace {

class ViewPicture : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return dir_.filePath(name); }

    QString SaveImage(const QString& name, const QImage& image, const char* format)
    {
        const QString path = Path(name);
        EXPECT_TRUE(image.save(path, format)) << name.toStdString();
        return path;
    }

    QString SaveBytes(const QString& name, const QByteArray& bytes)
    {
        const QString path = Path(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    static QImage Solid(int w, int h, QColor color)
    {
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(color);
        return image;
    }

    QTemporaryDir dir_;
};

TEST_F(ViewPicture, LoadsByExtension)
{
    struct {
        const char* Name;
        const char* Format;
    } const files[] = {{"a.jpg", "JPG"}, {"b.JPEG", "JPG"}, {"c.bmp", "BMP"}, {"d.png", "PNG"}};
    for (const auto& f : files) {
        TPicture picture;
        picture.LoadFromFile(SaveImage(f.Name, Solid(37, 21, QColor(0, 0, 255)), f.Format));
        ASSERT_EQ(picture.Width(), 37) << f.Name;
        EXPECT_EQ(picture.Height(), 21) << f.Name;
        // JPEG is lossy: blue stays near blue.
        const uint32_t c = picture.Bitmap().Pixel(18, 10);
        EXPECT_GT(c & 0xFF, 0xF0u) << f.Name;
        EXPECT_LT((c >> 16) & 0xFF, 0x10u) << f.Name;
    }
}

TEST_F(ViewPicture, IconsLieOnWhite)
{
    QImage icon(16, 16, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter(&icon).fillRect(0, 0, 8, 16, Qt::red);
    TPicture picture;
    picture.LoadFromFile(SaveImage("i.ico", icon, "ICO"));
    ASSERT_EQ(picture.Width(), 16);
    EXPECT_EQ(picture.Bitmap().Pixel(2, 2), 0xFFFF0000u);
    EXPECT_EQ(picture.Bitmap().Pixel(12, 2), clWhite);
}

TEST_F(ViewPicture, FailuresNameTheFileAndKeepThePicture)
{
    const QString missing = Path("missing.jpg");
    const QString broken = SaveBytes("broken.jpg", QByteArray("not a jpeg at all"));
    const QString metafile = SaveBytes("drawing.emf", QByteArray(64, '\0'));
    const QString unknown = SaveBytes("notes.xyz", QByteArray("text"));
    const QString truncated = [&] {
        QByteArray bytes;
        QFile f(SaveImage("whole.jpg", Solid(64, 64, Qt::red), "JPG"));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return SaveBytes("cut.jpg", f.readAll().left(100));
    }();

    for (const QString& path : {missing, broken, metafile, unknown, truncated}) {
        TPicture picture;
        Fill(picture, 5, 6, clWhite);
        int changes = 0;
        picture.OnChange = [&] { ++changes; };
        try {
            picture.LoadFromFile(path);
            ADD_FAILURE() << "loaded " << path.toStdString();
        } catch (const TDecodeError& e) {
            EXPECT_NE(std::string(e.what()).find(path.toStdString()), std::string::npos) << e.what();
        }
        EXPECT_EQ(picture.Width(), 5) << path.toStdString();
        EXPECT_EQ(changes, 0);
    }
}

TEST_F(ViewPicture, ControlKeepsItsPictureWhenALoadFails)
{
    TTransitionView view;
    Fill(view.Picture(), 40, 30, clWhite);
    int changes = 0;
    view.OnChange = [&](QObject*) { ++changes; };
    EXPECT_THROW(view.Picture().LoadFromFile(Path("none.bmp")), TDecodeError);
    EXPECT_EQ(view.Picture().Width(), 40);
    EXPECT_EQ(view.size(), QSize(40, 30));
    EXPECT_EQ(changes, 0);

    view.Picture().LoadFromFile(SaveImage("ok.bmp", Solid(50, 20, Qt::green), "BMP"));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(view.size(), QSize(50, 20));
}

} // namespace
} // namespace mirel::test
