#include "app/single_instance.h"

#include "app/messages.h"

#include <QGuiApplication>
#include <QLocalServer>
#include <QLocalSocket>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace mirel {

namespace {

constexpr int AnswerTimeoutMs = 1000;
const QByteArray RestoreRequest = "restore\n";
const QByteArray QuitRequest = "quit\n";
constexpr int RetryMs = 20;
// Requests are one short line; a client that sends more without ending a
// line is cut off rather than buffered.
constexpr qint64 MaxRequestBytes = 4096;

} // namespace

TSingleInstance::TSingleInstance(QObject* parent) : QObject(parent) {}

TSingleInstance::~TSingleInstance()
{
    if (lockFd_ >= 0)
        ::close(lockFd_);
}

QString TSingleInstance::LockPath(const QString& name, const QString& fallbackFolder)
{
    const QString file = QFileInfo(name).fileName() + QStringLiteral(".lock");
    if (name.contains(QLatin1Char('/')))
        return QFileInfo(name).path() + QLatin1Char('/') + file;
    return fallbackFolder + QLatin1Char('/') + file;
}

TSingleInstance::TLock TSingleInstance::Lock(const QString& path)
{
    if (lockFd_ >= 0)
        return TLock::Acquired;
    QDir().mkpath(QFileInfo(path).path());
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return TLock::Unavailable;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? TLock::Held : TLock::Unavailable;
    }
    lockFd_ = fd;
    return TLock::Acquired;
}

bool TSingleInstance::RestoreRunning(const QString& name, int waitMs)
{
    return SendWaiting(name, RestoreRequest, waitMs);
}

bool TSingleInstance::AskToQuit(const QString& name, int waitMs)
{
    return SendWaiting(name, QuitRequest, waitMs);
}

bool TSingleInstance::SendWaiting(const QString& name, const QByteArray& request, int waitMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        if (Send(name, request))
            return true;
        if (clock.elapsed() >= waitMs)
            return false;
        QThread::msleep(RetryMs);
    }
}

TSingleInstance::TLock TSingleInstance::LockWaiting(const QString& path, int waitMs)
{
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const TLock lock = Lock(path);
        if (lock != TLock::Held || clock.elapsed() >= waitMs)
            return lock;
        QThread::msleep(RetryMs);
    }
}

QString TSingleInstance::ServerName(const QString& title)
{
    // Instances on different displays cannot show each other's window.
    QString display = QGuiApplication::platformName();
    const QString x11 = qEnvironmentVariable("DISPLAY"), wayland = qEnvironmentVariable("WAYLAND_DISPLAY");
    if (!wayland.isEmpty())
        display += QLatin1Char('-') + wayland;
    else if (!x11.isEmpty())
        display += QLatin1Char('-') + x11;
    QString name = QStringLiteral("mirel-%1-%2-%3").arg(title).arg(::getuid()).arg(display);
    for (QChar& c : name)
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_') && c != QLatin1Char('.'))
            c = QLatin1Char('_');
    // The user's private runtime folder where there is one, rather than /tmp.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return runtime.isEmpty() ? name : runtime + QLatin1Char('/') + name;
}

bool TSingleInstance::RestoreRunning(const QString& name)
{
    return Send(name, RestoreRequest);
}

bool TSingleInstance::Send(const QString& name, const QByteArray& request)
{
    QLocalSocket socket;
    socket.connectToServer(name);
    if (!socket.waitForConnected(AnswerTimeoutMs))
        return false;
    socket.write(request);
    const bool sent = socket.waitForBytesWritten(AnswerTimeoutMs);
    socket.disconnectFromServer();
    return sent;
}

bool TSingleInstance::Listen(const QString& name)
{
    delete server_;
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name)) {
        // The lock is ours, so the socket is a leftover.
        QLocalServer::removeServer(name);
        if (!server_->listen(name))
            return false;
    }
    connect(server_, &QLocalServer::newConnection, this, [this] { Accept(); });
    return true;
}

void TSingleInstance::Accept()
{
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        // Qt then reads no more than this from the connection until the
        // show has taken lines out.
        socket->setReadBufferSize(MaxRequestBytes);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            Guarded([&] {
                while (socket->canReadLine()) {
                    const QByteArray line = socket->readLine(MaxRequestBytes + 1);
                    if (line == RestoreRequest && OnRestore)
                        OnRestore();
                    else if (line == QuitRequest && OnQuit)
                        OnQuit();
                }
                if (socket->bytesAvailable() >= MaxRequestBytes)
                    socket->abort();
            });
        });
    }
}

} // namespace mirel
