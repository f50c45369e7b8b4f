// The worker thread of a threaded transition: steps the progress of its
// control by Step percent per frame, paced by the painting of each frame and
// by Delay, until the end is reached or it is told to end. When its loop has
// ended, whatever ended it, it posts WM_THREADDONE to the control, whose GUI
// thread then frees it.
//
// A std::thread rather than a QThread: its join is a synchronisation that
// ThreadSanitizer sees, so the handing back of the control's state at the end
// of a transition can be checked.
#pragma once

#include <QEvent>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace mirel {

class TCustomTransitionView;
class TAnimateThread;

// WM_THREADDONE, naming the thread that posted it.
class TThreadDoneEvent : public QEvent {
public:
    explicit TThreadDoneEvent(TAnimateThread* thread);
    TAnimateThread* const Thread;
};

class TAnimateThread {
public:
    // Starts at once; the thread takes the control's ThreadPriority.
    explicit TAnimateThread(TCustomTransitionView& Control);
    // Tells the thread to end and waits for it.
    ~TAnimateThread();
    TAnimateThread(const TAnimateThread&) = delete;
    TAnimateThread& operator=(const TAnimateThread&) = delete;

    // Tells the loop to end and wakes it from its waits. Any thread.
    void Terminate();
    bool Terminated() const { return FTerminated.load(std::memory_order_acquire); }
    // True once the loop has begun.
    bool Started() const { return FStarted.load(std::memory_order_acquire); }
    // Waits until the thread has ended; at once if it has. GUI thread only.
    void WaitFor();
    // The worker running on the calling thread, if any.
    static TAnimateThread* Current();
    TCustomTransitionView& Owner() const { return Control; }
    // What ended the loop when a frame failed; read after WaitFor.
    std::exception_ptr Error() const { return FError; }

private:
    void Run();
    void Execute();
    void NextFrame();
    void SleepUntil(std::chrono::steady_clock::time_point due);

    TCustomTransitionView& Control;
    std::atomic<bool> FStarted{false};
    std::atomic<bool> FTerminated{false};
    std::exception_ptr FError;
    std::mutex SleepLock;
    std::condition_variable SleepWake;
    std::thread FThread;
};

} // namespace mirel
