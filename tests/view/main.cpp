// The widget's tests need one QApplication: on the offscreen platform, or on
// the one MIREL_TEST_PLATFORM names (xcb, for the paint tests on a real
// window system's backing store).
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    const QByteArray platform = qgetenv("MIREL_TEST_PLATFORM");
    qputenv("QT_QPA_PLATFORM", platform.isEmpty() ? QByteArray("offscreen") : platform);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
