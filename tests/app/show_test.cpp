#include "app/staging.h"
#include "effects/random.h"

#include "show_test_util.h"

#include <QFileInfo>
#include <QTest>

namespace mirel::test {
namespace {

QStringList StagedNames()
{
    QStringList names;
    for (const TBuiltInPicture& picture : BuiltInPictures)
        names << QLatin1String(picture.FileName);
    return names;
}

TEST_F(ShowTest, FirstRunWritesTheDefaultsAndStagesThePictures)
{
    const auto form = Start();
    EXPECT_TRUE(Capture.Boxes.empty());
    const QByteArray ini = ReadAll(SettingsFile());
    EXPECT_EQ(ini, "[General]\nreg_Showpause=8\nreg_photodir=c:\\\\\nreg_phototarget=1\n");
    EXPECT_EQ(form->Timer1.Interval(), 8000);
    EXPECT_FALSE(form->Timer1.Enabled());

    EXPECT_EQ(form->StagingFolder, Staged().chopped(1));
    for (int n = 1; n <= 13; ++n)
        EXPECT_EQ(ReadAll(Staged(StagedNames()[n - 1])), Resource(n)) << n;
    EXPECT_EQ(form->PictureList, StagedNames());
    EXPECT_EQ(form->PictureFolder, Staged());
    EXPECT_EQ(form->CurrentName, "01.jpg");
    EXPECT_EQ(PictureIndex, 1);
    EXPECT_EQ(form->TransitionView1->size(), QSize(799, 600));
    EXPECT_EQ(form->TransitionView1->pos(), QPoint(176, 96));
}

struct TPauseCase {
    const char* Ini;
    int Interval;
    const char* Error; // nullptr: start-up completes
};

class PauseTest : public ShowTest, public ::testing::WithParamInterface<TPauseCase> {};

TEST_P(PauseTest, SetsTheIntervalOrStopsStartUpWithTheMessage)
{
    const TPauseCase c = GetParam();
    WriteSettings(c.Ini);
    const auto form = Start();
    EXPECT_EQ(form->Timer1.Interval(), c.Interval);
    form->show();
    EXPECT_TRUE(form->isVisible());
    if (!c.Error) {
        EXPECT_TRUE(Capture.Boxes.empty());
        EXPECT_EQ(form->PictureList.size(), 13);
        EXPECT_EQ(form->Timer1.Active(), c.Interval > 0);
        return;
    }
    ASSERT_EQ(Capture.Boxes.size(), 1u);
    EXPECT_EQ(Capture.Boxes[0].Kind, TMessageKind::Error);
    EXPECT_EQ(Capture.Boxes[0].Text, c.Error);
    // Start-up ended at the settings: nothing staged, nothing to cycle.
    EXPECT_FALSE(QFileInfo::exists(Staged()));
    EXPECT_TRUE(form->PictureList.isEmpty());
    EXPECT_FALSE(form->Timer1.Active());
    form->Timer1Timer(nullptr);
    EXPECT_EQ(Capture.Boxes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, PauseTest,
    ::testing::Values(TPauseCase{"[General]\nreg_showpause=3\nreg_phototarget=1\n", 3000, nullptr},
                      TPauseCase{"[General]\nREG_SHOWPAUSE=2\nreg_phototarget=1\n", 2000, nullptr},
                      TPauseCase{"[General]\nreg_showpause=0\nreg_phototarget=1\n", 0, nullptr},
                      TPauseCase{"[General]\nreg_showpause=-4\nreg_phototarget=1\n", 0, nullptr},
                      TPauseCase{"[General]\nreg_showpause=three\nreg_phototarget=1\n", 10,
                                 "'three' is not a valid integer value"},
                      TPauseCase{"[General]\nreg_showpause=3\nreg_phototarget=x\n", 10, "'x' is not a valid integer value"},
                      TPauseCase{"[General]\nreg_phototarget=1\n", 10, "'' is not a valid integer value"}));

TEST_F(ShowTest, ReusesTheStagingFolderAndListsTheUsersPicturesToo)
{
    WriteAll(Staged("05.jpg"), "stale");
    QImage bitmap(8, 8, QImage::Format_RGB32);
    bitmap.fill(Qt::red);
    bitmap.save(Staged("X.BMP"), "BMP");
    WriteAll(Staged("notes.txt"), "not a picture");
    const auto form = Start();
    EXPECT_TRUE(Capture.Boxes.empty());
    EXPECT_EQ(ReadAll(Staged("05.jpg")), Resource(5));
    EXPECT_EQ(form->PictureList, StagedNames() << "X.BMP");

    // Closing deletes the thirteen and nothing else, and may come twice.
    form->show();
    form->close();
    form->close();
    EXPECT_TRUE(Capture.Boxes.empty());
    EXPECT_EQ(QDir(Staged()).entryList(QDir::Files, QDir::Name | QDir::IgnoreCase), (QStringList{"notes.txt", "X.BMP"}));
}

TEST_F(ShowTest, StagesInTheCacheWhenTheExecutablesFolderIsNotWritable)
{
    Places.ExeFolder = QStringLiteral("/sys");
    const auto form = Start();
    EXPECT_TRUE(Capture.Boxes.empty());
    const QString cache = Places.CacheHome + QStringLiteral("/mirel12/mirel");
    EXPECT_EQ(form->StagingFolder, cache);
    EXPECT_EQ(form->PictureList, StagedNames());
    form->show();
    form->close();
    EXPECT_TRUE(QDir(cache).isEmpty());
}

TEST_F(ShowTest, AFolderWithoutPicturesIsReportedOnce)
{
    const auto form = Start();
    const QString empty = Tmp.path() + QStringLiteral("/empty");
    QDir().mkpath(empty);
    WriteAll(empty + QStringLiteral("/readme.txt"), "x");
    form->PictureList.clear();
    form->PictureFolder.clear();
    form->ScanFolder(empty);
    ASSERT_EQ(Capture.Boxes.size(), 1u);
    EXPECT_EQ(Capture.Boxes[0].Kind, TMessageKind::Warning);
    EXPECT_EQ(Capture.Boxes[0].Text, empty + QStringLiteral("\n\rdoes not contain any supported image file"));
    EXPECT_TRUE(form->PictureList.isEmpty());
    EXPECT_TRUE(form->PictureFolder.isEmpty());
    // The show then runs without pictures and without complaints.
    for (int tick = 0; tick < 3; ++tick)
        form->Timer1Timer(nullptr);
    EXPECT_EQ(Capture.Boxes.size(), 1u);
    EXPECT_TRUE(form->CurrentName.isEmpty());
}

// Start-up, then ticks of the timer, each giving the name shown. The
// transitions start but never step, so no effect draws random numbers.
class CycleTest : public ShowTest {
protected:
    std::unique_ptr<TForm1> StartManual()
    {
        auto form = Start();
        form->TransitionView1->SetManual(true);
        return form;
    }

    // Lists folder instead of the staged pictures, as start-up would.
    void UseFolder(TForm1& form, const QString& folder)
    {
        form.ScanFolder(folder);
        PictureIndex = 0;
        form.LastShownName.clear();
        form.LoadNextPicture();
    }

    QStringList Ticks(TForm1& form, int count)
    {
        QStringList shown;
        for (int i = 0; i < count; ++i) {
            form.Timer1Timer(nullptr);
            shown << form.CurrentName;
        }
        return shown;
    }

    QString Folder(std::initializer_list<std::pair<const char*, QByteArray>> files)
    {
        const QString folder = Tmp.path() + QStringLiteral("/pictures");
        for (const auto& [name, bytes] : files)
            WriteAll(folder + QLatin1Char('/') + QLatin1String(name), bytes);
        return folder;
    }
};

TEST_F(CycleTest, ShowsThirteenPicturesRoundAndRound)
{
    const auto form = StartManual();
    const QStringList names = StagedNames();
    EXPECT_EQ(Ticks(*form, 14), names.mid(1) + names.mid(0, 2));
}

TEST_F(CycleTest, TwoPicturesComeInPairs)
{
    const auto form = StartManual();
    UseFolder(*form, Folder({{"A.jpg", Resource(2)}, {"B.jpg", Resource(3)}}));
    EXPECT_EQ(form->CurrentName, "A.jpg");
    EXPECT_EQ(Ticks(*form, 7), (QStringList{"B.jpg", "A.jpg", "A.jpg", "B.jpg", "B.jpg", "A.jpg", "A.jpg"}));
}

TEST_F(CycleTest, OnePictureIsShownAgainAndAgain)
{
    const auto form = StartManual();
    UseFolder(*form, Folder({{"A.jpg", Resource(2)}}));
    EXPECT_EQ(Ticks(*form, 3), (QStringList{"A.jpg", "A.jpg", "A.jpg"}));
    EXPECT_TRUE(form->TransitionView1->Busy());
}

TEST_F(CycleTest, AFreshShowPicksTheKnownStyles)
{
    SetRandSeed(0); // as at process start
    const auto form = StartManual();
    form->show();
    EXPECT_EQ(form->TransitionView1->Style(), 51); // the first picture comes in with the default
    std::vector<int> styles;
    for (int tick = 0; tick < 6; ++tick) {
        form->Timer1Timer(nullptr);
        styles.push_back(form->TransitionView1->Style());
    }
    EXPECT_EQ(styles, (std::vector<int>{1, 5, 130, 31, 41, 101}));
}

TEST_F(CycleTest, ABrokenPictureIsReportedOnceAndPassedOver)
{
    const auto form = StartManual();
    UseFolder(*form, Folder({{"a.jpg", Resource(2)}, {"b.jpg", "not a jpeg"}, {"c.jpg", Resource(3)}}));
    EXPECT_EQ(Ticks(*form, 6), (QStringList{"c.jpg", "a.jpg", "c.jpg", "a.jpg", "c.jpg", "a.jpg"}));
    ASSERT_EQ(Capture.Boxes.size(), 1u);
    EXPECT_EQ(Capture.Boxes[0].Kind, TMessageKind::Error);
    EXPECT_TRUE(Capture.Boxes[0].Text.contains("b.jpg")) << Capture.Boxes[0].Text.toStdString();
}

TEST_F(CycleTest, AListOfBrokenPicturesStaysDarkAndQuiet)
{
    const auto form = StartManual();
    form->ScanFolder(Folder({{"x.jpg", "broken"}, {"y.jpg", QByteArray(5000, '\xFF')}}));
    PictureIndex = 0;
    QStringList shown = Ticks(*form, 5);
    shown.removeDuplicates();
    EXPECT_EQ(shown, QStringList{QString()});
    EXPECT_FALSE(form->TransitionView1->Busy()); // no transition was started
    ASSERT_EQ(Capture.Boxes.size(), 1u);         // both named in one box
    EXPECT_TRUE(Capture.Boxes[0].Text.contains("x.jpg") && Capture.Boxes[0].Text.contains("y.jpg"));
}

TEST_F(ShowTest, TheCycleRunsOnItsOwnWithThreadedTransitions)
{
    WriteSettings("[General]\nreg_showpause=1\nreg_phototarget=1\n");
    const auto form = Start();
    form->show();
    EXPECT_TRUE(form->Timer1.Active());
    EXPECT_TRUE(QTest::qWaitFor([&] { return form->LastShownName == "03.jpg"; }, 10000));
    EXPECT_TRUE(Capture.Boxes.empty());
}

// Input while the show runs, at the window the window system delivers it to.
struct TInputCase {
    const char* Name;
    void (*Act)(QWindow*);
    bool Closes;
};

class ExitWatchTest : public ShowTest, public ::testing::WithParamInterface<TInputCase> {};

TEST_P(ExitWatchTest, ClosesOnlyOnTheRightInput)
{
    const auto form = Start();
    form->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    GetParam().Act(form->windowHandle());
    EXPECT_EQ(!form->isVisible(), GetParam().Closes);
    EXPECT_EQ(QFileInfo::exists(Staged("01.jpg")), !GetParam().Closes);
    EXPECT_TRUE(Capture.Boxes.empty());
}

// The control sits at (176, 96); over it, positions are its own.
INSTANTIATE_TEST_SUITE_P(
    Input, ExitWatchTest,
    ::testing::Values(
        TInputCase{"MoveOverControlAt500x500", [](QWindow* w) { QTest::mouseMove(w, QPoint(676, 596)); }, false},
        TInputCase{"MoveOverControlAt501x0", [](QWindow* w) { QTest::mouseMove(w, QPoint(677, 96)); }, true},
        TInputCase{"MoveOverControlAt0x501", [](QWindow* w) { QTest::mouseMove(w, QPoint(176, 597)); }, true},
        TInputCase{"MoveOverWindowAt300x50", [](QWindow* w) { QTest::mouseMove(w, QPoint(300, 50)); }, false},
        TInputCase{"MoveOverWindowAt600x50", [](QWindow* w) { QTest::mouseMove(w, QPoint(600, 50)); }, true},
        TInputCase{"KeyReleaseAlone", [](QWindow* w) { QTest::keyRelease(w, Qt::Key_Space); }, true},
        TInputCase{"AltKey", [](QWindow* w) { QTest::keyPress(w, Qt::Key_F4, Qt::AltModifier); }, true},
        TInputCase{"LeftRelease", [](QWindow* w) { QTest::mouseRelease(w, Qt::LeftButton, {}, QPoint(10, 10)); }, false},
        TInputCase{"RightPress", [](QWindow* w) { QTest::mousePress(w, Qt::RightButton, {}, QPoint(10, 10)); }, true},
        TInputCase{"MiddlePress", [](QWindow* w) { QTest::mousePress(w, Qt::MiddleButton, {}, QPoint(10, 10)); }, true},
        TInputCase{"BackPress", [](QWindow* w) { QTest::mousePress(w, Qt::BackButton, {}, QPoint(10, 10)); }, false}),
    [](const ::testing::TestParamInfo<TInputCase>& info) { return std::string(info.param.Name); });

TEST_F(ShowTest, ASecondStartRestoresTheFirstAndLeavesItsPictures)
{
    const auto first = Start();
    first->show();
    first->showMinimized();
    {
        const auto second = Start();
        EXPECT_TRUE(second->QuitPosted);
    }
    EXPECT_FALSE(first->QuitPosted);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !first->windowState().testFlag(Qt::WindowMinimized); }, 5000));
    EXPECT_TRUE(first->windowState().testFlag(Qt::WindowFullScreen));
    for (const QString& name : StagedNames())
        EXPECT_TRUE(QFileInfo::exists(Staged(name))) << name.toStdString();
    EXPECT_TRUE(Capture.Boxes.empty());
}

} // namespace
} // namespace mirel::test
