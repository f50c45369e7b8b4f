// One show per user and display.
//
// The first instance listens on a local socket named from the application
// title, the user and the display. A later start finds it there, asks it to
// restore and raise its window, and is told so, so that it can quit.
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

    // Becomes the instance that later starts find under name (a socket left
    // by an instance that crashed is replaced). False when that fails; the
    // show then simply runs without being found.
    bool Listen(const QString& name);

    // Called on the GUI thread when a later start asks for the window.
    std::function<void()> OnRestore;

private:
    void Accept();

    QLocalServer* server_ = nullptr;
};

} // namespace mirel
