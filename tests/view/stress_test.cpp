// Threaded transitions started, held, stepped, stopped and destroyed at
// random moments. A deadlock trips the watchdog; races show under
// ThreadSanitizer, leaks under AddressSanitizer.
#include "view_test_util.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>

namespace mirel::test {
namespace {

// Aborts the process if the test is still running after the limit.
class TWatchdog {
public:
    explicit TWatchdog(int seconds)
        : thread_([this, seconds] {
              std::unique_lock lock(mutex_);
              if (!done_cv_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
                  std::fprintf(stderr, "watchdog: still running after %d s, deadlocked?\n", seconds);
                  std::abort();
              }
          })
    {
    }
    ~TWatchdog()
    {
        {
            const std::lock_guard lock(mutex_);
            done_ = true;
        }
        done_cv_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable done_cv_;
    bool done_ = false;
    std::thread thread_;
};

// Runs the event loop for about ms milliseconds.
void Pump(int ms)
{
    WaitUntil([] { return false; }, ms);
}

TEST(ViewStress, FiveHundredTransitionsStartedAndStoppedAtRandom)
{
    const TWatchdog watchdog(120);
    std::mt19937 rng(20240611);
    const auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };

    TTransitionView view;
    ShowExposed(view);
    const TBitmap wide(64, 48, 0xFFFF0000u), tall(40, 56, 0xFF0000FFu);
    int starts = 0, stops = 0, completes = 0;
    std::atomic<int> frames{0};
    view.OnStart = [&](QObject*, TBitmap&, TBitmap&) { ++starts; };
    view.OnStop = [&](QObject*) { ++stops; };
    view.OnComplete = [&](QObject*) { ++completes; };
    view.OnAfterNewFrame = [&](QObject*, TBitmap&, TBitmap&) { frames.fetch_add(1, std::memory_order_relaxed); };

    for (int i = 0; i < 500; ++i) {
        view.Picture().Assign(i % 2 == 0 ? wide : tall);
        if (view.Busy())
            view.Stop();
        view.SetStyle(uniform(1, 57));
        view.SetStep(uniform(1, 100));
        view.SetDelay(uniform(0, 3));
        view.SetReverse(uniform(0, 3) == 0);
        view.SetCenter(uniform(0, 1) == 1);
        view.Execute();
        ASSERT_TRUE(view.Busy() || stops == starts);
        Pump(uniform(0, 8));
        switch (uniform(0, 5)) {
        case 0: // hold it, step it by hand, let it go on
            view.SetManual(true);
            view.SetProgress(uniform(0, 100));
            Pump(uniform(0, 2));
            view.SetManual(false);
            break;
        case 1: // a frame from the GUI thread while the worker steps
            view.SetProgress(uniform(0, 100));
            break;
        case 2: // left running into the next Stop
            continue;
        default:
            break;
        }
        Pump(uniform(0, 3));
        view.Stop();
        ASSERT_FALSE(view.Busy());
    }
    view.Stop();
    EXPECT_EQ(starts, 500);
    EXPECT_EQ(stops, 500);
    EXPECT_LE(completes, 500);
    EXPECT_GT(frames.load(), 500);
    EXPECT_FALSE(view.Busy());
}

TEST(ViewStress, ControlsDestroyedAtRandomMoments)
{
    const TWatchdog watchdog(60);
    std::mt19937 rng(7);
    const auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    int endEvents = 0;
    for (int i = 0; i < 60; ++i) {
        auto* view = new TTransitionView;
        if (uniform(0, 1) == 1)
            ShowExposed(*view);
        view->OnStop = [&](QObject*) { ++endEvents; };
        view->OnComplete = [&](QObject*) { ++endEvents; };
        Fill(view->Picture(), 48, 36, 0xFF00FF00u);
        view->SetStyle(uniform(1, 57));
        view->SetStep(uniform(1, 10));
        view->SetDelay(uniform(0, 2));
        view->Execute();
        Pump(uniform(0, 6));
        const bool busy = view->Busy();
        delete view;
        if (busy) {
            EXPECT_EQ(endEvents, 0) << "transition " << i;
        }
        endEvents = 0;
    }
}

} // namespace
} // namespace mirel::test
