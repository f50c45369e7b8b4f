// Keeps the screen from blanking while the show runs.
//
// Where a session bus answers, the desktop's screen saver service
// (org.freedesktop.ScreenSaver) is asked to hold off blanking; otherwise,
// on X, the server's own screen saver (and with it power saving) is
// suspended through the MIT-SCREEN-SAVER extension, or reset every few
// seconds where that extension is missing. Released when the guard ends
// (and by the bus and the X server anyway when the process ends).
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

class QTimer;

namespace mirel {

class TBlankingGuard : public QObject {
public:
    explicit TBlankingGuard(QObject* parent = nullptr);
    ~TBlankingGuard() override;

    // Starts holding off blanking; reason is shown by desktops that list
    // who holds it off. Does nothing when already started.
    void Start(const QString& reason);
    void Release();

    // How blanking is held off: "dbus", "x11-suspend", "x11-reset" or "".
    QString Method() const { return method_; }

private:
    bool StartDBus(const QString& reason);
    bool StartX11();

    QString method_;
    uint32_t cookie_ = 0;
    QTimer* reset_ = nullptr;
};

} // namespace mirel
