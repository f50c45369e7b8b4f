// Keeps the screen from blanking while the show runs.
//
// Where a session bus answers, the desktop's screen saver service
// (org.freedesktop.ScreenSaver) is asked to hold off blanking; otherwise,
// on X, the server's own screen saver (and with it power saving) is
// suspended through the MIT-SCREEN-SAVER extension, or reset every few
// seconds where that extension is missing. Released when the guard ends
// (and by the bus and the X server anyway when the process ends).
//
// xscreensaver heeds neither the server's saver nor, without its D-Bus
// helper, the bus: while it runs beside the show it is told of activity
// now and then, as its manual asks of video players
// (xscreensaver-command -deactivate), except while it holds the screen
// locked, where that would raise its password dialog.
//
// A show that is itself the screen saver must hold nothing off: asking
// makes xscreensaver's helper end the saver, the show with it. Such a show
// does not start the guard.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

class QTimer;

namespace mirel {

// Call before the application starts: without DBUS_SESSION_BUS_ADDRESS the
// bus library would start a bus of its own for the display (dbus-launch
// --autolaunch) the first time anything asks for one, Qt's accessibility
// bridge at start-up among them, and that bus outlives the show by hours.
// Points the process at no bus instead; the guard then uses the X server.
void KeepToExistingSessionBus();

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
    void StartXScreensaverNudge();

    QString method_;
    uint32_t cookie_ = 0;
    QTimer* reset_ = nullptr;
    QTimer* nudge_ = nullptr;
};

} // namespace mirel
