// A cross-fade between two pictures as a Qt developer writes one by hand: a
// window-sized widget paints the old picture, then the new one over it with
// QPainter::setOpacity, and a 40 ms QTimer steps the opacity by 4 % (25
// frames a transition, the transition widget's defaults). The yardstick for
// the widget's own benchmark, mirel_bench_view --style 118 (its fade); run
// both with widget_vs_crossfade.sh.
//
//   mirel_bench_qt_crossfade [--size WxH] [--pictures OLD NEW] [transitions, default 5]
//
// The two pictures are made in memory, or with --pictures read from two
// files of the window's size by QImage, as an application reads them.
//
// Per frame: "paint" is the paint event (both drawImage calls), "interval"
// the time from one frame's paint to the next, "cpu" the process's CPU time
// over the whole run divided by its frames. The last line sums it up in the
// form widget_vs_crossfade.sh reads.
#include "bench/pattern_image.h"
#include "bench/process_stats.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <QWidget>
#include <QtTest/QTest>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

using namespace mirel::bench;

class TCrossFade : public QWidget {
public:
    QImage From, To;
    std::vector<double> PaintMs, IntervalMs;
    bool Done = true;

    TCrossFade()
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
        Timer.setInterval(40);
        connect(&Timer, &QTimer::timeout, this, [this] {
            Progress = std::min(100, Progress + 4);
            if (Progress == 100)
                Timer.stop();
            update();
        });
    }

    void Start()
    {
        Progress = 0;
        Done = false;
        LastFrame.invalidate();
        Timer.start();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QElapsedTimer t;
        t.start();
        {
            QPainter painter(this);
            painter.drawImage(0, 0, From);
            painter.setOpacity(Progress / 100.0);
            painter.drawImage(0, 0, To);
        }
        if (Done)
            return;
        PaintMs.push_back(double(t.nsecsElapsed()) / 1e6);
        if (LastFrame.isValid())
            IntervalMs.push_back(double(LastFrame.nsecsElapsed()) / 1e6);
        LastFrame.start();
        if (Progress == 100)
            Done = true;
    }

private:
    QTimer Timer;
    int Progress = 100;
    QElapsedTimer LastFrame;
};

double Mean(const std::vector<double>& v)
{
    double sum = 0;
    for (double x : v)
        sum += x;
    return v.empty() ? 0 : sum / double(v.size());
}

double Max(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    int w = 1920, h = 1080, runs = 5;
    const char* files[2] = {nullptr, nullptr};
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--pictures") && i + 2 < argc) {
            files[0] = argv[++i];
            files[1] = argv[++i];
        } else if (!std::strcmp(argv[i], "--size") && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &w, &h) != 2 || w < 1 || h < 1) {
                std::fprintf(stderr, "mirel_bench_qt_crossfade: --size wants WIDTHxHEIGHT\n");
                return 2;
            }
        } else {
            runs = std::max(1, std::atoi(argv[i]));
        }
    }

    TCrossFade view;
    view.resize(w, h);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) {
        std::fprintf(stderr, "the window was never exposed\n");
        return 1;
    }
    QImage pictures[2];
    for (int i = 0; i < 2; ++i) {
        if (files[0] == nullptr) {
            pictures[i] = PatternImage(w, h, i == 0 ? 0 : 0x5A5A5A);
            continue;
        }
        pictures[i] = QImage(QString::fromLocal8Bit(files[i]));
        if (pictures[i].size() != QSize(w, h)) {
            std::fprintf(stderr, "mirel_bench_qt_crossfade: %s is not a %dx%d picture\n", files[i], w, h);
            return 2;
        }
    }
    std::printf("hand-written QPainter cross-fade, %dx%d window, 40 ms QTimer, 4 %% a frame, %s\n", w, h,
                qPrintable(QGuiApplication::platformName()));

    // The peak so far, and from here on that of the transitions alone.
    const long startPeak = PeakResidentKiB();
    ResetPeakResident();
    const double cpu0 = CpuMs();
    QElapsedTimer wall;
    wall.start();
    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run) {
        view.From = pictures[run % 2];
        view.To = pictures[(run + 1) % 2];
        QElapsedTimer timer;
        timer.start();
        view.Start();
        while (!view.Done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
    }
    const double cpu = CpuMs() - cpu0, wallMs = double(wall.nsecsElapsed()) / 1e6;
    const size_t frames = view.PaintMs.size();

    std::printf("%zu frames in %d transitions, %.3f s per transition (max %.3f)\n", frames, runs, Mean(seconds),
                Max(seconds));
    std::printf("paint %.2f ms a frame (max %.2f), interval %.2f ms (max %.2f), cpu %.2f ms a frame, %.0f %% of "
                "one core\n",
                Mean(view.PaintMs), Max(view.PaintMs), Mean(view.IntervalMs), Max(view.IntervalMs),
                cpu / double(frames), 100.0 * cpu / wallMs);
    std::printf("RESULT frames=%zu transition_s=%.3f work_ms=%.2f work_max_ms=%.2f cpu_ms=%.2f cpu_pct=%.0f "
                "run_peak_kb=%ld whole_peak_kb=%ld own_kb=%ld\n",
                frames, Mean(seconds), Mean(view.PaintMs), Max(view.PaintMs), cpu / double(frames),
                100.0 * cpu / wallMs, PeakResidentKiB(), std::max(startPeak, PeakResidentKiB()), PrivateDirtyKiB());
    return 0;
}
