#include "app/blanking.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/scrnsaver.h>

namespace mirel {

namespace {

const QString Service = QStringLiteral("org.freedesktop.ScreenSaver");
const QString ObjectPath = QStringLiteral("/org/freedesktop/ScreenSaver");

// The X display of the application, when it runs on X.
Display* XDisplay()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return nullptr;
    const auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->display() : nullptr;
}

// xscreensaver's minimum timeout is a minute: twice in it leaves room for
// a late tick on a loaded machine.
constexpr int XScreensaverNudgeMs = 30000;

// An address of no transport: the bus library refuses it at once, where
// an absent address would make it start a bus.
constexpr char NoBus[] = "disabled:";

// True when a session bus is there to be asked.
bool SessionBusConfigured()
{
    return !qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") && qgetenv("DBUS_SESSION_BUS_ADDRESS") != NoBus;
}

enum class TXScreensaver { Absent, Running, Locked };

// xscreensaver's state, from the status it keeps on the root window: its
// first number is 0 while the screen shows, else the atom BLANK or LOCK.
TXScreensaver XScreensaverState(Display* display)
{
    const Atom status = XInternAtom(display, "_SCREENSAVER_STATUS", True);
    if (status == None)
        return TXScreensaver::Absent;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), status, 0, 3, False, XA_INTEGER, &type, &format,
                           &count, &after, &data)
            != Success
        || !data)
        return TXScreensaver::Absent;
    const bool valid = type == XA_INTEGER && format == 32 && count >= 1;
    const auto first = valid ? Atom(reinterpret_cast<const long*>(data)[0]) : None;
    XFree(data);
    if (!valid)
        return TXScreensaver::Absent;
    const Atom lock = XInternAtom(display, "LOCK", True);
    return lock != None && first == lock ? TXScreensaver::Locked : TXScreensaver::Running;
}

} // namespace

void KeepToExistingSessionBus()
{
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        qputenv("DBUS_SESSION_BUS_ADDRESS", NoBus);
}

TBlankingGuard::TBlankingGuard(QObject* parent) : QObject(parent) {}

TBlankingGuard::~TBlankingGuard()
{
    Release();
}

void TBlankingGuard::Start(const QString& reason)
{
    if (!method_.isEmpty())
        return;
    if (!StartDBus(reason))
        StartX11();
    StartXScreensaverNudge();
}

void TBlankingGuard::StartXScreensaverNudge()
{
    Display* display = XDisplay();
    const QString command = QStandardPaths::findExecutable(QStringLiteral("xscreensaver-command"));
    if (!display || command.isEmpty())
        return;
    const auto nudge = [display, command] {
        if (XScreensaverState(display) != TXScreensaver::Running)
            return;
        QProcess process;
        process.setProgram(command);
        process.setArguments({QStringLiteral("-deactivate")});
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        // Detached: nothing to wait for, and no child left to reap.
        process.startDetached();
    };
    nudge();
    nudge_ = new QTimer(this);
    connect(nudge_, &QTimer::timeout, this, nudge);
    nudge_->start(XScreensaverNudgeMs);
}

bool TBlankingGuard::StartDBus(const QString& reason)
{
    if (!SessionBusConfigured())
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface() || !bus.interface()->isServiceRegistered(Service).value())
        return false;
    QDBusInterface saver(Service, ObjectPath, Service, bus);
    saver.setTimeout(2000);
    const QDBusReply<uint32_t> reply = saver.call(QStringLiteral("Inhibit"), QCoreApplication::applicationName(), reason);
    if (!reply.isValid())
        return false;
    cookie_ = reply.value();
    method_ = QStringLiteral("dbus");
    return true;
}

bool TBlankingGuard::StartX11()
{
    Display* display = XDisplay();
    if (!display)
        return false;
    int event = 0, error = 0, major = 0, minor = 0;
    if (XScreenSaverQueryExtension(display, &event, &error) && XScreenSaverQueryVersion(display, &major, &minor)
        && (major > 1 || (major == 1 && minor >= 1))) {
        XScreenSaverSuspend(display, True);
        XFlush(display);
        method_ = QStringLiteral("x11-suspend");
        return true;
    }
    // An old server: reset its idle time more often than any sensible timeout.
    XResetScreenSaver(display);
    XFlush(display);
    reset_ = new QTimer(this);
    connect(reset_, &QTimer::timeout, this, [display] {
        XResetScreenSaver(display);
        XFlush(display);
    });
    reset_->start(1000);
    method_ = QStringLiteral("x11-reset");
    return true;
}

void TBlankingGuard::Release()
{
    if (method_ == QLatin1String("dbus")) {
        QDBusInterface saver(Service, ObjectPath, Service, QDBusConnection::sessionBus());
        saver.setTimeout(1000);
        saver.call(QDBus::NoBlock, QStringLiteral("UnInhibit"), cookie_);
    } else if (method_ == QLatin1String("x11-suspend")) {
        if (Display* display = XDisplay()) {
            XScreenSaverSuspend(display, False);
            XFlush(display);
        }
    }
    delete reset_;
    reset_ = nullptr;
    delete nudge_;
    nudge_ = nullptr;
    method_.clear();
}

} // namespace mirel
