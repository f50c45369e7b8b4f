// Helpers for the widget's tests: pictures, waiting in the event loop, and a
// thread-safe record of the events a transition fires.
#pragma once

#include "tests/same_bitmaps.h"
#include "view/transition_view.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace mirel::test {

inline void Fill(TPicture& picture, int32_t w, int32_t h, uint32_t color)
{
    const TBitmap bitmap(w, h, color);
    picture.Assign(bitmap);
}

constexpr uint32_t Red = 0xFFFF0000u, Green = 0xFF00FF00u, Blue = 0xFF0000FFu;

// Four quadrants of distinct colours, so that placement and scaling show.
constexpr uint32_t QuadTL = 0xFFFF0000u, QuadTR = 0xFF00FF00u, QuadBL = 0xFF0000FFu, QuadBR = 0xFFFFFF00u;
inline void FillQuadrants(TPicture& picture, int32_t w, int32_t h)
{
    TBitmap bitmap(w, h);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x)
            bitmap.SetPixel(x, y, y < h / 2 ? (x < w / 2 ? QuadTL : QuadTR) : (x < w / 2 ? QuadBL : QuadBR));
    picture.Assign(bitmap);
}

// Runs the event loop until done() or the time is up; says whether done().
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
    return true;
}

inline void ShowExposed(QWidget& w)
{
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
}

inline bool AllPixels(const TBitmap& b, const TRect& r, uint32_t color)
{
    for (int32_t y = r.Top; y < r.Bottom; ++y)
        for (int32_t x = r.Left; x < r.Right; ++x)
            if (b.Pixel(x, y) != color)
                return false;
    return true;
}

// Every event of a transition, in order, with the progress of the frame
// events and whether each ran on the GUI thread.
class TRecorder {
public:
    explicit TRecorder(TCustomTransitionView& view)
    {
        view.OnStart = [this](QObject*, TBitmap&, TBitmap& screen) {
            Add("Start");
            const std::lock_guard lock(mutex_);
            StartScreen.Assign(screen);
        };
        view.OnBeforeNewFrame = [this, &view](QObject*, TBitmap&, TBitmap&) { Add("Before", view.Progress()); };
        view.OnCustomDraw = [this, &view](QObject*, TBitmap&, TBitmap&) { Add("Custom", view.Progress()); };
        view.OnAfterNewFrame = [this, &view](QObject*, TBitmap&, TBitmap&) { Add("After", view.Progress()); };
        view.OnProgress = [this, &view](QObject*) {
            Add("Progress", view.Progress());
            const std::lock_guard lock(mutex_);
            progress_.push_back(view.Progress());
        };
        view.OnComplete = [this](QObject*) { Add("Complete"); };
        view.OnStop = [this](QObject*) { Add("Stop"); };
    }

    std::vector<std::string> Events() const
    {
        const std::lock_guard lock(mutex_);
        return events_;
    }
    std::vector<int> ProgressValues() const
    {
        const std::lock_guard lock(mutex_);
        return progress_;
    }
    int Count(const std::string& name) const
    {
        const std::lock_guard lock(mutex_);
        int n = 0;
        for (const auto& e : events_)
            n += e == name;
        return n;
    }
    bool FrameEventsOnGuiThread() const
    {
        const std::lock_guard lock(mutex_);
        return frameOnGui_;
    }
    bool FrameEventsOffGuiThread() const
    {
        const std::lock_guard lock(mutex_);
        return frameOffGui_;
    }
    bool Stopped() const { return Count("Stop") > 0; }
    void Clear()
    {
        const std::lock_guard lock(mutex_);
        events_.clear();
        progress_.clear();
    }

    TBitmap StartScreen;

private:
    void Add(const std::string& name, int progress = -1)
    {
        const bool gui = QThread::currentThread() == QCoreApplication::instance()->thread();
        const std::lock_guard lock(mutex_);
        events_.push_back(name);
        if (progress >= 0) {
            frameOnGui_ = frameOnGui_ || gui;
            frameOffGui_ = frameOffGui_ || !gui;
        }
    }

    mutable std::mutex mutex_;
    std::vector<std::string> events_;
    std::vector<int> progress_;
    bool frameOnGui_ = false;
    bool frameOffGui_ = false;
};

} // namespace mirel::test
