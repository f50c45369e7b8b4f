// Termination signals as events: SIGTERM, SIGINT and SIGHUP end the show
// the way a key does, on the GUI thread, so that it cleans up after itself.
//
// The handler only writes the signal's number into a pipe; a socket
// notifier on the GUI thread reads it and calls OnSignal.
#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace mirel {

class TSignalWatch : public QObject {
public:
    // Installs the handlers; one watch per process. Throws TShowError when
    // the pipe cannot be made.
    explicit TSignalWatch(QObject* parent = nullptr);
    // Restores the default actions.
    ~TSignalWatch() override;

    // Called on the GUI thread with the signal's number.
    std::function<void(int Signal)> OnSignal;

    // The signals watched.
    static constexpr int Signals[] = {15 /* SIGTERM */, 2 /* SIGINT */, 1 /* SIGHUP */};

private:
    void Read();

    QSocketNotifier* notifier_ = nullptr;
};

} // namespace mirel
