// The widget survives its own events: deleted from any callback or signal
// handler (plainly on the GUI thread, by deleteLater anywhere), and asked
// from the worker thread for what only the GUI thread can do.
#include "view_test_util.h"

#include <QPointer>
#include <QSignalSpy>

#include <string>

namespace mirel::test {
namespace {

enum class TKill { Delete, DeleteLater };

struct TDeletionCase {
    const char* Event;
    bool Threaded;
    TKill Kill;
};

std::string CaseName(const ::testing::TestParamInfo<TDeletionCase>& info)
{
    return std::string(info.param.Event) + (info.param.Threaded ? "Threaded" : "Unthreaded")
           + (info.param.Kill == TKill::Delete ? "Delete" : "DeleteLater");
}

class ViewDeletion : public ::testing::TestWithParam<TDeletionCase> {};

// The handler named by the case deletes the widget at its first call (for
// the frame events: at 30 %). Whatever follows must not touch the widget;
// ASan reports it if it does.
TEST_P(ViewDeletion, FromItsOwnEvent)
{
    const TDeletionCase& c = GetParam();
    auto* view = new TTransitionView;
    const QPointer<TTransitionView> alive(view);
    view->SetAutoSize(false);
    view->resize(64, 48);
    view->SetThreaded(c.Threaded);
    view->SetDelay(0);
    view->SetStep(10);
    view->SetStyle(std::string(c.Event) == "OnCustomDraw" ? 0 : 51);
    Fill(view->Picture(), 64, 48, Red);
    ShowExposed(*view);

    bool fired = false;
    const auto kill = [&, view] {
        if (fired)
            return;
        fired = true;
        if (c.Kill == TKill::Delete)
            delete view;
        else
            view->deleteLater();
    };
    const auto atThirty = [&, view] {
        if (!fired && view->Progress() >= 30)
            kill();
    };
    const std::string event = c.Event;
    const auto frame = [=](QObject*, TBitmap&, TBitmap&) { atThirty(); };
    if (event == "OnStart")
        view->OnStart = [=](QObject*, TBitmap&, TBitmap&) { kill(); };
    else if (event == "OnBeforeNewFrame")
        view->OnBeforeNewFrame = frame;
    else if (event == "OnCustomDraw")
        view->OnCustomDraw = frame;
    else if (event == "OnAfterNewFrame")
        view->OnAfterNewFrame = frame;
    else if (event == "OnProgress")
        view->OnProgress = [=](QObject*) { atThirty(); };
    else if (event == "OnComplete")
        view->OnComplete = [=](QObject*) { kill(); };
    else if (event == "OnStop")
        view->OnStop = [=](QObject*) { kill(); };
    else if (event == "started")
        QObject::connect(view, &TTransitionView::started, kill);
    else if (event == "progressChanged")
        QObject::connect(view, &TTransitionView::progressChanged, [=](int p) {
            if (p >= 30)
                kill();
        });
    else if (event == "frameShown")
        QObject::connect(view, &TTransitionView::frameShown, kill);
    else if (event == "completed")
        QObject::connect(view, &TTransitionView::completed, kill);
    else if (event == "stopped")
        QObject::connect(view, &TTransitionView::stopped, kill);
    else if (event == "busyChanged")
        QObject::connect(view, &TTransitionView::busyChanged, kill);
    else
        FAIL() << "no such event " << event;

    view->Execute();
    // QTest::qWaitFor also runs the deferred deletes.
    ASSERT_TRUE(QTest::qWaitFor([&] { return alive.isNull(); }, 10000)) << "the widget was not deleted";
    EXPECT_TRUE(fired);
    // Nothing the widget left behind (queued signals, a worker) runs later.
    QTest::qWait(20);
}

std::vector<TDeletionCase> DeletionCases()
{
    std::vector<TDeletionCase> cases;
    const char* gui[] = {"OnStart", "OnComplete", "OnStop", "started", "progressChanged",
                         "frameShown", "completed", "stopped", "busyChanged"};
    const char* frame[] = {"OnBeforeNewFrame", "OnCustomDraw", "OnAfterNewFrame", "OnProgress"};
    for (const bool threaded : {false, true})
        for (const TKill kill : {TKill::Delete, TKill::DeleteLater}) {
            for (const char* e : gui)
                cases.push_back({e, threaded, kill});
            // Threaded, the frame events run on the worker, where a widget
            // can only be deleted by deleteLater.
            if (!threaded || kill == TKill::DeleteLater)
                for (const char* e : frame)
                    cases.push_back({e, threaded, kill});
        }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Events, ViewDeletion, ::testing::ValuesIn(DeletionCases()), CaseName);

// Calls from OnProgress, which runs on the worker thread when threaded.
class ViewWorkerCalls : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        view_.SetAutoSize(false);
        view_.resize(64, 48);
        view_.SetThreaded(GetParam());
        view_.SetDelay(1);
        view_.SetStep(5);
        Fill(view_.Picture(), 64, 48, Red);
        ShowExposed(view_);
    }
    TTransitionView view_;
    TRecorder rec_{view_};
};

TEST_P(ViewWorkerCalls, ManualFromOnProgressHoldsTheTransition)
{
    view_.OnProgress = [&](QObject*) {
        if (view_.Progress() == 30)
            view_.SetManual(true);
    };
    view_.Execute();
    ASSERT_TRUE(WaitUntil([&] { return view_.Manual(); }));
    QTest::qWait(50);
    EXPECT_TRUE(view_.Busy());
    const int held = view_.Progress();
    EXPECT_GE(held, 30);
    EXPECT_LT(held, 100);
    QTest::qWait(30);
    EXPECT_EQ(view_.Progress(), held);

    // Switched off on the GUI thread, stepping resumes and completes.
    view_.OnProgress = nullptr;
    view_.setManual(false);
    ASSERT_TRUE(WaitUntil([&] { return rec_.Stopped(); }));
    EXPECT_EQ(rec_.Count("Complete"), 1);
    EXPECT_EQ(view_.Progress(), 100);
}

TEST_P(ViewWorkerCalls, StopFromOnProgressEndsAsStopped)
{
    QSignalSpy completed(&view_, &TTransitionView::completed);
    view_.OnProgress = [&](QObject*) {
        if (view_.Progress() == 30)
            view_.Stop();
    };
    view_.Execute();
    ASSERT_TRUE(WaitUntil([&] { return rec_.Stopped(); }));
    QTest::qWait(20);
    EXPECT_EQ(rec_.Count("Complete"), 0);
    EXPECT_EQ(rec_.Count("Stop"), 1);
    EXPECT_EQ(completed.count(), 0);
    EXPECT_FALSE(view_.Busy());
    EXPECT_LE(view_.Progress(), 35); // at most the frame being built when asked

    // The widget is ready for the next transition.
    rec_.Clear();
    view_.OnProgress = nullptr;
    view_.Execute();
    ASSERT_TRUE(WaitUntil([&] { return rec_.Stopped(); }));
    EXPECT_EQ(rec_.Count("Complete"), 1);
}

// Execute asked while a transition runs is ignored, as it is on the GUI
// thread; it must neither deadlock nor disturb the running transition.
TEST_P(ViewWorkerCalls, ExecuteFromOnProgressNeitherWaitsNorDisturbs)
{
    view_.OnProgress = [&](QObject*) { view_.Execute(); };
    view_.Execute();
    ASSERT_TRUE(WaitUntil([&] { return rec_.Stopped(); }));
    QTest::qWait(20);
    EXPECT_EQ(rec_.Count("Start"), 1);
    EXPECT_EQ(rec_.Count("Complete"), 1);
    EXPECT_EQ(view_.Progress(), 100);
}

INSTANTIATE_TEST_SUITE_P(Modes, ViewWorkerCalls, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Threaded" : "Unthreaded"; });

} // namespace
} // namespace mirel::test
