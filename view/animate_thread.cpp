#include "view/animate_thread.h"

#include "view/transition_view.h"
#include "view/transition_view_p.h"

#include <QCoreApplication>

#include <chrono>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace mirel {

namespace {

// Called by the thread itself. Idle is a scheduling class of its own; the
// other levels are nice values of this thread. Raising a priority needs a
// privilege the process may not have; then the thread runs at normal.
void ApplyPriority(TThreadPriority priority)
{
#ifdef __linux__
    if (priority == tpIdle) {
        const sched_param param{};
        pthread_setschedparam(pthread_self(), SCHED_IDLE, &param);
        return;
    }
    static constexpr int Nice[] = {0, 10, 5, 0, -5, -10, -20};
    const int nice = Nice[int(priority)];
    if (nice != 0)
        setpriority(PRIO_PROCESS, id_t(gettid()), nice);
#else
    (void)priority;
#endif
}

} // namespace

namespace {
thread_local TAnimateThread* CurrentWorker = nullptr;
} // namespace

TAnimateThread* TAnimateThread::Current()
{
    return CurrentWorker;
}

TThreadDoneEvent::TThreadDoneEvent(TAnimateThread* thread) : QEvent(WM_THREADDONE), Thread(thread) {}

TAnimateThread::TAnimateThread(TCustomTransitionView& control)
    : Control(control), FThread([this, priority = control.ThreadPriority()] {
          ApplyPriority(priority);
          Run();
      })
{
}

TAnimateThread::~TAnimateThread()
{
    Terminate();
    WaitFor();
}

void TAnimateThread::WaitFor()
{
    if (FThread.joinable())
        FThread.join();
}

void TAnimateThread::Terminate()
{
    FTerminated.store(true, std::memory_order_release);
    { const std::lock_guard lock(SleepLock); }
    SleepWake.notify_all();
    Control.d->FrameEvent.Wake();
}

void TAnimateThread::Run()
{
    CurrentWorker = this;
    try {
        Execute();
    } catch (...) {
        FError = std::current_exception();
    }
    PostToGuiThread(&Control, new TThreadDoneEvent(this));
}

void TAnimateThread::Execute()
{
    FStarted.store(true, std::memory_order_release);
    // Frames are Delay apart from start to start; what the frame took,
    // its wait for the previous paint included, is not slept again. Kept to
    // the microsecond, so that rounding to whole milliseconds does not add
    // up over the frames of a transition.
    using Clock = std::chrono::steady_clock;
    while (!Terminated()) {
        const Clock::time_point t0 = Clock::now();
        NextFrame();
        if (!Terminated()) {
            const Clock::time_point due = t0 + std::chrono::milliseconds(Control.Delay());
            if (Clock::now() <= due)
                SleepUntil(due);
        }
    }
}

// One frame: wait until the previous one has been painted, then build and
// show the next.
void TAnimateThread::NextFrame()
{
    Control.d->FrameEvent.WaitFor([this] { return Terminated(); });
    if (Terminated())
        return;
    Control.d->FrameEvent.Reset();
    Control.d->SetProgressOn(this, Control.d->NextProgress());
    if (Control.d->EndReached())
        FTerminated.store(true, std::memory_order_release);
}

// A sleep that Terminate cuts short, so that Stop never waits out a Delay.
void TAnimateThread::SleepUntil(std::chrono::steady_clock::time_point due)
{
    std::unique_lock lock(SleepLock);
    SleepWake.wait_until(lock, due, [this] { return Terminated(); });
}

} // namespace mirel
