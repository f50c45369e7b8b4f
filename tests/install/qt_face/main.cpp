// The widget as a Qt developer meets it, from the installed package alone:
//
//   qt_face [--form]
//
// Each check names what a user would have tripped on. --form also makes the
// widget through QUiLoader (the Designer plugin on QT_PLUGIN_PATH) and calls
// its invokable load() by name.
#include <mirel/transition_view.h>

#include <QApplication>
#include <QBuffer>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QPointer>
#include <QProcess>
#include <QScreen>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QUiLoader>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>
#include <memory>

namespace {

using mirel::TTransitionView;
using FillMode = TTransitionView::FillMode;

int failures = 0;

void Check(bool ok, const QString& what)
{
    if (!ok) {
        std::fprintf(stderr, "FAILED: %s\n", qPrintable(what));
        ++failures;
    }
}

bool WaitUntil(const std::function<bool()>& done)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 20000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// Left half red, right half blue: where the picture lands and how it is
// scaled show in a grab.
QImage Halves(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, x < w / 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    return image;
}

// The view's pixels after one whole transition to picture.
QImage ShownAfterTransition(TTransitionView& view, const QImage& picture)
{
    view.setImage(picture);
    bool done = false;
    const auto c = QObject::connect(&view, &TTransitionView::stopped, [&] { done = true; });
    view.execute();
    WaitUntil([&] { return done; });
    QObject::disconnect(c);
    return view.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool Near(QRgb a, QRgb b)
{
    return qAbs(qRed(a) - qRed(b)) < 8 && qAbs(qGreen(a) - qGreen(b)) < 8 && qAbs(qBlue(a) - qBlue(b)) < 8;
}

const QRgb Red = qRgb(255, 0, 0), Blue = qRgb(0, 0, 255), Grey = qRgb(40, 40, 40);

void FillModes()
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* view = new TTransitionView(&window);
    layout->addWidget(view);
    view->setColor(QColor(Grey));
    view->setStyle(118);
    view->setStep(50);
    view->setDelay(0);
    window.resize(120, 80);
    window.show();

    Check(view->fillMode() == FillMode::Pad, "the default fill mode is Pad, as before");
    const QImage wide = Halves(200, 50); // 4:1 into 3:2

    view->setFillMode(FillMode::PreserveAspectFit);
    QImage shot = ShownAfterTransition(*view, wide);
    // 200 x 50 fits as 120 x 30, centred: rows 25 to 54.
    Check(shot.size() == QSize(120, 80), "the window keeps its size: the layout's");
    Check(Near(shot.pixel(60, 10), Grey) && Near(shot.pixel(60, 70), Grey), "PreserveAspectFit: background above and below");
    Check(Near(shot.pixel(2, 40), Red) && Near(shot.pixel(117, 40), Blue), "PreserveAspectFit: the whole width, halves kept");
    Check(Near(shot.pixel(30, 23), Grey) && Near(shot.pixel(30, 26), Red) && Near(shot.pixel(90, 53), Blue) &&
              Near(shot.pixel(90, 56), Grey),
          "PreserveAspectFit: the picture on rows 25 to 54");

    view->setFillMode(FillMode::PreserveAspectCrop);
    shot = ShownAfterTransition(*view, wide);
    // Covers 120 x 80 as 320 x 80, its middle shown: the split stays in the middle.
    Check(Near(shot.pixel(5, 2), Red) && Near(shot.pixel(5, 77), Red) && Near(shot.pixel(115, 77), Blue),
          "PreserveAspectCrop: covers the control");
    Check(Near(shot.pixel(55, 40), Red) && Near(shot.pixel(65, 40), Blue), "PreserveAspectCrop: centred");

    view->setFillMode(FillMode::Stretch);
    shot = ShownAfterTransition(*view, wide);
    Check(Near(shot.pixel(1, 1), Red) && Near(shot.pixel(118, 78), Blue) && Near(shot.pixel(55, 40), Red) &&
              Near(shot.pixel(65, 40), Blue),
          "Stretch: the whole control, split in its middle");

    // Resized afterwards, the picture on show is fitted again.
    view->setFillMode(FillMode::PreserveAspectFit);
    window.resize(240, 80);
    WaitUntil([&] { return view->width() == 240; });
    QCoreApplication::processEvents();
    shot = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    // 200 x 50 into 240 x 80: 240 x 60, rows 10 to 69.
    Check(Near(shot.pixel(120, 4), Grey) && Near(shot.pixel(2, 40), Red) && Near(shot.pixel(237, 40), Blue),
          "PreserveAspectFit: fitted again after a resize");

    view->setFillMode(FillMode::Pad);
    view->setAutoSize(false);
    shot = ShownAfterTransition(*view, wide);
    Check(Near(shot.pixel(2, 2), Red) && Near(shot.pixel(199, 2), Blue) && Near(shot.pixel(2, 60), Grey),
          "Pad: unscaled at the top-left corner");

    view->setProperty("fillMode", 3); // Qt Quick's Tile: not offered
    Check(view->fillMode() == FillMode::Pad, "a fill mode without a name is ignored");
}

void SizeHint()
{
    TTransitionView view;
    Check(view.sizeHint() == QSize(100, 100), "without a picture, the control's own size");
    view.setImage(Halves(300, 200));
    Check(view.sizeHint() == QSize(300, 200), "the picture's size");
    Check(view.size() == QSize(300, 200), "with FillMode::Pad and autoSize, the control takes the picture's size");
    const QSize room = view.screen()->availableSize();
    view.setFillMode(FillMode::PreserveAspectFit);
    view.setImage(Halves(room.width() * 4, room.height() * 2));
    const QSize hint = view.sizeHint();
    Check(hint.width() <= room.width() && hint.height() <= room.height() &&
              qAbs(hint.width() - 2 * hint.height() * room.width() / room.height()) <= 2,
          QString("a photo larger than the screen is hinted within it, aspect kept: %1 x %2")
              .arg(hint.width()).arg(hint.height()));
    Check(view.size() == QSize(300, 200), "with a fill mode, loading does not resize the control");
}

void Connects()
{
    TTransitionView view;
    QSpinBox spin;
    spin.setRange(1, TTransitionView::styleCount());
    // Without qOverload: the setter has a name of its own.
    QObject::connect(&spin, &QSpinBox::valueChanged, &view, &TTransitionView::setTransitionStyle);
    spin.setValue(84);
    Check(view.transitionStyle() == 84, "setTransitionStyle from a spin box");
    view.setStyle(12); // the old name, for code that has it
    Check(view.transitionStyle() == 12, "setStyle(int) still sets the style");

    QComboBox combo;
    combo.addItems(TTransitionView::styleNames());
    Check(combo.count() == 150 && TTransitionView::styleCount() == 150, "150 styles to list");
    Check(combo.itemText(83) == "Circular reveal from centre", "style n is at n - 1: " + combo.itemText(83));
    QObject::connect(&combo, &QComboBox::currentTextChanged, &view, &TTransitionView::setStyleName);
    combo.setCurrentIndex(117);
    Check(view.transitionStyle() == 118 && view.styleName() == combo.currentText(), "setStyleName from a combo box");

    QStringList errors;
    QObject::connect(&view, &TTransitionView::errorOccurred, [&](const QString& e) { errors << e; });
    Check(!view.setStyleName("No such style") && view.transitionStyle() == 118, "an unknown name changes nothing");
    Check(errors.size() == 1 && errors[0].contains("No such style"), "an unknown name is reported: " + errors.join('|'));

    QStringList listed;
    Check(QMetaObject::invokeMethod(&view, "styleNames", Q_RETURN_ARG(QStringList, listed)) && listed.size() == 150,
          "styleNames() is invokable, as QML calls it");
}

// A call from the event loop (a timer) that cannot prepare its transition:
// a picture stretched over a control larger than any bitmap may be.
void ErrorsFromTheEventLoop()
{
    TTransitionView view;
    view.setFillMode(FillMode::Stretch);
    view.resize(20000, 20000);
    view.setImage(Halves(8, 8));
    QStringList errors;
    QObject::connect(&view, &TTransitionView::errorOccurred, [&](const QString& e) { errors << e; });
    QTimer::singleShot(0, &view, &TTransitionView::execute);
    WaitUntil([&] { return !errors.isEmpty(); });
    Check(errors.size() == 1, "execute() from a timer reports its failure once, the application lives on");
    Check(!view.isBusy(), "no transition is left half started");
    Check(!view.execute(), "execute() returns false when it fails");
    Check(errors.size() == 2 && !errors[1].isEmpty(), "and says why: " + errors.value(1));
    view.resize(40, 40);
    Check(view.execute(), "execute() returns true once it can start");
    view.stop();

    TTransitionView empty;
    Check(!empty.execute(), "execute() without a picture is false");
    QString error;
    Check(!empty.load("/nonexistent/picture.jpg", &error) && error.startsWith("/nonexistent/picture.jpg: "),
          "load() says why: " + error);
}

// Manual transitions end only when the application ends them.
void Manual()
{
    TTransitionView view;
    view.setImage(Halves(40, 30));
    view.setManual(true);
    int completed = 0, stopped = 0;
    QObject::connect(&view, &TTransitionView::completed, [&] { ++completed; });
    QObject::connect(&view, &TTransitionView::stopped, [&] { ++stopped; });
    Check(view.execute(), "a manual transition starts");
    view.setProgress(50);
    view.setProgress(100);
    QCoreApplication::processEvents();
    Check(view.isBusy() && completed == 0, "at 100 a manual transition is still running, as documented");
    view.setManual(false);
    WaitUntil([&] { return !view.isBusy(); });
    Check(completed == 1 && stopped == 1, "setManual(false) at the end completes it");
}

// A form's widget, made by QUiLoader through the Designer plugin: only the
// meta-object system to reach it.
void Form()
{
    const QByteArray ui = R"(<ui version="4.0"><class>Form</class>
<widget class="QWidget" name="Form"><widget class="mirel::TTransitionView" name="view">
<property name="fillMode"><enum>mirel::TViewEnums::PreserveAspectFit</enum></property>
</widget></widget></ui>)";
    QBuffer buffer;
    buffer.setData(ui);
    QUiLoader loader;
    std::unique_ptr<QWidget> form(loader.load(&buffer));
    QObject* view = form ? form->findChild<QObject*>("view") : nullptr;
    Check(view != nullptr && QByteArray(view->metaObject()->className()) == "mirel::TTransitionView",
          "QUiLoader makes the widget: " + loader.errorString());
    if (view == nullptr)
        return;
    Check(view->property("fillMode").toInt() == int(FillMode::PreserveAspectFit), "the form's fill mode is set");

    QTemporaryDir dir;
    const QString path = dir.filePath("p.png");
    Halves(30, 20).save(path);
    bool ok = false;
    Check(QMetaObject::invokeMethod(view, "load", Q_RETURN_ARG(bool, ok), Q_ARG(QString, path)) && ok,
          "load() is invokable by name");
    Check(view->property("image").value<QImage>().size() == QSize(30, 20), "and loads");
    QString error;
    ok = true;
    Check(QMetaObject::invokeMethod(view, "load", Q_RETURN_ARG(bool, ok), Q_ARG(QString, dir.filePath("none.png")),
                                    Q_ARG(QString*, &error)) && !ok,
          "load() with the error is invokable by name");
    Check(error.contains("none.png"), "and gives the error text: " + error);
}

// Pictures of every kind a photo folder holds, told by their content, not
// their names: the formats Qt writes, a GIF (which Qt only reads) made by
// ImageMagick, a JPEG named .png, a PNG named .jpg, a JPEG without a name's
// extension.
void Formats()
{
    QTemporaryDir dir;
    const QImage picture = Halves(30, 20);
    struct TFile {
        const char* Name;
        const char* Format;
    };
    const TFile files[] = {{"a.jpg", "JPEG"},  {"a.png", "PNG"},          {"a.bmp", "BMP"},
                           {"a.webp", "WEBP"}, {"a.tif", "TIFF"},         {"a.ico", "ICO"},
                           {"a.ppm", "PPM"},   {"a.jfif", "JPEG"},        {"jpeg-named.png", "JPEG"},
                           {"png-named.jpg", "PNG"}, {"no-extension", "JPEG"}};
    QStringList paths;
    for (const TFile& f : files) {
        paths << dir.filePath(f.Name);
        Check(picture.save(paths.last(), f.Format, 95), QString("Qt writes %1").arg(f.Name));
    }
    paths << dir.filePath("a.gif");
    Check(QProcess::execute("convert", {dir.filePath("a.png"), paths.last()}) == 0, "ImageMagick writes a GIF");
    for (const QString& path : paths) {
        TTransitionView view;
        QString error;
        const bool ok = view.load(path, &error);
        const QImage got = view.image();
        Check(ok && got.size() == QSize(30, 20) && Near(got.pixel(3, 10), Red) && Near(got.pixel(26, 10), Blue),
              "load() reads " + QFileInfo(path).fileName() + " by its content " + error);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    FillModes();
    SizeHint();
    Connects();
    ErrorsFromTheEventLoop();
    Manual();
    Formats();
    if (app.arguments().contains("--form"))
        Form();
    if (failures == 0)
        std::puts("qt_face: all checks passed");
    return failures == 0 ? 0 : 1;
}
