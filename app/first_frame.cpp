#include "app/first_frame.h"

#include "view/transition_view.h"

#include <QEvent>
#include <QFile>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>

#include <unistd.h>

namespace mirel {

namespace {

std::chrono::steady_clock::time_point MainStarted;

// Milliseconds since the process started, from the kernel's start time
// (field 22 of /proc/self/stat, in clock ticks since boot); -1 if unknown.
double SinceProcessStart()
{
    QFile stat(QStringLiteral("/proc/self/stat"));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The command name in parentheses may hold spaces; fields follow the last ')'.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 20)
        return -1;
    const double startSeconds = fields[19].toDouble() / double(::sysconf(_SC_CLK_TCK));
    timespec now{};
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    return (double(now.tv_sec) + double(now.tv_nsec) * 1e-9 - startSeconds) * 1000.0;
}

class TFirstFrameWatch : public QObject {
public:
    explicit TFirstFrameWatch(TCustomTransitionView& view) : QObject(&view)
    {
        // The worker reports a built frame; the next paint shows it.
        view.OnProgress = [this, previous = view.OnProgress](QObject* Sender) {
            frameBuilt_.store(true);
            if (previous)
                previous(Sender);
        };
        view.installEventFilter(this);
    }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && frameBuilt_.load() && !reported_) {
            reported_ = true;
            // Measured once the paint has been handled and flushed.
            QTimer::singleShot(0, this, [] { Report(); });
        }
        return false;
    }

private:
    static void Report()
    {
        const double sinceMain =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - MainStarted).count();
        timespec wall{};
        ::clock_gettime(CLOCK_REALTIME, &wall);
        std::fprintf(stderr, "mirel-show: first frame painted %.1f ms after main, %.0f ms after process start, at %lld.%09ld\n",
                     sinceMain, SinceProcessStart(), static_cast<long long>(wall.tv_sec), wall.tv_nsec);
        std::fflush(stderr);
    }

    std::atomic<bool> frameBuilt_{false};
    bool reported_ = false;
};

} // namespace

void NoteMainStarted()
{
    MainStarted = std::chrono::steady_clock::now();
}

void WatchFirstFrame(TCustomTransitionView& view)
{
    if (qEnvironmentVariableIsEmpty("MIREL_SHOW_TIMING"))
        return;
    new TFirstFrameWatch(view);
}

} // namespace mirel
