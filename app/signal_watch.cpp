#include "app/signal_watch.h"

#include "app/messages.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace mirel {

namespace {

// [0] is read on the GUI thread, [1] written by the handler.
int Pipe[2] = {-1, -1};

static_assert(TSignalWatch::Signals[0] == SIGTERM && TSignalWatch::Signals[1] == SIGINT
              && TSignalWatch::Signals[2] == SIGHUP);

extern "C" void OnTerminationSignal(int signal)
{
    const int saved = errno;
    const unsigned char number = static_cast<unsigned char>(signal);
    // A full pipe already holds a request to end: nothing is lost.
    [[maybe_unused]] const ssize_t written = ::write(Pipe[1], &number, 1);
    errno = saved;
}

} // namespace

TSignalWatch::TSignalWatch(QObject* parent) : QObject(parent)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, Pipe) != 0)
        throw TShowError(QStringLiteral("Cannot watch for signals: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    notifier_ = new QSocketNotifier(Pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { Read(); });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : Signals)
        ::sigaction(signal, &action, nullptr);
}

TSignalWatch::~TSignalWatch()
{
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int signal : Signals)
        ::sigaction(signal, &action, nullptr);
    delete notifier_;
    ::close(Pipe[0]);
    ::close(Pipe[1]);
    Pipe[0] = Pipe[1] = -1;
}

void TSignalWatch::Read()
{
    unsigned char number = 0;
    while (::read(Pipe[0], &number, 1) == 1) {
        if (OnSignal)
            Guarded([&] { OnSignal(number); });
    }
}

} // namespace mirel
