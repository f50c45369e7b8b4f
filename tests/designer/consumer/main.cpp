// An application with forms saved by Qt Designer: each form compiled by uic,
// and the same file loaded at run time with QUiLoader. Both must give the
// real widget with the form's property values, and no design-time frame.
// One form sets the widget's properties by their camelCase names, the other
// by their capitalised names.
//
//   designer_form_consumer QT.ui QT.txt CLASSIC.ui CLASSIC.txt
#include "ui_designer_form_classic.h"
#include "ui_designer_form_qt.h"

#include <mirel/transition_view.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QMap>
#include <QMetaProperty>
#include <QUiLoader>

#include <cstdio>
#include <memory>

namespace {

int failures = 0;

void Check(bool ok, const QString& how, const QString& what)
{
    if (!ok) {
        std::fprintf(stderr, "FAILED (%s): %s\n", qPrintable(how), qPrintable(what));
        ++failures;
    }
}

QString Text(const QMetaProperty& property, const QVariant& value)
{
    if (property.isEnumType())
        return QString::number(value.toInt());
    if (value.typeId() == QMetaType::QColor)
        return value.value<QColor>().name();
    return value.toString();
}

void CheckForm(QWidget* form, const QMap<QString, QString>& expected, const QString& how)
{
    auto* view = form->findChild<mirel::TTransitionView*>("view");
    Check(view != nullptr, how, "the form holds a mirel::TTransitionView named view");
    if (!view)
        return;
    Check(expected.value("class") == view->metaObject()->className(), how,
          QString("the class is %1").arg(view->metaObject()->className()));
    const QMetaObject* meta = view->metaObject();
    for (auto it = expected.begin(); it != expected.end(); ++it) {
        if (it.key() == "class" || it.key() == "geometry")
            continue;
        const int i = meta->indexOfProperty(it.key().toLatin1());
        const QString actual = i < 0 ? "(no such property)" : Text(meta->property(i), meta->property(i).read(view));
        Check(actual == it.value(), how, it.key() + " is " + actual + ", the form says " + it.value());
    }
    const QString geometry = QString("%1,%2,%3,%4").arg(view->x()).arg(view->y()).arg(view->width()).arg(view->height());
    Check(geometry == expected.value("geometry"), how, "geometry " + geometry + ", the form says " + expected.value("geometry"));

    // Without a picture the control is its colour, to the last pixel.
    const QImage image = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb inside = image.pixel(image.width() / 2, image.height() / 2);
    int odd = 0;
    for (int x = 0; x < image.width(); ++x)
        odd += (image.pixel(x, 0) != inside) + (image.pixel(x, image.height() - 1) != inside);
    for (int y = 0; y < image.height(); ++y)
        odd += (image.pixel(0, y) != inside) + (image.pixel(image.width() - 1, y) != inside);
    Check(odd == 0, how, QString("%1 pixels of the border differ from the colour: a design-time frame?").arg(odd));
}

QMap<QString, QString> Expected(const char* path)
{
    QMap<QString, QString> expected;
    QFile lines(QString::fromLocal8Bit(path));
    if (!lines.open(QIODevice::ReadOnly | QIODevice::Text))
        return expected;
    while (!lines.atEnd()) {
        const QString line = QString::fromUtf8(lines.readLine()).trimmed();
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            expected.insert(line.left(eq), line.mid(eq + 1));
    }
    return expected;
}

template <class TForm>
void CheckBoth(const char* formPath, const char* expectedPath, const QString& face)
{
    const QMap<QString, QString> expected = Expected(expectedPath);
    Check(expected.size() > 2, face, "the expected values are there");

    QWidget compiled;
    TForm ui;
    ui.setupUi(&compiled);
    CheckForm(&compiled, expected, face + ", uic");

    QUiLoader loader;
    QFile file(QString::fromLocal8Bit(formPath));
    file.open(QIODevice::ReadOnly);
    std::unique_ptr<QWidget> loaded(loader.load(&file));
    Check(loaded != nullptr, face + ", QUiLoader", "loads the form: " + loader.errorString());
    if (loaded)
        CheckForm(loaded.get(), expected, face + ", QUiLoader");
    if (failures == 0)
        std::printf("%s: the form builds with uic and loads with QUiLoader, %d properties as saved\n",
                    qPrintable(face), int(expected.size()) - 2);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 5) {
        std::fputs("usage: designer_form_consumer QT.ui QT.txt CLASSIC.ui CLASSIC.txt\n", stderr);
        return 2;
    }
    CheckBoth<Ui::QtFaceForm>(argv[1], argv[2], "Qt face");
    CheckBoth<Ui::ClassicFaceForm>(argv[3], argv[4], "classic face");
    return failures == 0 ? 0 : 1;
}
