// The Qt Quick TransitionView beside the cross-fade a QML developer writes
// by hand: two Images of the window's size, the upper one's opacity taken
// from 0 to 1 by a NumberAnimation of one second. Both play whole
// transitions between two pictures of the window's size, in turns.
//
//   mirel_bench_quick [--size WxH] [--style N | --crossfade] [transitions, default 5]
//
// The TransitionView runs its defaults (4 % a frame, 40 ms a frame: 25
// frames a transition); the animation runs at the scene graph's pace, so
// the two are held against each other per frame ("cpu") and per second of
// transition ("cpu %"). A frame is a frame the window swapped. The last
// line sums it up as key=value pairs, as the widget's bench does.
#include "bench/pattern_image.h"
#include "bench/process_stats.h"
#include "surface/bitmap.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExtensionPlugin>
#include <QQuickImageProvider>
#include <QQuickItem>
#include <QQuickView>

#include <cstdio>
#include <cstring>
#include <vector>

Q_IMPORT_QML_PLUGIN(Mirel_TransitionsPlugin)

namespace {

using namespace mirel::bench;

// image://bench/0 and image://bench/1, the two pictures.
class TPictures : public QQuickImageProvider {
public:
    explicit TPictures(const QImage (&pictures)[2])
        : QQuickImageProvider(QQuickImageProvider::Image), pictures_(pictures)
    {
    }
    QImage requestImage(const QString& id, QSize* size, const QSize&) override
    {
        const QImage& image = pictures_[id == QLatin1String("1") ? 1 : 0];
        *size = image.size();
        return image;
    }

private:
    const QImage (&pictures_)[2];
};

const char* const TransitionScene = R"(
import QtQuick
import Mirel.Transitions
TransitionView { id: view; objectName: "view"; color: "black" }
)";

// Opacity runs from 0 to 1 over the lower picture; "run" starts it with the
// pictures swapped, as a slide show steps on.
const char* const CrossFadeScene = R"(
import QtQuick
Item {
    id: root
    signal finished()
    property int shown: 0
    function run() {
        lower.source = "image://bench/" + shown
        shown = 1 - shown
        upper.source = "image://bench/" + shown
        fade.restart()
    }
    Image { id: lower; anchors.fill: parent; cache: false; asynchronous: false }
    Image { id: upper; anchors.fill: parent; cache: false; asynchronous: false; opacity: 0 }
    NumberAnimation { id: fade; target: upper; property: "opacity"; from: 0; to: 1; duration: 1000
                      onFinished: root.finished() }
}
)";

} // namespace

int main(int argc, char** argv)
{
    // Read before QApplication, which would take --style for a QStyle.
    int w = 1920, h = 1080, runs = 5, style = 118;
    bool crossFade = false;
    std::vector<char*> qtArgs = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--size") && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &w, &h) != 2 || w < 1 || h < 1) {
                std::fprintf(stderr, "mirel_bench_quick: --size wants WIDTHxHEIGHT\n");
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--style") && i + 1 < argc) {
            style = std::atoi(argv[++i]);
            if (style < 1 || style > 150) {
                std::fprintf(stderr, "mirel_bench_quick: --style wants 1 to 150\n");
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--crossfade")) {
            crossFade = true;
        } else if (argv[i][0] == '-') {
            qtArgs.push_back(argv[i]);
        } else {
            runs = std::max(1, std::atoi(argv[i]));
        }
    }
    int qtArgc = int(qtArgs.size());
    qtArgs.push_back(nullptr);
    QApplication app(qtArgc, qtArgs.data());

    const QImage pictures[2] = {PatternImage(w, h, 0), PatternImage(w, h, 0x5A5A5A)};
    QQuickView window;
    window.engine()->addImageProvider(QStringLiteral("bench"), new TPictures(pictures));
    window.setResizeMode(QQuickView::SizeRootObjectToView);
    QQmlComponent component(window.engine());
    component.setData(crossFade ? CrossFadeScene : TransitionScene, QUrl());
    auto* root = qobject_cast<QQuickItem*>(component.create());
    if (root == nullptr) {
        std::fprintf(stderr, "mirel_bench_quick: %s\n", qPrintable(component.errorString()));
        return 1;
    }
    window.setContent(QUrl(), &component, root);
    window.resize(w, h);
    window.show();

    size_t frames = 0;
    QObject::connect(&window, &QQuickWindow::frameSwapped, [&] { ++frames; });
    if (crossFade) {
        QObject::connect(root, SIGNAL(finished()), &app, SLOT(quit()));
    } else {
        root->setProperty("style", style);
        QObject::connect(root, SIGNAL(completed()), &app, SLOT(quit()));
    }
    const auto play = [&](int run) {
        if (crossFade) {
            QMetaObject::invokeMethod(root, "run");
        } else {
            root->setProperty("image", pictures[(run + 1) % 2]);
            QMetaObject::invokeMethod(root, "execute");
        }
        app.exec();
    };
    // The first picture, shown before the timed transitions.
    if (crossFade)
        QMetaObject::invokeMethod(root, "run");
    else
        root->setProperty("image", pictures[0]);
    if (!crossFade)
        QMetaObject::invokeMethod(root, "execute");
    app.exec();

    std::printf("%s, %dx%d window, %s, scene graph %s\n",
                crossFade ? "hand-written QML cross-fade (NumberAnimation on opacity, 1 s)"
                          : qPrintable(QStringLiteral("TransitionView style %1").arg(style)),
                w, h, qPrintable(QGuiApplication::platformName()),
                qPrintable(QQuickWindow::sceneGraphBackend().isEmpty() ? QStringLiteral("default")
                                                                        : QQuickWindow::sceneGraphBackend()));
    const long startPeak = PeakResidentKiB();
    ResetPeakResident();
    mirel::TBitmap::ResetPeakPixelBytes();
    frames = 0;
    const double cpu0 = CpuMs();
    QElapsedTimer wall;
    wall.start();
    for (int run = 1; run <= runs; ++run)
        play(run);
    const double cpu = CpuMs() - cpu0, wallMs = double(wall.nsecsElapsed()) / 1e6;
    // What the end of the last transition lets go.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::printf("%zu frames in %d transitions, %.3f s per transition, cpu %.2f ms a frame, %.0f %% of one core\n",
                frames, runs, wallMs / 1e3 / runs, cpu / double(frames), 100.0 * cpu / wallMs);
    std::printf("RESULT frames=%zu transition_s=%.3f cpu_ms=%.2f cpu_pct=%.0f run_peak_kb=%ld whole_peak_kb=%ld "
                "own_kb=%ld bitmaps_peak_kb=%zu\n",
                frames, wallMs / 1e3 / runs, cpu / double(frames), 100.0 * cpu / wallMs, PeakResidentKiB(),
                std::max(startPeak, PeakResidentKiB()), PrivateDirtyKiB(), mirel::TBitmap::PeakPixelBytes() / 1024);
    return 0;
}
