// A window with a caption and the transition widget below it, playing one
// transition after another between two pictures: two files given on the
// command line, or two made here. With --once it quits after the first
// transition, with status 0 when that transition completed.
//
// Uses the installed package only (<mirel/transition_view.h>) and builds as
// C++17.
#include <mirel/transition_view.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

namespace {

// A diagonal blend between two colours.
QImage MakePicture(QColor from, QColor to)
{
    QImage image(240, 160, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const double t = double(x + y) / (image.width() + image.height());
            image.setPixelColor(x, y,
                                QColor::fromRgbF(float(from.redF() * (1 - t) + to.redF() * t),
                                                 float(from.greenF() * (1 - t) + to.greenF() * t),
                                                 float(from.blueF() * (1 - t) + to.blueF() * t)));
        }
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool once = args.removeAll(QStringLiteral("--once")) > 0;

    QWidget window;
    window.setWindowTitle(QStringLiteral("Mirel transition view"));
    auto* layout = new QVBoxLayout(&window);
    auto* caption = new QLabel(&window);
    auto* view = new mirel::TTransitionView(&window);
    layout->addWidget(caption);
    layout->addWidget(view);

    QImage pictures[2];
    if (args.size() == 2) {
        // Loaded once through the widget, then kept as QImages.
        for (int i = 0; i < 2; ++i) {
            QString error;
            if (!view->load(args[i], &error)) {
                std::fprintf(stderr, "transition-view-example: %s\n", qPrintable(error));
                return 2;
            }
            pictures[i] = view->image();
        }
    } else {
        pictures[0] = MakePicture(QColor(0x1C, 0x23, 0x40), QColor(0x4A, 0x90, 0xD9));
        pictures[1] = MakePicture(QColor(0xFF, 0xD2, 0x3F), QColor(0x3C, 0x8D, 0x40));
    }

    // Photos shown whole, whatever their size: the layout sizes the view.
    view->setFillMode(mirel::TTransitionView::FillMode::PreserveAspectFit);
    view->setStyleName(QStringLiteral("Circular reveal from centre"));
    view->setStep(10);
    view->setDelay(20);
    int next = 0;
    // The signals arrive on the GUI thread: the caption may be touched here.
    QObject::connect(view, &mirel::TTransitionView::progressChanged, caption, [&](int progress) {
        caption->setText(QStringLiteral("%1: %2 (%3%)").arg(view->transitionStyle()).arg(view->styleName()).arg(progress));
    });
    QObject::connect(view, &mirel::TTransitionView::completed, &window, [&] {
        if (once) {
            app.exit(0);
            return;
        }
        view->setTransitionStyle(view->transitionStyle() % mirel::TTransitionView::styleCount() + 1);
        QTimer::singleShot(1000, &window, [&] {
            view->setImage(pictures[next]);
            next = 1 - next;
            if (!view->execute())
                app.exit(1); // errorOccurred has said why
        });
    });
    if (once)
        QTimer::singleShot(20000, &app, [&] {
            std::fputs("transition-view-example: the transition did not end\n", stderr);
            app.exit(1);
        });

    QObject::connect(view, &mirel::TTransitionView::errorOccurred, &window,
                     [](const QString& error) { std::fprintf(stderr, "transition-view-example: %s\n", qPrintable(error)); });
    window.resize(480, 360);
    window.show();
    QTimer::singleShot(0, &window, [&] {
        view->setImage(pictures[next]);
        next = 1 - next;
        view->execute();
    });
    return app.exec();
}
