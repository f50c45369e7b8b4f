// The control model: defaults, setters, placement and sizing.
#include "view_test_util.h"

#include <QMetaEnum>
#include <QMetaProperty>
#include <QSignalSpy>

#include <climits>

namespace mirel::test {
namespace {

TEST(ViewModel, NewControlHasItsDefaults)
{
    TTransitionView view;
    EXPECT_EQ(view.width(), 100);
    EXPECT_EQ(view.height(), 100);
    EXPECT_EQ(view.Style(), 51);
    EXPECT_EQ(view.StyleName(), "Appear and Contract to middle");
    EXPECT_EQ(view.Step(), 4);
    EXPECT_EQ(view.Delay(), 40);
    EXPECT_EQ(view.Progress(), 0);
    EXPECT_EQ(view.BgMode(), bmTiled);
    EXPECT_EQ(view.ThreadPriority(), tpNormal);
    EXPECT_EQ(view.Align(), alNone);
    EXPECT_TRUE(view.AutoSize());
    EXPECT_TRUE(view.OverDraw());
    EXPECT_TRUE(view.Threaded());
    EXPECT_TRUE(view.ParentColor());
    EXPECT_FALSE(view.Manual());
    EXPECT_FALSE(view.Reverse());
    EXPECT_FALSE(view.Center());
    EXPECT_FALSE(view.Stretch());
    EXPECT_FALSE(view.StretchFine());
    EXPECT_FALSE(view.Busy());
    EXPECT_TRUE(view.Picture().Empty());
    EXPECT_TRUE(view.BgPicture().Empty());
    EXPECT_TRUE(view.Display().Empty());
    EXPECT_TRUE(view.testAttribute(Qt::WA_OpaquePaintEvent));
}

TEST(ViewModel, PropertiesArePublishedToQt)
{
    TTransitionView view;
    EXPECT_EQ(view.property("Style").toInt(), 51);
    EXPECT_TRUE(view.setProperty("Step", 250));
    EXPECT_EQ(view.Step(), 100);
    EXPECT_TRUE(view.setProperty("StyleName", QString("Fade")));
    EXPECT_EQ(view.Style(), 118);

    const QMetaObject* meta = view.metaObject();
    const QMetaProperty bgMode = meta->property(meta->indexOfProperty("BgMode"));
    ASSERT_TRUE(bgMode.isEnumType());
    EXPECT_STREQ(bgMode.enumerator().valueToKey(int(view.BgMode())), "bmTiled");
    EXPECT_TRUE(view.setProperty("BgMode", QString("bmCentered")));
    EXPECT_EQ(view.BgMode(), bmCentered);
    EXPECT_FALSE(meta->property(meta->indexOfProperty("StyleName")).isStored());
    for (const char* name : {"Align", "AutoSize", "BgPicture", "Center", "Color", "Delay", "Height", "Manual",
                             "OverDraw", "ParentColor", "Picture", "Reverse", "Stretch", "StretchFine",
                             "Threaded", "ThreadPriority", "Width"})
        EXPECT_GE(meta->indexOfProperty(name), 0) << name;
}

// A QML or Designer user can write any int into an enum property; values
// without a name must leave the property as it was, under both its names,
// and notify nothing.
TEST(ViewModel, EnumPropertiesIgnoreValuesWithoutAName)
{
    TTransitionView view;
    view.SetBgMode(bmCentered);
    view.SetThreadPriority(tpLower);
    QSignalSpy bgSpy(&view, &TTransitionView::bgModeChanged);
    QSignalSpy prioritySpy(&view, &TTransitionView::threadPriorityChanged);
    for (const int bad : {-1, 7, 1000, 1003, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(bad);
        for (const char* name : {"bgMode", "BgMode", "threadPriority", "ThreadPriority", "Align"})
            view.setProperty(name, bad);
        EXPECT_EQ(view.property("bgMode").toInt(), int(bmCentered));
        EXPECT_EQ(view.property("BgMode").toInt(), int(bmCentered));
        EXPECT_EQ(view.property("threadPriority").toInt(), int(tpLower));
        EXPECT_EQ(view.property("ThreadPriority").toInt(), int(tpLower));
        EXPECT_EQ(view.property("Align").toInt(), int(alNone));
    }
    view.setProperty("bgMode", 4); // one past the last mode, a priority's name
    EXPECT_EQ(view.BgMode(), bmCentered);
    EXPECT_EQ(bgSpy.count(), 0);
    EXPECT_EQ(prioritySpy.count(), 0);
    // The named values at both ends still go in, by number as by name.
    EXPECT_TRUE(view.setProperty("bgMode", 0));
    EXPECT_EQ(view.BgMode(), bmNone);
    EXPECT_TRUE(view.setProperty("threadPriority", 6));
    EXPECT_EQ(view.ThreadPriority(), tpTimeCritical);
    EXPECT_TRUE(view.setProperty("ThreadPriority", QStringLiteral("tpIdle")));
    EXPECT_EQ(view.ThreadPriority(), tpIdle);
    // The worker thread starts with the priority kept (a bad one would index
    // past the nice values).
    view.setProperty("threadPriority", 1003);
    Fill(view.Picture(), 8, 8, 0xFF102030u);
    view.SetStep(50);
    view.SetDelay(0);
    view.Execute();
    ASSERT_TRUE(WaitUntil([&] { return !view.Busy(); }));
    EXPECT_EQ(view.ThreadPriority(), tpIdle);
}

struct TStyleCase {
    int Written;
    int Expected;
    const char* Name;
};

class ViewStyleSetter : public ::testing::TestWithParam<TStyleCase> {};

TEST_P(ViewStyleSetter, StoresOnlyStylesOfTheCatalogue)
{
    TTransitionView view;
    view.SetStyle(GetParam().Written);
    EXPECT_EQ(view.Style(), GetParam().Expected);
    EXPECT_EQ(view.StyleName(), GetParam().Name);
}

INSTANTIATE_TEST_SUITE_P(Table, ViewStyleSetter,
                         ::testing::Values(TStyleCase{151, 51, "Appear and Contract to middle"},
                                           TStyleCase{255, 51, "Appear and Contract to middle"},
                                           TStyleCase{-1, 51, "Appear and Contract to middle"},
                                           TStyleCase{0, 0, "Custom"}, TStyleCase{150, 150, "Rotational star"},
                                           TStyleCase{76, 76, "Unven shred from bottom"}));

TEST(ViewModel, StyleNameSelectsTheFirstMatchIgnoringCase)
{
    TTransitionView view;
    view.SetStyleName("expand FROM bottom");
    EXPECT_EQ(view.Style(), 18);
    view.SetStyleName("Expand in from top");
    EXPECT_EQ(view.Style(), 25);
    view.SetStyleName("CUSTOM");
    EXPECT_EQ(view.Style(), 0);
    view.SetStyleName("no such effect");
    EXPECT_EQ(view.Style(), 0);
}

TEST(ViewModel, StepAndDelayAreClamped)
{
    TTransitionView view;
    const std::pair<int, int> steps[] = {{0, 1}, {250, 100}, {3, 3}, {-5, 1}, {100, 100}};
    for (const auto& [written, expected] : steps) {
        view.SetStep(written);
        EXPECT_EQ(view.Step(), expected) << written;
    }
    view.SetDelay(70000);
    EXPECT_EQ(view.Delay(), 65535);
    view.SetDelay(-1);
    EXPECT_EQ(view.Delay(), 0);
}

struct TFitCase {
    TRect Src, Bounds, Expected;
};

class ViewAspectFit : public ::testing::TestWithParam<TFitCase> {};

TEST_P(ViewAspectFit, GivesTheLargestCentredRectangleOfTheAspect)
{
    EXPECT_EQ(AspectFitRect(GetParam().Src, GetParam().Bounds), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ViewAspectFit,
    ::testing::Values(TFitCase{{0, 0, 400, 300}, {0, 0, 1000, 500}, {166, 0, 833, 500}}, // wide bounds
                      TFitCase{{0, 0, 400, 300}, {0, 0, 800, 1000}, {0, 200, 800, 800}}, // tall bounds
                      TFitCase{{0, 0, 400, 300}, {0, 0, 800, 600}, {0, 0, 800, 600}},    // same ratio
                      TFitCase{{-200, -50, 200, 250}, {10, 20, 410, 320}, {10, 20, 410, 320}},
                      TFitCase{{0, 0, 0, 300}, {0, 0, 800, 600}, {0, 0, 800, 600}})); // no extent

// Runs a one-frame transition so that Display takes the picture's size.
void ShowPictureAtOnce(TTransitionView& view)
{
    view.SetThreaded(false);
    view.SetStep(100);
    view.SetDelay(0);
    view.Execute();
    ASSERT_FALSE(view.Busy());
}

TEST(ViewModel, PicRectFollowsDisplayAndCentre)
{
    TTransitionView view;
    view.SetAutoSize(false);
    view.resize(800, 600);
    Fill(view.Picture(), 1000, 300, clWhite);
    ShowPictureAtOnce(view);
    EXPECT_EQ(view.PicRect(), (TRect{0, 0, 1000, 300}));
    view.SetCenter(true);
    EXPECT_EQ(view.PicRect(), (TRect{-100, 150, 900, 450}));

    // A new picture does not move it until the next transition starts.
    Fill(view.Picture(), 400, 300, clWhite);
    view.resize(800, 601);
    EXPECT_EQ(view.PicRect().Left, -100);
    ShowPictureAtOnce(view);
    EXPECT_EQ(view.PicRect(), (TRect{200, 150, 600, 450}));
}

struct TAlignCase {
    TAlign Align;
    QRect Expected;
};

class ViewFitToPicture : public ::testing::TestWithParam<TAlignCase> {};

TEST_P(ViewFitToPicture, KeepsTheSidesTheAlignmentFixes)
{
    QWidget parent;
    parent.resize(1000, 800);
    auto* view = new TTransitionView(&parent);
    view->resize(100, 100);
    view->SetAlign(GetParam().Align);
    Fill(view->Picture(), 640, 480, clWhite);
    EXPECT_EQ(view->geometry(), GetParam().Expected);

    // Aligned controls follow their parent.
    parent.show();
    parent.resize(1200, 900);
    if (GetParam().Align == alClient) {
        EXPECT_EQ(view->geometry(), QRect(0, 0, 1200, 900));
    }
    if (GetParam().Align == alBottom) {
        EXPECT_EQ(view->geometry(), QRect(0, 420, 1200, 480));
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ViewFitToPicture,
                         ::testing::Values(TAlignCase{alNone, QRect(0, 0, 640, 480)},
                                           TAlignCase{alTop, QRect(0, 0, 1000, 480)},
                                           TAlignCase{alBottom, QRect(0, 320, 1000, 480)},
                                           TAlignCase{alLeft, QRect(0, 0, 640, 800)},
                                           TAlignCase{alRight, QRect(360, 0, 640, 800)},
                                           TAlignCase{alClient, QRect(0, 0, 1000, 800)}));

TEST(ViewModel, AutoSizeFitsWhenSwitchedOn)
{
    TTransitionView view;
    view.SetAutoSize(false);
    Fill(view.Picture(), 64, 48, clWhite);
    EXPECT_EQ(view.size(), QSize(100, 100));
    view.SetAutoSize(true);
    EXPECT_EQ(view.size(), QSize(64, 48));
}

TEST(ViewModel, EveryPictureChangeFiresOnChange)
{
    TTransitionView view;
    int changes = 0;
    view.OnChange = [&](QObject* sender) {
        EXPECT_EQ(sender, &view);
        ++changes;
    };
    Fill(view.Picture(), 10, 10, clWhite);
    EXPECT_EQ(changes, 1);
    TPicture other;
    Fill(other, 20, 30, clBlack);
    view.SetPicture(&other);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(view.Picture().Width(), 20);
    view.SetPicture(nullptr);
    EXPECT_EQ(changes, 3);
    EXPECT_TRUE(view.Picture().Empty());
    EXPECT_FALSE(view.Busy()); // a change never starts a transition
}

TEST(ViewModel, ColorIsTheParentsUntilSet)
{
    QWidget parent;
    QPalette p = parent.palette();
    p.setColor(QPalette::Window, Qt::red);
    parent.setPalette(p);
    auto* view = new TTransitionView(&parent);
    EXPECT_EQ(view->Color(), QColor(Qt::red));

    view->SetColor(Qt::blue);
    EXPECT_FALSE(view->ParentColor());
    EXPECT_EQ(view->Color(), QColor(Qt::blue));
    p.setColor(QPalette::Window, Qt::green);
    parent.setPalette(p);
    EXPECT_EQ(view->Color(), QColor(Qt::blue));

    view->SetParentColor(true);
    EXPECT_EQ(view->Color(), QColor(Qt::green));
}

TEST(ViewModel, ClearEmptiesTheDisplayOnlyWhenIdle)
{
    TTransitionView view;
    Fill(view.Picture(), 30, 20, clWhite);
    view.SetManual(true);
    view.Execute();
    ASSERT_TRUE(view.Busy());
    view.Clear();
    EXPECT_EQ(view.Display().Width(), 30);
    view.Stop();
    view.Clear();
    EXPECT_TRUE(view.Display().Empty());
}

} // namespace
} // namespace mirel::test
