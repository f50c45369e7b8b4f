// The synchronisation between the widget and its worker thread: a
// manual-reset event, a scope that holds a canvas's lock, and events posted
// from the worker to the GUI thread.
#pragma once

#include "surface/bitmap.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>

#include <condition_variable>
#include <mutex>

namespace mirel {

// A flag that stays set until reset. Waits for it can also be cut short by a
// second condition (a thread told to end).
class TManualResetEvent {
public:
    explicit TManualResetEvent(bool signalled) : signalled_(signalled) {}
    TManualResetEvent(const TManualResetEvent&) = delete;
    TManualResetEvent& operator=(const TManualResetEvent&) = delete;

    void Set()
    {
        {
            const std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        wake_.notify_all();
    }

    void Reset()
    {
        const std::lock_guard lock(mutex_);
        signalled_ = false;
    }

    bool IsSet() const
    {
        const std::lock_guard lock(mutex_);
        return signalled_;
    }

    // Waits until the event is set or abandon() turns true. Whoever makes
    // abandon() true must call Wake() afterwards.
    template <class TPredicate>
    void WaitFor(TPredicate abandon)
    {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return signalled_ || abandon(); });
    }

    // Makes waiters test their abandon condition again.
    void Wake()
    {
        { const std::lock_guard lock(mutex_); }
        wake_.notify_all();
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool signalled_;
};

// Holds a canvas's re-entrant lock for a scope.
class TCanvasLock {
public:
    explicit TCanvasLock(TCanvas& canvas) : canvas_(canvas) { canvas_.Lock(); }
    ~TCanvasLock() { canvas_.Unlock(); }
    TCanvasLock(const TCanvasLock&) = delete;
    TCanvasLock& operator=(const TCanvasLock&) = delete;

private:
    TCanvas& canvas_;
};

// Qt's event queue synchronises through its own futex-based mutex, which
// ThreadSanitizer cannot see. A post from the worker therefore releases on
// the receiver's address, and the receiver acquires it before it reads the
// event, so that the hand-over of the event is seen as the ordering it is.
#if defined(__SANITIZE_THREAD__)
#define MIREL_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define MIREL_TSAN 1
#endif
#endif

#ifdef MIREL_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
inline void AnnotateAcquire(QObject* receiver) { __tsan_acquire(receiver); }
inline void AnnotateRelease(QObject* receiver) { __tsan_release(receiver); }
#else
inline void AnnotateAcquire(QObject*) {}
inline void AnnotateRelease(QObject*) {}
#endif

inline void PostToGuiThread(QObject* receiver, QEvent* event)
{
    AnnotateRelease(receiver);
    QCoreApplication::postEvent(receiver, event);
}

} // namespace mirel
