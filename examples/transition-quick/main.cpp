// A QML window that shows the pictures given on the command line one after
// another, each by the next transition of the catalogue. With --once it
// quits after the first transition, with status 0 when it completed.
#include <QApplication>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQmlExtensionPlugin>
#include <QTimer>
#include <QUrl>

#include <cstdio>

Q_IMPORT_QML_PLUGIN(Mirel_TransitionsPlugin)

int main(int argc, char** argv)
{
    // The item's engine is the transition widget's: a QApplication, not
    // just a QGuiApplication.
    QApplication app(argc, argv);
    QStringList pictures = app.arguments().mid(1);
    const bool once = pictures.removeAll(QStringLiteral("--once")) > 0;
    if (pictures.isEmpty()) {
        std::fputs("usage: transition-quick-example [--once] PICTURE...\n", stderr);
        return 2;
    }
    QQmlApplicationEngine engine;
    engine.rootContext()->setContextProperty(QStringLiteral("pictures"), pictures);
    engine.rootContext()->setContextProperty(QStringLiteral("once"), once);
    engine.load(QUrl(QStringLiteral("qrc:/TransitionQuickExample/Main.qml")));
    if (engine.rootObjects().isEmpty())
        return 1;
    if (once)
        QTimer::singleShot(20000, &app, [] {
            std::fputs("transition-quick-example: the transition did not end\n", stderr);
            QCoreApplication::exit(1);
        });
    return app.exec();
}
