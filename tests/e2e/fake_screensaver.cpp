// A stand-in for a desktop's screen saver service on the session bus
// (org.freedesktop.ScreenSaver): it answers Inhibit with a cookie and
// UnInhibit with nothing, and prints one line per call on standard output,
// e.g. "Inhibit mirel-show Showing pictures -> 7" and "UnInhibit 7".
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>

#include <cstdio>

namespace {

class TFakeSaver : public QDBusVirtualObject {
public:
    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override
    {
        const QList<QVariant> args = message.arguments();
        if (message.member() == QLatin1String("Inhibit") && args.size() == 2) {
            const uint cookie = ++cookies_;
            std::printf("Inhibit %s %s -> %u\n", qPrintable(args[0].toString()), qPrintable(args[1].toString()), cookie);
            std::fflush(stdout);
            connection.send(message.createReply(QVariant::fromValue(cookie)));
            return true;
        }
        if (message.member() == QLatin1String("UnInhibit") && args.size() == 1) {
            std::printf("UnInhibit %u\n", args[0].toUInt());
            std::fflush(stdout);
            connection.send(message.createReply());
            return true;
        }
        return false;
    }

private:
    uint cookies_ = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QDBusConnection bus = QDBusConnection::sessionBus();
    TFakeSaver saver;
    if (!bus.registerVirtualObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &saver)
        || !bus.registerService(QStringLiteral("org.freedesktop.ScreenSaver"))) {
        std::fprintf(stderr, "fake_screensaver: cannot register on the session bus\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}
