// A timer that fires OnTimer every Interval milliseconds while Enabled.
// An interval of 0 (or less) never fires. Changing either property starts
// the count afresh.
#pragma once

#include <QObject>
#include <QTimer>

#include <functional>

namespace mirel {

class TTimer {
public:
    TTimer()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (OnTimer)
                OnTimer(&timer_);
        });
    }

    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value)
    {
        enabled_ = value;
        Update();
    }
    int Interval() const { return interval_; }
    void SetInterval(int value)
    {
        interval_ = value;
        Update();
    }
    // Whether ticks are actually coming.
    bool Active() const { return timer_.isActive(); }

    std::function<void(QObject* Sender)> OnTimer;

private:
    void Update()
    {
        if (enabled_ && interval_ > 0)
            timer_.start(interval_);
        else
            timer_.stop();
    }

    QTimer timer_;
    bool enabled_ = false;
    int interval_ = 1000;
};

} // namespace mirel
