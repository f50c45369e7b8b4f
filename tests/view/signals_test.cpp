// The widget's Qt face as a Qt developer meets it: signals on the GUI thread
// under both engines, properties with NOTIFY signals, QImage in and out, and
// handlers that touch other widgets.
#include "view_test_util.h"

#include <QLabel>
#include <QMetaProperty>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace mirel::test {
namespace {

bool OnGuiThread()
{
    return QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Every signal of a transition, in order, noting any that arrived off the
// GUI thread.
class TSignalLog {
public:
    explicit TSignalLog(TTransitionView& view)
    {
        QObject::connect(&view, &TTransitionView::started, [this] { Add("started"); });
        QObject::connect(&view, &TTransitionView::progressChanged,
                         [this](int p) {
                             Add("progress");
                             Progress.push_back(p);
                         });
        QObject::connect(&view, &TTransitionView::frameShown, [this] { Add("frame"); });
        QObject::connect(&view, &TTransitionView::completed, [this] { Add("completed"); });
        QObject::connect(&view, &TTransitionView::stopped, [this] { Add("stopped"); });
        QObject::connect(&view, &TTransitionView::busyChanged,
                         [this](bool busy) { Add(busy ? "busy" : "idle"); });
    }
    int Count(const std::string& name) const
    {
        int n = 0;
        for (const auto& e : Events)
            n += e == name;
        return n;
    }
    std::vector<std::string> Events;
    std::vector<int> Progress;
    bool OffGuiThread = false;

private:
    void Add(const char* name)
    {
        OffGuiThread = OffGuiThread || !OnGuiThread();
        Events.emplace_back(name);
    }
};

class ViewSignals : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        view_.SetAutoSize(false);
        view_.resize(80, 60);
        view_.setThreaded(GetParam());
        view_.setDelay(0);
        view_.setStep(10);
        ShowExposed(view_);
        Fill(view_.Picture(), 80, 60, Red);
    }
    TTransitionView view_;
    TSignalLog log_{view_};
};

TEST_P(ViewSignals, ATransitionSignalsEveryStepOnTheGuiThread)
{
    view_.execute();
    ASSERT_TRUE(WaitUntil([&] { return log_.Count("idle") == 1; }));
    EXPECT_FALSE(log_.OffGuiThread);
    const std::vector<int> steps{10, 20, 30, 40, 50, 60, 70, 80, 90, 100};
    EXPECT_EQ(log_.Progress, steps);
    EXPECT_EQ(log_.Count("frame"), 10);
    ASSERT_GE(log_.Events.size(), 4u);
    EXPECT_EQ(log_.Events[0], "busy");
    EXPECT_EQ(log_.Events[1], "started");
    const std::vector<std::string> end(log_.Events.end() - 5, log_.Events.end());
    EXPECT_EQ(end, (std::vector<std::string>{"progress", "frame", "completed", "stopped", "idle"}));

    // The next transition first announces the progress going back to 0.
    log_.Events.clear();
    log_.Progress.clear();
    view_.execute();
    ASSERT_TRUE(WaitUntil([&] { return log_.Count("idle") == 1; }));
    ASSERT_GE(log_.Progress.size(), 2u);
    EXPECT_EQ(log_.Progress.front(), 0);
    EXPECT_EQ(log_.Progress.back(), 100);
}

TEST_P(ViewSignals, AStoppedTransitionSignalsStoppedOnly)
{
    view_.setStep(1);
    view_.setDelay(5);
    QObject::connect(&view_, &TTransitionView::progressChanged, &view_, [&](int p) {
        if (p == 3)
            view_.stop();
    });
    view_.execute();
    ASSERT_TRUE(WaitUntil([&] { return log_.Count("idle") == 1; }));
    EXPECT_EQ(log_.Count("completed"), 0);
    EXPECT_EQ(log_.Count("stopped"), 1);
    EXPECT_FALSE(view_.isBusy());
    EXPECT_FALSE(log_.OffGuiThread);
}

// Updating other widgets from the progress signal is what a Qt developer
// does first; Qt complains loudly when that happens off the GUI thread.
TEST_P(ViewSignals, AProgressHandlerMayTouchOtherWidgets)
{
    static std::mutex lock;
    static QStringList complaints;
    complaints.clear();
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& m) {
        // The offscreen platform's own notices are not complaints.
        if (type != QtDebugMsg && type != QtInfoMsg && !m.startsWith("This plugin does not support")) {
            const std::lock_guard hold(lock);
            complaints << m;
        }
    });
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* label = new QLabel(&window);
    auto* view = new TTransitionView(&window);
    layout->addWidget(label);
    layout->addWidget(view);
    view->setThreaded(GetParam());
    view->setDelay(0);
    view->setStep(2);
    view->setImage(QImage(120, 90, QImage::Format_RGB32));
    ShowExposed(window);
    int updates = 0;
    QObject::connect(view, &TTransitionView::progressChanged, label, [&](int p) {
        label->setText(QStringLiteral("%1%").arg(p));
        label->repaint();
        ++updates;
    });
    bool done = false;
    QObject::connect(view, &TTransitionView::stopped, [&] { done = true; });
    for (int i = 0; i < 3; ++i) {
        done = false;
        view->execute();
        ASSERT_TRUE(WaitUntil([&] { return done; }));
    }
    qInstallMessageHandler(previous);
    EXPECT_GE(updates, 150);
    EXPECT_EQ(label->text(), "100%");
    EXPECT_TRUE(complaints.isEmpty()) << complaints.join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Modes, ViewSignals, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Threaded" : "Unthreaded"; });

// One row per writable camelCase property: a value different from the
// default. Writing it emits the NOTIFY signal once; writing it again, none.
struct TPropertyCase {
    const char* Name;
    QVariant Value;
};

TEST(ViewProperties, EveryPropertyNotifiesRealChangesOnly)
{
    const TPropertyCase cases[] = {
        {"style", 7},
        {"styleName", QStringLiteral("Fade")},
        {"step", 9},
        {"delay", 12},
        {"threaded", false},
        {"threadPriority", QStringLiteral("tpLower")},
        {"reverse", true},
        {"manual", true},
        {"stretch", true},
        {"stretchFine", true},
        {"center", true},
        {"autoSize", false},
        {"overDraw", false},
        {"bgMode", QStringLiteral("bmCentered")},
        {"color", QColor(1, 2, 3)},
        {"image", QImage(4, 3, QImage::Format_RGB32)},
    };
    TTransitionView view;
    const QMetaObject* meta = view.metaObject();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const QMetaProperty property = meta->property(meta->indexOfProperty(c.Name));
        ASSERT_TRUE(property.isValid());
        ASSERT_TRUE(property.hasNotifySignal());
        QSignalSpy spy(&view, property.notifySignal());
        ASSERT_TRUE(view.setProperty(c.Name, c.Value));
        EXPECT_EQ(spy.count(), 1);
        if (std::string(c.Name) != "image") {
            EXPECT_TRUE(view.setProperty(c.Name, c.Value));
            EXPECT_EQ(spy.count(), 1);
        }
    }
    EXPECT_EQ(view.transitionStyle(), 118);
    EXPECT_EQ(view.Style(), 118);
    EXPECT_EQ(view.threadPriority(), tpLower);
    EXPECT_EQ(view.bgMode(), bmCentered);
    EXPECT_EQ(view.color(), QColor(1, 2, 3));

    // The clamped and ignored writes do not notify.
    QSignalSpy step(&view, &TTransitionView::stepChanged);
    view.setStep(250);
    view.setStep(100);
    EXPECT_EQ(step.count(), 1);
    QSignalSpy style(&view, &TTransitionView::styleChanged);
    view.setStyle(151);
    view.setStyleName(QStringLiteral("no such style"));
    EXPECT_EQ(style.count(), 0);
    // Both names of one property notify through the same signal.
    QSignalSpy reverse(&view, &TTransitionView::reverseChanged);
    view.SetReverse(false);
    view.setProperty("Reverse", true);
    EXPECT_EQ(reverse.count(), 2);
}

// An image no bitmap can hold, written as a QML or Designer user writes it:
// the picture stays and the refusal reaches the API, once, in one line.
TEST(ViewImages, AnOversizedImageIsRefusedThroughTheErrorSignal)
{
    TTransitionView view;
    QImage small(4, 3, QImage::Format_RGB32);
    small.fill(Qt::red);
    ASSERT_TRUE(view.setProperty("image", small));
    QSignalSpy errors(&view, &TTransitionView::errorOccurred);
    QSignalSpy pictures(&view, &TTransitionView::pictureChanged);
    QSignalSpy backgrounds(&view, &TTransitionView::bgPictureChanged);
    const QImage wide(1048577, 1, QImage::Format_RGB32); // a pixel wider than a bitmap may be
    ASSERT_FALSE(wide.isNull());
    view.setProperty("image", wide);
    view.setBgImage(wide);
    ASSERT_EQ(errors.count(), 2);
    for (const auto& e : errors) {
        const QString message = e.at(0).toString();
        EXPECT_TRUE(message.contains("1048577")) << message.toStdString();
        EXPECT_FALSE(message.contains('\n')) << message.toStdString();
    }
    EXPECT_EQ(pictures.count(), 0);
    EXPECT_EQ(backgrounds.count(), 0);
    EXPECT_EQ(view.image().size(), QSize(4, 3));
    EXPECT_TRUE(view.BgPicture().Empty());
}

TEST(ViewImages, QImagesGoInAndComeOut)
{
    TTransitionView view;
    QSignalSpy changed(&view, &TTransitionView::pictureChanged);
    QImage picture(30, 20, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    picture.setPixelColor(0, 0, QColor(10, 20, 30));
    view.setImage(picture);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(view.size(), QSize(30, 20)); // sized to it
    const QImage back = view.image();
    EXPECT_EQ(back.size(), QSize(30, 20));
    EXPECT_EQ(back.pixelColor(0, 0), QColor(10, 20, 30));
    EXPECT_EQ(back.pixelColor(5, 5), QColor(Qt::white)); // transparency shows white
    EXPECT_TRUE(view.frame().isNull());

    view.setManual(true);
    view.execute();
    view.setProgress(100);
    EXPECT_EQ(view.frame(), back);
    view.stop();

    QPixmap pixmap(8, 6);
    pixmap.fill(Qt::blue);
    view.setPixmap(pixmap);
    EXPECT_EQ(view.image().pixelColor(7, 5), QColor(Qt::blue));
    view.setImage(QImage());
    EXPECT_TRUE(view.image().isNull());
    EXPECT_EQ(changed.count(), 3);
}

// An opaque image is shown as it is, without a copy: the control's pixel
// memory does not grow by a picture, the caller's image keeps its pixels
// through a transition to it, and what the caller paints on its image
// afterwards stays out of the control.
TEST(ViewImages, AnOpaqueImageIsSharedNotCopied)
{
    TTransitionView view;
    view.resize(64, 48);
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(QColor(200, 100, 50));
    const QImage kept = picture.copy();
    const size_t before = TBitmap::PixelBytes();
    view.setImage(picture);
    EXPECT_EQ(TBitmap::PixelBytes(), before);

    view.setManual(true);
    view.setStyle(5);
    view.execute();
    for (const int progress : {40, 100})
        view.setProgress(progress);
    EXPECT_EQ(view.frame(), kept);
    view.stop();
    EXPECT_EQ(picture, kept);

    picture.fill(Qt::black);
    EXPECT_EQ(view.image(), kept);

    // Rows of a wider buffer of the caller's own are copied: the buffer may
    // go once the image is handed over.
    auto buffer = std::make_unique<std::vector<uint32_t>>(size_t(70) * 48, 0xFF3366CCu);
    view.setImage(QImage(reinterpret_cast<uchar*>(buffer->data()), 64, 48, 70 * 4, QImage::Format_RGB32));
    std::fill(buffer->begin(), buffer->end(), 0u);
    buffer.reset();
    EXPECT_EQ(view.image().pixel(63, 47), 0xFF3366CCu);
}

TEST(ViewImages, LoadReportsInsteadOfThrowing)
{
    QTemporaryDir dir;
    const QString good = dir.filePath("good.png"), bad = dir.filePath("bad.jpg");
    QImage image(12, 9, QImage::Format_RGB32);
    image.fill(QColor(0, 128, 255));
    ASSERT_TRUE(image.save(good));
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("not a picture");
    file.close();

    TTransitionView view;
    QString error;
    EXPECT_TRUE(view.load(good, &error));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(view.image().size(), QSize(12, 9));
    EXPECT_FALSE(view.load(bad, &error));
    EXPECT_TRUE(error.startsWith(bad + ": ")) << error.toStdString();
    EXPECT_FALSE(error.contains('\n'));
    EXPECT_FALSE(view.load(dir.filePath("missing.png")));
    EXPECT_EQ(view.image().size(), QSize(12, 9)); // the picture held before stays
    // The classic loader throws the installed error type.
    EXPECT_THROW(view.Picture().LoadFromFile(bad), TDecodeError);
}

} // namespace
} // namespace mirel::test
