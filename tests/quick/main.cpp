// QtQuickTest's runner with a QApplication (the item's engine is a widget)
// and two pictures for the tests.
#include <QApplication>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlExtensionPlugin>
#include <QtQuickTest/quicktest.h>

Q_IMPORT_QML_PLUGIN(Mirel_TransitionsPlugin)

class TSetup : public QObject {
    Q_OBJECT
public slots:
    void qmlEngineAvailable(QQmlEngine* engine)
    {
        engine->rootContext()->setContextProperty("pictureA", QStringLiteral(MIREL_PICTURES "/01.jpg"));
        engine->rootContext()->setContextProperty("pictureB", QStringLiteral(MIREL_PICTURES "/02.jpg"));
    }
};

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TSetup setup;
    return quick_test_main_with_setup(argc, argv, "transition_view", QUICK_TEST_SOURCE_DIR, &setup);
}

#include "main.moc"
