#include "app/input_watch.h"

#include "show_test_util.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

#include <stdexcept>

namespace mirel::test {
namespace {

struct TRuleCase {
    uint32_t Message;
    int32_t X, Y;
    bool Closes;
};

class CloseRuleTest : public ::testing::TestWithParam<TRuleCase> {};

TEST_P(CloseRuleTest, FollowsTheTable)
{
    const TRuleCase c = GetParam();
    EXPECT_EQ(ClosesShow({c.Message, 0, MakeLParam(c.X, c.Y)}), c.Closes);
}

INSTANTIATE_TEST_SUITE_P(
    Table, CloseRuleTest,
    ::testing::Values(TRuleCase{WM_KEYDOWN, 0, 0, true}, TRuleCase{WM_KEYUP, 0, 0, true},
                      TRuleCase{WM_SYSKEYDOWN, 0, 0, true}, TRuleCase{WM_SYSKEYUP, 0, 0, true},
                      TRuleCase{WM_LBUTTONDOWN, 0, 0, true}, TRuleCase{WM_RBUTTONDOWN, 0, 0, true},
                      TRuleCase{WM_MBUTTONDOWN, 0, 0, true}, TRuleCase{WM_XBUTTONDOWN, 0, 0, false},
                      TRuleCase{WM_LBUTTONUP, 0, 0, false}, TRuleCase{WM_RBUTTONUP, 0, 0, false},
                      TRuleCase{WM_LBUTTONDBLCLK, 0, 0, false}, TRuleCase{WM_MOUSEWHEEL, 900, 900, false},
                      TRuleCase{WM_MOUSEHWHEEL, 900, 900, false}, TRuleCase{WM_MOUSEMOVE, 500, 500, false},
                      TRuleCase{WM_MOUSEMOVE, 0, 0, false}, TRuleCase{WM_MOUSEMOVE, 501, 0, true},
                      TRuleCase{WM_MOUSEMOVE, 0, 501, true}, TRuleCase{WM_MOUSEMOVE, -1, 0, true}, // reads as 65535
                      TRuleCase{0, 0, 0, false}));

// A top-level window with a child where the picture control sits.
class InputWatchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Top.setGeometry(0, 0, 1200, 900);
        Child = new QWidget(&Top);
        Child->setGeometry(176, 96, 774, 600);
        Top.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Top));
        qApp->installEventFilter(&Watch);
    }

    QWidget Top;
    QWidget* Child = nullptr;
    std::vector<TMessage> Seen;
    TInputWatch Watch{[this](const TMessage& Msg, bool&) { Seen.push_back(Msg); }};
};

TEST_F(InputWatchTest, SeesEachWindowSystemEventOnceInTheCoordinatesOfTheWidgetUnderIt)
{
    QWindow* window = Top.windowHandle();
    QTest::mouseMove(window, QPoint(600, 200)); // over the child: (424, 104) there
    QTest::mouseMove(window, QPoint(100, 50));  // beside it: the window's own coordinates
    QTest::mousePress(window, Qt::RightButton, {}, QPoint(100, 50));
    QTest::mouseRelease(window, Qt::RightButton, {}, QPoint(100, 50));
    QTest::keyPress(window, Qt::Key_A);
    QTest::keyRelease(window, Qt::Key_A, Qt::AltModifier); // then Alt itself comes up
    // Events that Qt itself sends are no input.
    QKeyEvent sent(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier);
    QApplication::sendEvent(Child, &sent);

    ASSERT_EQ(Seen.size(), 7u);
    EXPECT_EQ(Seen[0].Message, WM_MOUSEMOVE);
    EXPECT_EQ(Seen[0].LParam, MakeLParam(424, 104));
    EXPECT_EQ(Seen[1].LParam, MakeLParam(100, 50));
    EXPECT_EQ(Seen[2].Message, WM_RBUTTONDOWN);
    EXPECT_EQ(Seen[3].Message, WM_RBUTTONUP);
    EXPECT_EQ(Seen[4].Message, WM_KEYDOWN);
    EXPECT_EQ(Seen[5].Message, WM_SYSKEYUP);
    EXPECT_EQ(Seen[6].Message, WM_KEYUP);
}

TEST_F(InputWatchTest, KeysThatAnswerAMessageBoxAreTheBoxs)
{
    QWidget box;
    box.setWindowModality(Qt::ApplicationModal);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    ASSERT_NE(QApplication::activeModalWidget(), nullptr);
    QTest::keyPress(box.windowHandle(), Qt::Key_Return);
    QTest::mousePress(box.windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    box.hide(); // answered
    // The release comes after the box has gone, to the window beneath.
    QTest::keyRelease(Top.windowHandle(), Qt::Key_Return);
    EXPECT_TRUE(Seen.empty());
    QTest::keyRelease(Top.windowHandle(), Qt::Key_Return); // no longer the box's
    QTest::keyPress(Top.windowHandle(), Qt::Key_Space);
    ASSERT_EQ(Seen.size(), 2u);
    EXPECT_EQ(Seen[0].Message, WM_KEYUP);
    EXPECT_EQ(Seen[1].Message, WM_KEYDOWN);
}

TEST_F(InputWatchTest, InputAimedAtABoxThatLeavesTheShowRunningIsTheBoxs)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("mirel-show"), QStringLiteral("broken"), QMessageBox::Ok, &Top);
    box.setModal(false);
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    ASSERT_EQ(QApplication::activeModalWidget(), nullptr);
    QTest::mouseMove(box.windowHandle(), QPoint(600, 600));
    QTest::mousePress(box.windowHandle(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::keyPress(box.windowHandle(), Qt::Key_Return);
    box.hide();
    QTest::keyRelease(Top.windowHandle(), Qt::Key_Return);
    EXPECT_TRUE(Seen.empty());
    // The show's own window still closes on input while a box is open.
    box.show();
    QTest::keyPress(Top.windowHandle(), Qt::Key_Space);
    ASSERT_EQ(Seen.size(), 1u);
    EXPECT_EQ(Seen[0].Message, WM_KEYDOWN);
}

TEST_F(InputWatchTest, AFailingHandlerIsReportedAndTheEventStillArrives)
{
    TBoxCapture capture;
    TInputWatch failing([](const TMessage&, bool&) { throw std::runtime_error("handler failed"); });
    qApp->installEventFilter(&failing);
    QTest::keyPress(Top.windowHandle(), Qt::Key_A);
    ASSERT_EQ(capture.Boxes.size(), 1u);
    EXPECT_EQ(capture.Boxes[0].Text, "handler failed");
    EXPECT_EQ(Seen.size(), 1u); // the other watch, and Qt's dispatch, still ran
}

} // namespace
} // namespace mirel::test

namespace mirel::test {
namespace {

// The real boxes, not the recording hook.
std::vector<QMessageBox*> OpenBoxes()
{
    std::vector<QMessageBox*> boxes;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible())
            boxes.push_back(box);
    return boxes;
}

TEST(MessageBoxTest, FailuresWhileABoxIsOpenJoinItAndItListsAScreenfulAtMost)
{
    for (int i = 0; i < 2000; ++i)
        ShowMessageBox(TMessageKind::Error, QStringLiteral("/pictures/%1.jpg: Not a JPEG file").arg(i));
    QCoreApplication::processEvents();
    ASSERT_EQ(OpenBoxes().size(), 1u);
    QMessageBox* box = OpenBoxes()[0];
    const QStringList lines = box->text().split(QLatin1Char('\n'));
    EXPECT_EQ(lines.first(), QStringLiteral("/pictures/0.jpg: Not a JPEG file"));
    EXPECT_EQ(lines.last(), QStringLiteral("... and %1 more").arg(2000 - (lines.size() - 1)));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    box->adjustSize();
    EXPECT_LE(box->height(), screen.height());
    EXPECT_LE(box->width(), screen.width());

    // Answered, the next failure opens a box of its own with only itself.
    box->button(QMessageBox::Ok)->click();
    QCoreApplication::processEvents();
    ShowMessageBox(TMessageKind::Error, QStringLiteral("later"));
    ASSERT_EQ(OpenBoxes().size(), 1u);
    EXPECT_EQ(OpenBoxes()[0]->text(), QStringLiteral("later"));
    OpenBoxes()[0]->close();
    QCoreApplication::processEvents();
}

} // namespace
} // namespace mirel::test
