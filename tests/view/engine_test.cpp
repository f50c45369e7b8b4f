// The transition engine, threaded and on the GUI thread: progress sequences,
// the order of events, stopping, manual mode and the end of a control.
#include "view_test_util.h"

#include "view/exception_hook.h"

#include <QApplication>

#include <memory>
#include <stdexcept>

namespace mirel::test {
namespace {

class ViewEngine : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        view_.SetAutoSize(false);
        view_.resize(80, 60);
        view_.SetColor(QColor::fromRgb(Green));
        view_.SetThreaded(Threaded());
        view_.SetDelay(0);
        ShowExposed(view_);
    }

    bool Threaded() const { return GetParam(); }

    // Runs a transition to its end (threaded: until OnStop has fired).
    void Run()
    {
        view_.Execute();
        ASSERT_TRUE(WaitUntil([&] { return !view_.Busy() && rec_.Stopped(); }));
    }

    static std::vector<int> Range(int from, int to, int step)
    {
        std::vector<int> v;
        for (int p = from; step > 0 ? p <= to : p >= to; p += step)
            v.push_back(p);
        return v;
    }

    TTransitionView view_;
    TRecorder rec_{view_};
};

TEST_P(ViewEngine, ForwardStepsEndAtAHundred)
{
    Fill(view_.Picture(), 80, 60, Red);
    Run();
    EXPECT_EQ(rec_.ProgressValues(), Range(4, 100, 4));
    EXPECT_TRUE(AllPixels(view_.Display(), view_.Display().BoundsRect(), Red));

    rec_.Clear();
    view_.SetStep(3);
    Run();
    std::vector<int> expected = Range(3, 99, 3);
    expected.push_back(100);
    EXPECT_EQ(rec_.ProgressValues(), expected);
}

TEST_P(ViewEngine, ReverseRunsBackToTheOldScreen)
{
    Fill(view_.Picture(), 80, 60, Red);
    view_.SetReverse(true);
    Run();
    EXPECT_EQ(rec_.ProgressValues(), Range(96, 0, -4));
    // The last frame is the captured start: the bare background here.
    EXPECT_TRUE(AllPixels(view_.Display(), view_.Display().BoundsRect(), Green));
}

TEST_P(ViewEngine, EventsComeInTheirOrderAndOnTheirThreads)
{
    Fill(view_.Picture(), 80, 60, Red);
    view_.SetStep(100);
    Run();
    EXPECT_EQ(rec_.Events(),
              (std::vector<std::string>{"Start", "Before", "After", "Progress", "Complete", "Stop"}));

    rec_.Clear();
    view_.SetStyle(0);
    view_.SetStep(25);
    Run();
    EXPECT_EQ(rec_.Events(),
              (std::vector<std::string>{"Start", "Before", "Custom", "After", "Progress", "Before", "Custom",
                                        "After", "Progress", "Before", "Custom", "After", "Progress", "Before",
                                        "After", "Progress", "Complete", "Stop"}));
    EXPECT_EQ(rec_.FrameEventsOffGuiThread(), Threaded());
    EXPECT_EQ(rec_.FrameEventsOnGuiThread(), !Threaded());
}

TEST_P(ViewEngine, FramesAreTheOldScreenWithTheEffectDrawnOverIt)
{
    Fill(view_.Picture(), 80, 60, Red);
    view_.SetStyle(10);
    view_.SetStep(20);
    std::vector<std::unique_ptr<TBitmap>> frames;
    view_.OnAfterNewFrame = [&](QObject*, TBitmap&, TBitmap& screen) {
        frames.push_back(std::make_unique<TBitmap>());
        frames.back()->Assign(screen);
    };
    Run();
    ASSERT_EQ(frames.size(), 5u);
    const TBitmap image(80, 60, Red);
    for (int i = 0; i < 4; ++i) {
        TBitmap expected(80, 60, Green);
        DrawEffectFrame(expected, image, 10, 20, 20 * (i + 1));
        EXPECT_TRUE(SameBitmaps(*frames[size_t(i)], expected)) << "frame " << i;
    }
    EXPECT_TRUE(SameBitmaps(*frames.back(), image));
}

TEST_P(ViewEngine, StopEndsWithOnStopOnly)
{
    Fill(view_.Picture(), 80, 60, Red);
    view_.SetStep(1);
    view_.SetDelay(5);
    if (Threaded()) {
        view_.Execute();
        ASSERT_TRUE(WaitUntil([&] { return view_.Progress() >= 3; }));
        view_.Stop();
    } else {
        view_.OnProgress = [&](QObject*) {
            if (view_.Progress() == 3)
                view_.Stop();
        };
        view_.Execute();
    }
    EXPECT_FALSE(view_.Busy());
    const auto events = rec_.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "Stop");
    EXPECT_EQ(rec_.Count("Stop"), 1);
    EXPECT_EQ(rec_.Count("Complete"), 0);
    // Nothing happens after Stop has returned.
    QTest::qWait(50);
    EXPECT_EQ(rec_.Events(), events);
    EXPECT_LT(view_.Progress(), 100);

    view_.Stop(); // idle: nothing
    EXPECT_EQ(rec_.Count("Stop"), 1);
}

TEST_P(ViewEngine, StopInsideOnStopDoesNothing)
{
    Fill(view_.Picture(), 80, 60, Red);
    int stops = 0;
    view_.OnStop = [&](QObject*) {
        ++stops;
        view_.Stop();
    };
    view_.SetStep(100);
    view_.Execute();
    ASSERT_TRUE(WaitUntil([&] { return stops > 0; }));
    QTest::qWait(20);
    EXPECT_EQ(stops, 1);
}

TEST_P(ViewEngine, ExecuteFromOnStopOfAStoppedTransitionStillRuns)
{
    Fill(view_.Picture(), 80, 60, Red);
    view_.SetStep(2);
    view_.SetDelay(2);
    int stops = 0;
    view_.OnStop = [&](QObject*) {
        if (++stops == 1)
            view_.Execute();
    };
    view_.OnProgress = [&](QObject*) {
        if (stops == 0 && view_.Progress() == 10 && !Threaded())
            view_.Stop();
    };
    view_.OnComplete = [&](QObject*) { EXPECT_EQ(stops, 1); };
    view_.Execute();
    if (Threaded()) {
        ASSERT_TRUE(WaitUntil([&] { return view_.Progress() >= 10; }));
        view_.Stop();
    }
    ASSERT_TRUE(WaitUntil([&] { return stops == 2; }));
    EXPECT_FALSE(view_.Busy());
    EXPECT_EQ(view_.Progress(), 100);
}

TEST_P(ViewEngine, ManualModeBuildsTheFramesAskedFor)
{
    Fill(view_.Picture(), 80, 60, Red);
    view_.SetManual(true);
    view_.SetStyle(5);
    view_.Execute();
    EXPECT_TRUE(view_.Busy());
    EXPECT_EQ(view_.Progress(), 0);
    EXPECT_EQ(rec_.Events(), std::vector<std::string>{"Start"});

    view_.SetProgress(50);
    EXPECT_EQ(rec_.ProgressValues(), std::vector<int>{50});
    TBitmap expected(80, 60, Green);
    DrawEffectFrame(expected, TBitmap(80, 60, Red), 5, 4, 50);
    EXPECT_TRUE(SameBitmaps(view_.Display(), expected));
    EXPECT_TRUE(SameBitmaps(view_.PaintBuffer(), expected)); // painted at once

    view_.SetProgress(50);
    EXPECT_EQ(rec_.ProgressValues().size(), 1u);
    view_.SetProgress(250);
    EXPECT_EQ(view_.Progress(), 100);
    EXPECT_TRUE(AllPixels(view_.Display(), view_.Display().BoundsRect(), Red));
    EXPECT_TRUE(view_.Busy()); // the end of manual mode is Stop
    view_.Stop();
    EXPECT_EQ(rec_.Count("Stop"), 1);
    EXPECT_EQ(rec_.Count("Complete"), 0);
}

TEST_P(ViewEngine, SwitchingManualOffResumesFromTheCurrentProgress)
{
    Fill(view_.Picture(), 80, 60, Red);
    view_.SetManual(true);
    view_.Execute();
    view_.SetProgress(40);
    view_.SetManual(false);
    ASSERT_TRUE(WaitUntil([&] { return rec_.Stopped(); }));
    std::vector<int> expected{40};
    for (int p : Range(44, 100, 4))
        expected.push_back(p);
    EXPECT_EQ(rec_.ProgressValues(), expected);
    EXPECT_EQ(rec_.Count("Complete"), 1);
}

TEST_P(ViewEngine, SwitchingManualOnHoldsTheTransition)
{
    Fill(view_.Picture(), 80, 60, Red);
    view_.SetDelay(3);
    view_.OnProgress = [&](QObject*) {
        if (!Threaded() && view_.Progress() == 12)
            view_.SetManual(true);
    };
    view_.Execute();
    if (Threaded()) {
        ASSERT_TRUE(WaitUntil([&] { return view_.Progress() >= 12; }));
        view_.SetManual(true);
    }
    const int held = view_.Progress();
    QTest::qWait(50);
    EXPECT_TRUE(view_.Busy());
    EXPECT_EQ(view_.Progress(), held);
    EXPECT_EQ(rec_.Count("Stop"), 0);
    view_.Stop();
    EXPECT_EQ(rec_.Count("Stop"), 1);
    EXPECT_EQ(rec_.Count("Complete"), 0);
}

TEST_P(ViewEngine, OverDrawOffStartsFromTheBareBackground)
{
    Fill(view_.Picture(), 80, 60, Red);
    view_.SetStep(100);
    Run();
    view_.repaint();

    for (const bool overDraw : {true, false}) {
        rec_.Clear();
        view_.SetOverDraw(overDraw);
        Fill(view_.Picture(), 80, 60, Blue);
        view_.SetManual(true);
        view_.Execute();
        EXPECT_TRUE(AllPixels(rec_.StartScreen, {0, 0, 80, 60}, overDraw ? Red : Green));
        view_.Stop();
        view_.SetManual(false);
    }
}

TEST_P(ViewEngine, ExecuteIsIgnoredWithoutAPictureOrWhileBusy)
{
    view_.Execute();
    EXPECT_FALSE(view_.Busy());
    EXPECT_TRUE(rec_.Events().empty());

    Fill(view_.Picture(), 80, 60, Red);
    view_.SetManual(true);
    view_.Execute();
    view_.Execute();
    EXPECT_EQ(rec_.Count("Start"), 1);
    view_.Stop();
}

TEST_P(ViewEngine, APictureChangedDuringATransitionDoesNotAlterIt)
{
    view_.SetAutoSize(true);
    Fill(view_.Picture(), 100, 80, Red);
    view_.SetManual(true);
    view_.Execute();
    int changes = 0;
    view_.OnChange = [&](QObject*) { ++changes; };
    Fill(view_.Picture(), 50, 40, Blue);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(view_.size(), QSize(50, 40));
    view_.SetProgress(100);
    EXPECT_EQ(view_.Display().Width(), 100);
    EXPECT_TRUE(AllPixels(view_.Display(), {0, 0, 100, 80}, Red));
    view_.Stop();
}

TEST_P(ViewEngine, AFailedStartReachesTheCallerWithoutEvents)
{
    Fill(view_.Picture(), 80, 60, Red);
    auto start = view_.OnStart;
    view_.OnStart = [](QObject*, TBitmap&, TBitmap&) { throw std::runtime_error("no start"); };
    EXPECT_THROW(view_.Execute(), std::runtime_error);
    EXPECT_FALSE(view_.Busy());
    EXPECT_EQ(rec_.Count("Stop"), 0);

    view_.OnStart = start;
    view_.SetStep(50);
    Run();
    EXPECT_EQ(rec_.ProgressValues(), (std::vector<int>{50, 100}));
}

TEST_P(ViewEngine, DestroyingARunningTransitionFiresNoEndEvents)
{
    auto* view = new TTransitionView;
    view->resize(64, 48);
    ShowExposed(*view);
    TRecorder rec(*view);
    Fill(view->Picture(), 64, 48, Red);
    view->SetThreaded(Threaded());
    view->SetStep(1);
    view->SetDelay(2);
    bool destroyed = false;
    QObject::connect(view, &QObject::destroyed, [&] { destroyed = true; });
    // Deleted from the event loop, inside the unthreaded frame loop's wait.
    view->OnProgress = [&](QObject*) {
        if (view->Progress() == 5)
            QMetaObject::invokeMethod(qApp, [view] { delete view; }, Qt::QueuedConnection);
    };
    view->Execute();
    ASSERT_TRUE(WaitUntil([&] { return destroyed; }));
    EXPECT_EQ(rec.Count("Complete"), 0);
    EXPECT_EQ(rec.Count("Stop"), 0);
}

// The fade, the pivots and the pushes build a frame from the old screen in
// one pass unless a handler is to see the old screen in Display first: either
// way the frames are the old screen with the effect drawn over it, and the
// handler does see the old screen.
TEST_P(ViewEngine, FramesBuiltInOnePassAreThoseDrawnOverTheOldScreen)
{
    FillQuadrants(view_.Picture(), 80, 60);
    Run(); // the old screen: the quadrants
    TBitmap old;
    old.Assign(view_.Display());
    TBitmap image(80, 60);
    for (int32_t y = 0; y < 60; ++y)
        for (int32_t x = 0; x < 80; ++x)
            image.SetPixel(x, y, 0xFF000000u | uint32_t(x * 3) << 16 | uint32_t(y * 4) << 8 | uint32_t(x + y));
    view_.Picture().Assign(image);
    view_.SetManual(true);
    for (const int style : {118, 120, 122, 130, 5}) {
        view_.SetStyle(style);
        for (const bool handler : {false, true}) {
            bool sawOld = !handler;
            if (handler)
                view_.OnBeforeNewFrame = [&](QObject*, TBitmap&, TBitmap& screen) {
                    sawOld = SameBitmaps(screen, old);
                };
            else
                view_.OnBeforeNewFrame = nullptr;
            view_.Execute();
            for (const int progress : {1, 37, 99}) {
                view_.SetProgress(progress);
                TBitmap want;
                want.Assign(old);
                DrawEffectFrame(want, image, style, 4, progress);
                EXPECT_TRUE(SameBitmaps(view_.Display(), want))
                    << "style " << style << ", progress " << progress << (handler ? ", with a handler" : "");
                EXPECT_TRUE(sawOld) << "style " << style << ", progress " << progress;
            }
            view_.Stop();
            view_.Display().Assign(old); // the next transition starts from the same old screen
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, ViewEngine, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Threaded" : "Unthreaded"; });

TEST(ViewEngineThreaded, AFailedFrameEndsLikeACompletedTransitionAndIsReported)
{
    QString reported;
    const TExceptionHandler previous = SetExceptionHandler([&](const QString& m) { reported = m; });
    {
        TTransitionView view;
        ShowExposed(view);
        TRecorder rec(view);
        Fill(view.Picture(), 40, 30, Red);
        view.SetDelay(0);
        view.OnAfterNewFrame = [&](QObject*, TBitmap&, TBitmap&) {
            if (view.Progress() == 8)
                throw std::runtime_error("frame failed");
        };
        view.Execute();
        ASSERT_TRUE(WaitUntil([&] { return rec.Stopped() && !reported.isEmpty(); }));
        EXPECT_EQ(rec.Count("Complete"), 1);
        EXPECT_EQ(reported, "frame failed");
        EXPECT_EQ(view.Progress(), 8);

        // The next transition runs normally.
        rec.Clear();
        view.OnAfterNewFrame = nullptr;
        view.Execute();
        ASSERT_TRUE(WaitUntil([&] { return rec.Stopped(); }));
        EXPECT_EQ(view.Progress(), 100);
    }
    SetExceptionHandler(previous);
}

TEST(ViewEvents, HandlerErrorsNeverReachQt)
{
    QString reported;
    const TExceptionHandler previous = SetExceptionHandler([&](const QString& m) { reported = m; });
    TTransitionView view;
    view.OnMouseEnter = [](QObject*) { throw std::runtime_error("enter failed"); };
    int leaves = 0;
    view.OnMouseLeave = [&](QObject* sender) {
        EXPECT_EQ(sender, &view);
        ++leaves;
    };
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QCoreApplication::sendEvent(&view, &enter);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&view, &leave);
    EXPECT_EQ(leaves, 1);
    EXPECT_TRUE(WaitUntil([&] { return !reported.isEmpty(); }));
    EXPECT_EQ(reported, "enter failed");
    SetExceptionHandler(previous);
}

} // namespace
} // namespace mirel::test
