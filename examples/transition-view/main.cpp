// A window with a caption and the transition widget below it, playing one
// transition after another between two pictures: two files given on the
// command line, or two made here. With --once it quits after the first
// transition, with status 0 when that transition completed.
#include "view/transition_view.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <exception>

namespace {

// A diagonal blend between two colours.
void MakePicture(mirel::TBitmap& bitmap, uint32_t from, uint32_t to)
{
    bitmap.SetSize(240, 160);
    for (int32_t y = 0; y < bitmap.Height(); ++y)
        for (int32_t x = 0; x < bitmap.Width(); ++x) {
            const uint32_t t = uint32_t(255 * (x + y) / (bitmap.Width() + bitmap.Height()));
            uint32_t pixel = 0xFF000000u;
            for (int shift = 0; shift <= 16; shift += 8) {
                const uint32_t a = (from >> shift) & 0xFF, b = (to >> shift) & 0xFF;
                pixel |= ((a * (255 - t) + b * t) / 255) << shift;
            }
            bitmap.SetPixel(x, y, pixel);
        }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool once = args.removeAll(QStringLiteral("--once")) > 0;

    mirel::TBitmap pictures[2];
    try {
        if (args.size() == 2) {
            for (int i = 0; i < 2; ++i) {
                mirel::TPicture file;
                file.LoadFromFile(args[i]);
                pictures[i].Assign(file.Bitmap());
            }
        } else {
            MakePicture(pictures[0], 0xFF1C2340u, 0xFF4A90D9u);
            MakePicture(pictures[1], 0xFFFFD23Fu, 0xFF3C8D40u);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "transition-view-example: %s\n", e.what());
        return 2;
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("Mirel transition view"));
    auto* layout = new QVBoxLayout(&window);
    auto* caption = new QLabel(&window);
    auto* view = new mirel::TTransitionView(&window);
    layout->addWidget(caption);
    layout->addWidget(view);

    view->SetStyleName(QStringLiteral("Circular reveal from centre"));
    view->SetStep(10);
    view->SetDelay(20);
    int next = 0;
    auto play = [&] {
        view->Picture().Assign(pictures[next]);
        next = 1 - next;
        caption->setText(QString::number(view->Style()) + QStringLiteral(": ") + view->StyleName());
        view->Execute();
    };
    // OnComplete comes on the GUI thread once the last frame is shown.
    view->OnComplete = [&](QObject*) {
        if (once) {
            app.exit(0);
            return;
        }
        view->SetStyle(view->Style() % mirel::MaxShowStyle + 1);
        QTimer::singleShot(1000, &window, play);
    };
    if (once)
        QTimer::singleShot(20000, &app, [&] {
            std::fputs("transition-view-example: the transition did not end\n", stderr);
            app.exit(1);
        });

    window.show();
    QTimer::singleShot(0, &window, play);
    return app.exec();
}
