// Whole threaded transitions of a picture the size of the widget (1920x1080
// unless --size says otherwise), with the default Step 4 and Delay 40: the
// time from Execute to OnStop (aim: at most 1.1 s for the 25 frames), and
// what the worker spends on each frame. On the offscreen platform unless
// QT_QPA_PLATFORM names another.
//
//   mirel_bench_view [--size WxH] [--style N] [runs per style, default 5]
//   mirel_bench_view --size WxH --picture PWxPH [--style N] [runs]
//   mirel_bench_view [--size WxH] --pictures OLD NEW [--style N] [runs]
//
// The pictures are made in memory, or with --pictures read from two files of
// the widget's size by the widget's own loader (TPicture::LoadFromFile).
//
// With --picture, pictures of that size in a widget of --size that follows
// the picture's size (AutoSize, as in the show): the frames are built at the
// picture's size and the window shows the widget's top left. At the end the
// peak resident memory, and the resident memory once a small picture has
// replaced the large ones.
//
// With --style, that style alone, and a last line summing it up for
// widget_vs_crossfade.sh: "work" is the copy, build and paint of a frame,
// "cpu" the process's CPU time over the runs divided by their frames.
//
// Before the timing, the widget takes its first picture in one step, so that
// the transitions timed start from a picture on show, as the cross-fade's do.
//
// Per frame the worker builds the frame into Display (the old screen and the
// effect over it; the styles with a compose form are left to the paint,
// which composes them where it paints) and waits while the GUI thread paints
// it; the rest of Delay it sleeps. "build" is the worker thread's CPU time
// from one OnProgress to the next (all it does in between is build the
// frame), "paint" the GUI thread's over the same time (the paint of the frame
// area, event delivery included; for a transition's first frame, its start
// too). No frame handler is set: with OnBeforeNewFrame the widget would copy
// the old screen into Display for it before every effect, and with either
// it would build every frame into Display.
#include "bench/process_stats.h"
#include "view/picture.h"
#include "view/transition_view.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QtTest/QTest>

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <mutex>
#include <utility>
#include <vector>

namespace {

using namespace mirel;
using namespace mirel::bench;
using Clock = std::chrono::steady_clock;

int32_t W = 1920, H = 1080;
int32_t PW = 0, PH = 0; // the pictures' size, when not the widget's

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void Pattern(TBitmap& bmp, uint32_t salt)
{
    for (int32_t y = 0; y < bmp.Height(); ++y)
        for (int32_t x = 0; x < bmp.Width(); ++x)
            bmp.SetPixel(x, y, 0xFF000000u | ((uint32_t(x) * 7 + uint32_t(y) * 13 + salt) & 0xFFFFFF));
}

struct TFrameTimes {
    std::mutex Lock;
    double GuiLast = 0;
    std::vector<double> Build, Paint;
};

// The CPU time of a thread (this process's, by its clock), in ms.
double CpuMsOf(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// This thread's CPU time, in ms.
double ThreadCpuMs() { return CpuMsOf(CLOCK_THREAD_CPUTIME_ID); }

double Mean(const std::vector<double>& v)
{
    double sum = 0;
    for (double x : v)
        sum += x;
    return v.empty() ? 0 : sum / double(v.size());
}

double Max(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }


double CopyMs()
{
    TBitmap a(PW, PH), b(PW, PH);
    Pattern(a, 1);
    const auto t0 = Clock::now();
    constexpr int n = 20;
    for (int i = 0; i < n; ++i)
        b.Canvas().DrawBitmap(0, 0, a);
    return Ms(Clock::now() - t0) / n;
}

} // namespace

int main(int argc, char** argv)
{
    // Read before QApplication, which would take --style for a QStyle.
    int runs = 5;
    std::vector<int> styles = {51, 1, 10, 37, 57};
    std::vector<char*> qtArgs = {argv[0]};
    const char* files[2] = {nullptr, nullptr};
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--pictures") && i + 2 < argc) {
            files[0] = argv[++i];
            files[1] = argv[++i];
        } else if (!std::strcmp(argv[i], "--size") && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &W, &H) != 2 || W < 1 || H < 1) {
                std::fprintf(stderr, "mirel_bench_view: --size wants WIDTHxHEIGHT\n");
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--picture") && i + 1 < argc) {
            if (std::sscanf(argv[++i], "%dx%d", &PW, &PH) != 2 || PW < 1 || PH < 1) {
                std::fprintf(stderr, "mirel_bench_view: --picture wants WIDTHxHEIGHT\n");
                return 2;
            }
        } else if (!std::strcmp(argv[i], "--style") && i + 1 < argc) {
            styles = {std::atoi(argv[++i])};
            if (styles[0] < 1 || styles[0] > 150) {
                std::fprintf(stderr, "mirel_bench_view: --style wants 1 to 150\n");
                return 2;
            }
        } else if (argv[i][0] == '-') {
            qtArgs.push_back(argv[i]);
        } else {
            runs = std::max(1, std::atoi(argv[i]));
        }
    }
    if (files[0] != nullptr && PW > 0) {
        std::fprintf(stderr, "mirel_bench_view: --pictures and --picture do not go together\n");
        return 2;
    }
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = int(qtArgs.size());
    qtArgs.push_back(nullptr);
    QApplication app(qtArgc, qtArgs.data());

    const bool ownSize = PW > 0;
    if (!ownSize) {
        PW = W;
        PH = H;
    }
    QWidget window;
    window.resize(W, H);
    TTransitionView* shown = new TTransitionView(&window);
    TTransitionView& view = *shown;
    view.SetAutoSize(ownSize);
    view.resize(W, H);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        std::fprintf(stderr, "the window was never exposed\n");
        return 1;
    }
    // Measured before the pictures are made, so that its two bitmaps do not
    // count in the peak memory.
    const double copyMs = ownSize ? 0 : CopyMs();
    // Two pictures of the widget's size, handed over in turn and kept, as
    // the hand-written cross-fade keeps its two (the widget shares their
    // pixels); each is made when it is first handed over, as an application
    // loads a picture when it is to be shown (the cross-fade needs its two
    // from its first frame on, the widget needs none before it takes it).
    // Large pictures are made for each transition and handed over, so that
    // the peak is the widget's own.
    TBitmap pictures[2];
    const auto handOver = [&](int which) {
        if (!ownSize) {
            if (pictures[which].Empty() && files[0] != nullptr) {
                TPicture loaded;
                try {
                    loaded.LoadFromFile(QString::fromLocal8Bit(files[which]));
                } catch (const std::exception& e) {
                    std::fprintf(stderr, "mirel_bench_view: %s\n", e.what());
                    std::exit(2);
                }
                if (loaded.Width() != PW || loaded.Height() != PH) {
                    std::fprintf(stderr, "mirel_bench_view: %s is not a %dx%d picture\n", files[which], PW, PH);
                    std::exit(2);
                }
                pictures[which].Share(loaded.Bitmap());
            } else if (pictures[which].Empty()) {
                pictures[which].SetSize(PW, PH);
                Pattern(pictures[which], which == 0 ? 0 : 0x5A5A5A);
            }
            view.Picture().Assign(pictures[which]);
            return;
        }
        TBitmap picture(PW, PH);
        Pattern(picture, which == 0 ? 0 : 0x5A5A5A);
        view.Picture().Assign(std::move(picture));
    };

    TFrameTimes times;
    bool stopped = false;
    int frames = 0;
    clockid_t guiClock{};
    pthread_getcpuclockid(pthread_self(), &guiClock);
    view.OnProgress = [&](QObject*) {
        // On the worker. Each transition's worker is a new thread, whose
        // clock starts at 0.
        thread_local double last = 0;
        const double now = ThreadCpuMs(), gui = CpuMsOf(guiClock);
        const std::lock_guard lock(times.Lock);
        times.Build.push_back(now - last);
        times.Paint.push_back(gui - times.GuiLast);
        last = now;
        times.GuiLast = gui;
        ++frames;
    };
    view.OnStop = [&](QObject*) { stopped = true; };

    std::printf("threaded transitions, %dx%d picture in a %dx%d window, Step %d, Delay %d ms, %s\n", PW, PH, W, H,
                view.Step(), view.Delay(), qPrintable(QGuiApplication::platformName()));
    std::printf("one full-frame copy, for comparison: %.2f ms\n\n", copyMs);
    std::printf("%-6s %-34s %7s %10s %10s %9s %9s %9s\n", "style", "name", "frames", "mean s", "max s",
                "build ms", "paint ms", "max ms");

    // One whole transition, in the event loop.
    const auto play = [&] {
        stopped = false;
        {
            const std::lock_guard lock(times.Lock);
            times.GuiLast = CpuMsOf(guiClock);
        }
        view.Execute();
        while (!stopped)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };

    int which = 0;
    // The widget shows a picture before the timing starts, as the
    // cross-fade's window shows its first: that picture comes in one step,
    // from the empty control, whose old screen (of Color) is made then.
    handOver(which);
    which ^= 1;
    view.SetStep(100);
    play();
    view.SetStep(4);
    // The peak of the process so far, and from here on that of the timed
    // transitions alone, from what they start from: the two pictures and the
    // frame on show (the old screen of the first one, kept by the surface
    // for the next frame, goes back; a style that needs a frame maps one
    // afresh, as it would take that one).
    const long startPeak = PeakResidentKiB();
    TBitmap::ReleaseSpare();
    ResetPeakResident();
    double cpu = 0, wallMs = 0, seconds1 = 0, work = 0, workMax = 0;
    int framesAll = 0;
    for (const int style : styles) {
        view.SetStyle(style);
        std::vector<double> seconds;
        {
            const std::lock_guard lock(times.Lock);
            times.Build.clear();
            times.Paint.clear();
        }
        int framesPerRun = 0;
        const double cpu0 = CpuMs();
        QElapsedTimer wall;
        wall.start();
        for (int run = 0; run < runs; ++run) {
            handOver(which);
            which ^= 1;
            frames = 0;
            QElapsedTimer timer;
            timer.start();
            play();
            seconds.push_back(double(timer.nsecsElapsed()) / 1e9);
            framesPerRun = frames;
            framesAll += frames;
            if (styles.size() > 1)
                QTest::qWait(50);
        }
        cpu = CpuMs() - cpu0;
        wallMs = double(wall.nsecsElapsed()) / 1e6;
        seconds1 = Mean(seconds);
        std::vector<double> perFrame;
        {
            const std::lock_guard lock(times.Lock);
            for (size_t i = 0; i < times.Build.size() && i < times.Paint.size(); ++i)
                perFrame.push_back(times.Build[i] + times.Paint[i]);
            std::printf("%-6d %-34s %7d %10.3f %10.3f %9.2f %9.2f %9.2f\n", style,
                        view.StyleName().toStdString().c_str(), framesPerRun, Mean(seconds), Max(seconds),
                        Mean(times.Build), Mean(times.Paint), Max(perFrame));
            work = Mean(times.Build) + Mean(times.Paint);
            workMax = Max(perFrame);
        }
    }
    std::printf("\n\"max ms\" is the slowest frame's build + paint\n");
    if (styles.size() == 1 && framesAll > 0)
        std::printf("RESULT frames=%d transition_s=%.3f work_ms=%.2f work_max_ms=%.2f cpu_ms=%.2f cpu_pct=%.0f "
                    "run_peak_kb=%ld whole_peak_kb=%ld own_kb=%ld\n",
                    framesAll, seconds1, work, workMax, cpu / framesAll, 100.0 * cpu / wallMs, PeakResidentKiB(),
                    std::max(startPeak, PeakResidentKiB()), PrivateDirtyKiB());
    if (ownSize) {
        const long peak = std::max(startPeak, PeakResidentKiB());
        view.Picture().Assign(TBitmap(640, 480, 0xFF336699u));
        play();
        std::printf("memory: peak resident %ld MiB; %ld MiB once a 640x480 picture has replaced them\n",
                    peak / 1024, ResidentKiB() / 1024);
    }
    return 0;
}
