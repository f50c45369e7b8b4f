#include "app/blanking.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>

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

// True when a session bus is there to be asked. Without one, asking would
// make the bus library start a bus of its own for the display.
bool SessionBusConfigured()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return true;
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return !runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus"));
}

} // namespace

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
    method_.clear();
}

} // namespace mirel
