// One show per user and display.
//
// A lock decides: the start that holds an exclusive lock on a file named
// from the application title, the user and the display is the running show,
// for as long as its process lives; the kernel drops the lock when it ends,
// however it ends. The running show listens on a local socket of the same
// name, which only carries short requests: a later start of the built-in
// show that cannot take the lock asks it there to restore and raise its
// window, and quits; a later show of pictures asks the earlier one to end,
// and takes its place. A socket left behind by a show that was killed belongs to
// nobody's lock and is replaced by the next start. A request is a line of a
// few bytes: a connection that sends 4 KB without ending a line is dropped.
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;

namespace mirel {

class TSingleInstance : public QObject {
public:
    explicit TSingleInstance(QObject* parent = nullptr);
    ~TSingleInstance() override;

    // The socket name for title: the title, the user id and the display, with
    // every character that is unsafe in a file name replaced; a path in
    // $XDG_RUNTIME_DIR when that is set.
    static QString ServerName(const QString& title);

    // Asks the instance listening on name to restore its window. True when
    // one answered.
    static bool RestoreRunning(const QString& name);

    // The lock file for a socket name: beside the socket when that lives in
    // $XDG_RUNTIME_DIR, else in fallbackFolder.
    static QString LockPath(const QString& name, const QString& fallbackFolder);

    // Takes the lock at path and holds it for the life of this object.
    // Returns Acquired, Held (another process, or another instance in this
    // one, holds it) or Unavailable (the file cannot be made; then nothing
    // decides and the socket alone is asked).
    enum class TLock { Acquired, Held, Unavailable };
    TLock Lock(const QString& path);

    // Asks the running show to restore its window, trying for up to
    // waitMs: a show that has just taken the lock may not listen yet.
    static bool RestoreRunning(const QString& name, int waitMs);

    // Asks the show listening on name to end, trying for up to waitMs.
    // True when one answered.
    static bool AskToQuit(const QString& name, int waitMs);

    // Takes the lock at path, waiting up to waitMs for its holder to let go.
    TLock LockWaiting(const QString& path, int waitMs);

    // Becomes the instance that later starts find under name, replacing
    // any socket there: call it only while holding the lock. False when that
    // fails; the show then simply runs without being found.
    bool Listen(const QString& name);

    // Called on the GUI thread when a later start asks for the window.
    std::function<void()> OnRestore;
    // Called on the GUI thread when a later start asks this show to end.
    std::function<void()> OnQuit;

private:
    static bool Send(const QString& name, const QByteArray& request);
    static bool SendWaiting(const QString& name, const QByteArray& request, int waitMs);
    void Accept();

    QLocalServer* server_ = nullptr;
    int lockFd_ = -1;
};

} // namespace mirel
