// The fill modes under both engines (and so under the sanitizers): where the
// fitted picture lands, that a resize fits the picture on show again but not
// a picture given since, and that the Qt face reports what it cannot do.
#include "view_test_util.h"

#include <QSignalSpy>

namespace mirel::test {
namespace {

using FillMode = TTransitionView::FillMode;

class ViewFillMode : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        view_.resize(120, 80);
        view_.setThreaded(GetParam());
        view_.setDelay(0);
        view_.setStep(25);
        ShowExposed(view_);
    }
    // One whole transition to a picture of w x h in quadrants.
    void ShowPicture(int32_t w, int32_t h)
    {
        FillQuadrants(view_.Picture(), w, h);
        ASSERT_TRUE(view_.execute());
        ASSERT_TRUE(WaitUntil([&] { return !view_.isBusy(); }));
    }
    TTransitionView view_;
};

TEST_P(ViewFillMode, ThePictureIsFittedToTheControlAndPlaced)
{
    struct {
        FillMode Mode;
        TRect Place; // of the frame in the control
    } const cases[] = {
        {FillMode::PreserveAspectFit, {0, 25, 120, 55}},  // 200 x 50 as 120 x 30, centred
        {FillMode::PreserveAspectCrop, {0, 0, 120, 80}},  // as 320 x 80, its middle
        {FillMode::Stretch, {0, 0, 120, 80}},
    };
    for (const auto& c : cases) {
        view_.setFillMode(c.Mode);
        ShowPicture(200, 50);
        EXPECT_EQ(view_.size(), QSize(120, 80)) << int(c.Mode) << ": autoSize applies to Pad only";
        EXPECT_EQ(view_.PicRect(), c.Place) << int(c.Mode);
        const TBitmap& shown = view_.Display();
        EXPECT_EQ(shown.Width(), c.Place.Width()) << int(c.Mode);
        EXPECT_EQ(shown.Height(), c.Place.Height()) << int(c.Mode);
        // The top-left quadrant's colour at the frame's corner, the
        // bottom-right's at the opposite one: scaled, not cut or shifted.
        EXPECT_EQ(shown.Pixel(1, 1), QuadTL) << int(c.Mode);
        EXPECT_EQ(shown.Pixel(shown.Width() - 2, shown.Height() - 2), QuadBR) << int(c.Mode);
    }
}

TEST_P(ViewFillMode, AResizeFitsThePictureOnShowAgainUntilThePictureChanges)
{
    view_.setFillMode(FillMode::PreserveAspectFit);
    ShowPicture(200, 100);
    EXPECT_EQ(view_.PicRect(), (TRect{0, 10, 120, 70}));
    view_.resize(60, 80);
    EXPECT_EQ(view_.PicRect(), (TRect{0, 25, 60, 55}));
    EXPECT_EQ(view_.Display().Width(), 60);

    // Pad shows it unscaled again.
    view_.setAutoSize(false);
    view_.setFillMode(FillMode::Pad);
    EXPECT_EQ(view_.Display().Width(), 200);
    EXPECT_EQ(view_.PicRect(), (TRect{0, 0, 200, 100}));

    // A new picture is not shown before its transition: the frame on show
    // stays as it is when the control is resized.
    view_.setFillMode(FillMode::Stretch);
    FillQuadrants(view_.Picture(), 30, 30);
    view_.resize(90, 90);
    EXPECT_EQ(view_.Display().Width(), 60);
}

TEST_P(ViewFillMode, TheQtFaceReportsInsteadOfThrowing)
{
    // Not shown: a window of that size would need a backing store as large.
    TTransitionView view;
    view.setThreaded(GetParam());
    QSignalSpy errors(&view, &TTransitionView::errorOccurred);
    view.setFillMode(FillMode::Stretch);
    FillQuadrants(view.Picture(), 8, 8);
    view.resize(20000, 20000); // a frame larger than any bitmap may be
    EXPECT_FALSE(view.execute());
    EXPECT_FALSE(view.isBusy());
    ASSERT_EQ(errors.count(), 1);
    EXPECT_FALSE(errors[0][0].toString().isEmpty());
    EXPECT_THROW(view.Execute(), TBitmapError); // the classic face still throws

    EXPECT_FALSE(view.setStyleName(QStringLiteral("no such style")));
    EXPECT_EQ(errors.count(), 2);
    EXPECT_FALSE(view.load(QStringLiteral("/nonexistent.png")));
    EXPECT_EQ(errors.count(), 3);
}

INSTANTIATE_TEST_SUITE_P(Modes, ViewFillMode, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return info.param ? "Threaded" : "Unthreaded";
                         });

} // namespace
} // namespace mirel::test
